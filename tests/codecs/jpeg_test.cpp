// Tessaly tests: the JPEG reader and writer, against the library's own tools,
// ImageMagick, Pillow and exiftool.
#include "codecs/jpeg/jpeg_codec.h"

#include <gtest/gtest.h>

#include <jpeglib.h>

#include <jerror.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "codecs/jpeg/jpeg_internal.h"
#include "codecs/jpeg/jpeg_markers.h"
#include "raster/color_space.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using testing::HaveProgram;
using testing::ReadFileBytes;
using testing::RunCommand;
using testing::TempDir;
using testing::WriteFileBytes;
using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------- helpers

bool HavePeers() { return HaveProgram("cjpeg") && HaveProgram("djpeg"); }

std::string ImageMagick() {
  return testing::FileExists("/usr/bin/convert") ? "/usr/bin/convert" : "convert";
}

/// A picture with smooth areas, edges and fine texture, so that every part
/// of the codec has work to do.
void MakePhoto(TImBitmap& bitmap, int width, int height) {
  ASSERT_TRUE(bitmap.Allocate(width, height, im24RGB));
  for (int y = 0; y < height; ++y) {
    TRGB* row = reinterpret_cast<TRGB*>(bitmap.ScanLine(y));
    for (int x = 0; x < width; ++x) {
      const bool edge = (x / 13 + y / 11) % 2 == 0;
      row[x].r = static_cast<uint8_t>(x * 255 / std::max(1, width - 1));
      row[x].g = static_cast<uint8_t>(edge ? y * 200 / std::max(1, height) : 230);
      row[x].b = static_cast<uint8_t>(((x * y) ^ ((x + y) * 7)) & 0xFF);
    }
  }
}

void WritePpm(const std::string& path, const TImBitmap& bitmap) {
  std::ostringstream header;
  header << "P6\n" << bitmap.Width() << " " << bitmap.Height() << "\n255\n";
  const std::string h = header.str();
  Bytes bytes(h.begin(), h.end());
  for (int y = 0; y < bitmap.Height(); ++y) {
    const TRGB* row = reinterpret_cast<const TRGB*>(bitmap.ScanLine(y));
    for (int x = 0; x < bitmap.Width(); ++x) {
      bytes.push_back(row[x].r);
      bytes.push_back(row[x].g);
      bytes.push_back(row[x].b);
    }
  }
  WriteFileBytes(path, bytes);
}

/// A binary PGM or PPM as a bitmap (im8g or im24RGB); false when it is not one.
bool ReadPnm(const std::string& path, TImBitmap& bitmap) {
  const Bytes bytes = ReadFileBytes(path);
  size_t pos = 0;
  auto token = [&]() {
    std::string t;
    while (pos < bytes.size()) {
      const char ch = static_cast<char>(bytes[pos]);
      if (ch == '#') {
        while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
      } else if (std::isspace(static_cast<unsigned char>(ch))) {
        if (!t.empty()) break;
        ++pos;
      } else {
        t += ch;
        ++pos;
      }
    }
    return t;
  };
  const std::string magic = token();
  const int width = std::atoi(token().c_str());
  const int height = std::atoi(token().c_str());
  const int maxval = std::atoi(token().c_str());
  ++pos;
  const bool grey = magic == "P5";
  if ((!grey && magic != "P6") || maxval != 255 || width <= 0 || height <= 0) return false;
  const size_t channels = grey ? 1 : 3;
  if (bytes.size() < pos + channels * width * height) return false;
  bitmap.Allocate(width, height, grey ? im8g : im24RGB);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    const uint8_t* in = &bytes[pos + channels * width * y];
    for (int x = 0; x < width; ++x) {
      if (grey) {
        row[x] = in[x];
      } else {
        row[3 * x] = in[3 * x + 2];
        row[3 * x + 1] = in[3 * x + 1];
        row[3 * x + 2] = in[3 * x];
      }
    }
  }
  return true;
}

/// The first differing pixel as text, or empty when both are the same.
std::string Difference(const TImBitmap& a, const TImBitmap& b, int tolerance = 0) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat()) {
    std::ostringstream s;
    s << "size or format " << a.Width() << "x" << a.Height() << "/" << int(a.PixelFormat())
      << " vs " << b.Width() << "x" << b.Height() << "/" << int(b.PixelFormat());
    return s.str();
  }
  const int row_bytes = a.Width() * a.BitCount() / 8;
  for (int y = 0; y < a.Height(); ++y) {
    for (int i = 0; i < row_bytes; ++i) {
      if (std::abs(a.ScanLine(y)[i] - b.ScanLine(y)[i]) > tolerance) {
        std::ostringstream s;
        s << "row " << y << " byte " << i << ": " << int(a.ScanLine(y)[i]) << " vs "
          << int(b.ScanLine(y)[i]);
        return s.str();
      }
    }
  }
  return "";
}

/// The plain CMYK rule for as long as it lives.
class TPlainCmyk {
 public:
  TPlainCmyk() : was_(CMYKColorManagement()) { SetCMYKColorManagement(false); }
  ~TPlainCmyk() { SetCMYKColorManagement(was_); }

 private:
  bool was_;
};

/// Native ink samples shown the way djpeg shows them (c x k / 255, rounded),
/// against djpeg's picture.
std::string InkDifference(const TImBitmap& inks, const TImBitmap& reference) {
  TImBitmap shown(inks.Width(), inks.Height(), im24RGB);
  for (int y = 0; y < inks.Height(); ++y) {
    const uint8_t* s = inks.ScanLine(y);
    TRGB* d = reinterpret_cast<TRGB*>(shown.ScanLine(y));
    for (int x = 0; x < inks.Width(); ++x, s += 4) {
      d[x].r = static_cast<uint8_t>(s[0] * s[3] / 255.0 + 0.5);
      d[x].g = static_cast<uint8_t>(s[1] * s[3] / 255.0 + 0.5);
      d[x].b = static_cast<uint8_t>(s[2] * s[3] / 255.0 + 0.5);
    }
  }
  return Difference(shown, reference);
}

