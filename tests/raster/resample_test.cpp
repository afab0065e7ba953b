// Tessaly tests: resampling, against a plain reference written from the formulas.
#include "raster/resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "platform/system_info.h"
#include "raster/resample_kernel.h"
#include "raster/resample_simd.h"

namespace tessaly {
namespace {

// ---------------------------------------------------------------- the reference
//
// A deliberately plain kernel resampler: every weight, every sum and every
// division written out as the formulas say, on packed top-down buffers, with
// no sharing of code with the library. The real resampler must equal it byte
// for byte; any faster version later must too.

constexpr double kPi = 3.14159265358979323846;

double RefSinc(double u) { return u == 0.0 ? 1.0 : std::sin(kPi * u) / (kPi * u); }

double RefKernel(TResampleFilter filter, double x) {
  const double t = std::fabs(x);
  switch (filter) {
    case rfTriangle: return t < 1 ? 1 - t : 0;
    case rfHermite: return t < 1 ? (2 * t - 3) * t * t + 1 : 0;
    case rfBell:
      if (t < 0.5) return 0.75 - t * t;
      if (t < 1.5) return 0.5 * (t - 1.5) * (t - 1.5);
      return 0;
    case rfBSpline:
      if (t < 1) return 0.5 * t * t * t - t * t + 2.0 / 3.0;
      if (t < 2) return (2 - t) * (2 - t) * (2 - t) / 6;
      return 0;
    case rfLanczos3: return t < 3 ? RefSinc(t) * RefSinc(t / 3) : 0;
    case rfMitchell:
      if (t < 1) return (7 * t * t * t - 12 * t * t + 16.0 / 3.0) / 6;
      if (t < 2) return (-(7.0 / 3.0) * t * t * t + 12 * t * t - 20 * t + 32.0 / 3.0) / 6;
      return 0;
    case rfNearest: return (x > -0.5 && x <= 0.5) ? 1 : 0;
    case rfLinear:
      if (x >= -1 && x < 0) return 1 + x;
      if (x >= 0 && x < 1) return 1 - x;
      return 0;
    default: return 0;
  }
}

double RefSupport(TResampleFilter filter) {
  switch (filter) {
    case rfBell: return 1.5;
    case rfBSpline: case rfMitchell: return 2.0;
    case rfLanczos3: return 3.0;
    default: return 1.0;
  }
}

// Round half to even, by hand.
long RefRound(double v) {
  const double f = std::floor(v);
  const double frac = v - f;
  long r = static_cast<long>(f);
  if (frac > 0.5 || (frac == 0.5 && r % 2 != 0)) ++r;
  return r;
}

struct RefPair { long index; long weight; };

std::vector<std::vector<RefPair>> RefLists(int source_size, int dest_size, TResampleFilter filter) {
  double scale;
  if (source_size == 1 || dest_size == 1) {
    scale = double(dest_size) / double(source_size);
  } else {
    scale = double(dest_size - 1) / double(source_size - 1);
  }
  std::vector<std::vector<RefPair>> lists(dest_size);
  for (int i = 0; i < dest_size; ++i) {
    const double c = i / scale;
    double s = RefSupport(filter);
    double f = 1;
    if (scale < 1) {
      s = RefSupport(filter) / scale;
      f = 1 / scale;
    }
    for (long j = long(std::floor(c - s)); j <= long(std::ceil(c + s)); ++j) {
      long w;
      if (scale >= 1) {
        w = RefRound(RefKernel(filter, c - j) * 256);
      } else {
        w = RefRound(RefKernel(filter, (c - j) / f) * 256 / f);
      }
      if (w == 0) continue;
      long n = j;
      if (j < 0) n = -j;
      if (j >= source_size) n = 2 * source_size - 1 - j;
      if (n < 0) n = 0;
      if (n > source_size - 1) n = source_size - 1;
      lists[i].push_back({n, w});
    }
    // Where every weight rounds to 0 the pixel takes its nearest source pixel.
    if (lists[i].empty()) {
      long n = std::lround(c);
      if (n > source_size - 1) n = source_size - 1;
      lists[i].push_back({n, 1});
    }
  }
  return lists;
}

uint8_t RefClamp(long v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Packed rows, `channels` bytes a pixel, row 0 first.
std::vector<uint8_t> RefResample(const std::vector<uint8_t>& src, int ws, int hs, int channels, int wd, int hd,
                                 TResampleFilter filter) {
  const auto cols = RefLists(ws, wd, filter);
  std::vector<uint8_t> work(size_t(wd) * hs * channels);
  for (int r = 0; r < hs; ++r) {
    for (int i = 0; i < wd; ++i) {
      for (int ch = 0; ch < channels; ++ch) {
        long sum = 0, total = 0;
        for (const RefPair& p : cols[i]) {
          sum += p.weight * src[(size_t(r) * ws + p.index) * channels + ch];
          total += p.weight;
        }
        work[(size_t(r) * wd + i) * channels + ch] = RefClamp(sum / (total == 0 ? 256 : total));
      }
    }
  }
  const auto rows = RefLists(hs, hd, filter);
  std::vector<uint8_t> out(size_t(wd) * hd * channels);
  for (int k = 0; k < hd; ++k) {
    for (int x = 0; x < wd; ++x) {
      for (int ch = 0; ch < channels; ++ch) {
        long sum = 0, total = 0;
        for (const RefPair& p : rows[k]) {
          sum += p.weight * work[(size_t(p.index) * wd + x) * channels + ch];
          total += p.weight;
        }
        out[(size_t(k) * wd + x) * channels + ch] = RefClamp(total != 0 ? sum / total : sum / 256);
      }
    }
  }
  return out;
}

// ---------------------------------------------------------------- helpers

int Channels(TImPixelLayout format) { return format == im24RGB ? 3 : 1; }

void FillRandom(TImBitmap& b, std::mt19937& rng) {
  std::uniform_int_distribution<int> byte(0, 255);
  for (int32_t y = 0; y < b.Height(); ++y) {
    for (int32_t i = 0; i < b.RowLen(); ++i) b.ScanLine(y)[i] = uint8_t(byte(rng));
  }
}

// The pixel bytes of a byte-per-channel bitmap, packed, row 0 first.
std::vector<uint8_t> Pack(const TImBitmap& b) {
  const size_t bytes = size_t(b.Width()) * Channels(b.PixelFormat());
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < b.Height(); ++y) out.insert(out.end(), b.ScanLine(y), b.ScanLine(y) + bytes);
  return out;
}

// im1g bits as 0 / 255 bytes.
std::vector<uint8_t> PackBits(const TImBitmap& b) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < b.Height(); ++y) {
    for (int32_t x = 0; x < b.Width(); ++x) out.push_back(b.PixelBit(x, y) ? 255 : 0);
  }
  return out;
}

