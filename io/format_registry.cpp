// Tessaly: the format registry and content detection.
#include "io/format_registry.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string_view>

#include "io/codec_lookup.h"
#include "io/foreign_signatures.h"

namespace tessaly {

namespace {

struct TBuiltInFormat {
  TFileType FileType;
  const char* FullName;
  const char* Extensions;
  bool Reader;
  bool Writer;
};

// The built-in formats, in the order lookups search them. There is no HD
// Photo row: the imaging component it needs does not exist on this platform.
constexpr TBuiltInFormat kBuiltInFormats[] = {
    {ftTIFF, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F;XIF", true, true},
    {ftGIF, "CompuServe Bitmap", "GIF", true, true},
    {ftJPEG, "JPEG Bitmap", "JPG;JPEG;JPE;JIF", true, true},
    {ftPCX, "PaintBrush", "PCX", true, true},
    {ftBMP, "Windows Bitmap", "BMP;DIB;RLE", true, true},
    {ftBMPRAW, "Raw Bitmap", "", true, true},
    {ftICO, "Windows Icon", "ICO", true, true},
    {ftCUR, "Windows Cursor", "CUR", true, false},
    {ftPNG, "Portable Network Graphics", "PNG", true, true},
    {ftDICOM, "DICOM Bitmap", "DCM;DIC;DICOM", true, false},
    {ftWMF, "Windows Metafile", "WMF", true, false},
    {ftEMF, "Enhanced Windows Metafile", "EMF", true, false},
    {ftTGA, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", true, true},
    {ftPXM, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", true, true},
    {ftWBMP, "Wireless Bitmap", "WBMP", true, true},
    {ftJP2, "JPEG2000", "JP2", true, true},
    {ftJ2K, "JPEG2000 Code Stream", "J2K;JPC;J2C", true, true},
    {ftPS, "PostScript Level 2", "PS;EPS", false, true},
    {ftPDF, "Adobe PDF", "PDF", false, true},
    {ftDCX, "Multipage PCX", "DCX", true, true},
    {ftRAW, "Camera RAW", "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2", true, false},
    {ftPSD, "Photoshop PSD", "PSD", true, true},
    {ftIEV, "Vectorial objects", "IEV", true, true},
    {ftLYR, "Layers", "LYR", true, true},
    {ftALL, "Layers and objects", "ALL", true, true},
};

using TRows = std::vector<std::unique_ptr<TImFileFormatInfo>>;

// Built on first use from the table above; add-on rows follow. Rows are
// held by pointer so a row found by a lookup stays valid while others are
// appended. Touched only from the window's thread.
TRows& Rows() {
  static TRows rows = [] {
    TRows built;
    for (const TBuiltInFormat& f : kBuiltInFormats) {
      auto row = std::make_unique<TImFileFormatInfo>();
      row->FileType = f.FileType;
      row->FullName = f.FullName;
      row->Extensions = f.Extensions;
      row->Internal = true;
      row->ReaderPresent = f.Reader;
      row->WriterPresent = f.Writer;
      row->TestPresent = false;
      built.push_back(std::move(row));
    }
    return built;
  }();
  return rows;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool ExtensionListHas(const std::string& list, const std::string& lower_ext) {
  size_t begin = 0;
  while (begin <= list.size()) {
    size_t end = list.find(';', begin);
    if (end == std::string::npos) end = list.size();
    if (end > begin && Lower(std::string_view(list).substr(begin, end - begin)) == lower_ext) return true;
    begin = end + 1;
  }
  return false;
}

// ---- probes

// Restores the stream position whatever the probe did.
class TPositionKeeper {
 public:
  explicit TPositionKeeper(TStream& stream) : stream_(stream), position_(stream.Position()) {}
  ~TPositionKeeper() { stream_.SetPosition(position_); }
  TPositionKeeper(const TPositionKeeper&) = delete;
  TPositionKeeper& operator=(const TPositionKeeper&) = delete;

 private:
  TStream& stream_;
  int64_t position_;
};

template <class Test>
bool Probe(TStream& stream, Test&& test) {
  TPositionKeeper keep(stream);
  return test(stream);
}

// The first bytes up to the first zero byte, at most max_length of them.
std::string LeadingText(const uint8_t* bytes, size_t available, size_t max_length) {
  std::string text;
  for (size_t i = 0; i < std::min(available, max_length) && bytes[i] != 0; ++i)
    text.push_back(static_cast<char>(bytes[i]));
  return text;
}

using TStreamTest = bool (*)(TStream&);

// The built-in content test of a format: the codec's own when it has one,
// else the probe kept in io/ for formats whose codec is not in yet.
TStreamTest BuiltInTest(int file_type) {
  if (const TInternalCodec* codec = LookupCodec(file_type); codec != nullptr && codec->Test != nullptr)
    return codec->Test;
  if (file_type == ftTIFF) return IsTiffHeaderStream;
  return nullptr;
}

bool RunBuiltInTest(TStream& stream, int file_type) {
  const TStreamTest test = BuiltInTest(file_type);
  return test != nullptr && Probe(stream, test);
}

int DetectStreamFormatUnguarded(TStream& stream) {
  const int64_t size = stream.Size() - stream.Position();
  uint8_t head[128] = {};
  size_t head_len = 0;
  {
    TPositionKeeper keep(stream);
    const int64_t got = stream.Read(head, static_cast<int64_t>(sizeof head));
    head_len = got > 0 ? static_cast<size_t>(got) : 0;
  }

  // Stream headers and fixed signatures; a probe that needs n bytes runs
  // only when the stream holds more than n.
  if (size > 12 && LeadingText(head, head_len, 5) == "JFIF") return ftJPEG;
  if (size > 13 && head_len >= 3 && std::memcmp(head, "GIF", 3) == 0) return ftGIF;
  if (size > 12 && LeadingText(head, head_len, 5) == "PCX2") return ftPCX;
  if (size > 4 && LeadingText(head, head_len, 4) == "PCX") return ftPCX;
  if (size > 14 && head_len >= 2 && head[0] == 'B' && head[1] == 'M') return ftBMP;
  if (size > 128 && head_len >= 2 && head[0] == 0x0A && head[1] <= 5) return ftPCX;
  if (size > 12 && LeadingText(head, head_len, 5) == "TIFF") return ftTIFF;

  // Content tests of the formats, in their fixed order.
  if (RunBuiltInTest(stream, ftTIFF) && !Probe(stream, IsCameraRawTiffStream)) return ftTIFF;
  if (size > 8 && RunBuiltInTest(stream, ftPNG)) return ftPNG;
  if (Probe(stream, IsDicomStream)) return ftDICOM;
  if (RunBuiltInTest(stream, ftICO)) return ftICO;
  if (RunBuiltInTest(stream, ftCUR)) return ftCUR;
  if (RunBuiltInTest(stream, ftTGA)) return ftTGA;
  if (RunBuiltInTest(stream, ftPXM)) return ftPXM;
  if (RunBuiltInTest(stream, ftJP2)) return ftJP2;
  if (RunBuiltInTest(stream, ftJ2K)) return ftJ2K;
  if (Probe(stream, IsAviStream)) return ftAVI;
  if (RunBuiltInTest(stream, ftDCX)) return ftDCX;
  if (Probe(stream, IsWmfStream)) return ftWMF;
  if (Probe(stream, IsEmfStream)) return ftEMF;
  if (Probe(stream, IsPsdStream)) return ftPSD;
  // The vector and layer files (IEV, LYR, ALL) have no layout known here,
  // so nothing is recognised as one of them.

  // A plain JPEG: the start-of-image search.
  if (RunBuiltInTest(stream, ftJPEG)) return ftJPEG;

  // Add-on tests in registry order. The functions are copied first: a test
  // may register or remove rows.
  std::vector<std::pair<int, TImAddOnTest>> add_on_tests;
  for (const auto& row : Rows())
    if (!row->Internal && row->TestFunction) add_on_tests.emplace_back(row->FileType, row->TestFunction);
  for (auto& [code, test] : add_on_tests)
    if (Probe(stream, test)) return code;

  if (Probe(stream, IsCameraRawStream)) return ftRAW;
  return ftUnknown;
}

}  // namespace

std::string LowerFileExt(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return Lower(std::string_view(path).substr(dot));
}

const TImFileFormatInfo* FindFormatByType(int file_type) {
  for (const auto& row : Rows())
    if (row->FileType == file_type) return row.get();
  return nullptr;
}

const TImFileFormatInfo* FindFormatByExtension(const std::string& extension) {
  std::string ext = Lower(extension);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  if (ext.empty()) return nullptr;
  for (const auto& row : Rows())
    if (ExtensionListHas(row->Extensions, ext)) return row.get();
  return nullptr;
}

std::vector<TImFileFormatInfo> RegisteredFormats() {
  std::vector<TImFileFormatInfo> copy;
  for (const auto& row : Rows()) copy.push_back(*row);
  return copy;
}

void RegisterFileFormat(TImFileFormatInfo info) {
  info.Internal = false;
  info.ReaderPresent = static_cast<bool>(info.ReadFunction);
  info.WriterPresent = static_cast<bool>(info.WriteFunction);
  info.TestPresent = static_cast<bool>(info.TestFunction);
  Rows().push_back(std::make_unique<TImFileFormatInfo>(std::move(info)));
}

bool RemoveFileFormat(int file_type) {
  TRows& rows = Rows();
  for (auto it = rows.begin(); it != rows.end(); ++it) {
    if ((*it)->FileType == file_type && !(*it)->Internal) {
      rows.erase(it);
      return true;
    }
  }
  return false;
}

bool IsKnownImageFile(const std::string& path) {
  const std::string ext = LowerFileExt(path);
  if (ext.empty()) return false;
  const TImFileFormatInfo* row = FindFormatByExtension(ext);
  return row != nullptr && row->ReaderPresent;
}

int DetectStreamFormat(TStream& stream) {
  TPositionKeeper keep(stream);
  try {
    return DetectStreamFormatUnguarded(stream);
  } catch (...) {
    // A probe that fails ends detection with nothing found.
    return ftUnknown;
  }
}

int DetectFileFormat(const std::string& path, bool check_extension) {
  if (path.empty()) return ftUnknown;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return ftUnknown;
  int detected = ftUnknown;
  try {
    TFileStream stream(path, TFileMode::fmOpenRead);
    detected = DetectStreamFormat(stream);
  } catch (...) {
    return ftUnknown;
  }

  const TImFileFormatInfo* row = FindFormatByExtension(LowerFileExt(path));
  const int row_code = row != nullptr ? row->FileType : ftUnknown;
  // Many raw formats are TIFF inside; the extension tells them apart.
  if (row_code == ftRAW && detected == ftTIFF) detected = ftRAW;
  if (row != nullptr && !row->Internal) return row_code;
  if (check_extension && detected != ftUnknown) {
    // Icons and cursors share their layout, so the name decides.
    if (detected == ftICO || detected == ftCUR || row == nullptr) return row_code;
    if (detected != row_code) return ftUnknown;
  }
  return detected;
}

}  // namespace tessaly
