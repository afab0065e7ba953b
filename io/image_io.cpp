// Tessaly: the I/O object: attachment, events, and dispatch by name,
// content and code.
#include "io/image_io.h"

#include <algorithm>
#include <cctype>

#include "io/codec_lookup.h"
#include "io/format_registry.h"
#include "io/image_holder.h"

namespace tessaly {

namespace {

bool StartsWithLower(const std::string& text, const char* prefix) {
  const std::string_view p(prefix);
  if (text.size() < p.size()) return false;
  for (size_t i = 0; i < p.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != p[i]) return false;
  return true;
}

bool IsUrl(const std::string& path) {
  return StartsWithLower(path, "http://") || StartsWithLower(path, "https://") || StartsWithLower(path, "ftp://");
}

struct TSaveExtension {
  const char* Extension;
  TFileType FileType;
};

// Save by extension, checked before the registry: ".win" is a Targa name
// the registry does not list.
constexpr TSaveExtension kSaveExtensions[] = {
    {".jpg", ftJPEG}, {".jpeg", ftJPEG}, {".jpe", ftJPEG},  {".jif", ftJPEG},  {".jp2", ftJP2},
    {".j2k", ftJ2K},  {".jpc", ftJ2K},   {".j2c", ftJ2K},   {".pcx", ftPCX},   {".dcx", ftDCX},
    {".gif", ftGIF},  {".tif", ftTIFF},  {".tiff", ftTIFF}, {".fax", ftTIFF},  {".g3f", ftTIFF},
    {".g3n", ftTIFF}, {".png", ftPNG},   {".bmp", ftBMP},   {".dib", ftBMP},   {".rle", ftBMP},
    {".tga", ftTGA},  {".targa", ftTGA}, {".vda", ftTGA},   {".icb", ftTGA},   {".vst", ftTGA},
    {".win", ftTGA},  {".pxm", ftPXM},   {".pbm", ftPXM},   {".pgm", ftPXM},   {".ppm", ftPXM},
    {".ico", ftICO},  {".wbmp", ftWBMP}, {".ps", ftPS},     {".eps", ftPS},    {".pdf", ftPDF},
    {".psd", ftPSD},  {".hdp", ftHDP},   {".wdp", ftHDP},
};

// The codes that have a save of their own (to file and to stream).
bool HasBuiltInSave(int file_type) {
  return std::any_of(std::begin(kSaveExtensions), std::end(kSaveExtensions),
                     [file_type](const TSaveExtension& e) { return e.FileType == file_type; });
}

}  // namespace

TImageIO::TImageIO(TImageHolder* holder)
    : holder_(holder), own_bitmap_(holder == nullptr ? std::make_unique<TImBitmap>() : nullptr) {}

TImageIO::~TImageIO() = default;

void TImageIO::AttachToHolder(TImageHolder* holder) {
  holder_ = holder;
  if (holder_ != nullptr) own_bitmap_.reset();
  else if (own_bitmap_ == nullptr) own_bitmap_ = std::make_unique<TImBitmap>();
}

TImBitmap* TImageIO::Bitmap() { return holder_ != nullptr ? &holder_->Bitmap() : own_bitmap_.get(); }

TColor TImageIO::Background() const { return holder_ != nullptr ? holder_->Background() : background_; }

TCodecProgress TImageIO::MakeProgress() {
  TCodecProgress progress;
  progress.OnProgress = [this](TImageIO* sender, int percent) {
    if (OnProgress) OnProgress(sender, percent);
  };
  progress.Sender = this;
  progress.Aborted = &Aborted;
  return progress;
}

void TImageIO::FinishWork(bool report_complete) {
  if (report_complete && OnProgress) OnProgress(this, 100);
  if (OnFinishWork) OnFinishWork(this);
}

void TImageIO::Fail() {
  Aborted = true;
  FinishWork(false);
}

// ---- loads by name and content

const TImFileFormatInfo* TImageIO::FormatOfName(const std::string& path) {
  if (path.empty() || IsUrl(path)) return nullptr;  // downloads are not supported here
  const std::string ext = LowerFileExt(path);
  if (ext == ".avi") return nullptr;  // video frames are not decoded here
  return FindFormatByExtension(ext);
}

void TImageIO::LoadFile(const std::string& path) {
  if (Bitmap() == nullptr) return;
  const TImFileFormatInfo* row = FormatOfName(path);
  if (row == nullptr) {
    Fail();
    return;
  }
  // A copy: an add-on reader may change the registry while it runs.
  const TImFileFormatInfo format = *row;
  LoadFileOfRow(path, format, false);
}

void TImageIO::ParamsFromFile(const std::string& path) {
  const TImFileFormatInfo* row = FormatOfName(path);
  if (row == nullptr) {
    Fail();
    return;
  }
  const TImFileFormatInfo format = *row;
  LoadFileOfRow(path, format, true);
}

void TImageIO::LoadFileOfRow(const std::string& path, const TImFileFormatInfo& row, bool info_only) {
  if (row.Internal) LoadFileOfTypeImpl(path, row.FileType, info_only);
  else LoadFileWithAddOn(path, row, info_only);
}

void TImageIO::LoadFileByContent(const std::string& path) {
  const int file_type = DetectFileFormat(path, false);
  if (file_type == ftUnknown) {
    LoadFile(path);
    return;
  }
  const TImFileFormatInfo* row = FindFormatByType(file_type);
  if (row != nullptr && !row->Internal) {
    const TImFileFormatInfo format = *row;
    LoadFileWithAddOn(path, format, false);
  } else {
    LoadFileOfType(path, file_type);
  }
}

void TImageIO::LoadStream(TStream& stream) {
  const int file_type = DetectStreamFormat(stream);
  if (file_type == ftUnknown) {
    Fail();
    return;
  }
  const TImFileFormatInfo* row = FindFormatByType(file_type);
  if (row != nullptr && !row->Internal) {
    const TImFileFormatInfo format = *row;
    LoadStreamWithAddOn(stream, format, false);
  } else {
    LoadStreamOfType(stream, file_type);
  }
}

void TImageIO::ParamsFromStream(TStream& stream, int file_type) {
  const TImFileFormatInfo* row = FindFormatByType(file_type);
  if (row != nullptr && !row->Internal) {
    const TImFileFormatInfo format = *row;
    LoadStreamWithAddOn(stream, format, true);
  } else {
    LoadStreamOfTypeImpl(stream, file_type, true);
  }
}

// ---- saves by name and code

void TImageIO::SaveFile(const std::string& path) {
  if (path.empty()) return;
  const std::string ext = LowerFileExt(path);
  for (const TSaveExtension& e : kSaveExtensions) {
    if (ext == e.Extension) {
      SaveFileOfType(path, e.FileType);
      return;
    }
  }
  const TImFileFormatInfo* row = FindFormatByExtension(ext);
  if (row == nullptr) {
    Aborted = true;
    return;
  }
  if (row->Internal) {
    // ".xif" is TIFF and ".pix" Targa; the other rows have no writer here.
    if (HasBuiltInSave(row->FileType)) SaveFileOfType(path, row->FileType);
    else Aborted = true;
    return;
  }
  const TImFileFormatInfo format = *row;
  SaveFileWithAddOn(path, format);
}

void TImageIO::SaveStream(TStream& stream, int file_type) {
  if (HasBuiltInSave(file_type)) {
    SaveStreamOfType(stream, file_type);
    return;
  }
  const TImFileFormatInfo* row = FindFormatByType(file_type);
  if (row == nullptr || row->Internal) {
    // Built-in rows without a save here (raw bitmaps, cursors, metafiles,
    // vector and layer files) write nothing, and say so.
    Aborted = true;
    return;
  }
  const TImFileFormatInfo format = *row;
  SaveStreamWithAddOn(stream, format);
}

}  // namespace tessaly