bool Resampled(TImBitmap& source, TImBitmap& dest, int32_t w, int32_t h, TResampleFilter filter, int threads = 0) {
  return dest.Allocate(w, h, source.PixelFormat()) && ResampleBitmap(source, dest, filter, {}, threads);
}

constexpr TResampleFilter kKernelFilters[] = {rfTriangle, rfHermite, rfBell,    rfBSpline,
                                              rfLanczos3, rfMitchell, rfNearest, rfLinear};

// ---------------------------------------------------------------- target size

TEST(ResampleSize, TargetArithmetic) {
  struct Case { int32_t w, h, nw, nh; bool ok; int32_t ew, eh; };
  const Case cases[] = {
      {400, 300, -1, 150, true, 200, 150},  {400, 300, 0, 150, true, 400, 150},
      {400, 300, -200, 150, true, 200, 150}, {400, 300, 640, -1, true, 640, 480},
      {400, 300, 640, 0, true, 640, 300},   {400, 300, 3, -1, true, 3, 2},
      {400, 300, 1, -1, true, 1, 1},        {400, 300, -1, -1, false, 0, 0},
      {400, 300, -5, -7, false, 0, 0},      {0, 300, 10, 10, false, 0, 0},
      // Keeping the aspect ratio from an unchanged height keeps the width.
      {400, 300, -1, 0, true, 400, 300},
      // 32-bit products that would overflow are done in 64 bits.
      {60000, 3, -1, 60000, true, 1200000000, 60000},
  };
  for (const Case& c : cases) {
    int32_t w = 0, h = 0;
    const bool ok = ResampleTargetSize(c.w, c.h, c.nw, c.nh, w, h);
    EXPECT_EQ(ok, c.ok) << c.nw << "," << c.nh;
    if (ok && c.ok) {
      EXPECT_EQ(std::make_pair(w, h), std::make_pair(c.ew, c.eh)) << c.nw << "," << c.nh;
    }
  }
}

