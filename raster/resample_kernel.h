// Tessaly: the pieces of the resampler: kernels, contribution lists and the passes.
#pragma once

#include <cstdint>
#include <vector>

#include "raster/bitmap.h"
#include "raster/resample.h"

namespace tessaly {

/// Instruction sets of the resampler's passes. kPlain is the scalar loop
/// every vector form is compared with.
enum class TKernelIsa : uint8_t { kPlain, kSse2, kAvx2 };

/// The best set this processor offers, found once.
TKernelIsa BestKernelIsa();
bool KernelIsaAvailable(TKernelIsa isa);

/// A kernel of the two-pass resampler: its support radius and its function.
struct TResampleKernel {
  double Support;
  double (*Weight)(double x);
};

/// The kernel of rfTriangle .. rfLinear; null for every other filter.
const TResampleKernel* KernelOf(TResampleFilter filter);

/// For every destination column (or row) the source indices and integer
/// weights (x 256) that make it, and the divisor of its weighted sum: the
/// total of its weights, or 256 when they cancel out. Kept as flat arrays so
/// that the passes walk memory in order; list i is [Start[i], Start[i+1]).
struct TContributions {
  std::vector<int32_t> Start;
  std::vector<int32_t> Index;
  std::vector<int32_t> Weight;
  std::vector<int32_t> Divisor;

  int32_t Count() const { return static_cast<int32_t>(Divisor.size()); }
};

/// The lists for scaling source_size pixels to dest_size pixels with a kernel.
TContributions BuildContributions(int32_t source_size, int32_t dest_size, const TResampleKernel& kernel);

/// Tracks the last percentage reported so that each value is reported once.
class TProgressStep {
 public:
  explicit TProgressStep(const TResampleProgress& progress) : progress_(progress) {}
  void Report(int percent) {
    if (percent == last_ || !progress_) return;
    last_ = percent;
    progress_(percent);
  }
  /// Reports even when the value has not changed.
  void ReportAlways(int percent) {
    last_ = percent;
    if (progress_) progress_(percent);
  }

 private:
  const TResampleProgress& progress_;
  int last_ = -1;
};

/// Nearest neighbour between two bitmaps of one pixel format (any format).
void ResampleNearest(TImBitmap& source, TImBitmap& dest, TProgressStep* progress);

/// The kernel resampler on im24RGB bitmaps; the horizontal pass on `threads`
/// threads. False when the intermediate image cannot be had. `isa` picks the
/// vector form of the passes where the weight tables allow it; every form
/// gives the same bytes.
bool ResampleKernel24(const TImBitmap& source, TImBitmap& dest, const TResampleKernel& kernel,
                      int threads, TProgressStep* progress, TKernelIsa isa = BestKernelIsa());

/// The one-channel kernel resampler on im8g bitmaps, on the calling thread.
bool ResampleKernel8(const TImBitmap& source, TImBitmap& dest, const TResampleKernel& kernel,
                     TProgressStep* progress, TKernelIsa isa = BestKernelIsa());

/// The quick two-pass linear scaler on im24RGB bitmaps.
bool ResampleFastLinear24(const TImBitmap& source, TImBitmap& dest, TProgressStep* progress);

}  // namespace tessaly
