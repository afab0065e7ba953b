// Tessaly: the vector forms of the kernel resampler's two passes.
#pragma once

#include <cstdint>
#include <vector>

#include "raster/resample_kernel.h"

namespace tessaly {

/// A contribution table in the form the vector passes need: every list as
/// Taps contiguous weights from First (duplicate source indices from the
/// mirrored edges merged, gaps filled with 0). A list is computed in
/// unsigned 16-bit lanes where that is exact: every weight non-negative and
/// 255 x divisor <= 65535, so no sum passes 16 bits, and a multiply-high and
/// shift checked against the division for every sum that can occur. The
/// other lists are "wide": computed in 32 bits as the plain loop does.
struct TFixedTaps {
  int32_t Taps = 0;
  int32_t WideCount = 0;
  std::vector<int32_t> First;
  std::vector<uint16_t> Weight;      // Taps per list, for the 16-bit lists
  std::vector<uint16_t> Mul;
  std::vector<uint8_t> Shift;
  std::vector<uint8_t> Wide;         // 1 for a list done in 32 bits
  std::vector<int32_t> WideWeight;   // Taps per list, merged, signed
  std::vector<int32_t> Divisor;
};

/// False when the lists are too long for the vector form.
bool BuildFixedTaps(const TContributions& list, int32_t source_size, TFixedTaps& fixed);

/// Whether the vector form pays: at most one list in eight is wide.
inline bool UsesVectorForm(const TFixedTaps& fixed) {
  return fixed.Taps > 0 && fixed.WideCount * 8 <= static_cast<int32_t>(fixed.First.size());
}

/// Rows a horizontal band holds.
constexpr int kBandRows = 16;

/// Scratch of one thread's horizontal pass, kept across bands.
struct THorizontalScratch {
  std::vector<uint8_t> Transposed;
  std::vector<uint8_t> Result;
};

/// The horizontal pass over `rows` (1 .. kBandRows) source rows of `channels`
/// bytes a pixel into the same number of work rows.
void HorizontalBand16(TKernelIsa isa, int channels, const uint8_t* const* source_rows, int rows,
                      int32_t source_width, uint8_t* const* work_rows, const TFixedTaps& taps,
                      THorizontalScratch& scratch);

/// One destination row of the vertical pass: list `k` of `taps` over the
/// work rows, `bytes` bytes a row.
void VerticalRow16(TKernelIsa isa, const TFixedTaps& taps, int32_t k, const uint8_t* const* work_rows,
                   size_t bytes, uint8_t* dest_row);

}  // namespace tessaly