// ---------------------------------------------------------------- kernel resampler

TEST(ResampleKernel, EqualsReferenceForEveryFilterAndSize) {
  std::mt19937 rng(20240611);
  struct Shape { int lo_s, hi_s, lo_d, hi_d; };
  // Enlarging, reducing, and one direction each way; a source side of 1 included.
  const Shape shapes[][2] = {
      {{2, 12, 13, 40}, {2, 12, 13, 40}},
      {{20, 70, 1, 19}, {20, 70, 1, 19}},
      {{2, 15, 16, 45}, {25, 60, 2, 24}},
      {{1, 1, 2, 9}, {3, 30, 1, 40}},
  };
  for (TResampleFilter filter : kKernelFilters) {
    for (TImPixelLayout format : {im24RGB, im8g}) {
      for (const auto& shape : shapes) {
        for (int round = 0; round < 3; ++round) {
          auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
          const int ws = pick(shape[0].lo_s, shape[0].hi_s), wd = pick(shape[0].lo_d, shape[0].hi_d);
          const int hs = pick(shape[1].lo_s, shape[1].hi_s), hd = pick(shape[1].lo_d, shape[1].hi_d);
          TImBitmap source(ws, hs, format);
          FillRandom(source, rng);
          const auto expected = RefResample(Pack(source), ws, hs, Channels(format), wd, hd, filter);
          TImBitmap dest;
          ASSERT_TRUE(Resampled(source, dest, wd, hd, filter));
          ASSERT_EQ(dest.PixelFormat(), format);
          EXPECT_EQ(Pack(dest), expected) << "filter " << int(filter) << " format " << int(format) << " " << ws
                                          << "x" << hs << " -> " << wd << "x" << hd;
        }
      }
    }
  }
}

TEST(ResampleKernel, EveryThreadCountGivesTheSameBytes) {
  std::mt19937 rng(7);
  const std::pair<int, int> sizes[][2] = {{{97, 61}, {40, 130}}, {{33, 200}, {70, 23}}, {{50, 7}, {120, 9}}};
  for (TResampleFilter filter : {rfHermite, rfLanczos3, rfMitchell}) {
    for (const auto& size : sizes) {
      TImBitmap source(size[0].first, size[0].second, im24RGB);
      FillRandom(source, rng);
      const auto expected = RefResample(Pack(source), size[0].first, size[0].second, 3, size[1].first,
                                        size[1].second, filter);
      for (int threads : {1, 2, 3, 5, 8, 0}) {
        TImBitmap dest;
        ASSERT_TRUE(Resampled(source, dest, size[1].first, size[1].second, filter, threads));
        EXPECT_EQ(Pack(dest), expected) << threads << " threads, filter " << int(filter);
      }
    }
  }
}

TEST(ResampleKernel, HermiteTwoToThree) {
  TImBitmap source(2, 1, im24RGB);
  source.SetPixelRGB(0, 0, TRGB{10, 200, 255});
  source.SetPixelRGB(1, 0, TRGB{91, 0, 60});
  TImBitmap dest;
  ASSERT_TRUE(Resampled(source, dest, 3, 1, rfHermite));
  EXPECT_EQ(dest.PixelRGB(0, 0), source.PixelRGB(0, 0));
  EXPECT_EQ(dest.PixelRGB(2, 0), source.PixelRGB(1, 0));
  EXPECT_EQ(dest.PixelRGB(1, 0), (TRGB{(10 * 128 + 91 * 128) / 256, (200 * 128) / 256, (255 * 128 + 60 * 128) / 256}));
}

