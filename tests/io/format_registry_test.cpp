// Tessaly tests: the format registry, content detection and file detection.
#include "io/format_registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "io/codec_lookup.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const char* text, size_t length) { return Bytes(text, text + length); }
Bytes Padded(Bytes bytes, size_t size) {
  bytes.resize(size, 0);
  return bytes;
}

// A minimal TIFF: a first directory at offset 8 with the given SHORT or
// LONG entries (tag, type, value), then no next directory.
struct TEntry {
  uint16_t tag, type;
  uint32_t count, value;
};
Bytes Tiff(bool big_endian, std::vector<TEntry> entries) {
  Bytes b;
  auto put16 = [&](uint16_t v) {
    if (big_endian) b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)});
    else b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)});
  };
  auto put32 = [&](uint32_t v) {
    if (big_endian) b.insert(b.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
    else b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
  };
  b.insert(b.end(), big_endian ? std::initializer_list<uint8_t>{'M', 'M'} : std::initializer_list<uint8_t>{'I', 'I'});
  put16(42);
  put32(8);
  put16(static_cast<uint16_t>(entries.size()));
  for (const TEntry& e : entries) {
    put16(e.tag);
    put16(e.type);
    put32(e.count);
    if (e.type == 3) {
      put16(static_cast<uint16_t>(e.value));
      put16(0);
    } else {
      put32(e.value);
    }
  }
  put32(0);
  return b;
}
Bytes PlainTiff(bool big_endian = false) { return Tiff(big_endian, {{256, 3, 1, 640}, {257, 3, 1, 480}}); }

// Stand-ins for the content tests of codecs built elsewhere, so detection
// order is checked here whatever those codecs answer.
bool FakeJpegTest(TStream& s) {
  uint8_t b[2] = {};
  return s.Read(b, 2) == 2 && b[0] == 0xFF && b[1] == 0xD8;
}
bool FakePngTest(TStream& s) {
  uint8_t b[4] = {};
  return s.Read(b, 4) == 4 && std::memcmp(b, "\x89PNG", 4) == 0;
}
bool FakeIconTest(TStream& s) {
  uint8_t b[4] = {};
  return s.Read(b, 4) == 4 && b[0] == 0 && b[1] == 0 && b[2] == 1 && b[3] == 0;
}

class Detection : public ::testing::Test {
 protected:
  TCodecSubstitute jpeg_{{ftJPEG, nullptr, nullptr, FakeJpegTest, TSavePreparation::kNone}};
  TCodecSubstitute png_{{ftPNG, nullptr, nullptr, FakePngTest, TSavePreparation::kNone}};
  TCodecSubstitute ico_{{ftICO, nullptr, nullptr, FakeIconTest, TSavePreparation::kNone}};
};

int Detect(const Bytes& bytes) {
  TBufferStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  return DetectStreamFormat(stream);
}

// Registers an add-on row for the life of the object.
struct TAddOn {
  int code;
  explicit TAddOn(int file_type, const char* extensions, TImAddOnTest test = {}) : code(file_type) {
    TImFileFormatInfo info;
    info.FileType = file_type;
    info.FullName = "Test add-on";
    info.Extensions = extensions;
    info.ReadFunction = [](TStream&, TImBitmap&, TIOParamsVals&, bool, TCodecProgress&) {};
    info.TestFunction = std::move(test);
    RegisterFileFormat(std::move(info));
  }
  ~TAddOn() { RemoveFileFormat(code); }
};

TEST(FormatRegistry, RowsInTableOrderWithoutHdPhoto) {
  std::vector<int> codes;
  for (const TImFileFormatInfo& row : RegisteredFormats()) codes.push_back(row.FileType);
  const std::vector<int> expected = {ftTIFF, ftGIF,   ftJPEG, ftPCX, ftBMP, ftBMPRAW, ftICO, ftCUR, ftPNG,
                                     ftDICOM, ftWMF, ftEMF, ftTGA, ftPXM, ftWBMP,   ftJP2, ftJ2K, ftPS,
                                     ftPDF,  ftDCX,  ftRAW, ftPSD, ftIEV, ftLYR,    ftALL};
  EXPECT_EQ(codes, expected);
  EXPECT_EQ(FindFormatByType(ftHDP), nullptr);
  ASSERT_NE(FindFormatByType(ftPXM), nullptr);
  EXPECT_EQ(FindFormatByType(ftPXM)->FullName, "Portable Pixmap, GrayMap, BitMap");
}

TEST(FormatRegistry, FindByExtension) {
  const struct {
    const char* extension;
    int expected;
  } cases[] = {
      {".JPG", ftJPEG}, {"jpg", ftJPEG}, {".Jpeg", ftJPEG}, {".xif", ftTIFF}, {"PIX", ftTGA}, {".sr2", ftRAW},
      {"", ftUnknown},  {".", ftUnknown}, {".xyz", ftUnknown}, {".win", ftUnknown}, {".jp", ftUnknown},
  };
  for (const auto& c : cases) {
    const TImFileFormatInfo* row = FindFormatByExtension(c.extension);
    EXPECT_EQ(row != nullptr ? row->FileType : ftUnknown, c.expected) << c.extension;
  }
}

