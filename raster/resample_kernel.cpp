// Tessaly: the two-pass kernel resampler: kernels, contribution lists and passes.
#include "raster/resample_kernel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/thread_pool.h"
#include "raster/resample_simd.h"

namespace tessaly {

namespace {

double TriangleKernel(double x) {
  const double t = std::fabs(x);
  return t < 1.0 ? 1.0 - t : 0.0;
}

double HermiteKernel(double x) {
  const double t = std::fabs(x);
  return t < 1.0 ? (2.0 * t - 3.0) * t * t + 1.0 : 0.0;
}

double BellKernel(double x) {
  const double t = std::fabs(x);
  if (t < 0.5) return 0.75 - t * t;
  if (t < 1.5) return 0.5 * (t - 1.5) * (t - 1.5);
  return 0.0;
}

double BSplineKernel(double x) {
  const double t = std::fabs(x);
  if (t < 1.0) return 0.5 * t * t * t - t * t + 2.0 / 3.0;
  if (t < 2.0) return (2.0 - t) * (2.0 - t) * (2.0 - t) / 6.0;
  return 0.0;
}

double Sinc(double u) {
  if (u == 0.0) return 1.0;
  const double a = std::numbers::pi * u;
  return std::sin(a) / a;
}

double Lanczos3Kernel(double x) {
  const double t = std::fabs(x);
  return t < 3.0 ? Sinc(t) * Sinc(t / 3.0) : 0.0;
}

double MitchellKernel(double x) {
  const double t = std::fabs(x);
  if (t < 1.0) return (7.0 * t * t * t - 12.0 * t * t + 16.0 / 3.0) / 6.0;
  if (t < 2.0) return (-(7.0 / 3.0) * t * t * t + 12.0 * t * t - 20.0 * t + 32.0 / 3.0) / 6.0;
  return 0.0;
}

double NearestKernel(double x) { return x > -0.5 && x <= 0.5 ? 1.0 : 0.0; }

double LinearKernel(double x) {
  if (x >= -1.0 && x < 0.0) return 1.0 + x;
  if (x >= 0.0 && x < 1.0) return 1.0 - x;
  return 0.0;
}

// Indexed by TResampleFilter, rfTriangle .. rfLinear.
constexpr TResampleKernel kKernels[] = {
    {1.0, TriangleKernel}, {1.0, HermiteKernel}, {1.5, BellKernel},    {2.0, BSplineKernel},
    {3.0, Lanczos3Kernel}, {2.0, MitchellKernel}, {1.0, NearestKernel}, {1.0, LinearKernel},
};

inline uint8_t ClampByte(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// The horizontal pass over rows [first, first + count) of the source into the
// same rows of the work image. Only the share that carries `progress` reports.
template <int N>
void HorizontalRows(const TImBitmap& source, TImBitmap& work, const TContributions& list, int32_t first,
                    int32_t count, int threads, double factor, TProgressStep* progress) {
  const int32_t* start = list.Start.data();
  const int32_t* index = list.Index.data();
  const int32_t* weight = list.Weight.data();
  const int32_t* divisor = list.Divisor.data();
  const int32_t columns = list.Count();
  for (int32_t r = first; r < first + count; ++r) {
    const uint8_t* src = source.ScanLine(r);
    uint8_t* dst = work.ScanLine(r);
    for (int32_t i = 0; i < columns; ++i) {
      int32_t acc[N] = {};
      for (int32_t p = start[i]; p < start[i + 1]; ++p) {
        const uint8_t* px = src + static_cast<ptrdiff_t>(index[p]) * N;
        const int32_t w = weight[p];
        for (int c = 0; c < N; ++c) acc[c] += w * px[c];
      }
      for (int c = 0; c < N; ++c) dst[static_cast<ptrdiff_t>(i) * N + c] = ClampByte(acc[c] / divisor[i]);
    }
    if (progress != nullptr) progress->Report(static_cast<int>((static_cast<double>(r) * threads + 1) * factor));
  }
}

// The vertical pass: each destination row is a weighted sum of work rows,
// accumulated a whole row at a time so that memory is read in order.
template <int N>
void VerticalPass(const TImBitmap& work, TImBitmap& dest, const TContributions& list, double factor,
                  TProgressStep* progress) {
  const size_t bytes = static_cast<size_t>(dest.Width()) * N;
  std::vector<int32_t> acc(bytes);
  const int32_t source_rows = work.Height();
  for (int32_t k = 0; k < list.Count(); ++k) {
    std::fill(acc.begin(), acc.end(), 0);
    for (int32_t p = list.Start[k]; p < list.Start[k + 1]; ++p) {
      const uint8_t* row = work.ScanLine(std::clamp(list.Index[p], 0, source_rows - 1));
      const int32_t w = list.Weight[p];
      for (size_t b = 0; b < bytes; ++b) acc[b] += w * row[b];
    }
    uint8_t* dst = dest.ScanLine(k);
    const int32_t d = list.Divisor[k];
    for (size_t b = 0; b < bytes; ++b) dst[b] = ClampByte(acc[b] / d);
    if (progress != nullptr) progress->Report(static_cast<int>((source_rows + k + 1) * factor));
  }
}

// The horizontal pass in bands of rows, in exact 16-bit lanes.
template <int N>
void HorizontalBands(const TImBitmap& source, TImBitmap& work, const TFixedTaps& taps, TKernelIsa isa,
                     int32_t first, int32_t count, int threads, double factor, TProgressStep* progress) {
  THorizontalScratch scratch;
  for (int32_t r = first; r < first + count; r += kBandRows) {
    const int rows = static_cast<int>(std::min<int32_t>(kBandRows, first + count - r));
    const uint8_t* in[kBandRows];
    uint8_t* out[kBandRows];
    for (int j = 0; j < rows; ++j) {
      in[j] = source.ScanLine(r + j);
      out[j] = work.ScanLine(r + j);
    }
    HorizontalBand16(isa, N, in, rows, source.Width(), out, taps, scratch);
    if (progress == nullptr) continue;
    for (int j = 0; j < rows; ++j) {
      progress->Report(static_cast<int>((static_cast<double>(r + j) * threads + 1) * factor));
    }
  }
}

// The vertical pass in 16-bit lanes, its rows shared out like the
// horizontal pass's. Share 0 runs on the calling thread and reports as it
// goes; the rows of the other shares are reported after it, so the caller
// sees the same values in the same order as from one thread.
template <int N>
void VerticalPassFast(const TImBitmap& work, TImBitmap& dest, const TFixedTaps& taps, TKernelIsa isa,
                      int threads, double factor, TProgressStep* progress) {
  std::vector<const uint8_t*> rows(static_cast<size_t>(work.Height()));
  for (int32_t r = 0; r < work.Height(); ++r) rows[static_cast<size_t>(r)] = work.ScanLine(r);
  const size_t bytes = static_cast<size_t>(dest.Width()) * N;
  const TThreadPool pool(threads);
  int32_t reported = 0;
  pool.RunRows(dest.Height(), [&](const TRowRange& range) {
    for (int32_t k = range.First; k < range.First + range.Count; ++k) {
      VerticalRow16(isa, taps, k, rows.data(), bytes, dest.ScanLine(k));
      if (range.Index == 0 && progress != nullptr) progress->Report(static_cast<int>((work.Height() + k + 1) * factor));
    }
    if (range.Index == 0) reported = range.Count;
  });
  if (progress == nullptr) return;
  for (int32_t k = reported; k < dest.Height(); ++k) {
    progress->Report(static_cast<int>((work.Height() + k + 1) * factor));
  }
}

template <int N>
bool ResampleKernelN(const TImBitmap& source, TImBitmap& dest, const TResampleKernel& kernel, int threads,
                     TProgressStep* progress, TKernelIsa isa) {
  const int32_t ws = source.Width(), hs = source.Height();
  const int32_t wd = dest.Width(), hd = dest.Height();
  if (ws < 1 || hs < 1 || wd < 1 || hd < 1) return false;
  TImBitmap work;
  if (!work.Allocate(wd, hs, N == 3 ? im24RGB : im8g)) return false;
  const double factor = 100.0 / (hs + hd + 0.5);
  {
    const TContributions columns = BuildContributions(ws, wd, kernel);
    TFixedTaps fixed;
    const bool fast = isa != TKernelIsa::kPlain && BuildFixedTaps(columns, ws, fixed) && UsesVectorForm(fixed);
    const TThreadPool pool(threads);
    const int t = pool.ThreadCount();
    pool.RunRows(hs, [&](const TRowRange& range) {
      TProgressStep* share_progress = range.Index == 0 ? progress : nullptr;
      if (fast) {
        HorizontalBands<N>(source, work, fixed, isa, range.First, range.Count, t, factor, share_progress);
      } else {
        HorizontalRows<N>(source, work, columns, range.First, range.Count, t, factor, share_progress);
      }
    });
  }
  const TContributions rows = BuildContributions(hs, hd, kernel);
  TFixedTaps fixed;
  if (isa != TKernelIsa::kPlain && BuildFixedTaps(rows, hs, fixed) && UsesVectorForm(fixed)) {
    VerticalPassFast<N>(work, dest, fixed, isa, threads, factor, progress);
  } else {
    VerticalPass<N>(work, dest, rows, factor, progress);
  }
  return true;
}

}  // namespace

const TResampleKernel* KernelOf(TResampleFilter filter) {
  if (filter < rfTriangle || filter > rfLinear) return nullptr;
  return &kKernels[filter - rfTriangle];
}

TContributions BuildContributions(int32_t source_size, int32_t dest_size, const TResampleKernel& kernel) {
  TContributions list;
  if (source_size < 1 || dest_size < 1) return list;
  // With these factors the first and last destination pixels land exactly on
  // the first and last source pixels.
  const double scale = (source_size == 1 || dest_size == 1)
                           ? static_cast<double>(dest_size) / source_size
                           : static_cast<double>(dest_size - 1) / (source_size - 1);
  const bool reducing = scale < 1.0;
  const double support = reducing ? kernel.Support / scale : kernel.Support;
  const double width = reducing ? 1.0 / scale : 1.0;
  list.Start.reserve(static_cast<size_t>(dest_size) + 1);
  list.Divisor.reserve(static_cast<size_t>(dest_size));
  list.Start.push_back(0);
  for (int32_t i = 0; i < dest_size; ++i) {
    const double centre = i / scale;
    const int64_t left = static_cast<int64_t>(std::floor(centre - support));
    const int64_t right = static_cast<int64_t>(std::ceil(centre + support));
    int32_t total = 0;
    for (int64_t j = left; j <= right; ++j) {
      const double x = centre - static_cast<double>(j);
      // nearbyint rounds halves to the even neighbour in the default mode.
      const double value = reducing ? kernel.Weight(x / width) * 256.0 / width : kernel.Weight(x) * 256.0;
      const int32_t w = static_cast<int32_t>(std::nearbyint(value));
      if (w == 0) continue;
      int64_t n = j < 0 ? -j : (j >= source_size ? 2 * int64_t{source_size} - 1 - j : j);
      n = std::clamp<int64_t>(n, 0, source_size - 1);
      list.Index.push_back(static_cast<int32_t>(n));
      list.Weight.push_back(w);
      total += w;
    }
    if (static_cast<int32_t>(list.Index.size()) == list.Start.back()) {
      // A reduction so strong that every weight rounds to 0 would leave the
      // pixel black; it takes the nearest source pixel instead.
      const int64_t n = std::clamp<int64_t>(std::llround(centre), 0, source_size - 1);
      list.Index.push_back(static_cast<int32_t>(n));
      list.Weight.push_back(1);
      total = 1;
    }
    list.Start.push_back(static_cast<int32_t>(list.Index.size()));
    list.Divisor.push_back(total != 0 ? total : 256);
  }
  return list;
}

bool ResampleKernel24(const TImBitmap& source, TImBitmap& dest, const TResampleKernel& kernel, int threads,
                      TProgressStep* progress, TKernelIsa isa) {
  // A file-backed bitmap holds one row at a time and must stay on one thread.
  if (source.Location() == imTempFile) threads = 1;
  return ResampleKernelN<3>(source, dest, kernel, threads, progress, isa);
}

bool ResampleKernel8(const TImBitmap& source, TImBitmap& dest, const TResampleKernel& kernel,
                     TProgressStep* progress, TKernelIsa isa) {
  return ResampleKernelN<1>(source, dest, kernel, 1, progress, isa);
}

}  // namespace tessaly