TEST(ResampleKernel, StrongReductionKeepsTheImage) {
  // 1500 columns to 2: every weight rounds to 0; the pixels must not go black.
  TImBitmap source(1500, 3, im24RGB);
  source.Fill(0x00C8C8C8);
  TImBitmap dest;
  ASSERT_TRUE(Resampled(source, dest, 2, 3, rfHermite));
  for (int x = 0; x < 2; ++x) EXPECT_EQ(dest.PixelRGB(x, 1), (TRGB{200, 200, 200}));
}

// ---------------------------------------------------------------- formats

TEST(ResampleFormats, ConstantImageStaysConstant) {
  const TImPixelLayout formats[] = {im1g, im8p, im8g, imGray16, im24RGB, imCMYK, imRGB48, imRGBA32};
  const TResampleFilter filters[] = {rfNone,     rfTriangle, rfHermite,   rfBell,      rfBSpline,
                                     rfLanczos3, rfMitchell, rfNearest,   rfLinear,    rfFastLinear,
                                     rfBilinear, rfBicubic,  rfProjectBW, rfProjectWB};
  const std::pair<int, int> sizes[] = {{1, 1}, {29, 3}, {5, 40}};
  for (TImPixelLayout format : formats) {
    TImBitmap source(13, 11, format);
    if (format == im8p) {
      for (int i = 0; i < 256; ++i) source.SetPaletteColor(i, TRGB{uint8_t(i), 77, 200});
    }
    source.Fill(format == im8p ? 9 : (format == im1g ? 1 : 0x00406080));
    const TRGB colour = source.PixelAsRGB(0, 0);
    for (TResampleFilter filter : filters) {
      for (const auto& size : sizes) {
        TImBitmap dest;
        ASSERT_TRUE(Resampled(source, dest, size.first, size.second, filter)) << int(format) << " " << int(filter);
        for (int32_t y = 0; y < dest.Height(); ++y) {
          for (int32_t x = 0; x < dest.Width(); ++x) {
            ASSERT_EQ(dest.PixelAsRGB(x, y), colour) << "format " << int(format) << " filter " << int(filter);
          }
        }
      }
    }
  }
}

TEST(ResampleFormats, NearestNeighbourSamples) {
  // 4 x 4 -> 2 x 2 reads (0,0), (2,0), (0,2), (2,2); 2 x 2 -> 4 x 4 reads columns 0, 0, 1, 1.
  for (TImPixelLayout format : {im1g, im8p, im8g, imGray16, im24RGB, im32f, imCMYK, imRGB48, imCIELab, imRGBA32}) {
    const int bytes = kBitsPerPixel[format] / 8;
    auto value = [](int x, int y) { return uint8_t(16 * y + x + 1); };
    auto bit = [](int x, int y) { return ((x * 3 + y * 5) % 7) < 3; };
    auto paint = [&](TImBitmap& b) {
      for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
          if (format == im1g) {
            b.SetPixelBit(x, y, bit(x, y));
          } else {
            std::memset(b.ScanLine(y) + x * bytes, value(x, y), size_t(bytes));
          }
        }
      }
    };
    auto same = [&](const TImBitmap& d, int dx, int dy, const TImBitmap& s, int sx, int sy) {
      if (format == im1g) return d.PixelBit(dx, dy) == s.PixelBit(sx, sy);
      return std::memcmp(d.ScanLine(dy) + dx * bytes, s.ScanLine(sy) + sx * bytes, size_t(bytes)) == 0;
    };
    TImBitmap big(4, 4, format), small(2, 2, format);
    paint(big);
    paint(small);
    if (format == im8p) big.SetPaletteColor(5, TRGB{1, 2, 3});
    TImBitmap reduced, enlarged;
    ASSERT_TRUE(Resampled(big, reduced, 2, 2, rfNone));
    ASSERT_TRUE(Resampled(small, enlarged, 4, 4, rfNone));
    ASSERT_EQ(reduced.PixelFormat(), format);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 2; ++x) EXPECT_TRUE(same(reduced, x, y, big, 2 * x, 2 * y)) << int(format);
    }
    const int column[4] = {0, 0, 1, 1};
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 4; ++x) EXPECT_TRUE(same(enlarged, x, y, small, column[x], column[y])) << int(format);
    }
    if (format == im8p) {
      EXPECT_EQ(reduced.PaletteColor(5), (TRGB{1, 2, 3}));
    }
  }
}