TEST(FormatRegistry, IsKnownImageFile) {
  const struct {
    const char* path;
    bool known;
  } cases[] = {
      {"/p/a.cur", true},  {"/p/a.wmf", true},  {"/p/a.dcm", true},    {"/p/a.xif", true},
      {"/p/A.JPG", true},  {"/p/a.NEF", true},  {"/p/a.ps", false},    {"/p/a.pdf", false},
      {"/p/a.avi", false}, {"/p/a.win", false}, {"/p/photo", false},   {"/p.d/photo", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsKnownImageFile(c.path), c.known) << c.path;
}

TEST(FormatRegistry, AddOnRowsAreAppendedAndRemoved) {
  {
    TAddOn add_on(1001, "TAD;TAD2");
    const TImFileFormatInfo* row = FindFormatByExtension(".tad2");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->FileType, 1001);
    EXPECT_FALSE(row->Internal);
    EXPECT_TRUE(row->ReaderPresent);
    EXPECT_FALSE(row->WriterPresent);
    EXPECT_TRUE(IsKnownImageFile("/p/x.tad"));
    EXPECT_EQ(RegisteredFormats().back().FileType, 1001);
  }
  EXPECT_EQ(FindFormatByType(1001), nullptr);
  EXPECT_FALSE(IsKnownImageFile("/p/x.tad"));
  // Built-in rows stay whatever is asked.
  EXPECT_FALSE(RemoveFileFormat(ftBMP));
  EXPECT_NE(FindFormatByType(ftBMP), nullptr);
}

TEST_F(Detection, EachProbeInOrderWithItsSizeThreshold) {
  const Bytes jfif_header = Text("JFIF\0\0\0\0\x10\0\0\0", 12);
  const Bytes gif = Text("GIF89a\x01\0\x01\0\0\0\0", 13);
  Bytes dicom(128, 0);
  dicom.insert(dicom.end(), {'D', 'I', 'C', 'M'});
  Bytes bm_preamble = dicom;  // a DICOM preamble that happens to start with "BM"
  bm_preamble[0] = 'B';
  bm_preamble[1] = 'M';
  const Bytes avi = Text("RIFF\x10\0\0\0AVI LIST", 16);
  const Bytes wmf_placeable = Padded(Text("\xD7\xCD\xC6\x9A", 4), 22);
  const Bytes wmf_plain = Padded(Text("\x01\0\x09\0\0\x03", 6), 18);
  Bytes emf = Padded(Text("\x01\0\0\0", 4), 88);
  std::memcpy(emf.data() + 40, " EMF", 4);
  const Bytes psd = Padded(Text("8BPS\0\x01", 6), 26);
  const Bytes dng = Tiff(false, {{256, 3, 1, 640}, {257, 3, 1, 480}, {50706, 1, 4, 0x00000401}});
  const Bytes cfa = Tiff(true, {{256, 3, 1, 640}, {257, 3, 1, 480}, {262, 3, 1, 32803}});
  const Bytes raw_preview = Tiff(false, {{256, 3, 1, 160}, {257, 3, 1, 120}, {330, 4, 1, 0}, {37398, 1, 4, 0}});
  const Bytes big_with_raw_tags = Tiff(false, {{256, 3, 1, 3000}, {257, 3, 1, 2000}, {330, 4, 1, 0}, {37398, 1, 4, 0}});
  Bytes mm_ba = PlainTiff(true);
  mm_ba[8] = 0xBA;

  const struct {
    const char* name;
    Bytes bytes;
    int expected;
  } cases[] = {
      {"JPEG stream header", Padded(jfif_header, 13), ftJPEG},
      {"JPEG stream header, 12 bytes", jfif_header, ftUnknown},
      {"GIF, 14 bytes", Padded(gif, 14), ftGIF},
      {"GIF, 13 bytes", gif, ftUnknown},
      {"PCX stream header", Padded(Text("PCX2", 4), 13), ftPCX},
      {"PCX tag, 5 bytes", Padded(Text("PCX", 3), 5), ftPCX},
      {"PCX tag, 4 bytes", Padded(Text("PCX", 3), 4), ftUnknown},
      {"PCXA is no tag", Padded(Text("PCXA", 4), 13), ftUnknown},
      {"BM, 15 bytes", Padded(Text("BM", 2), 15), ftBMP},
      {"BM, 14 bytes", Padded(Text("BM", 2), 14), ftUnknown},
      {"BM before DICOM", bm_preamble, ftBMP},
      {"PCX header, 129 bytes", Padded(Text("\x0A\x05", 2), 129), ftPCX},
      {"PCX header, 128 bytes", Padded(Text("\x0A\x05", 2), 128), ftUnknown},
      {"PCX header version 6", Padded(Text("\x0A\x06", 2), 129), ftUnknown},
      {"TIFF stream header", Padded(Text("TIFF", 4), 13), ftTIFF},
      {"TIFF little-endian", PlainTiff(false), ftTIFF},
      {"TIFF big-endian", PlainTiff(true), ftTIFF},
      {"TIFF big-endian, ninth byte 0xBA", mm_ba, ftUnknown},
      {"TIFF without ImageLength", Tiff(false, {{256, 3, 1, 640}}), ftUnknown},
      {"TIFF directory past the end", Text("II*\0\xFF\0\0\0", 8), ftUnknown},
      {"DNG is camera raw", dng, ftRAW},
      {"colour filter array is camera raw", cfa, ftRAW},
      {"raw behind a small preview", raw_preview, ftRAW},
      {"raw tags beside a large image stay TIFF", big_with_raw_tags, ftTIFF},
      {"PNG, 9 bytes", Padded(Text("\x89PNG\r\n\x1a\n", 8), 9), ftPNG},
      {"PNG, 8 bytes", Text("\x89PNG\r\n\x1a\n", 8), ftUnknown},
      {"DICOM", dicom, ftDICOM},
      {"icon", Padded(Text("\0\0\x01\0\x01\0", 6), 40), ftICO},
      {"AVI", avi, ftAVI},
      {"RIFF WAVE is no AVI", Text("RIFF\x10\0\0\0WAVEfmt ", 16), ftUnknown},
      {"placeable metafile", wmf_placeable, ftWMF},
      {"plain metafile", wmf_plain, ftWMF},
      {"enhanced metafile", emf, ftEMF},
      {"PSD", psd, ftPSD},
      {"PSD version 3", Padded(Text("8BPS\0\x03", 6), 26), ftUnknown},
      {"plain JPEG", Padded(Text("\xFF\xD8\xFF\xE0", 4), 20), ftJPEG},
      {"heap raw", Padded(Text("II\x1a\0\0\0HEAPCCDR", 14), 26), ftRAW},
      {"FUJIFILM raw", Padded(Text("FUJIFILMCCD-RAW ", 16), 32), ftRAW},
      {"empty", Bytes{}, ftUnknown},
      {"text", Text("hello, world, this is text", 26), ftUnknown},
  };
  for (const auto& c : cases) EXPECT_EQ(Detect(c.bytes), c.expected) << c.name;
}

