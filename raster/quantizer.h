// Tessaly: colour reduction to a palette of at most N colours.
#pragma once

#include <memory>
#include <vector>

#include "raster/bitmap.h"

namespace tessaly {

/// Process-wide: -1 automatic (box splitter below 128 colours, NeuQuant from
/// 128), 0 always NeuQuant, 1 always the box splitter.
extern int QuantizerMethod;
/// Process-wide: -1 automatic sampling, else a quality 0..100.
extern int NeuQuantQuality;

/// Built on a bitmap and a colour count; fills the caller's palette and then
/// maps any colour to a palette index. The source must outlive it.
class TImQuantizer {
 public:
  /// Fills as many palette entries as the chosen method produces and leaves
  /// the rest untouched. Limit has no effect on the result.
  TImQuantizer(const TImBitmap& source, int color_count, TRGB* palette, int limit = 255);
  ~TImQuantizer();
  TImQuantizer(const TImQuantizer&) = delete;
  TImQuantizer& operator=(const TImQuantizer&) = delete;

  /// The palette index for a colour (-1 for a colour outside an exact palette).
  int IndexOfColor(TRGB color) const;

 private:
  struct Engine;
  const TImBitmap& source_;
  int color_count_;
  bool is_grey_ = false;
  std::vector<TRGB> exact_colors_;
  bool has_exact_ = false;
  int method_ = 0;
  std::unique_ptr<Engine> engine_;
};

}  // namespace tessaly
