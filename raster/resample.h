// Tessaly: scaling a bitmap to a new size with a choice of filters.
#pragma once

#include <cstdint>
#include <functional>

#include "raster/bitmap.h"

namespace tessaly {

/// The resampling filters, in their fixed order. rfNone is nearest neighbour;
/// rfTriangle .. rfLinear are kernels of the two-pass resampler.
enum TResampleFilter : uint8_t {
  rfNone = 0,
  rfTriangle,
  rfHermite,
  rfBell,
  rfBSpline,
  rfLanczos3,
  rfMitchell,
  rfNearest,
  rfLinear,
  rfFastLinear,
  rfBilinear,
  rfBicubic,
  rfProjectBW,
  rfProjectWB,
};

/// Called with a percentage 0 .. 100 while a resample runs. It is always
/// called on the thread that started the resample.
using TResampleProgress = std::function<void(int percent)>;

/// The size a resample of a width x height image to (new_width, new_height)
/// produces: -1 keeps the aspect ratio from the other side, 0 keeps the
/// current value, another negative value stands for its absolute value, and
/// each side is at least 1. False when both new sides are negative, the
/// image is empty, or the result does not fit a 32-bit size.
bool ResampleTargetSize(int32_t width, int32_t height, int32_t new_width, int32_t new_height,
                        int32_t& out_width, int32_t& out_height);

/// The engine. dest must be allocated at the target size; it takes Source's
/// pixel format, or im24RGB where the filter needs it (kernel filters on
/// formats other than im8g; im1g always becomes im24RGB). An alpha channel of
/// the source is resampled with the same filter. `threads` is the number of
/// threads of the horizontal kernel pass; 0 means one per processor core.
/// False when nothing could be computed (empty bitmaps, no memory); dest's
/// pixels are then undefined.
bool ResampleBitmap(TImBitmap& source, TImBitmap& dest, TResampleFilter filter,
                    const TResampleProgress& progress = {}, int threads = 0);

/// Allocates dest at the target size (ResampleTargetSize) in source's format
/// and fills it by ResampleBitmap. The source is left unchanged.
bool ResampleTo(TImBitmap& source, TImBitmap& dest, int32_t new_width, int32_t new_height,
                TResampleFilter filter, const TResampleProgress& progress = {}, int threads = 0);

}  // namespace tessaly
