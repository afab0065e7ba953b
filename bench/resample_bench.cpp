// Tessaly benchmarks: resampling a photo-sized 24-bit image.
//
// Figures are source megapixels per second ("src_MP/s"), on one thread and
// on one thread per processor core.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "platform/system_info.h"
#include "raster/bitmap.h"
#include "raster/resample.h"
#include "raster/resample_kernel.h"

namespace tessaly {
namespace {

// A camera-sized image with detail in every channel, made once.
TImBitmap& Photo(int32_t width, int32_t height) {
  static std::unique_ptr<TImBitmap> photo;
  if (photo == nullptr || photo->Width() != width || photo->Height() != height) {
    photo = std::make_unique<TImBitmap>(width, height, im24RGB);
    uint32_t seed = 12345;
    for (int32_t y = 0; y < height; ++y) {
      uint8_t* row = photo->ScanLine(y);
      for (int32_t x = 0; x < width; ++x) {
        seed = seed * 1664525u + 1013904223u;
        row[3 * x] = static_cast<uint8_t>(x + (seed >> 28));
        row[3 * x + 1] = static_cast<uint8_t>(y + (seed >> 24));
        row[3 * x + 2] = static_cast<uint8_t>((x ^ y) + (seed >> 30));
      }
    }
  }
  return *photo;
}

// Arguments: source width, source height, target width, target height,
// filter, threads (0 = one per core).
void BM_Resample(benchmark::State& state) {
  TImBitmap& source = Photo(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)));
  TImBitmap dest(static_cast<int32_t>(state.range(2)), static_cast<int32_t>(state.range(3)), im24RGB);
  const auto filter = static_cast<TResampleFilter>(state.range(4));
  const int threads = static_cast<int>(state.range(5));
  for (auto _ : state) {
    if (!ResampleBitmap(source, dest, filter, {}, threads)) state.SkipWithError("resample failed");
    benchmark::DoNotOptimize(dest.ScanLine(0));
  }
  const double source_mp = static_cast<double>(source.Width()) * source.Height() / 1e6;
  state.counters["src_MP/s"] = benchmark::Counter(source_mp, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["threads"] = threads == 0 ? ProcessorCount() : threads;
}

void Cases(benchmark::internal::Benchmark* b) {
  b->ArgNames({"sw", "sh", "dw", "dh", "filter", "threads"});
  for (int threads : {1, 0}) {
    for (int filter : {rfHermite, rfNone}) {
      b->Args({6000, 4000, 1620, 1080, filter, threads});
      b->Args({6000, 4000, 1920, 1080, filter, threads});
      b->Args({1920, 1080, 3840, 2160, filter, threads});
    }
  }
}

BENCHMARK(BM_Resample)->Apply(Cases)->Unit(benchmark::kMillisecond)->UseRealTime();

// The kernel resampler on each instruction set (0 plain, 1 SSE2, 2 AVX2),
// Hermite 6000 x 4000 to 1620 x 1080; threads as above.
void BM_ResampleIsa(benchmark::State& state) {
  TImBitmap& source = Photo(6000, 4000);
  TImBitmap dest(1620, 1080, im24RGB);
  const auto isa = static_cast<TKernelIsa>(state.range(0));
  const int threads = static_cast<int>(state.range(1));
  if (!KernelIsaAvailable(isa)) {
    state.SkipWithError("not on this processor");
    return;
  }
  for (auto _ : state) {
    if (!ResampleKernel24(source, dest, *KernelOf(rfHermite), threads, nullptr, isa)) state.SkipWithError("failed");
    benchmark::DoNotOptimize(dest.ScanLine(0));
  }
  state.counters["src_MP/s"] = benchmark::Counter(24.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ResampleIsa)
    ->ArgNames({"isa", "threads"})
    ->ArgsProduct({{0, 1, 2}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// What the undo copy of a batch photo costs when it is a copy (an entry
// taken before the resample, with an OnSaveUndo handler set): one photo-sized
// Assign into a kept block. Without a handler the entry takes the image itself.
void BM_UndoCopy(benchmark::State& state) {
  TImBitmap& source = Photo(6000, 4000);
  for (auto _ : state) {
    TImBitmap copy;
    copy.SetFileThreshold(0);
    copy.Assign(source);
    benchmark::DoNotOptimize(copy.ScanLine(0));
  }
  state.counters["MB"] = static_cast<double>(source.ImageSize()) / 1e6;
}
BENCHMARK(BM_UndoCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tessaly
