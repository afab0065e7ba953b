// Tessaly: changing the canvas size of a bitmap without scaling its pixels.
#pragma once

#include <cstdint>

#include "raster/bitmap.h"

namespace tessaly {

/// Alignment codes of a canvas resize; any other value behaves as the first.
enum : uint8_t { kAlignStart = 0, kAlignCentre = 1, kAlignEnd = 2 };

/// Resizes the canvas of `bitmap` to new_width x new_height. The old pixels
/// keep their size and sit at the alignment (0 left/top, 1 centre, 2
/// right/bottom); a smaller canvas crops around it, a larger one fills the new
/// area with `fill` (read per pixel format as by Fill) and the alpha channel
/// there with `alpha`. An odd difference leaves its extra pixel on the right
/// or bottom side. False for non-positive sizes or when the new size cannot
/// be allocated (the bitmap is then empty).
bool ResizeCanvas(TImBitmap& bitmap, int32_t new_width, int32_t new_height, uint8_t horiz_align,
                  uint8_t vert_align, int32_t alpha, double fill);

}  // namespace tessaly