TEST(ResampleFormats, PaletteAndBitImagesWithAKernel) {
  TImBitmap indexed(6, 5, im8p);
  for (int i = 0; i < 256; ++i) indexed.SetPaletteColor(i, TRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
  std::mt19937 rng(3);
  FillRandom(indexed, rng);
  TImBitmap dest;
  ASSERT_TRUE(Resampled(indexed, dest, 9, 4, rfHermite));
  EXPECT_EQ(dest.PixelFormat(), im24RGB);
  EXPECT_EQ(dest.PaletteLength(), 0);
  ASSERT_TRUE(Resampled(indexed, dest, 9, 4, rfNone));
  EXPECT_EQ(dest.PixelFormat(), im8p);
  EXPECT_EQ(dest.PaletteColor(200), indexed.PaletteColor(200));

  // Bits are read as 0 or 255 and the result is written as grey.
  TImBitmap bits(23, 9, im1g);
  FillRandom(bits, rng);
  const auto expected = RefResample(PackBits(bits), 23, 9, 1, 31, 17, rfHermite);
  ASSERT_TRUE(Resampled(bits, dest, 31, 17, rfHermite));
  ASSERT_EQ(dest.PixelFormat(), im24RGB);
  for (int32_t y = 0; y < 17; ++y) {
    for (int32_t x = 0; x < 31; ++x) {
      const uint8_t g = expected[size_t(y) * 31 + x];
      ASSERT_EQ(dest.PixelRGB(x, y), (TRGB{g, g, g})) << x << "," << y;
    }
  }
}

TEST(ResampleFormats, AlphaChannelFollowsWithTheSameFilter) {
  std::mt19937 rng(11);
  for (TResampleFilter filter : {rfNone, rfHermite, rfLanczos3}) {
    TImBitmap source(17, 12, im24RGB);
    FillRandom(source, rng);
    TImBitmap* alpha = source.AlphaChannel();
    FillRandom(*alpha, rng);
    alpha->SetAlphaFull(false);
    TImBitmap dest;
    ASSERT_TRUE(Resampled(source, dest, 30, 7, filter));
    ASSERT_TRUE(dest.HasAlphaChannel());
    const TImBitmap& out = *dest.ExistingAlphaChannel();
    EXPECT_EQ(out.Width(), 30);
    EXPECT_EQ(out.Height(), 7);
    EXPECT_FALSE(out.AlphaFull());
    if (filter != rfNone) {
      EXPECT_EQ(Pack(out), RefResample(Pack(*alpha), 17, 12, 1, 30, 7, filter));
    }
  }
  // A fully opaque alpha stays marked full.
  TImBitmap opaque(8, 8, im8g);
  opaque.AlphaChannel();
  TImBitmap dest;
  ASSERT_TRUE(Resampled(opaque, dest, 3, 3, rfHermite));
  ASSERT_TRUE(dest.HasAlphaChannel());
  EXPECT_TRUE(dest.ExistingAlphaChannel()->AlphaFull());
}

TEST(ResampleFormats, SinglePixelSourceWithAKernelIsReplicated) {
  for (TImPixelLayout format : {im24RGB, im8g}) {
    TImBitmap source(1, 1, format);
    source.Fill(format == im8g ? 123 : 0x00112233);
    TImBitmap dest;
    ASSERT_TRUE(Resampled(source, dest, 5, 3, rfLanczos3));
    for (int32_t y = 0; y < 3; ++y) {
      for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(dest.PixelAsRGB(x, y), source.PixelAsRGB(0, 0));
    }
  }
}

TEST(ResampleFormats, FastLinearInterpolatesAndAverages) {
  TImBitmap source(2, 1, im24RGB);
  source.SetPixelRGB(0, 0, TRGB{0, 100, 255});
  source.SetPixelRGB(1, 0, TRGB{101, 0, 0});
  TImBitmap dest;
  // Enlarging: x / dx with dx = 2 lands half-way at column 1; the last
  // column stays on the last pixel, which has no right neighbour.
  ASSERT_TRUE(Resampled(source, dest, 4, 1, rfFastLinear));
  EXPECT_EQ(dest.PixelRGB(0, 0), (TRGB{0, 100, 255}));
  EXPECT_EQ(dest.PixelRGB(1, 0), (TRGB{50, 50, 128}));  // 255 + (-255 x 65536 div 131072)
  EXPECT_EQ(dest.PixelRGB(2, 0), (TRGB{101, 0, 0}));
  EXPECT_EQ(dest.PixelRGB(3, 0), (TRGB{101, 0, 0}));
  // Reducing 4 -> 2: column 0 averages pixels 0 .. 2, column 1 pixel 2 only.
  TImBitmap wide(4, 1, im24RGB);
  const uint8_t v[4] = {10, 20, 60, 200};
  for (int x = 0; x < 4; ++x) wide.SetPixelRGB(x, 0, TRGB{v[x], v[x], v[x]});
  ASSERT_TRUE(Resampled(wide, dest, 2, 1, rfFastLinear));
  EXPECT_EQ(dest.PixelRGB(0, 0), (TRGB{30, 30, 30}));
  EXPECT_EQ(dest.PixelRGB(1, 0), (TRGB{60, 60, 60}));
}

TEST(ResampleProgress, ReportedOnTheCallingThreadInOrder) {
  std::mt19937 rng(5);
  for (TResampleFilter filter : {rfNone, rfHermite, rfFastLinear}) {
    TImBitmap source(40, 150, im24RGB);
    FillRandom(source, rng);
    TImBitmap dest(25, 90, im24RGB);
    std::vector<int> seen;
    const std::thread::id caller = std::this_thread::get_id();
    bool foreign = false;
    ASSERT_TRUE(ResampleBitmap(source, dest, filter, [&](int p) {
      if (std::this_thread::get_id() != caller) foreign = true;
      seen.push_back(p);
    }, 4));
    EXPECT_FALSE(foreign);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    for (size_t i = 1; i < seen.size(); ++i) {
      EXPECT_LE(seen[i - 1], seen[i]) << int(filter);
      if (filter != rfFastLinear) {
        EXPECT_NE(seen[i - 1], seen[i]) << int(filter);
      }
    }
    EXPECT_LE(seen.back(), 100);
    EXPECT_GE(seen.back(), 97);
  }
}

// ---------------------------------------------------------------- vector forms
//
// Each instruction set this processor has must give the plain loop's bytes,
// which the reference above judges. Sizes are picked so that bands of 16
// rows end short, rows end between vector widths, and edges mirror.

std::vector<TKernelIsa> AvailableIsas() {
  std::vector<TKernelIsa> isas;
  for (TKernelIsa isa : {TKernelIsa::kPlain, TKernelIsa::kSse2, TKernelIsa::kAvx2}) {
    if (KernelIsaAvailable(isa)) isas.push_back(isa);
  }
  return isas;
}

TEST(ResampleVector, EveryInstructionSetEqualsThePlainLoop) {
  std::mt19937 rng(99);
  struct Case { int ws, hs, wd, hd; };
  const Case cases[] = {
      {611, 397, 163, 107},  // a photo-like reduction by 3.7
      {250, 37, 67, 15},     {97, 33, 40, 18}, {17, 16, 5, 3},   {300, 200, 299, 199},
      {23, 19, 61, 45},      // enlargement: two taps
      {1000, 20, 13, 7},     // strong reduction, long tap lists
      {40, 250, 39, 31},     {5, 5, 4, 4},
  };
  const auto isas = AvailableIsas();
  for (TResampleFilter filter : kKernelFilters) {
    const TResampleKernel& kernel = *KernelOf(filter);
    for (const Case& c : cases) {
      for (TImPixelLayout format : {im24RGB, im8g}) {
        TImBitmap source(c.ws, c.hs, format);
        FillRandom(source, rng);
        const auto expected = RefResample(Pack(source), c.ws, c.hs, Channels(format), c.wd, c.hd, filter);
        for (TKernelIsa isa : isas) {
          for (int threads : {1, 2, 3}) {
            if (format == im8g && threads > 1) continue;
            TImBitmap dest(c.wd, c.hd, format);
            const bool done = format == im24RGB ? ResampleKernel24(source, dest, kernel, threads, nullptr, isa)
                                                : ResampleKernel8(source, dest, kernel, nullptr, isa);
            ASSERT_TRUE(done);
            EXPECT_EQ(Pack(dest), expected) << "isa " << int(isa) << " filter " << int(filter) << " "
                                            << c.ws << "x" << c.hs << " -> " << c.wd << "x" << c.hd
                                            << " format " << int(format) << " threads " << threads;
          }
        }
      }
    }
  }
}

TEST(ResampleVector, VectorFormOnlyWhereSixteenBitsAreProvenExact) {
  struct Case { TResampleFilter filter; int source, dest; bool vector; };
  const Case cases[] = {
      {rfHermite, 6000, 1620, true},  {rfHermite, 4000, 1080, true}, {rfHermite, 1920, 3840, true},
      {rfTriangle, 6000, 1920, true}, {rfBSpline, 4000, 1000, true},
      // Negative lobes: the sums can leave the unsigned 16-bit range.
      {rfLanczos3, 6000, 1620, false}, {rfMitchell, 4000, 1080, false},
      // Every weight rounds to 0 and the nearest pixel takes weight 1: no
      // 16-bit reciprocal divides by 1 over the whole range.
      {rfHermite, 1500, 2, false},
  };
  for (const Case& c : cases) {
    TFixedTaps fixed;
    const bool built = BuildFixedTaps(BuildContributions(c.source, c.dest, *KernelOf(c.filter)), c.source, fixed);
    EXPECT_EQ(built && UsesVectorForm(fixed), c.vector) << int(c.filter) << " " << c.source << " -> " << c.dest;
  }
}

TEST(ResampleVector, ReciprocalDivisionIsExactForEveryDivisor) {
  // One list of two weights adding up to d, over rows holding every pair of
  // bytes: the quotient must be the true one for every sum, whether the
  // list is done in 16 bits or (above 257, or without a reciprocal) wide.
  std::vector<uint8_t> row0(65536 + 7), row1(65536 + 7);
  for (size_t n = 0; n < row0.size(); ++n) {
    row0[n] = uint8_t(n & 255);
    row1[n] = uint8_t((n >> 8) & 255);
  }
  const uint8_t* rows[2] = {row0.data(), row1.data()};
  std::vector<uint8_t> out(row0.size());
  for (int32_t d = 1; d <= 300; ++d) {
    TContributions list;
    list.Start = {0, 2};
    list.Index = {0, 1};
    list.Weight = {d / 3, d - d / 3};
    list.Divisor = {d};
    TFixedTaps fixed;
    ASSERT_TRUE(BuildFixedTaps(list, 2, fixed));
    // The divisors around 256 that photo reductions produce must run in 16 bits.
    if (d >= 240 && d <= 257) {
      EXPECT_FALSE(fixed.Wide[0]) << d;
    }
    if (d > 257) {
      EXPECT_TRUE(fixed.Wide[0]) << d;
    }
    for (TKernelIsa isa : AvailableIsas()) {
      VerticalRow16(isa, fixed, 0, rows, out.size(), out.data());
      for (size_t n = 0; n < out.size(); ++n) {
        const int want = std::min(255, (list.Weight[0] * row0[n] + list.Weight[1] * row1[n]) / d);
        ASSERT_EQ(out[n], want) << "d " << d << " isa " << int(isa) << " at " << n;
      }
    }
  }
}

}  // namespace
}  // namespace tessaly
