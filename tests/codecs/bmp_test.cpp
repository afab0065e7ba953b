// Tessaly tests: the BMP reader, writer and run-length coders on crafted
// files, hostile input and the byte layout the writer produces.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "codecs/bmp/bmp.h"
#include "codecs/bmp/bmp_rle.h"
#include "codecs/bmp_test_util.h"
#include "io/image_io.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using testing_bmp::BmpFile;
using testing_bmp::Decode;
using testing_bmp::Decoded;
using testing_bmp::Encode;
using testing_bmp::PixelRGBA;

// ---- reading crafted files

TEST(BmpRead, HeaderFormsAndPalettes) {
  const std::vector<uint8_t> row8 = {0, 1, 2, 0};  // 3 pixels and a pad byte
  struct Case {
    const char* name;
    BmpFile file;
    uint8_t version;
  };
  auto palette3 = [](BmpFile f) {
    f.palette = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}};
    return f;
  };
  std::vector<Case> cases;
  for (uint32_t header : {12u, 40u, 64u, 108u, 124u}) {
    BmpFile f = palette3(BmpFile{});
    f.header_size = header;
    f.width = 3;
    f.height = 2;
    f.bits = 8;
    f.colors_used = 3;
    if (header == 12) f.palette.resize(256);  // the OS/2 1.x palette always has 2^bits entries
    f.pixels = row8;
    f.pixels.insert(f.pixels.end(), {2, 1, 0, 0});
    cases.push_back({"header", f, static_cast<uint8_t>(header == 12 ? 2 : header == 40 ? 1 : header == 64 ? 3 : 0)});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.header_size);
    Decoded d = Decode(c.file.Bytes());
    ASSERT_FALSE(d.aborted);
    EXPECT_EQ(d.params.BmpVersion, c.version);
    EXPECT_EQ(d.params.BitsPerSample, 8);
    EXPECT_EQ(d.params.SamplesPerPixel, 1);
    ASSERT_EQ(d.bitmap->PixelFormat(), im24RGB);
    // Bottom-up: the first stored row is the bottom one.
    EXPECT_EQ(PixelRGBA(d, 0, 1), (std::array<uint8_t, 4>{255, 0, 0, 255}));
    EXPECT_EQ(PixelRGBA(d, 1, 1), (std::array<uint8_t, 4>{0, 255, 0, 255}));
    EXPECT_EQ(PixelRGBA(d, 0, 0), (std::array<uint8_t, 4>{0, 0, 255, 255}));
    EXPECT_EQ(PixelRGBA(d, 2, 0), (std::array<uint8_t, 4>{255, 0, 0, 255}));
  }
}

TEST(BmpRead, ParametersAndColorMap) {
  BmpFile f;
  f.width = 3;
  f.height = 2;
  f.bits = 8;
  f.colors_used = 300;  // taken as 0, so 256 entries
  f.palette.assign(256, {});
  f.palette[5] = {10, 20, 30};
  f.pixels.assign(8, 5);
  f.pels_per_meter = 3780;
  Decoded d = Decode(f.Bytes());
  ASSERT_FALSE(d.aborted);
  EXPECT_EQ(d.params.ColorMapCount, 256);
  EXPECT_EQ(d.params.ColorMap[5], (TRGB{10, 20, 30}));
  EXPECT_EQ(d.params.DpiX, 96);
  EXPECT_EQ(d.params.DpiY, 96);
  EXPECT_EQ(d.params.Width, 3);
  EXPECT_EQ(d.params.OriginalHeight, 2);
  EXPECT_EQ(d.params.ImageCount, 1);
  EXPECT_EQ(PixelRGBA(d, 2, 1), (std::array<uint8_t, 4>{30, 20, 10, 255}));

  // No resolution in the file gives the default one; NativePixelFormat keeps the indices.
  f.pels_per_meter = 0;
  d = Decode(f.Bytes(), {.native = true});
  EXPECT_EQ(d.params.DpiX, TIOParamsVals::kDefaultDpi);
  ASSERT_EQ(d.bitmap->PixelFormat(), im8p);
  EXPECT_EQ(d.bitmap->PixelByte(1, 1), 5);
  EXPECT_EQ(d.bitmap->PaletteColor(5), (TRGB{10, 20, 30}));

  // A parameters-only call fills the record and leaves the bitmap alone.
  d = Decode(f.Bytes(), {.params_only = true});
  EXPECT_FALSE(d.aborted);
  EXPECT_EQ(d.params.Width, 3);
  EXPECT_TRUE(d.bitmap->IsEmpty());
}

