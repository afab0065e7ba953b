// Tessaly: the load skeleton every built-in reader runs in, and add-on loads.
#include <cstring>
#include <exception>

#include "io/codec_lookup.h"
#include "io/format_registry.h"
#include "io/image_holder.h"
#include "io/image_io.h"
#include "io/stream_header.h"

namespace tessaly {

namespace {

constexpr int kLowestDpi = 2;  // below this a file's resolution is taken as missing

// The reader's opacity plane becomes the alpha channel, when it covers the
// image exactly (anything else would leave a companion of the wrong size).
void AdoptMask(TImBitmap& bitmap, const TImMask& mask) {
  if (bitmap.IsEmpty() || mask.Width() != bitmap.Width() || mask.Height() != bitmap.Height()) return;
  TImBitmap* alpha = bitmap.AlphaChannel();
  if (alpha == nullptr) return;
  if (mask.BitsPerPixel() == 8) {
    alpha->CopyFromMask(&mask);
    return;
  }
  // A 1-bit plane is widened, so the companion stays an 8-bit channel.
  bool full = true;
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    uint8_t* row = alpha->ScanLine(y);
    for (int32_t x = 0; x < bitmap.Width(); ++x) {
      row[x] = static_cast<uint8_t>(mask.GetPixel(x, y) != 0 ? 255 : 0);
      full = full && row[x] == 255;
    }
  }
  alpha->SetAlphaFull(full);
}

}  // namespace

void TImageIO::LoadFileOfType(const std::string& path, int file_type) {
  LoadFileOfTypeImpl(path, file_type, false);
}

void TImageIO::LoadStreamOfType(TStream& stream, int file_type) {
  LoadStreamOfTypeImpl(stream, file_type, false);
}

void TImageIO::LoadFileOfTypeImpl(const std::string& path, int file_type, bool info_only) {
  const TInternalCodec* codec = LookupCodec(file_type);
  if (codec == nullptr || codec->Load == nullptr) {
    Fail();
    return;
  }
  Aborted = true;
  TFileStream stream(path, TFileMode::fmOpenRead);  // EFOpenError reaches the caller
  Aborted = false;
  RunLoad(stream, *codec, path, true, info_only);
}

void TImageIO::LoadStreamOfTypeImpl(TStream& stream, int file_type, bool info_only) {
  const TInternalCodec* codec = LookupCodec(file_type);
  if (codec == nullptr || codec->Load == nullptr) {
    Fail();
    return;
  }
  Aborted = false;
  RunLoad(stream, *codec, std::string(), false, info_only);
}

void TImageIO::RunLoad(TStream& stream, const TInternalCodec& codec, const std::string& file_name,
                       bool from_file, bool info_only) {
  TImBitmap* bitmap = Bitmap();
  if (bitmap == nullptr) {
    FinishWork(false);
    return;
  }
  IOParams.ResetInfo();

  // File loads never carry a stream header; TIFF and PCX stream loads
  // require one when headers are on. A JPEG stream never begins with the
  // tag, so a header in front of one is simply taken when present.
  int64_t data_start = stream.Position();
  int64_t data_size = std::max<int64_t>(0, stream.Size() - data_start);
  bool headed = false;
  if (!from_file && StreamHeaders && StreamHeaderTag(codec.FileType) != nullptr) {
    uint32_t announced = 0;
    if (ReadStreamHeader(stream, codec.FileType, announced)) {
      headed = true;
      data_start += kStreamHeaderSize;
      data_size = std::min<int64_t>(announced, data_size - kStreamHeaderSize);
    } else if (codec.FileType == ftJPEG) {
      stream.SetPosition(data_start);
    } else {
      Aborted = true;
      FinishWork(false);
      return;
    }
  }

  TCodecProgress progress = MakeProgress();
  // A parameters-only read leaves the working bitmap as it is.
  TImBitmap scratch;
  TImBitmap& target = info_only ? scratch : *bitmap;
  if (!info_only) target.RemoveAlphaChannel(false, 0);

  TSubStream announced_data(stream, data_start, data_size);
  TStream& source = headed ? static_cast<TStream&>(announced_data) : stream;
  TLoadArgs args{source, target, IOParams, progress, ResolveColor(Background()), info_only, data_size, {}};
  try {
    codec.Load(args);
  } catch (const std::exception&) {
    // Readers report bad data through Aborted; anything thrown (memory,
    // a failing disk) ends the load the same way.
    Aborted = true;
  }

  if (IOParams.DpiX < kLowestDpi) IOParams.SetDpiX(TIOParamsVals::kDefaultDpi);
  if (IOParams.DpiY < kLowestDpi) IOParams.SetDpiY(TIOParamsVals::kDefaultDpi);
  if (args.Mask != nullptr && !info_only) AdoptMask(target, *args.Mask);
  // Rescaling by resolution would come here; it stays off in this system.
  if (headed) stream.SetPosition(data_start + data_size);
  if (holder_ != nullptr) {
    holder_->SetDpiX(IOParams.DpiX);
    holder_->SetDpiY(IOParams.DpiY);
  }
  IOParams.FileName = from_file ? file_name : std::string();
  IOParams.FileType = codec.FileType;
  if (holder_ != nullptr) holder_->Update();
  FinishWork(true);
}

// ---- add-on readers

bool TImageIO::BeginAddOnLoad(const TImFileFormatInfo& row) {
  if (!row.ReadFunction) {
    Fail();
    return false;
  }
  if (Bitmap() == nullptr) {
    FinishWork(false);
    return false;
  }
  IOParams.ResetInfo();
  return true;
}

void TImageIO::LoadFileWithAddOn(const std::string& path, const TImFileFormatInfo& row, bool info_only) {
  if (!BeginAddOnLoad(row)) return;
  IOParams.FileName.clear();
  IOParams.FileType = ftUnknown;
  TFileStream stream(path, TFileMode::fmOpenRead);  // EFOpenError reaches the caller
  RunAddOnLoad(stream, row, info_only, path);
}

void TImageIO::LoadStreamWithAddOn(TStream& stream, const TImFileFormatInfo& row, bool info_only) {
  if (!BeginAddOnLoad(row)) return;
  RunAddOnLoad(stream, row, info_only, std::string());
}

void TImageIO::RunAddOnLoad(TStream& stream, const TImFileFormatInfo& row, bool info_only,
                            const std::string& file_name) {
  IOParams.FileName = file_name;
  IOParams.FileType = row.FileType;
  Aborted = false;
  TCodecProgress progress = MakeProgress();
  TImBitmap scratch;
  try {
    row.ReadFunction(stream, info_only ? scratch : *Bitmap(), IOParams, info_only, progress);
  } catch (...) {
    // An add-on may throw for a bad file; that is a failed load, not a crash.
    Aborted = true;
  }
  if (!Aborted && holder_ != nullptr) {
    holder_->SetDpiX(IOParams.DpiX);
    holder_->SetDpiY(IOParams.DpiY);
  }
  if (holder_ != nullptr) holder_->Update();
  FinishWork(false);
}

}  // namespace tessaly
