// Tessaly tests: conversion between pixel formats and the colour rules behind it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "raster/bitmap.h"
#include "raster/color_space.h"

namespace tessaly {
namespace {

constexpr TImPixelLayout kAllFormats[] = {im1g,    im8p,   im8g,    imGray16, im24RGB,
                                          im32f,   imCMYK, imRGB48, imCIELab, imRGBA32};

// Sets the process-wide CMYK switch for one test and puts it back afterwards.
class ColorManagementScope {
 public:
  explicit ColorManagementScope(bool on) : saved_(CMYKColorManagement()) { SetCMYKColorManagement(on); }
  ~ColorManagementScope() { SetCMYKColorManagement(saved_); }

 private:
  bool saved_;
};

void FillRandom(TImBitmap& image, uint32_t seed) {
  std::mt19937 rng(seed);
  for (int32_t y = 0; y < image.Height(); ++y) {
    for (int32_t x = 0; x < image.Width(); ++x) {
      image.SetPixelRGB(x, y, TRGB{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
    }
  }
}

// A converted copy (a plain copy in the same format); the source is copied
// first so that a pass through im24RGB does not touch the caller's image.
std::unique_ptr<TImBitmap> Converted(const TImBitmap& source, TImPixelLayout format) {
  auto copy = std::make_unique<TImBitmap>();
  copy->Assign(source);
  if (format == source.PixelFormat()) return copy;
  auto out = std::make_unique<TImBitmap>(source.Width(), source.Height(), format);
  out->CopyAndConvertFormat(*copy);
  return out;
}

TEST(PixelConvert, GreyValuesAreKept) {
  TImBitmap image(256, 3, im24RGB);
  for (int x = 0; x < 256; ++x) {
    for (int y = 0; y < 3; ++y) image.SetPixelRGB(x, y, TRGB{uint8_t(x), uint8_t(x), uint8_t(x)});
  }
  const auto grey = Converted(image, im8g);
  for (int x = 0; x < 256; ++x) ASSERT_EQ(grey->PixelByte(x, 1), x);

  // Through im8g to imGray16: 1 becomes 257 and 255 becomes 65535.
  const auto words = Converted(*grey, imGray16);
  for (int x = 0; x < 256; ++x) ASSERT_EQ(words->PixelWord(x, 2), x * 257);
  EXPECT_EQ(words->PixelWord(255, 0), 65535);
}

TEST(PixelConvert, HighByteOf48BitWords) {
  TImBitmap image(3, 1, imRGB48);
  image.SetPixelRGB48(1, 0, TRGB48{0x12FF, 0x3400, 0xFF01});
  const auto rgb = Converted(image, im24RGB);
  EXPECT_EQ(rgb->PixelRGB(1, 0), (TRGB{0xFF, 0x34, 0x12}));
  EXPECT_EQ(image.PixelAsRGB(1, 0), (TRGB{0xFF, 0x34, 0x12}));
}

TEST(PixelConvert, TwoColoursToOneBitByMeanGrey) {
  TImBitmap image(9, 4, im24RGB);
  const TRGB dark{200, 10, 40}, light{10, 200, 220};
  image.Fill(RGBToColor(dark));
  image.FillRect(0, 0, 2, 3, RGBToColor(light));
  image.ConvertToPixelFormat(im1g);
  ASSERT_EQ(image.PixelFormat(), im1g);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(image.PixelBit(x, y), x <= 2) << x << "," << y;
  }
}

TEST(PixelConvert, OrderedDitherFillsHalfOfEachBlock) {
  constexpr uint8_t kMatrix[8][8] = {
      {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
      {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
      {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
      {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
  };
  for (TImPixelLayout format : {im24RGB, im8g}) {
    TImBitmap image(19, 17, format);
    image.Fill(format == im8g ? 128 : RGBToColor(TRGB{128, 128, 128}));
    image.SetOneBitMethod(0);
    image.ConvertToPixelFormat(im1g);
    int white = 0;
    for (int32_t y = 0; y < 16; ++y) {
      for (int32_t x = 0; x < 16; ++x) {
        ASSERT_EQ(image.PixelBit(x, y), kMatrix[x % 8][y % 8] < 32) << x << "," << y;
        white += image.PixelBit(x, y);
      }
    }
    EXPECT_EQ(white, 128);
  }
  // Near-white colour pixels are white in every cell.
  TImBitmap bright(8, 8, im24RGB);
  bright.Fill(RGBToColor(TRGB{251, 252, 255}));
  bright.SetOneBitMethod(0);
  bright.ConvertToPixelFormat(im1g);
  for (int32_t y = 0; y < 8; ++y) {
    for (int32_t x = 0; x < 8; ++x) EXPECT_TRUE(bright.PixelBit(x, y));
  }
}

TEST(PixelConvert, GreyWindowFor16BitGrey) {
  TImBitmap image(4, 1, imGray16);
  const uint16_t values[4] = {500, 1500, 2000, 60000};
  for (int x = 0; x < 4; ++x) image.SetPixelWord(x, 0, values[x]);
  // The window is a setting of the bitmap being converted.
  auto to_grey = [&image](int x) {
    TImBitmap grey(4, 1, im8g);
    grey.CopyAndConvertFormat(image);
    return grey.PixelByte(x, 0);
  };
  image.SetGreyRange(1000.7, 2000.2);  // both bounds are truncated
  const uint8_t expected[4] = {0, 127, 255, 255};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(to_grey(x), expected[x]) << x;
  image.SetGreyRange(0, 0);
  EXPECT_EQ(to_grey(3), 60000 / 256);
  // Bounds that truncate to one value leave no window rather than divide by zero.
  image.SetGreyRange(7.2, 7.9);
  EXPECT_EQ(to_grey(1), 1500 / 256);
}

TEST(PixelConvert, CIELabOfBlackAndWhite) {
  EXPECT_EQ(RGBToCIELab(TRGB{0, 0, 0}), (TCIELab{0, 0, 0}));
  EXPECT_EQ(CIELabToRGB(TCIELab{0, 0, 0}), (TRGB{0, 0, 0}));
  const TCIELab white = RGBToCIELab(TRGB{255, 255, 255});
  EXPECT_EQ(white.l, 255);
  EXPECT_LE(std::abs(white.a), 1);
  EXPECT_LE(std::abs(white.b), 1);
  EXPECT_EQ(CIELabToRGB(white), (TRGB{255, 255, 255}));
}

// A pair without a rule of its own goes through im24RGB, and the source is
// left in im24RGB.
TEST(PixelConvert, PairsWithoutRulePassThroughRGB) {
  struct Case { TImPixelLayout source, target; };
  const Case cases[] = {{im1g, imCIELab}, {im8g, imCMYK}, {imCMYK, im8g}, {imRGBA32, im8p}, {imGray16, im32f}};
  for (const Case& c : cases) {
    TImBitmap source(5, 2, c.source);
    source.Fill(0);
    TImBitmap target(5, 2, c.target);
    target.CopyAndConvertFormat(source);
    EXPECT_EQ(source.PixelFormat(), im24RGB) << int(c.source) << "->" << int(c.target);
  }
  // A pair with a rule leaves the source alone.
  TImBitmap grey(5, 2, im8g);
  grey.Fill(9);
  TImBitmap words(5, 2, imGray16);
  words.CopyAndConvertFormat(grey);
  EXPECT_EQ(grey.PixelFormat(), im8g);
}

TEST(PixelConvert, NothingHappensForDifferentSizesOrEqualFormats) {
  TImBitmap source(4, 4, im8g);
  source.Fill(200);
  TImBitmap other(5, 4, im24RGB);
  other.Fill(RGBToColor(TRGB{1, 2, 3}));
  other.CopyAndConvertFormat(source);
  EXPECT_EQ(other.PixelRGB(0, 0), (TRGB{1, 2, 3}));
  TImBitmap same(4, 4, im8g);
  same.Fill(7);
  same.CopyAndConvertFormat(source);
  EXPECT_EQ(same.PixelByte(0, 0), 7);
}

// Property: colour to grey and back loses only what the grey rule drops (each
// channel becomes the grey of the colour, within the rounding of the rule's
// own weights), and every path through a wider format gives the colour back
// unchanged.
TEST(PixelConvert, RoundTripsLoseOnlyWhatTheRulesSay) {
  TImBitmap image(37, 11, im24RGB);
  FillRandom(image, 5);
  struct Case { TImPixelLayout via; bool grey; int tolerance; };
  // Against the true luminance 0.2126 R + 0.7152 G + 0.0722 B: the 8-bit rule
  // weighs 0.21, 0.71, 0.08 and truncates, the 16-bit one takes a high byte.
  const Case cases[] = {{im8g, true, 3},     {imGray16, true, 2},  {im32f, true, 1},
                        {imRGB48, false, 0}, {imRGBA32, false, 0}};
  for (const Case& c : cases) {
    const auto there = Converted(image, c.via);
    const auto back = Converted(*there, im24RGB);
    for (int32_t y = 0; y < image.Height(); ++y) {
      for (int32_t x = 0; x < image.Width(); ++x) {
        const TRGB in = image.PixelRGB(x, y), out = back->PixelRGB(x, y);
        if (!c.grey) {
          ASSERT_EQ(out, in) << int(c.via);
          continue;
        }
        ASSERT_EQ(out.r, out.g);
        ASSERT_EQ(out.g, out.b);
        if (c.via == im8g) {
          ASSERT_EQ(out.r, GreyOf(in));
        }
        const double luminance = 0.2126 * in.r + 0.7152 * in.g + 0.0722 * in.b;
        ASSERT_LE(std::abs(out.r - luminance), c.tolerance) << int(c.via) << " " << x << "," << y;
      }
    }
  }
}

// Property: every conversion into im24RGB agrees with the per-pixel reading
// PixelAsRGB, on random pixels and an odd width, for every source format.
TEST(PixelConvert, RowRulesAgreeWithPixelAsRGB) {
  ColorManagementScope plain(false);
  for (TImPixelLayout format : kAllFormats) {
    TImBitmap rgb(29, 7, im24RGB);
    FillRandom(rgb, 11 + format);
    auto source = Converted(rgb, format);
    if (format == imRGB48) {
      // Low bytes that differ from the high bytes, so that only the high ones count.
      for (int32_t y = 0; y < 7; ++y) {
        for (int32_t x = 0; x < 29; ++x) {
          TRGB48 w = source->PixelRGB48(x, y);
          w.r ^= 0x5A;
          w.b ^= 0xA5;
          source->SetPixelRGB48(x, y, w);
        }
      }
    }
    const auto back = Converted(*source, im24RGB);
    const auto rgba = Converted(*source, imRGBA32);
    for (int32_t y = 0; y < 7; ++y) {
      for (int32_t x = 0; x < 29; ++x) {
        const TRGB expected = source->PixelAsRGB(x, y);
        ASSERT_EQ(back->PixelRGB(x, y), expected) << int(format) << " " << x << "," << y;
        const uint8_t* p = rgba->ScanLine(y) + 4 * x;
        ASSERT_EQ((TRGB{p[0], p[1], p[2]}), expected) << int(format);
        ASSERT_EQ(p[3], 255);
      }
    }
  }
}

// Property: a constant image stays constant through every pair of formats.
TEST(PixelConvert, ConstantImageStaysConstantThroughEveryPair) {
  for (TImPixelLayout from : kAllFormats) {
    for (TImPixelLayout to : kAllFormats) {
      TImBitmap image(13, 5, im24RGB);
      image.Fill(RGBToColor(TRGB{90, 160, 30}));
      image.ConvertToPixelFormat(from);
      image.ConvertToPixelFormat(to);
      ASSERT_EQ(image.PixelFormat(), to);
      const TRGB first = image.PixelAsRGB(0, 0);
      for (int32_t y = 0; y < 5; ++y) {
        for (int32_t x = 0; x < 13; ++x) {
          ASSERT_EQ(image.PixelAsRGB(x, y), first) << int(from) << "->" << int(to);
        }
      }
    }
  }
}

TEST(PixelConvert, PaletteTargets) {
  // A colour image of few colours gets them exactly as its palette.
  TImBitmap colour(6, 6, im24RGB);
  colour.Fill(RGBToColor(TRGB{0, 0, 255}));
  colour.FillRect(0, 0, 2, 2, RGBToColor(TRGB{0, 255, 0}));
  colour.ConvertToPixelFormat(im8p);
  ASSERT_EQ(colour.PixelFormat(), im8p);
  EXPECT_EQ(colour.PaletteLength(), 256);
  EXPECT_EQ(colour.PixelAsRGB(0, 0), (TRGB{0, 255, 0}));
  EXPECT_EQ(colour.PixelAsRGB(5, 5), (TRGB{0, 0, 255}));

  TImBitmap grey(4, 1, im8g);
  for (int x = 0; x < 4; ++x) grey.SetPixelByte(x, 0, uint8_t(x * 80));
  const auto indexed = Converted(grey, im8p);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(indexed->PixelByte(x, 0), x * 80);
    EXPECT_EQ(indexed->PaletteColor(x * 80), (TRGB{uint8_t(x * 80), uint8_t(x * 80), uint8_t(x * 80)}));
  }

  TImBitmap bits(10, 1, im1g);
  bits.Fill(0);
  bits.SetPixelBit(3, 0, true);
  const auto from_bits = Converted(bits, im8p);
  EXPECT_EQ(from_bits->PixelByte(3, 0), 1);
  EXPECT_EQ(from_bits->PixelByte(4, 0), 0);
  EXPECT_EQ(from_bits->PaletteColor(1), (TRGB{255, 255, 255}));
  EXPECT_EQ(from_bits->PaletteColor(0), (TRGB{0, 0, 0}));
}

// The alpha channel belongs to the image, not to its pixel format.
TEST(PixelConvert, ConvertToPixelFormatKeepsAlphaChannel) {
  TImBitmap image(6, 3, im24RGB);
  image.Fill(RGBToColor(TRGB{10, 20, 30}));
  image.AlphaChannel()->SetPixelByte(2, 1, 77);
  image.ConvertToPixelFormat(im8g);
  ASSERT_TRUE(image.HasAlphaChannel());
  EXPECT_EQ(image.ExistingAlphaChannel()->PixelByte(2, 1), 77);
  EXPECT_EQ(image.PixelByte(0, 0), GreyOf(TRGB{10, 20, 30}));
}

// Real planes from files may hold anything; out-of-range values saturate.
TEST(PixelConvert, FloatGreyOutOfRangeSaturates) {
  TImBitmap image(4, 1, im32f);
  const float values[4] = {-3.0f, 7.5f, std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity()};
  for (int x = 0; x < 4; ++x) image.SetPixelFloat(x, 0, values[x]);
  const auto grey = Converted(image, im8g);
  const auto words = Converted(image, imGray16);
  const uint8_t expected[4] = {0, 255, 0, 255};
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(grey->PixelByte(x, 0), expected[x]) << x;
    EXPECT_EQ(words->PixelWord(x, 0), expected[x] * 257) << x;
  }
}

TEST(CMYK, PlainRules) {
  ColorManagementScope plain(false);
  EXPECT_EQ(CMYKToRGB(TCMYK{255, 255, 255, 255}), (TRGB{255, 255, 255}));
  for (const TCMYK c : {TCMYK{255, 255, 255, 0}, TCMYK{0, 128, 40, 0}}) {
    EXPECT_EQ(CMYKToRGB(c), (TRGB{0, 0, 0}));
  }
  EXPECT_EQ(RGBToCMYK(TRGB{0, 0, 0}), (TCMYK{0, 0, 0, 1}));
  // Red 200, green 100, blue 50: k is the largest channel.
  EXPECT_EQ(RGBToCMYK(TRGB{50, 100, 200}), (TCMYK{255, 127, 63, 200}));
  EXPECT_EQ(CMYKToRGB(TCMYK{255, 127, 63, 200}), (TRGB{49, 99, 200}));

  TImBitmap image(3, 1, im24RGB);
  image.Fill(RGBToColor(TRGB{50, 100, 200}));
  const auto cmyk = Converted(image, imCMYK);
  const uint8_t* p = cmyk->ScanLine(0);
  EXPECT_EQ(std::vector<uint8_t>(p, p + 4), (std::vector<uint8_t>{255, 127, 63, 200}));
}

TEST(CMYK, ColourManagedWhiteAndBlack) {
  ColorManagementScope managed(true);
  if (!CMYKColorManagementAvailable()) GTEST_SKIP() << "no CMYK press profile on this machine";
  // No ink is paper white and full ink is black.
  EXPECT_EQ(CMYKToRGB(TCMYK{255, 255, 255, 255}), (TRGB{255, 255, 255}));
  const TRGB full_ink = CMYKToRGB(TCMYK{0, 0, 0, 0});
  EXPECT_LE(std::max({full_ink.r, full_ink.g, full_ink.b}), 8);
  // Screen white needs no ink; screen black comes back dark.
  EXPECT_EQ(RGBToCMYK(TRGB{255, 255, 255}), (TCMYK{255, 255, 255, 255}));
  const TCMYK black = RGBToCMYK(TRGB{0, 0, 0});
  EXPECT_LE(black.k, 64);
  const TRGB back = CMYKToRGB(black);
  EXPECT_LE(std::max({back.r, back.g, back.b}), 32);
  // A pure ink is not the plain rule's result: the profile is really used.
  const TRGB cyan = CMYKToRGB(TCMYK{0, 255, 255, 255});
  EXPECT_NE(cyan, CMYKToRGBPlain(TCMYK{0, 255, 255, 255}));
  EXPECT_LT(cyan.r, 40);
  EXPECT_GT(cyan.b, 200);

  // Whole images go the same way as single pixels.
  TImBitmap image(300, 2, im24RGB);
  FillRandom(image, 3);
  const auto cmyk = Converted(image, imCMYK);
  for (int32_t x = 0; x < 300; x += 37) {
    const uint8_t* p = cmyk->ScanLine(1) + 4 * x;
    EXPECT_EQ((TCMYK{p[0], p[1], p[2], p[3]}), RGBToCMYK(image.PixelRGB(x, 1)));
    EXPECT_EQ(cmyk->PixelAsRGB(x, 1), CMYKToRGB(TCMYK{p[0], p[1], p[2], p[3]}));
  }
}

TEST(CMYK, SwitchSelectsThePath) {
  const TCMYK ink{0, 255, 255, 255};
  {
    ColorManagementScope plain(false);
    EXPECT_EQ(CMYKToRGB(ink), CMYKToRGBPlain(ink));
  }
  ColorManagementScope managed(true);
  EXPECT_EQ(CMYKToRGB(ink) != CMYKToRGBPlain(ink), CMYKColorManagementAvailable());
}

}  // namespace
}  // namespace tessaly