TEST(BmpRead, OneBitPalettes) {
  struct Case {
    TRGB first, second;
    bool set_bit_white;
  };
  for (const Case& c : {Case{{255, 255, 255}, {0, 0, 0}, true}, Case{{0, 0, 0}, {255, 255, 255}, false},
                        Case{{0, 0, 255}, {255, 0, 0}, false}}) {
    BmpFile f;
    f.width = 2;
    f.height = 1;
    f.bits = 1;
    f.palette = {c.first, c.second};
    f.pixels = {0x80, 0, 0, 0};  // left pixel set
    Decoded d = Decode(f.Bytes());
    ASSERT_FALSE(d.aborted);
    ASSERT_EQ(d.bitmap->PixelFormat(), im1g);
    // Set bits show the first palette entry, which is white only in the first case.
    EXPECT_EQ(d.bitmap->PixelBit(0, 0), !c.set_bit_white);
    EXPECT_EQ(d.bitmap->PixelBit(1, 0), c.set_bit_white);
  }
}

TEST(BmpRead, TopDownAndAlpha) {
  // 2 x 2, 32-bit: stored top row first because the height is negative.
  BmpFile f;
  f.width = 2;
  f.height = -2;
  f.bits = 32;
  f.pixels = {1, 2, 3, 10, 4, 5, 6, 20, 7, 8, 9, 30, 11, 12, 13, 40};
  Decoded d = Decode(f.Bytes(), {.alpha = true});
  ASSERT_FALSE(d.aborted);
  ASSERT_NE(d.mask, nullptr);
  EXPECT_EQ(d.params.SamplesPerPixel, 4);
  EXPECT_EQ(PixelRGBA(d, 0, 0), (std::array<uint8_t, 4>{3, 2, 1, 10}));
  EXPECT_EQ(PixelRGBA(d, 1, 1), (std::array<uint8_t, 4>{13, 12, 11, 40}));

  // Alpha ignored, all 0 or all 255: no mask.
  EXPECT_EQ(Decode(f.Bytes()).mask, nullptr);
  for (uint8_t a : {0, 255}) {
    for (size_t i = 3; i < f.pixels.size(); i += 4) f.pixels[i] = a;
    EXPECT_EQ(Decode(f.Bytes(), {.alpha = true}).mask, nullptr);
  }
}