struct TReadResult {
  TImBitmap bitmap;
  TIOParamsVals params;
  bool aborted = false;
  int rows = 0;
};

void ReadJpeg(const Bytes& bytes, TReadResult& out, TJpegReadOptions options = {}) {
  TBufferStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  TCodecProgress progress;
  progress.Aborted = &out.aborted;
  out.rows = ReadJpegStream(stream, out.bitmap, out.params, progress, options);
}

Bytes WriteJpeg(TImBitmap& bitmap, TIOParamsVals& params, bool* aborted = nullptr) {
  TMemoryStream stream;
  bool flag = false;
  TCodecProgress progress;
  progress.Aborted = &flag;
  WriteJpegStream(stream, bitmap, params, progress);
  if (aborted != nullptr) *aborted = flag;
  return stream.Bytes();
}

/// The segments before the first scan: marker code and data.
std::vector<std::pair<uint8_t, Bytes>> Segments(const Bytes& jpeg) {
  std::vector<std::pair<uint8_t, Bytes>> out;
  size_t p = 2;
  while (p + 4 <= jpeg.size() && jpeg[p] == 0xFF && jpeg[p + 1] != 0xDA) {
    const size_t length = (jpeg[p + 2] << 8) | jpeg[p + 3];
    if (length < 2 || p + 2 + length > jpeg.size()) break;
    out.emplace_back(jpeg[p + 1], Bytes(jpeg.begin() + p + 4, jpeg.begin() + p + 2 + length));
    p += 2 + length;
  }
  return out;
}

/// Data of the first segment with this code, or empty.
Bytes SegmentData(const Bytes& jpeg, uint8_t code) {
  for (auto& [c, data] : Segments(jpeg)) {
    if (c == code) return data;
  }
  return {};
}

