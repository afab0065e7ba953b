// Tessaly: the two approximate colour reducers behind TImQuantizer.
#pragma once

#include <cstdint>
#include <vector>

#include "raster/bitmap.h"

namespace tessaly {

/// Variance-minimising box splitting on a 32 x 32 x 32 histogram (5 bits a
/// channel). Meant for small palettes; every colour maps through a 32 KiB table.
class TBoxSplitter {
 public:
  /// Builds up to min(color_count, 256) boxes from an im24RGB source and writes
  /// one palette entry per box; returns the number of entries written.
  int Build(const TImBitmap& source, int color_count, TRGB* palette);
  int IndexOfColor(TRGB color) const { return table_[CellOf(color.r >> 3, color.g >> 3, color.b >> 3)]; }

 private:
  struct Box {
    double error = 0;
    double mean[3] = {0, 0, 0};  // red, green, blue, in cell units 0 .. 31
    uint32_t count = 0;
    uint32_t marginal[3][32] = {};
    int lo[3] = {0, 0, 0};  // inclusive
    int hi[3] = {32, 32, 32};  // exclusive
  };
  static int CellOf(int r, int g, int b) { return r * 1024 + g * 32 + b; }
  void ComputeStatistics(Box& box) const;
  void ShrinkBounds(Box& box) const;
  bool Split(Box& box, Box& upper) const;

  std::vector<uint32_t> histogram_;
  std::vector<uint8_t> table_;  // 32768 cells, filled by Build
  double pixel_count_ = 0;
};

/// The NeuQuant self-organising map over the colour cube: a network of
/// netsize neurons learns from a sample of the pixels, then answers through an
/// index of the neurons sorted by green.
class TNeuQuant {
 public:
  /// Learns from an im24RGB source and writes color_count palette entries in
  /// neuron order.
  void Build(const TImBitmap& source, int color_count, int sampling_factor, TRGB* palette);
  int IndexOfColor(TRGB color) const;
  /// The sampling factor for a pixel count under the process-wide quality.
  static int SamplingFactor(int64_t pixel_count, int quality);

 private:
  struct Neuron {
    int32_t b = 0, g = 0, r = 0, index = 0;
  };
  int Contest(int32_t b, int32_t g, int32_t r);
  void AlterSingle(int32_t alpha, int i, int32_t b, int32_t g, int32_t r);
  void AlterNeighbours(int rad, int i, int32_t b, int32_t g, int32_t r);
  void Learn(const TImBitmap& source, int sampling_factor);
  void BuildGreenIndex();

  int netsize_ = 0;
  std::vector<Neuron> network_;
  std::vector<int32_t> frequency_, bias_, radpower_;
  int green_index_[256] = {};
};

}  // namespace tessaly