TEST(BmpRead, SixteenBitMasks) {
  struct Case {
    const char* name;
    uint32_t header;
    uint32_t compression;
    std::vector<uint32_t> masks;
    uint16_t pixel;
    std::array<uint8_t, 4> rgba;
  };
  const Case cases[] = {
      // 5-5-5 by default; low bits are not replicated.
      {"555", 40, 0, {}, 0x7FFF, {248, 248, 248, 255}},
      {"555-red", 40, 0, {}, 0x7C00, {248, 0, 0, 255}},
      {"565-after-header", 40, 3, {0xF800, 0x07E0, 0x001F}, 0x07E0, {0, 252, 0, 255}},
      {"565-in-v5-header", 124, 3, {0xF800, 0x07E0, 0x001F}, 0xF81F, {248, 0, 248, 255}},
      {"565-in-v4-header", 108, 3, {0xF800, 0x07E0, 0x001F}, 0x001F, {0, 0, 248, 255}},
      // Masks in another order still name their own channel.
      {"bgr-order", 40, 3, {0x001F, 0x03E0, 0x7C00}, 0x001F, {248, 0, 0, 255}},
      {"wide-mask", 40, 3, {0xFFFF, 0, 0}, 0xFFFF, {255, 0, 0, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BmpFile f;
    f.header_size = c.header;
    f.width = 1;
    f.height = 1;
    f.bits = 16;
    f.compression = c.compression;
    f.masks = c.masks;
    f.pixels = {static_cast<uint8_t>(c.pixel), static_cast<uint8_t>(c.pixel >> 8), 0, 0};
    Decoded d = Decode(f.Bytes());
    ASSERT_FALSE(d.aborted);
    EXPECT_EQ(d.params.BitsPerSample, 5);
    EXPECT_EQ(PixelRGBA(d, 0, 0), c.rgba);
  }
}

// Run-length data decoded into indices; the palette maps index i to grey 10 * i.
TEST(BmpRead, RunLength) {
  struct Case {
    const char* name;
    bool rle4;
    int32_t width, height;
    std::vector<uint8_t> data;
    std::vector<uint8_t> expected;  // indices, top row first
  };
  const Case cases[] = {
      {"encoded-and-absolute", false, 4, 2, {2, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 4, 9, 9, 9, 9, 0, 1},
       {9, 9, 9, 9, 7, 7, 1, 2}},
      {"run-past-width", false, 3, 1, {200, 4, 0, 1}, {4, 4, 4}},
      {"delta", false, 3, 3, {0, 2, 1, 1, 1, 5, 0, 0, 1, 6, 0, 1}, {6, 0, 0, 0, 5, 0, 0, 0, 0}},
      {"delta-past-last-row", false, 2, 2, {1, 3, 0, 2, 0, 9, 1, 4}, {0, 0, 3, 0}},
      {"end-of-line-past-last-row", false, 1, 1, {1, 3, 0, 0, 1, 4, 0, 0}, {3}},
      {"data-ends-early", false, 3, 2, {3, 2, 0, 3, 5}, {0, 0, 0, 2, 2, 2}},
      {"rle4-runs", true, 5, 1, {5, 0x12, 0, 1}, {1, 2, 1, 2, 1}},
      {"rle4-absolute", true, 5, 1, {0, 5, 0x34, 0x56, 0x70, 0, 0, 1}, {3, 4, 5, 6, 7}},
      {"rle4-absolute-cut", true, 4, 1, {0, 7, 0x12}, {1, 2, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BmpFile f;
    f.width = c.width;
    f.height = c.height;
    f.bits = c.rle4 ? 4 : 8;
    f.compression = c.rle4 ? 2 : 1;
    for (int i = 0; i < (1 << f.bits); ++i) {
      const uint8_t v = static_cast<uint8_t>(10 * i);
      f.palette.push_back({v, v, v});
    }
    f.pixels = c.data;
    Decoded d = Decode(f.Bytes(), {.native = true});
    ASSERT_FALSE(d.aborted);
    EXPECT_EQ(d.params.BmpCompression, 1);
    std::vector<uint8_t> got;
    for (int32_t y = 0; y < c.height; ++y)
      for (int32_t x = 0; x < c.width; ++x) got.push_back(d.bitmap->PixelByte(x, y));
    EXPECT_EQ(got, c.expected);
    // Expanded to colour the same indices read through the palette.
    Decoded colour = Decode(f.Bytes());
    EXPECT_EQ(PixelRGBA(colour, 0, 0)[0], 10 * c.expected[0]);
  }
}

// ---- hostile input

TEST(BmpHostile, BadFilesAbortWithoutAllocating) {
  BmpFile base;
  base.width = 4;
  base.height = 4;
  base.bits = 24;
  base.pixels.assign(48, 7);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases;
  auto with = [&](const char* name, auto change) {
    BmpFile f = base;
    change(f);
    cases.push_back({name, f.Bytes()});
  };
  with("huge-dimensions", [](BmpFile& f) { f.width = f.height = 30000; });
  with("width-times-height-overflow", [](BmpFile& f) { f.width = 0x7FFFFFFF; f.height = 0x7FFFFFFF; f.bits = 32; });
  with("rle-huge-dimensions", [](BmpFile& f) { f.bits = 8; f.compression = 1; f.width = f.height = 20000;
                                               f.palette.assign(256, {}); f.pixels = {0, 1}; });
  with("negative-width", [](BmpFile& f) { f.width = -4; });
  with("height-int-min", [](BmpFile& f) { f.height = INT32_MIN; });
  with("colours-used-beyond-file", [](BmpFile& f) { f.bits = 8; f.colors_used = 256; f.pixels.clear(); });
  with("header-size-beyond-file", [](BmpFile& f) { f.header_size_field = 0xFFFFFFF0; });
  with("header-size-tiny", [](BmpFile& f) { f.header_size_field = 4; });
  with("unknown-depth", [](BmpFile& f) { f.bits = 7; });
  with("rle-with-24-bits", [](BmpFile& f) { f.compression = 1; });
  with("truncated-rows", [](BmpFile& f) { f.pixels.resize(40); });
  with("pixel-offset-past-end", [](BmpFile& f) { f.pixel_offset = 1000000; });
  cases.push_back({"not-bm", {'B', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0}});
  cases.push_back({"empty", {}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Decoded d = Decode(c.bytes);
    EXPECT_TRUE(d.aborted);
    EXPECT_TRUE(d.bitmap->IsEmpty());
  }
}

TEST(BmpHostile, IndicesBeyondPaletteReadBlack) {
  BmpFile f;
  f.width = 2;
  f.height = 1;
  f.bits = 8;
  f.colors_used = 2;
  f.palette = {{50, 50, 50}, {60, 60, 60}};
  f.pixels = {1, 200, 0, 0};
  Decoded d = Decode(f.Bytes());
  ASSERT_FALSE(d.aborted);
  EXPECT_EQ(PixelRGBA(d, 0, 0), (std::array<uint8_t, 4>{60, 60, 60, 255}));
  EXPECT_EQ(PixelRGBA(d, 1, 0), (std::array<uint8_t, 4>{0, 0, 0, 255}));
}

// Every prefix of valid files, and random bytes behind a plausible header,
// end cleanly (the sanitizers watch the reads).
TEST(BmpHostile, TruncatedAndRandomFilesEndCleanly) {
  TImBitmap source;
  testing_bmp::FillPattern(source, 9, 5, 40);
  std::vector<std::vector<uint8_t>> files;
  for (int bits : {1, 4, 8, 24}) {
    for (int rle : {0, 1}) {
      if (rle == 1 && bits != 4 && bits != 8) continue;
      TIOParamsVals params;
      params.BitsPerSample = bits == 24 ? 8 : bits;
      params.SamplesPerPixel = bits == 24 ? 3 : 1;
      params.BmpCompression = static_cast<uint8_t>(rle);
      files.push_back(Encode(source, params));
    }
  }
  for (const auto& file : files) {
    for (size_t n = 0; n < file.size(); ++n) {
      std::vector<uint8_t> prefix(file.begin(), file.begin() + static_cast<ptrdiff_t>(n));
      Decoded d = Decode(prefix, {.alpha = true});
      // Uncompressed rows must all be there; run-length data may stop early.
      if (n < 54) {
        EXPECT_TRUE(d.aborted) << n;
      }
    }
  }
  std::mt19937 random(12345);
  for (int i = 0; i < 3000; ++i) {
    std::vector<uint8_t> bytes(14 + 40 + random() % 300);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    bytes[0] = 'B';
    bytes[1] = 'M';
    // Keep sizes small often enough to reach the decoders.
    bytes[14] = static_cast<uint8_t>(std::array<int, 5>{12, 40, 64, 108, 124}[i % 5]);
    bytes[15] = bytes[16] = bytes[17] = 0;
    if (i % 2 == 0) {
      bytes[19] = bytes[20] = bytes[21] = bytes[23] = bytes[24] = bytes[25] = 0;
      bytes[29] = 0;
      bytes[31] = bytes[32] = bytes[33] = 0;
      bytes[30] &= 3;
      bytes[10] = 54;
      bytes[11] = bytes[12] = bytes[13] = 0;
    }
    Decode(bytes, {.native = (i & 4) != 0, .alpha = true});
  }
}

// ---- writing

TEST(BmpWrite, PhotoOf641By480At96DpiByteForByte) {
  TImBitmap photo;
  testing_bmp::FillPattern(photo, 641, 480, 0);
  TIOParamsVals params;
  params.SetDpiX(96);
  params.SetDpiY(96);
  const std::vector<uint8_t> file = Encode(photo, params);
  const uint32_t data = 480 * 1924;
  std::vector<uint8_t> header = {'B', 'M'};
  auto u32 = [&header](uint32_t v) { for (int i = 0; i < 4; ++i) header.push_back(static_cast<uint8_t>(v >> (8 * i))); };
  auto u16 = [&header](uint16_t v) { header.push_back(static_cast<uint8_t>(v)); header.push_back(static_cast<uint8_t>(v >> 8)); };
  u32(54 + data); u16(0); u16(0); u32(54);
  u32(40); u32(641); u32(480); u16(1); u16(24); u32(0); u32(data); u32(3780); u32(3780); u32(0); u32(1u << 24);
  ASSERT_EQ(file.size(), 54 + data);
  EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 54), header);
  for (int32_t i = 0; i < 480; ++i) {
    const uint8_t* stored = file.data() + 54 + static_cast<size_t>(i) * 1924;
    ASSERT_EQ(std::memcmp(stored, photo.ScanLine(479 - i), 1923), 0) << i;
    ASSERT_EQ(stored[1923], 0) << i;
  }
}

TEST(BmpWrite, TwoColoursWriteTheDarkerFirst) {
  TImBitmap image(3, 1, im24RGB);
  image.SetPixelRGB(0, 0, {200, 200, 200});  // brighter colour met first
  image.SetPixelRGB(1, 0, {10, 0, 40});
  image.SetPixelRGB(2, 0, {200, 200, 200});
  TIOParamsVals params;
  params.BitsPerSample = 1;
  const std::vector<uint8_t> file = Encode(image, params);
  ASSERT_EQ(file.size(), 54u + 8 + 4);
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 54, file.begin() + 62),
            (std::vector<uint8_t>{10, 0, 40, 0, 200, 200, 200, 0}));
  EXPECT_EQ(file[62], 0xA0);  // the brighter pixels are bit 1
  EXPECT_EQ(params.ColorMapCount, 2);

  TRGB first, second;
  EXPECT_EQ(ReduceToTwoColors(image, first, second)->PixelBit(1, 0), false);
  image.SetPixelRGB(2, 0, {1, 2, 3});
  EXPECT_EQ(ReduceToTwoColors(image, first, second), nullptr);
  image.Fill(0);
  EXPECT_EQ(ReduceToTwoColors(image, first, second), nullptr);
}

TEST(BmpWrite, HeaderFormsCompressionAndPalettes) {
  TImBitmap image;
  testing_bmp::FillPattern(image, 13, 3, 12);
  struct Case {
    const char* name;
    uint8_t version, compression;
    int bits;
    uint32_t header_size, compression_field;
    bool end_of_bitmap;
  };
  const Case cases[] = {
      {"os2-rle-ignored", 2, 1, 8, 12, 0, false},
      {"rle8", 1, 1, 8, 40, 1, true},
      {"rle4-os2-v2", 3, 1, 4, 64, 2, true},
      {"plain4", 0, 0, 4, 40, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TIOParamsVals params;
    params.BmpVersion = c.version;
    params.BmpCompression = c.compression;
    params.BitsPerSample = c.bits;
    params.SamplesPerPixel = 1;
    const std::vector<uint8_t> file = Encode(image, params);
    ASSERT_GT(file.size(), 30u);
    EXPECT_EQ(file[14], c.header_size);
    const uint32_t offset = file[10] | file[11] << 8;
    const int entry = c.header_size == 12 ? 3 : 4;
    EXPECT_EQ(offset, 14 + c.header_size + static_cast<uint32_t>(entry << c.bits));
    if (c.header_size != 12) {
      EXPECT_EQ(file[30], c.compression_field);
      EXPECT_EQ(file[34] | file[35] << 8 | file[36] << 16, static_cast<int>(file.size() - offset));
    } else {
      EXPECT_EQ(file.size(), offset + 16u * 3);  // 13 pixels in 16 bytes per row
    }
    EXPECT_EQ(file[file.size() - 2] == 0 && file[file.size() - 1] == 1, c.end_of_bitmap);
    EXPECT_EQ(params.ColorMapCount, 1 << c.bits);
    // Twelve colours fit every palette: our own reader gets them back exactly.
    Decoded d = Decode(file);
    ASSERT_FALSE(d.aborted);
    for (int32_t y = 0; y < 3; ++y) {
      for (int32_t x = 0; x < 13; ++x) {
        ASSERT_EQ(d.bitmap->PixelRGB(x, y), image.PixelRGB(x, y)) << x << "," << y;
      }
    }
  }
}

TEST(BmpWrite, GreyImageGetsTheGreyRamp) {
  TImBitmap grey(4, 2, im8g);
  for (int32_t x = 0; x < 4; ++x) grey.SetPixelByte(x, 0, static_cast<uint8_t>(x * 60));
  grey.FillRect(0, 1, 3, 1, 77);
  TIOParamsVals params;
  params.SamplesPerPixel = 1;
  const std::vector<uint8_t> file = Encode(grey, params);
  ASSERT_EQ(file.size(), 54u + 1024 + 8);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(file[54 + 4 * i], i);
  EXPECT_EQ(file[54 + 1024 + 4 + 2], 120);  // top row, third pixel
}

TEST(BmpWrite, CancelledOrShortWriteLeavesThePlaceholders) {
  TImBitmap image;
  testing_bmp::FillPattern(image, 20, 20, 0);
  TIOParamsVals params;
  bool aborted = false;
  TCodecProgress progress;
  progress.Aborted = &aborted;
  progress.OnProgress = [&aborted](TImageIO*, int percent) { if (percent >= 50) aborted = true; };
  TMemoryStream stream;
  WriteBmpStream(stream, image, params, false, progress);
  EXPECT_TRUE(aborted);
  ASSERT_GE(stream.Size(), 14);
  EXPECT_EQ(std::vector<uint8_t>(stream.Memory(), stream.Memory() + 14),
            (std::vector<uint8_t>{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_LT(stream.Size(), 54 + 20 * 60);

  aborted = false;
  progress.OnProgress = nullptr;
  uint8_t fixed[10];
  TBufferStream read_only(fixed, sizeof fixed);
  WriteBmpStream(read_only, image, params, false, progress);
  EXPECT_TRUE(aborted);
}

TEST(BmpWrite, AlphaAndOtherPixelFormats) {
  TImBitmap image;
  testing_bmp::FillPattern(image, 5, 3, 0);
  TImBitmap* alpha = image.AlphaChannel();
  alpha->SetPixelByte(1, 2, 17);
  for (bool use_alpha : {false, true}) {
    TIOParamsVals params;
    params.BmpUseAlpha = use_alpha;
    const std::vector<uint8_t> file = Encode(image, params);
    EXPECT_EQ(file[28], 32);
    Decoded d = Decode(file, {.alpha = true});
    ASSERT_FALSE(d.aborted);
    EXPECT_EQ(d.mask != nullptr, use_alpha);
    EXPECT_EQ(PixelRGBA(d, 1, 2)[3], use_alpha ? 17 : 255);
    EXPECT_EQ(d.bitmap->PixelRGB(4, 0), image.PixelRGB(4, 0));
  }
  // A 1-bit bitmap written as 24-bit, and a grey one with a colour record.
  TImBitmap mono(9, 2, im1g);
  mono.Fill(0);
  mono.SetPixelBit(8, 1, true);
  TImBitmap grey(3, 1, im8g);
  grey.Fill(0);
  grey.SetPixelByte(2, 0, 99);
  for (TImBitmap* b : {&mono, &grey}) {
    TIOParamsVals params;
    Decoded d = Decode(Encode(*b, params));
    ASSERT_FALSE(d.aborted);
    EXPECT_EQ(d.params.BitsPerSample, 8);
    EXPECT_EQ(d.bitmap->PixelRGB(b->Width() - 1, b->Height() - 1), b->PixelAsRGB(b->Width() - 1, b->Height() - 1));
  }
}

// The encoder's literal and run rules, and a round trip through the decoder.
TEST(BmpRle, EncodeRules) {
  struct Case {
    const char* name;
    bool rle4;
    std::vector<uint8_t> row;
    std::vector<uint8_t> encoded;
  };
  const Case cases[] = {
      {"single", false, {7}, {1, 7, 0, 0}},
      {"two-literals-rle8", false, {1, 2}, {1, 1, 1, 2, 0, 0}},
      {"two-literals-rle4", true, {1, 2}, {2, 0x12, 0, 0}},
      {"one-literal-rle4", true, {3}, {1, 0x30, 0, 0}},
      {"absolute-padded", false, {1, 2, 3}, {0, 3, 1, 2, 3, 0, 0, 0}},
      {"absolute-rle4", true, {1, 2, 3, 4, 5}, {0, 5, 0x12, 0x34, 0x50, 0, 0, 0}},
      {"run-then-literal", false, {4, 4, 4, 9}, {3, 4, 1, 9, 0, 0}},
      {"rle4-run", true, {6, 6, 6}, {3, 0x66, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> out;
    bmp::EncodeRleRow(c.row.data(), static_cast<int32_t>(c.row.size()), c.rle4, out);
    EXPECT_EQ(out, c.encoded);
  }
  // Long rows: runs cap at 255, literals chunk at 255; the decoder restores them.
  std::vector<uint8_t> row(700);
  for (size_t i = 0; i < row.size(); ++i) row[i] = i < 300 ? 5 : static_cast<uint8_t>(i * 7 % 13);
  for (bool rle4 : {false, true}) {
    std::vector<uint8_t> out;
    bmp::EncodeRleRow(row.data(), 700, rle4, out);
    std::vector<uint8_t> back;
    bmp::DecodeRle(out.data(), out.size(), 700, 1, rle4, [&back](int32_t, const uint8_t* p) {
      back.assign(p, p + 700);
      return true;
    });
    EXPECT_EQ(back, row);
  }
}

TEST(BmpContentTest, NeedsBmAndMoreThanAFileHeader) {
  const uint8_t fifteen[15] = {'B', 'M'};
  TBufferStream yes(fifteen, 15), short_one(fifteen, 14), other("BA", 2);
  EXPECT_TRUE(TestBmpStream(yes));
  EXPECT_EQ(yes.Position(), 0);
  EXPECT_FALSE(TestBmpStream(short_one));
  EXPECT_FALSE(TestBmpStream(other));
}

// ---- through the I/O object

TEST(BmpImageIO, FilesAndStreamsEndToEnd) {
  tessaly::testing::TempDir dir;
  TImageIO io;
  testing_bmp::FillPattern(*io.Bitmap(), 31, 7, 0);
  TImBitmap* alpha = io.Bitmap()->AlphaChannel();
  alpha->SetPixelByte(3, 4, 9);
  io.IOParams.BmpUseAlpha = true;
  const std::string path = dir.File("photo.BMP");
  io.SaveFile(path);
  ASSERT_FALSE(io.Aborted);
  EXPECT_EQ(io.IOParams.FileType, ftBMP);

  // SaveStream with the BMP code writes what the file holds.
  TMemoryStream stream;
  io.SaveStream(stream, ftBMP);
  EXPECT_EQ(stream.Bytes(), tessaly::testing::ReadFileBytes(path));

  for (bool use_alpha : {true, false}) {
    TImageIO back;
    back.IOParams.BmpUseAlpha = use_alpha;
    back.IOParams.SetImageCount(3);
    back.LoadFile(path);
    ASSERT_FALSE(back.Aborted);
    EXPECT_EQ(back.IOParams.ImageCount, 1);
    EXPECT_EQ(back.IOParams.SamplesPerPixel, 4);
    ASSERT_EQ(back.Bitmap()->Width(), 31);
    EXPECT_EQ(back.Bitmap()->PixelRGB(30, 6), io.Bitmap()->PixelRGB(30, 6));
    EXPECT_EQ(back.Bitmap()->HasAlphaChannel(), use_alpha);
    if (use_alpha) {
      EXPECT_EQ(back.Bitmap()->AlphaChannel()->PixelByte(3, 4), 9);
    }
  }

  // A probe fills the size and leaves the bitmap alone; a damaged file aborts.
  TImageIO probe;
  probe.ParamsFromFile(path);
  EXPECT_FALSE(probe.Aborted);
  EXPECT_EQ(probe.IOParams.Width, 31);
  EXPECT_TRUE(probe.Bitmap()->IsEmpty());
  std::vector<uint8_t> bytes = tessaly::testing::ReadFileBytes(path);
  bytes.resize(200);
  tessaly::testing::WriteFileBytes(path, bytes);
  probe.LoadFile(path);
  EXPECT_TRUE(probe.Aborted);
  TBufferStream content(bytes.data(), static_cast<int64_t>(bytes.size()));
  TImageIO by_content;
  by_content.LoadStream(content);
  EXPECT_TRUE(by_content.Aborted);
}

}  // namespace
}  // namespace tessaly