Bytes Segment(uint8_t code, const Bytes& data) {
  Bytes out = {0xFF, code, static_cast<uint8_t>((data.size() + 2) >> 8),
               static_cast<uint8_t>(data.size() + 2)};
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes Text(const char* text, size_t length) { return Bytes(text, text + length); }

/// A colour profile header of the given size over filler bytes: enough for
/// exiftool to take it as a profile.
Bytes IccProfile(size_t size) {
  Bytes icc(size);
  for (size_t i = 0; i < size; ++i) icc[i] = static_cast<uint8_t>(i * 7 + i / 256);
  std::fill(icc.begin(), icc.begin() + 132, 0);
  for (int i = 0; i < 4; ++i) icc[i] = static_cast<uint8_t>(size >> (24 - 8 * i));
  icc[8] = 0x02;
  icc[9] = 0x10;
  std::memcpy(&icc[12], "mntrRGB XYZ ", 12);
  std::memcpy(&icc[36], "acsp", 4);
  return icc;
}

// ---------------------------------------------------------------- peers

struct PeerCase {
  const char* name;
  std::string make;     // shell command; {in} is a PPM of the photo, {out} the JPEG
  bool native;
  TJpegColorSpace space;
  bool progressive;
};

// Files written by other programs decode to exactly the pixels that djpeg
// gives with the same DCT method.
TEST(JpegPeers, ForeignFilesDecodeLikeDjpeg) {
  if (!HavePeers() || !HaveProgram("/usr/bin/python3")) GTEST_SKIP() << "peer tools missing";
  const std::string im = ImageMagick();
  const std::string pil = "/usr/bin/python3 -c \"from PIL import Image; ";
  const PeerCase cases[] = {
      {"cjpeg grey", "cjpeg -grayscale -quality 85 {in} > {out}", false, jcGray, false},
      {"cjpeg grey native", "cjpeg -grayscale {in} > {out}", true, jcGray, false},
      {"cjpeg 4:2:0", "cjpeg -sample 2x2 -quality 90 {in} > {out}", false, jcYCbCr, false},
      {"cjpeg 4:2:2", "cjpeg -sample 2x1 {in} > {out}", false, jcYCbCr, false},
      {"cjpeg 4:4:4", "cjpeg -sample 1x1 -quality 95 {in} > {out}", false, jcYCbCr, false},
      {"cjpeg progressive", "cjpeg -progressive {in} > {out}", false, jcYCbCr, true},
      {"cjpeg rgb", "cjpeg -rgb -quality 90 {in} > {out}", false, jcRGB, false},
      {"cjpeg restarts", "cjpeg -restart 2 -optimize {in} > {out}", false, jcYCbCr, false},
      {"imagemagick 4:2:2", im + " {in} -quality 88 -sampling-factor 2x1 {out}", false, jcYCbCr,
       false},
      {"imagemagick grey", im + " {in} -colorspace Gray -quality 80 {out}", true, jcGray, false},
      {"imagemagick progressive", im + " {in} -interlace JPEG {out}", false, jcYCbCr, true},
      {"imagemagick ycck", im + " {in} -colorspace CMYK -quality 90 {out}", true, jcYCCK, false},
      {"pillow 4:2:0", pil + "Image.open('{in}').save('{out}', quality=70)\"", false, jcYCbCr,
       false},
      {"pillow 4:4:4", pil + "Image.open('{in}').save('{out}', quality=92, subsampling=0)\"",
       false, jcYCbCr, false},
      {"pillow cmyk", pil + "Image.open('{in}').convert('CMYK').save('{out}', quality=90)\"", true,
       jcCMYK, false},
  };
  TempDir dir;
  TImBitmap photo;
  MakePhoto(photo, 77, 53);  // not a multiple of any block size
  const std::string in = dir.File("photo.ppm");
  WritePpm(in, photo);
  for (const PeerCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = dir.File("peer.jpg");
    std::string command = c.make;
    for (auto [key, value] : {std::pair{"{in}", in}, std::pair{"{out}", out}}) {
      for (size_t at; (at = command.find(key)) != std::string::npos;) {
        command.replace(at, std::strlen(key), value);
      }
    }
    ASSERT_EQ(RunCommand(command + " 2>/dev/null"), 0) << command;
    TReadResult got;
    TJpegReadOptions options;
    options.NativePixelFormat = c.native;
    ReadJpeg(ReadFileBytes(out), got, options);
    ASSERT_FALSE(got.aborted);
    EXPECT_EQ(got.rows, 53);
    EXPECT_EQ(got.params.JpegColorSpace, c.space);
    EXPECT_EQ(got.params.JpegProgressive, c.progressive);
    EXPECT_EQ(got.params.JpegWarningCount, 0);
    EXPECT_EQ(got.params.Width, 77);
    EXPECT_EQ(got.params.Height, 53);

    ASSERT_EQ(RunCommand("djpeg -dct int -pnm " + out + " > " + dir.File("ref.pnm")), 0);
    TImBitmap reference;
    ASSERT_TRUE(ReadPnm(dir.File("ref.pnm"), reference));
    if (c.space == jcCMYK || c.space == jcYCCK) {
      // djpeg shows ink samples as RGB; our native bitmap holds the samples.
      ASSERT_EQ(got.bitmap.PixelFormat(), imCMYK);
      EXPECT_EQ(InkDifference(got.bitmap, reference), "");
      // Without the native format the samples arrive as RGB (the plain
      // rule truncates where djpeg rounds).
      TPlainCmyk plain;
      TReadResult rgb;
      ReadJpeg(ReadFileBytes(out), rgb);
      ASSERT_EQ(rgb.bitmap.PixelFormat(), im24RGB);
      EXPECT_EQ(Difference(rgb.bitmap, reference, 1), "");
    } else if (c.native && c.space == jcGray) {
      EXPECT_EQ(got.bitmap.PixelFormat(), im8g);
      EXPECT_EQ(Difference(got.bitmap, reference), "");
    } else {
      ASSERT_EQ(got.bitmap.PixelFormat(), im24RGB);
      if (reference.PixelFormat() == im8g) {
        // Grey without the native format: blue, green and red all the grey.
        TImBitmap expanded(77, 53, im24RGB);
        for (int y = 0; y < 53; ++y) {
          for (int x = 0; x < 77; ++x) {
            const uint8_t v = reference.ScanLine(y)[x];
            reinterpret_cast<TRGB*>(expanded.ScanLine(y))[x] = TRGB{v, v, v};
          }
        }
        EXPECT_EQ(Difference(got.bitmap, expanded), "");
      } else {
        EXPECT_EQ(Difference(got.bitmap, reference), "");
      }
    }
  }
}

struct WriteCase {
  const char* name;
  TJpegColorSpace space;
  int quality;
  int subsampling;
  bool progressive;
  bool optimal;
  int dct;
  const char* djpeg_dct;
};

// Our files decode in djpeg to the pixels we decode, and keep the options we
// wrote them with.
TEST(JpegPeers, OurFilesDecodeInDjpeg) {
  if (!HavePeers()) GTEST_SKIP() << "peer tools missing";
  const WriteCase cases[] = {
      {"ycbcr 4:2:0", jcYCbCr, 80, 1, false, false, 0, "int"},
      {"ycbcr 4:2:2", jcYCbCr, 60, 0, false, false, 0, "int"},
      {"ycbcr 4:4:4 q100", jcYCbCr, 100, 2, false, false, 0, "int"},
      {"progressive optimal", jcYCbCr, 75, 1, true, true, 0, "int"},
      {"fast dct", jcYCbCr, 85, 1, false, false, 1, "fast"},
      {"float dct", jcYCbCr, 85, 1, false, false, 2, "float"},
      {"grey", jcGray, 90, 1, false, false, 0, "int"},
      {"rgb coded", jcRGB, 90, 1, false, false, 0, "int"},
      {"cmyk", jcCMYK, 90, 1, false, false, 0, "int"},
      {"ycck", jcYCCK, 90, 1, false, false, 0, "int"},
      {"quality 0", jcYCbCr, 0, 1, false, false, 0, "int"},
  };
  TempDir dir;
  TImBitmap photo;
  MakePhoto(photo, 61, 45);
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    TIOParamsVals params;
    params.JpegColorSpace = c.space;
    params.JpegQuality = c.quality;
    params.JpegSubsampling = static_cast<uint8_t>(c.subsampling);
    params.JpegProgressive = c.progressive;
    params.JpegOptimalHuffman = c.optimal;
    params.JpegDctMethod = static_cast<uint8_t>(c.dct);
    bool aborted = true;
    const Bytes file = WriteJpeg(photo, params, &aborted);
    ASSERT_FALSE(aborted);
    const std::string path = dir.File("ours.jpg");
    WriteFileBytes(path, file);

    TReadResult got;
    got.params.JpegDctMethod = static_cast<uint8_t>(c.dct);
    TJpegReadOptions options;
    options.NativePixelFormat = true;
    ReadJpeg(file, got, options);
    ASSERT_FALSE(got.aborted);
    EXPECT_EQ(got.params.JpegColorSpace, c.space);
    EXPECT_EQ(got.params.JpegProgressive, c.progressive);

    ASSERT_EQ(RunCommand(std::string("djpeg -dct ") + c.djpeg_dct + " -pnm " + path + " > " +
                         dir.File("ref.pnm")),
              0);
    TImBitmap reference;
    ASSERT_TRUE(ReadPnm(dir.File("ref.pnm"), reference));
    if (c.space == jcCMYK || c.space == jcYCCK) {
      ASSERT_EQ(got.bitmap.PixelFormat(), imCMYK);
      EXPECT_EQ(InkDifference(got.bitmap, reference), "");
    } else {
      EXPECT_EQ(Difference(got.bitmap, reference), "");
    }
    // Sampling of the luminance component, from the frame header.
    const Bytes sof = SegmentData(file, c.progressive ? 0xC2 : 0xC0);
    ASSERT_GE(sof.size(), 9u);
    if (c.space == jcYCbCr) {
      const uint8_t expected[] = {0x21, 0x22, 0x11};
      EXPECT_EQ(sof[7], expected[c.subsampling]);
      EXPECT_EQ(sof[10], 0x11);
    }
    // RGB, CMYK and YCCK data name their transform in an Adobe segment.
    const Bytes adobe = SegmentData(file, 0xEE);
    if (c.space == jcRGB || c.space == jcCMYK || c.space == jcYCCK) {
      ASSERT_EQ(adobe.size(), 12u);
      EXPECT_EQ(adobe[11], c.space == jcYCCK ? 2 : 0);
    } else {
      EXPECT_TRUE(adobe.empty());
    }
  }
}