TEST_F(Detection, AddOnTestsComeAfterTheBuiltInOnes) {
  TAddOn accepts_all(1002, "TAE", [](TStream&) { return true; });
  EXPECT_EQ(Detect(Padded(Text("GIF89a", 6), 14)), ftGIF);
  EXPECT_EQ(Detect(Padded(Text("GIF89a", 6), 13)), 1002);
  EXPECT_EQ(Detect(Padded(Text("\xFF\xD8", 2), 20)), ftJPEG);
}

TEST_F(Detection, StreamPositionIsRestoredAndProbesReadFromIt) {
  Bytes bytes = Text("xxxxx", 5);
  const Bytes gif = Padded(Text("GIF89a", 6), 20);
  bytes.insert(bytes.end(), gif.begin(), gif.end());
  TBufferStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  stream.SetPosition(5);
  EXPECT_EQ(DetectStreamFormat(stream), ftGIF);
  EXPECT_EQ(stream.Position(), 5);
  // A probe that throws ends detection with nothing found.
  TAddOn throws(1003, "TAT", [](TStream&) -> bool { throw std::runtime_error("broken"); });
  stream.SetPosition(0);
  EXPECT_EQ(DetectStreamFormat(stream), ftUnknown);
  EXPECT_EQ(stream.Position(), 0);
}

TEST_F(Detection, FileDetectionReconcilesContentWithTheExtension) {
  testing::TempDir dir;
  const Bytes jpeg = Padded(Text("\xFF\xD8\xFF\xE0", 4), 64);
  const Bytes icon = Padded(Text("\0\0\x01\0\x01\0", 6), 64);
  const Bytes noise = Padded(Text("noise", 5), 64);
  TAddOn add_on(1004, "TAF");
  const struct {
    const char* name;
    Bytes bytes;
    bool check;
    int expected;
  } cases[] = {
      {"tiff.nef", PlainTiff(), true, ftRAW},
      {"tiff2.orf", PlainTiff(), false, ftRAW},
      {"jpeg.png", jpeg, true, ftUnknown},
      {"jpeg2.png", jpeg, false, ftJPEG},
      {"jpeg.jpg", jpeg, true, ftJPEG},
      {"icon.cur", icon, true, ftCUR},
      {"icon2.cur", icon, false, ftICO},
      {"jpeg.xyz", jpeg, true, ftUnknown},
      {"jpeg2.xyz", jpeg, false, ftJPEG},
      {"noise.taf", noise, true, 1004},
      {"jpeg.taf", jpeg, false, 1004},
      {"noise.bmp", noise, true, ftUnknown},
  };
  for (const auto& c : cases) {
    const std::string path = dir.File(c.name);
    testing::WriteFileBytes(path, c.bytes);
    EXPECT_EQ(DetectFileFormat(path, c.check), c.expected) << c.name;
  }
  EXPECT_EQ(DetectFileFormat("", true), ftUnknown);
  EXPECT_EQ(DetectFileFormat(dir.File("missing.jpg"), false), ftUnknown);
  EXPECT_EQ(DetectFileFormat(dir.Path(), false), ftUnknown);
}

}  // namespace
}  // namespace tessaly
