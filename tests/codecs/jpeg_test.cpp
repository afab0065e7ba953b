// Tessaly tests: the JPEG reader and writer, against the library's own tools,
// ImageMagick and Pillow.
#include "codecs/jpeg/jpeg_codec.h"

#include <gtest/gtest.h>

#include <jpeglib.h>

#include <jerror.h>

#include <random>

#include "codecs/jpeg/jpeg_internal.h"
#include "codecs/jpeg_test_support.h"

namespace tessaly {
namespace {

using namespace jpegtest;

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