// With the same pixels and quality 75, our file is cjpeg's file: the same
// size, the same tables and data; only the JFIF density differs (cjpeg
// writes an aspect ratio, we write 300 dots per inch).
TEST(JpegPeers, Quality75MatchesCjpeg) {
  if (!HavePeers()) GTEST_SKIP() << "peer tools missing";
  TempDir dir;
  TImBitmap photo;
  MakePhoto(photo, 120, 90);
  WritePpm(dir.File("photo.ppm"), photo);
  ASSERT_EQ(RunCommand("cjpeg -quality 75 " + dir.File("photo.ppm") + " > " + dir.File("c.jpg")), 0);
  Bytes theirs = ReadFileBytes(dir.File("c.jpg"));
  TIOParamsVals params;
  params.JpegQuality = 75;
  Bytes ours = WriteJpeg(photo, params);
  ASSERT_EQ(ours.size(), theirs.size());
  EXPECT_EQ(SegmentData(ours, 0xDB), SegmentData(theirs, 0xDB));
  // The density: unit at 13, X at 14, Y at 16.
  ASSERT_GT(ours.size(), 18u);
  EXPECT_EQ(Bytes(ours.begin() + 13, ours.begin() + 18), (Bytes{1, 0x01, 0x2C, 0x01, 0x2C}));
  std::copy(theirs.begin() + 13, theirs.begin() + 18, ours.begin() + 13);
  EXPECT_TRUE(ours == theirs);
}

// ---------------------------------------------------------------- reader cases

TEST(JpegReader, StartWithin150Bytes) {
  TImBitmap photo;
  MakePhoto(photo, 24, 16);
  TIOParamsVals params;
  const Bytes jpeg = WriteJpeg(photo, params);
  for (int junk : {0, 1, 100, 149, 150}) {
    SCOPED_TRACE(junk);
    Bytes file(junk, 'A');
    file.insert(file.end(), jpeg.begin(), jpeg.end());
    TReadResult got;
    ReadJpeg(file, got);
    const bool found = junk < 150;  // FF D8 FF must begin within the first 150 positions
    EXPECT_EQ(got.aborted, !found);
    EXPECT_EQ(got.rows, found ? 16 : 0);
    TBufferStream stream(file.data(), static_cast<int64_t>(file.size()));
    stream.SetPosition(0);
    EXPECT_EQ(FindJpegStart(stream), found ? junk : -1);
    EXPECT_EQ(stream.Position(), 0);
    EXPECT_EQ(IsJpegStream(stream), found);
  }
}

TEST(JpegReader, JfifDensity) {
  TImBitmap photo;
  MakePhoto(photo, 16, 16);
  TIOParamsVals params;
  params.SetDpiX(0);  // written as 300
  params.SetDpiY(150);
  const Bytes jpeg = WriteJpeg(photo, params);
  ASSERT_EQ(Bytes(jpeg.begin() + 6, jpeg.begin() + 11), Text("JFIF", 5));
  EXPECT_EQ(Bytes(jpeg.begin() + 13, jpeg.begin() + 18), (Bytes{1, 0x01, 0x2C, 0x00, 0x96}));

  struct Case { uint8_t unit; int x, y; int dpi_x, dpi_y; };
  const Case cases[] = {
      {2, 118, 118, 299, 299},  // dots per centimetre
      {1, 72, 96, 72, 96},
      {0, 1, 1, 1, 1},  // an aspect ratio; the I/O object puts in its default
      {3, 50, 50, 7, 7},  // an unknown unit leaves what was there
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.unit));
    Bytes file = jpeg;
    file[13] = c.unit;
    file[14] = static_cast<uint8_t>(c.x >> 8);
    file[15] = static_cast<uint8_t>(c.x);
    file[16] = static_cast<uint8_t>(c.y >> 8);
    file[17] = static_cast<uint8_t>(c.y);
    TReadResult got;
    got.params.SetDpiX(7);
    got.params.SetDpiY(7);
    ReadJpeg(file, got);
    ASSERT_FALSE(got.aborted);
    EXPECT_EQ(got.params.DpiX, c.dpi_x);
    EXPECT_EQ(got.params.DpiY, c.dpi_y);
  }
}

