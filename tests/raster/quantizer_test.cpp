// Tessaly tests: colour reduction.
#include "raster/quantizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <vector>

#include "raster/quantizer_engines.h"

namespace tessaly {
namespace {

// Entries the quantizer must not touch keep this colour.
constexpr TRGB kUntouched{1, 2, 3};

// Sets the process-wide method for one test and puts it back afterwards.
class MethodScope {
 public:
  explicit MethodScope(int method) : saved_(QuantizerMethod) { QuantizerMethod = method; }
  ~MethodScope() { QuantizerMethod = saved_; }

 private:
  int saved_;
};

uint32_t Key(TRGB c) { return uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b; }

// An im24RGB image whose pixels cycle through the given colours.
void FillCycling(TImBitmap& image, const std::vector<TRGB>& colors) {
  size_t i = 0;
  for (int32_t y = 0; y < image.Height(); ++y) {
    for (int32_t x = 0; x < image.Width(); ++x) image.SetPixelRGB(x, y, colors[i++ % colors.size()]);
  }
}

std::vector<TRGB> RandomColors(size_t count, uint32_t seed) {
  std::mt19937 rng(seed);
  std::set<uint32_t> seen;
  std::vector<TRGB> colors;
  while (colors.size() < count) {
    const TRGB c{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
    if (c.r == c.g && c.g == c.b) continue;  // keep the image a colour image
    if (seen.insert(Key(c)).second) colors.push_back(c);
  }
  return colors;
}

// A photo-like image: broad smooth gradients and shading, no flat areas.
void FillSmooth(TImBitmap& image) {
  for (int32_t y = 0; y < image.Height(); ++y) {
    for (int32_t x = 0; x < image.Width(); ++x) {
      const double r = 128 + 100 * std::sin(x / 41.0 + y / 97.0);
      const double g = 120 + 90 * std::cos(y / 33.0 - x / 120.0);
      const double b = 110 + 80 * std::sin((x + y) / 57.0) * std::cos(x / 73.0);
      image.SetPixelRGB(x, y, TRGB{uint8_t(b), uint8_t(g), uint8_t(r)});
    }
  }
}

double MeanError(const TImBitmap& image, const TImQuantizer& q, const TRGB* palette) {
  double sum = 0;
  for (int32_t y = 0; y < image.Height(); ++y) {
    for (int32_t x = 0; x < image.Width(); ++x) {
      const TRGB c = image.PixelRGB(x, y);
      const TRGB p = palette[q.IndexOfColor(c)];
      sum += std::abs(c.r - p.r) + std::abs(c.g - p.g) + std::abs(c.b - p.b);
    }
  }
  return sum / (3.0 * image.Width() * image.Height());
}

TEST(Quantizer, GreyRampAndIndex) {
  TImBitmap rgb(16, 16, im24RGB);
  TImBitmap grey(16, 16, im8g);
  for (int32_t y = 0; y < 16; ++y) {
    for (int32_t x = 0; x < 16; ++x) {
      const uint8_t v = uint8_t(y * 16 + x);
      rgb.SetPixelRGB(x, y, TRGB{v, v, v});
      grey.SetPixelByte(x, y, v);
    }
  }
  for (const TImBitmap* source : {&rgb, &grey}) {
    std::vector<TRGB> palette(17, kUntouched);
    TImQuantizer q(*source, 16, palette.data());
    for (int i = 0; i < 16; ++i) EXPECT_EQ(palette[i], (TRGB{uint8_t(16 * i), uint8_t(16 * i), uint8_t(16 * i)}));
    EXPECT_EQ(palette[16], kUntouched);
    EXPECT_EQ(q.IndexOfColor(TRGB{250, 250, 250}), 15);
    EXPECT_EQ(q.IndexOfColor(TRGB{15, 15, 15}), 0);
    EXPECT_EQ(q.IndexOfColor(TRGB{16, 16, 16}), 1);
  }
  // With 256 entries the ramp is the identity.
  std::vector<TRGB> palette(256);
  TImQuantizer q(grey, 256, palette.data());
  for (int i = 0; i < 256; ++i) EXPECT_EQ(palette[i].g, i);
  EXPECT_EQ(q.IndexOfColor(TRGB{77, 77, 77}), 77);
}

TEST(Quantizer, ExactPaletteInOrderOfFirstAppearance) {
  TImBitmap image(5, 3, im24RGB);
  const TRGB first{10, 200, 30}, second{0, 0, 255};
  image.Fill(RGBToColor(second));
  image.SetPixelRGB(3, 0, first);  // row 0 is scanned first, left to right
  image.SetPixelRGB(0, 2, first);
  std::vector<TRGB> palette(256, kUntouched);
  TImQuantizer q(image, 256, palette.data());
  EXPECT_EQ(palette[0], second);
  EXPECT_EQ(palette[1], first);
  EXPECT_EQ(palette[2], kUntouched);
  EXPECT_EQ(q.IndexOfColor(second), 0);
  EXPECT_EQ(q.IndexOfColor(first), 1);
  EXPECT_EQ(q.IndexOfColor(TRGB{10, 200, 31}), -1);
}

TEST(Quantizer, OwnPaletteOfAColourPaletteImage) {
  TImBitmap image(4, 4, im8p);
  for (int i = 0; i < 256; ++i) image.SetPaletteColor(i, TRGB{uint8_t(i), 0, uint8_t(255 - i)});
  image.Fill(0);
  std::vector<TRGB> palette(32, kUntouched);
  TImQuantizer q(image, 16, palette.data());
  for (int i = 0; i < 16; ++i) EXPECT_EQ(palette[i], image.PaletteColor(i));
  EXPECT_EQ(palette[16], kUntouched);
  EXPECT_EQ(q.IndexOfColor(TRGB{200, 0, 55}), 200);
  EXPECT_EQ(q.IndexOfColor(TRGB{1, 1, 1}), 256);  // one past the last entry
}

TEST(Quantizer, OtherColourFormatsWriteNoPalette) {
  TImBitmap image(4, 4, imRGB48);
  image.Fill(RGBToColor(TRGB{0, 0, 255}));
  std::vector<TRGB> palette(16, kUntouched);
  TImQuantizer q(image, 16, palette.data());
  for (const TRGB& c : palette) EXPECT_EQ(c, kUntouched);
  EXPECT_EQ(q.IndexOfColor(TRGB{5, 6, 7}), 0);
}

// Worked by hand: six black pixels, two of (16, 0, 0) and two white, split
// into two boxes. Every axis scores 0.6 (red wins the tie) and the cut puts
// both dark colours in box 0, whose red mean 0.5 rounds to even 0.
TEST(Quantizer, BoxSplitterWorkedExample) {
  TImBitmap image(10, 1, im24RGB);
  FillCycling(image, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 16}, {255, 255, 255}});
  std::vector<TRGB> palette(3, kUntouched);
  TImQuantizer q(image, 2, palette.data());
  EXPECT_EQ(palette[0], (TRGB{0, 0, 0}));
  EXPECT_EQ(palette[1], (TRGB{248, 248, 248}));
  EXPECT_EQ(palette[2], kUntouched);
  EXPECT_EQ(q.IndexOfColor(TRGB{0, 0, 16}), 0);
  EXPECT_EQ(q.IndexOfColor(TRGB{0, 0, 8}), 0);
  EXPECT_EQ(q.IndexOfColor(TRGB{255, 255, 255}), 1);
  // Yellow's cell lies in neither shrunken box: index 0, though white is nearer.
  EXPECT_EQ(q.IndexOfColor(TRGB{0, 255, 255}), 0);
}

TEST(Quantizer, BoxSplitterPaletteIsOnTheFiveBitGrid) {
  TImBitmap image(97, 61, im24RGB);
  FillSmooth(image);
  for (int n : {2, 16, 100, 256}) {
    MethodScope box(1);
    std::vector<TRGB> palette(n, kUntouched);
    TImQuantizer q(image, n, palette.data());
    for (int i = 0; i < n; ++i) {
      if (palette[i] == kUntouched) continue;
      EXPECT_EQ(palette[i].r % 8, 0);
      EXPECT_EQ(palette[i].g % 8, 0);
      EXPECT_EQ(palette[i].b % 8, 0);
    }
  }
}

// The automatic choice: an image one colour past the exact palette goes to
// the box splitter below 128 colours and to NeuQuant from 128.
TEST(Quantizer, AutomaticMethodChoice) {
  struct Case { int n; int expected_method; };
  for (const Case c : {Case{16, 1}, Case{127, 1}, Case{128, 0}, Case{256, 0}}) {
    TImBitmap image(40, 40, im24RGB);
    FillCycling(image, RandomColors(size_t(c.n) + 1, uint32_t(c.n)));
    auto palette_with = [&](int method) {
      MethodScope scope(method);
      std::vector<TRGB> palette(size_t(c.n), kUntouched);
      TImQuantizer q(image, c.n, palette.data());
      return palette;
    };
    const std::vector<TRGB> automatic = palette_with(-1);
    EXPECT_EQ(automatic, palette_with(c.expected_method)) << c.n;
    EXPECT_NE(automatic, palette_with(1 - c.expected_method)) << c.n;
  }
}

// Property: never more than N colours, and an image that already fits comes
// back exactly, for every method and a spread of N.
TEST(Quantizer, NeverMoreThanNAndExactWhenItFits) {
  for (int method : {-1, 0, 1}) {
    MethodScope scope(method);
    for (int n : {1, 2, 3, 16, 64, 127, 128, 200, 256}) {
      for (size_t colors : {size_t(n), size_t(n) + 1, size_t(n) * 3 + 5}) {
        TImBitmap image(37, 23, im24RGB);
        const std::vector<TRGB> set = RandomColors(colors, uint32_t(n * 1000 + colors));
        FillCycling(image, set);
        std::vector<TRGB> palette(size_t(n) + 1, kUntouched);
        TImQuantizer q(image, n, palette.data());
        EXPECT_EQ(palette[size_t(n)], kUntouched) << n;
        for (int32_t y = 0; y < image.Height(); ++y) {
          for (int32_t x = 0; x < image.Width(); ++x) {
            const TRGB c = image.PixelRGB(x, y);
            const int index = q.IndexOfColor(c);
            ASSERT_GE(index, 0) << n << " " << colors;
            ASSERT_LT(index, n) << n << " " << colors;
            if (colors <= size_t(n)) {
              ASSERT_EQ(palette[size_t(index)], c) << n;
            }
          }
        }
      }
    }
  }
}

// NeuQuant on a smooth photo-like image of some 71,000 colours keeps the mean
// error small: 6.26 levels of 255 per channel at the automatic sampling
// factor (9 here) and 5.11 when every pixel is sampled; a median-cut
// reducer of another program gives 7.0 on the same image. The box splitter
// with 16 colours gives 19.7.
TEST(Quantizer, MeanErrorOnSmoothImage) {
  TImBitmap image(320, 240, im24RGB);
  FillSmooth(image);
  struct Case { int n; int quality; double bound; };
  const Case cases[] = {{256, -1, 6.5}, {256, 100, 5.3}, {16, -1, 20.5}};
  for (const Case& c : cases) {
    const int saved = NeuQuantQuality;
    NeuQuantQuality = c.quality;
    std::vector<TRGB> palette(size_t(c.n));
    TImQuantizer q(image, c.n, palette.data());
    NeuQuantQuality = saved;
    EXPECT_LT(MeanError(image, q, palette.data()), c.bound) << c.n << " " << c.quality;
  }
}

TEST(Quantizer, NeuQuantSamplingFactor) {
  struct Case { int64_t pixels; int quality; int factor; };
  const Case cases[] = {
      {1999, -1, 1},  {2000, -1, 2},   {150000, -1, 15}, {10000000, -1, 30},
      {500, 100, 1},  {500, 0, 30},    {500, 50, 15},
  };
  for (const Case& c : cases) EXPECT_EQ(TNeuQuant::SamplingFactor(c.pixels, c.quality), c.factor) << c.pixels;
}

// A tiny image is shorter than one sampling step; learning must still stay
// inside it.
TEST(Quantizer, NeuQuantOnTinyImages) {
  MethodScope neuquant(0);
  for (int32_t w : {2, 3, 7}) {
    TImBitmap image(w, 1, im24RGB);
    FillCycling(image, RandomColors(size_t(w), 7));
    std::vector<TRGB> palette(256, kUntouched);
    TImQuantizer q(image, w - 1, palette.data());
    EXPECT_LT(q.IndexOfColor(TRGB{1, 2, 3}), w - 1);
  }
}

}  // namespace
}  // namespace tessaly