TEST(JpegReader, ScaledDecoding) {
  TImBitmap photo;
  MakePhoto(photo, 3000, 2000);
  TIOParamsVals params;
  params.JpegQuality = 50;
  const Bytes jpeg = WriteJpeg(photo, params);
  struct Case { int scale; int wanted_w, wanted_h; int used; };
  const Case cases[] = {
      {0, 400, 300, 4},  // 750 x 500 is the smallest that still covers the request
      {0, 0, 0, 1},      {0, 375, 250, 8}, {0, 376, 250, 4}, {0, 4000, 10, 1},
      {2, 0, 0, 2},      {3, 0, 0, 4},     {4, 0, 0, 8},     {9, 0, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.scale << " " << c.wanted_w << "x" << c.wanted_h);
    TReadResult got;
    got.params.JpegScale = static_cast<uint8_t>(c.scale);
    got.params.Width = c.wanted_w;
    got.params.Height = c.wanted_h;
    ReadJpeg(jpeg, got);
    ASSERT_FALSE(got.aborted);
    EXPECT_EQ(got.params.JpegScaleUsed, c.used);
    EXPECT_EQ(got.bitmap.Width(), 3000 / c.used);
    EXPECT_EQ(got.bitmap.Height(), 2000 / c.used);
    EXPECT_EQ(got.params.Width, 3000 / c.used);
    EXPECT_EQ(got.params.OriginalWidth, 3000);
    EXPECT_EQ(got.params.OriginalHeight, 2000);
  }
  // The parameters-only read reports the full size.
  TReadResult info;
  info.params.JpegScale = 0;
  info.params.Width = 400;
  info.params.Height = 300;
  TJpegReadOptions options;
  options.InfoOnly = true;
  ReadJpeg(jpeg, info, options);
  EXPECT_FALSE(info.aborted);
  EXPECT_EQ(info.rows, 0);
  EXPECT_TRUE(info.bitmap.IsEmpty());
  EXPECT_EQ(info.params.Width, 3000);
  EXPECT_EQ(info.params.Height, 2000);
  EXPECT_EQ(info.params.JpegScaleUsed, 4);

  if (!HavePeers()) return;
  TempDir dir;
  WriteFileBytes(dir.File("big.jpg"), jpeg);
  ASSERT_EQ(RunCommand("djpeg -scale 1/4 -pnm " + dir.File("big.jpg") + " > " + dir.File("q.ppm")), 0);
  TImBitmap reference;
  ASSERT_TRUE(ReadPnm(dir.File("q.ppm"), reference));
  TReadResult quarter;
  quarter.params.JpegScale = 3;
  ReadJpeg(jpeg, quarter);
  EXPECT_EQ(Difference(quarter.bitmap, reference), "");
}

// A file cut short in its scan data loads whole, as djpeg shows it, with
// warnings and without Aborted.
TEST(JpegReader, TruncatedFileLoadsWhole) {
  TImBitmap photo;
  MakePhoto(photo, 160, 120);
  for (bool progressive : {false, true}) {
    SCOPED_TRACE(progressive);
    TIOParamsVals params;
    params.JpegProgressive = progressive;
    Bytes jpeg = WriteJpeg(photo, params);
    jpeg.resize(jpeg.size() * 6 / 10);
    TReadResult got;
    ReadJpeg(jpeg, got);
    EXPECT_FALSE(got.aborted);
    EXPECT_EQ(got.rows, 120);
    EXPECT_GT(got.params.JpegWarningCount, 0);
    EXPECT_NE(got.params.JpegLastWarning, 0);
    if (!HavePeers()) continue;
    TempDir dir;
    WriteFileBytes(dir.File("cut.jpg"), jpeg);
    // djpeg ends with status 2 after warnings.
    ASSERT_EQ(RunCommand("djpeg -pnm " + dir.File("cut.jpg") + " > " + dir.File("cut.ppm") +
                         " 2>/dev/null"),
              2);
    TImBitmap reference;
    ASSERT_TRUE(ReadPnm(dir.File("cut.ppm"), reference));
    EXPECT_EQ(Difference(got.bitmap, reference), "");
  }
  // A sound file leaves the warning fields at 0.
  TIOParamsVals params;
  TReadResult clean;
  clean.params.JpegWarningCount = 5;
  ReadJpeg(WriteJpeg(photo, params), clean);
  EXPECT_EQ(clean.params.JpegWarningCount, 0);
  EXPECT_EQ(clean.params.JpegLastWarning, 0);
}

TEST(JpegReader, LineLimitAndProgress) {
  TImBitmap photo;
  MakePhoto(photo, 40, 50);
  TIOParamsVals params;
  const Bytes jpeg = WriteJpeg(photo, params);
  TReadResult got;
  TJpegReadOptions options;
  options.LineLimit = 10;
  ReadJpeg(jpeg, got, options);
  EXPECT_FALSE(got.aborted);
  EXPECT_EQ(got.rows, 10);
  EXPECT_EQ(got.bitmap.Height(), 50);

  TBufferStream stream(jpeg.data(), static_cast<int64_t>(jpeg.size()));
  TImBitmap bitmap;
  TIOParamsVals read_params;
  bool aborted = false;
  std::vector<int> reported;
  TCodecProgress progress;
  progress.Aborted = &aborted;
  progress.OnProgress = [&](TImageIO*, int percent) {
    reported.push_back(percent);
    if (percent >= 50) aborted = true;  // the user cancels half-way
  };
  const int rows = ReadJpegStream(stream, bitmap, read_params, progress);
  EXPECT_TRUE(aborted);
  EXPECT_EQ(rows, 25);
  ASSERT_FALSE(reported.empty());
  EXPECT_EQ(reported.front(), 2);
  EXPECT_EQ(reported.back(), 50);
  EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
}

// Damaged, lying and random input ends in Aborted, never in a crash or a
// huge allocation.
TEST(JpegReader, BadInputAborts) {
  TImBitmap photo;
  MakePhoto(photo, 32, 32);
  TIOParamsVals params;
  const Bytes good = WriteJpeg(photo, params);
  Bytes huge = good;  // the frame claims 65000 x 65000 in a tiny file
  for (size_t p = 2; p + 9 < huge.size(); ++p) {
    if (huge[p] == 0xFF && huge[p + 1] == 0xC0) {
      huge[p + 5] = huge[p + 7] = 0xFD;
      huge[p + 6] = huge[p + 8] = 0xE8;
      break;
    }
  }
  std::mt19937 random(8);
  Bytes noise(4000);
  for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
  Bytes soi_noise = {0xFF, 0xD8, 0xFF};
  soi_noise.insert(soi_noise.end(), noise.begin(), noise.end());
  Bytes no_frame = {0xFF, 0xD8, 0xFF, 0xD9};
  Bytes header_only(good.begin(), good.begin() + 30);
  Bytes bad_sof = good;  // a frame of 0 rows
  for (size_t p = 2; p + 9 < bad_sof.size(); ++p) {
    if (bad_sof[p] == 0xFF && bad_sof[p + 1] == 0xC0) {
      bad_sof[p + 5] = bad_sof[p + 6] = 0;
      break;
    }
  }
  const std::pair<const char*, Bytes> cases[] = {
      {"empty", {}},          {"noise", noise},           {"soi then noise", soi_noise},
      {"no frame", no_frame}, {"header only", header_only}, {"huge frame", huge},
      {"zero height", bad_sof},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    TReadResult got;
    ReadJpeg(bytes, got);
    EXPECT_TRUE(got.aborted);
    EXPECT_EQ(got.rows, 0);
  }
  // Random damage anywhere: nothing but a clean end.
  for (int round = 0; round < 200; ++round) {
    Bytes bytes = good;
    for (int i = 0; i < 4; ++i) bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
    if (round % 3 == 0) bytes.resize(random() % bytes.size());
    TReadResult got;
    ReadJpeg(bytes, got);
    EXPECT_LE(got.rows, got.bitmap.Height());
  }
}

TEST(JpegReader, ColourSpacesRoundTrip) {
  TPlainCmyk plain;  // the press profile does not give back the same RGB
  TImBitmap photo;
  MakePhoto(photo, 33, 21);
  struct Case { TJpegColorSpace space; bool native; TImPixelLayout format; int samples; };
  const Case cases[] = {
      {jcGray, true, im8g, 1},    {jcGray, false, im24RGB, 1}, {jcRGB, false, im24RGB, 3},
      {jcYCbCr, true, im24RGB, 3}, {jcCMYK, true, imCMYK, 4},   {jcCMYK, false, im24RGB, 4},
      {jcYCCK, true, imCMYK, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << int(c.space) << " " << c.native);
    TIOParamsVals params;
    params.JpegColorSpace = c.space;
    params.JpegQuality = 100;
    params.JpegSubsampling = 2;
    const Bytes first = WriteJpeg(photo, params);
    TReadResult got;
    TJpegReadOptions options;
    options.NativePixelFormat = c.native;
    ReadJpeg(first, got, options);
    ASSERT_FALSE(got.aborted);
    EXPECT_EQ(got.bitmap.PixelFormat(), c.format);
    EXPECT_EQ(got.params.SamplesPerPixel, c.samples);
    EXPECT_EQ(got.params.BitsPerSample, 8);
    EXPECT_EQ(got.params.ImageCount, 1);
    if (c.space == jcGray && !c.native) {
      const TRGB p = got.bitmap.PixelRGB(5, 5);
      EXPECT_TRUE(p.r == p.g && p.g == p.b);
    }
    if (c.format == im24RGB && c.space != jcGray) {
      // Quality 100 without subsampling keeps the colours close.
      TImBitmap expected;
      expected.Assign(photo);
      EXPECT_EQ(Difference(got.bitmap, expected, c.space == jcCMYK ? 12 : 8), "");
    }
    // Saved again with the record of the read: the same colour space.
    const Bytes second = WriteJpeg(got.bitmap.PixelFormat() == im24RGB ? got.bitmap : photo,
                                   got.params);
    TReadResult again;
    ReadJpeg(second, again);
    EXPECT_EQ(again.params.JpegColorSpace, c.space);
  }
}

// ---------------------------------------------------------------- segments

// A photo's segments come through a load and a save: the JFIF header is made
// anew, the Adobe segment is the library's, and everything else is written
// back in write order.
TEST(JpegMarkers, SegmentsSurviveLoadAndSave) {
  TImBitmap photo;
  MakePhoto(photo, 48, 32);
  TIOParamsVals params;
  const Bytes plain = WriteJpeg(photo, params);

  const Bytes icc = IccProfile(150000);
  auto icc_chunk = [&](int seq) {
    Bytes data = Text("ICC_PROFILE", 12);
    data.push_back(static_cast<uint8_t>(seq));
    data.push_back(3);
    const size_t begin = (seq - 1) * 60000;
    data.insert(data.end(), icc.begin() + begin, icc.begin() + std::min(icc.size(), begin + 60000));
    return data;
  };
  const Bytes xmp_packet = Text("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta>title</x:xmpmeta>", 57);
  Bytes extra_app0 = Text("JFXX\0\x13", 6);
  const std::vector<std::pair<uint8_t, Bytes>> inserted = {
      {0xFE, Text("first comment", 13)},
      {0xE2, icc_chunk(3)},
      {0xE1, xmp_packet},
      {0xE2, icc_chunk(1)},
      {0xE0, extra_app0},
      {0xED, Text("Photoshop 3.0\0" "8BIM\x04\x04\0\0\0\0\0\x07\x1c\x02\x19\0\x02hi", 33)},
      {0xE2, icc_chunk(2)},
      {0xEE, Text("Adobe\0d\0\0\0\0\1", 12)},
      {0xFE, Text("second comment", 14)},
  };
  // SOI and the JFIF segment, then ours, then the rest of the plain file.
  Bytes file(plain.begin(), plain.begin() + 20);
  for (const auto& [code, data] : inserted) {
    const Bytes s = Segment(code, data);
    file.insert(file.end(), s.begin(), s.end());
  }
  file.insert(file.end(), plain.begin() + 20, plain.end());

  TReadResult got;
  ReadJpeg(file, got);
  ASSERT_FALSE(got.aborted);
  ASSERT_EQ(got.params.JpegMarkers.Count(), static_cast<int>(inserted.size()));
  for (size_t i = 0; i < inserted.size(); ++i) {
    EXPECT_EQ(got.params.JpegMarkers.MarkerCode(i), inserted[i].first);
    EXPECT_EQ(got.params.JpegMarkers.MarkerData(i), inserted[i].second);
  }

  const Bytes saved = WriteJpeg(got.bitmap, got.params);
  const std::vector<std::pair<uint8_t, Bytes>> expected = {
      {0xE0, {}},  // the library's JFIF header, checked apart
      {0xE0, extra_app0},
      {0xE1, xmp_packet},
      {0xE2, icc_chunk(1)},
      {0xE2, icc_chunk(2)},
      {0xE2, icc_chunk(3)},
      {0xED, inserted[5].second},
      {0xFE, inserted[0].second},
      {0xFE, inserted[8].second},
  };
  auto segments = Segments(saved);
  std::erase_if(segments, [](const auto& s) { return s.first == 0xDB || s.first == 0xC4 ||
                                                     s.first == 0xC0; });
  ASSERT_EQ(segments.size(), expected.size());
  EXPECT_EQ(Bytes(segments[0].second.begin(), segments[0].second.begin() + 5), Text("JFIF", 5));
  for (size_t i = 1; i < expected.size(); ++i) {
    EXPECT_EQ(segments[i].first, expected[i].first) << i;
    EXPECT_EQ(segments[i].second, expected[i].second) << i;
  }

  if (!HaveProgram("exiftool")) return;
  TempDir dir;
  WriteFileBytes(dir.File("saved.jpg"), saved);
  ASSERT_EQ(RunCommand("exiftool -q -q -b -ICC_Profile " + dir.File("saved.jpg") + " > " +
                       dir.File("icc.bin")),
            0);
  EXPECT_TRUE(ReadFileBytes(dir.File("icc.bin")) == icc);
}

// The same with a photo whose metadata exiftool wrote: every tag reads back.
TEST(JpegMarkers, ExiftoolTagsSurvive) {
  if (!HavePeers() || !HaveProgram("exiftool")) GTEST_SKIP() << "peer tools missing";
  TempDir dir;
  TImBitmap photo;
  MakePhoto(photo, 64, 40);
  WritePpm(dir.File("p.ppm"), photo);
  const std::string in = dir.File("in.jpg");
  ASSERT_EQ(RunCommand("cjpeg " + dir.File("p.ppm") + " > " + in), 0);
  const std::string tags =
      "-Make=Tessera -Model=Nine -ExposureTime=1/250 -FNumber=5.6 -ISO=200 "
      "-DateTimeOriginal='2021:06:01 10:20:30' -GPSLatitude=48.5 -GPSLatitudeRef=N "
      "-XMP:Title=Harbour -XMP:Creator=Someone -IPTC:Keywords=boats -IPTC:City=Porto "
      "-Comment='A quiet morning' '-ICC_Profile<=" + dir.File("p.icc") + "'";
  WriteFileBytes(dir.File("p.icc"), IccProfile(600));
  ASSERT_EQ(RunCommand("exiftool -q -overwrite_original " + tags + " " + in), 0);

  TReadResult got;
  ReadJpeg(ReadFileBytes(in), got);
  ASSERT_FALSE(got.aborted);
  const Bytes saved = WriteJpeg(got.bitmap, got.params);
  const std::string out = dir.File("out.jpg");
  WriteFileBytes(out, saved);

  const std::string list = "-q -q -s -s -s -Make -Model -ExposureTime -FNumber -ISO "
                           "-DateTimeOriginal -GPSLatitude -XMP:Title -XMP:Creator "
                           "-IPTC:Keywords -IPTC:City -Comment";
  for (const std::string& file : {in, out}) {
    SCOPED_TRACE(file);
    ASSERT_EQ(RunCommand("exiftool " + list + " " + file + " > " + dir.File("tags.txt")), 0);
    const Bytes tags_read = ReadFileBytes(dir.File("tags.txt"));
    EXPECT_EQ(std::string(tags_read.begin(), tags_read.end()),
              "Tessera\nNine\n1/250\n5.6\n200\n2021:06:01 10:20:30\n48 deg 30' 0.00\" N\n"
              "Harbour\nSomeone\nboats\nPorto\nA quiet morning\n");
    ASSERT_EQ(RunCommand("exiftool -q -q -b -ICC_Profile " + file + " > " + dir.File("icc.bin")), 0);
    EXPECT_TRUE(ReadFileBytes(dir.File("icc.bin")) == IccProfile(600));
  }
}

TEST(JpegMarkers, WriteOrder) {
  auto entry = [](uint8_t code, const char* text, size_t n) { return std::pair{code, Text(text, n)}; };
  const std::vector<std::pair<uint8_t, Bytes>> input = {
      entry(0xFE, "note", 4),
      entry(0xE1, "http://ns.adobe.com/xap/1.0/\0x", 30),
      entry(0xED, "part one", 8),
      entry(0xE2, "ICC_PROFILE\0\x02\x02" "b", 15),
      entry(0xE2, "MPF\0", 4),
      entry(0xE1, "Exif\0\0II", 8),
      entry(0xE2, "ICC_PROFILE\0\x01\x02" "a", 15),
      entry(0xED, "part two", 8),
      entry(0xE0, "JFXX", 4),
  };
  TImMarkerList list;
  for (const auto& [code, data] : input) list.AddMarker(code, data.data(), static_cast<int>(data.size()));
  list.SortForWrite();
  // By code; EXIF first among APP1; ICC chunks by sequence in their slots;
  // segments of one code otherwise in file order.
  const int order[] = {8, 5, 1, 6, 4, 3, 2, 7, 0};
  ASSERT_EQ(list.Count(), 9);
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(list.MarkerCode(i), input[order[i]].first) << i;
    EXPECT_EQ(list.MarkerData(i), input[order[i]].second) << i;
  }
  EXPECT_EQ(list.IndexOf(0xE2), 3);
  EXPECT_EQ(list.IndexOf(0xEF), -1);
  list.DeleteMarker(0);
  EXPECT_EQ(list.MarkerCode(0), 0xE1);
  const Bytes big(70000, 1);
  list.SetMarker(0, 0xE5, big.data(), 70000);
  EXPECT_EQ(list.MarkerLength(0), TImMarkerList::kMaxDataLength);
}

// ---------------------------------------------------------------- writer cases

TEST(JpegWriter, Failures) {
  TIOParamsVals params;
  TImBitmap empty;
  bool aborted = false;
  EXPECT_TRUE(WriteJpeg(empty, params, &aborted).empty());
  EXPECT_TRUE(aborted);

  // A stream that takes only so many bytes: Aborted, no exception.
  class TShortStream final : public TStream {
   public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t count) override {
      const int64_t n = std::min(count, room_);
      room_ -= n;
      return n;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return 0; }

   private:
    int64_t room_ = 1000;
  };
  TImBitmap photo;
  MakePhoto(photo, 400, 400);
  for (int room_case = 0; room_case < 2; ++room_case) {
    TShortStream stream;
    bool flag = false;
    TCodecProgress progress;
    progress.Aborted = &flag;
    params.JpegQuality = 100;
    EXPECT_NO_THROW(WriteJpegStream(stream, photo, params, progress));
    EXPECT_TRUE(flag);
  }

  // A library error reaches the caller with the library's text.
  TImBitmap wide(65501, 1, im24RGB);
  wide.Fill(0);
  try {
    WriteJpeg(wide, params);
    ADD_FAILURE() << "no exception";
  } catch (const EImJpegException& e) {
    EXPECT_STREQ(e.what(), "Maximum supported image dimension is ? pixels");
  }
}

TEST(JpegWriter, OtherPixelFormatsAreConverted) {
  TImBitmap grey(20, 10, im8g);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 20; ++x) grey.ScanLine(y)[x] = static_cast<uint8_t>(x * 12);
  }
  TIOParamsVals params;
  params.JpegQuality = 100;
  params.JpegColorSpace = jcGray;
  bool aborted = true;
  const Bytes jpeg = WriteJpeg(grey, params, &aborted);
  ASSERT_FALSE(aborted);
  TReadResult got;
  TJpegReadOptions options;
  options.NativePixelFormat = true;
  ReadJpeg(jpeg, got, options);
  EXPECT_EQ(Difference(got.bitmap, grey, 2), "");
}

// ---------------------------------------------------------------- helpers of the codec

TEST(JpegStreams, MeasureFindsTheEnd) {
  TImBitmap photo;
  MakePhoto(photo, 40, 30);
  TIOParamsVals params;
  const Bytes jpeg = WriteJpeg(photo, params);
  Bytes followed = jpeg;  // trailing data after EOI is not counted
  followed.insert(followed.end(), {0xFF, 0xD9, 1, 2, 3});
  Bytes filled(jpeg.begin(), jpeg.end() - 2);  // fill bytes before the EOI
  filled.insert(filled.end(), {0xFF, 0xFF, 0xFF, 0xD9, 9, 9});
  Bytes unfinished(jpeg.begin(), jpeg.end() - 2);
  const std::pair<Bytes, int64_t> cases[] = {
      {jpeg, static_cast<int64_t>(jpeg.size())},
      {followed, static_cast<int64_t>(jpeg.size())},
      {filled, static_cast<int64_t>(jpeg.size() + 2)},
      {unfinished, static_cast<int64_t>(unfinished.size())},
      {{0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xFF}, 6},  // a length past the end
  };
  for (const auto& [bytes, length] : cases) {
    Bytes shifted = {7, 7};
    shifted.insert(shifted.end(), bytes.begin(), bytes.end());
    TBufferStream stream(shifted.data(), static_cast<int64_t>(shifted.size()));
    stream.SetPosition(2);
    EXPECT_EQ(MeasureJpegStream(stream), length);
    EXPECT_EQ(stream.Position(), 2);
  }
}

TEST(JpegStreams, MessageTexts) {
  jpeg_detail::TJpegErrorManager manager;
  jpeg_detail::InitErrorManager(manager, nullptr);
  struct Case { int code; const char* text; };
  const Case cases[] = {
      {JERR_NO_SOI, "Not a JPEG file: starts with ?"},
      {JERR_SOF_UNSUPPORTED, "Unsupported JPEG process: SOF type ?"},
      {JERR_INPUT_EOF, "Premature end of input file"},
      {JERR_TOO_LITTLE_DATA, "Application transferred too few scanlines"},
      {JWRN_JPEG_EOF, "Premature end of JPEG file"},
      {JMSG_COPYRIGHT, ""},
      {JMSG_VERSION, ""},
      {-1, "Corrupted"},
      {jpeg_detail::kOwnErrorCode, "Corrupted"},
  };
  for (const Case& c : cases) EXPECT_EQ(jpeg_detail::JpegMessageText(manager.pub, c.code), c.text);
  // No placeholder is left anywhere in the table.
  for (int code = 0; code <= manager.pub.last_jpeg_message; ++code) {
    EXPECT_EQ(jpeg_detail::JpegMessageText(manager.pub, code).find('%'), std::string::npos) << code;
  }
}

}  // namespace
}  // namespace tessaly
