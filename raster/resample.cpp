// Tessaly: choosing the resampling path for a bitmap's format and filter.
#include "raster/resample.h"

#include <cstdlib>
#include <cstring>

#include "raster/resample_kernel.h"

namespace tessaly {

namespace {

// The interpolators and the two projections are dedicated algorithms the
// batch run never selects; they behave as the triangle kernel here.
TResampleFilter EffectiveFilter(TResampleFilter filter) {
  switch (filter) {
    case rfBilinear:
    case rfBicubic:
    case rfProjectBW:
    case rfProjectWB:
      return rfTriangle;
    default:
      return filter <= rfFastLinear ? filter : rfTriangle;
  }
}

// The one-channel kernel of a filter; the quick linear scaler has no
// one-channel form and uses the triangle.
const TResampleKernel& OneChannelKernel(TResampleFilter filter) {
  const TResampleKernel* kernel = KernelOf(filter);
  return kernel != nullptr ? *kernel : *KernelOf(rfTriangle);
}

// Makes dest an allocated bitmap of its current size in `format`.
bool ShapeDest(TImBitmap& dest, TImPixelLayout format) {
  if (dest.PixelFormat() == format) return true;
  const int32_t w = dest.Width(), h = dest.Height();
  if (!dest.Allocate(w, h, format)) return false;
  if (format != im8p) dest.SetPalette(nullptr, 0);
  return true;
}

// An im1g bitmap as an im8g one, each bit read as 0 or 255.
bool WidenBits(const TImBitmap& bits, TImBitmap& grey) {
  if (!grey.Allocate(bits.Width(), bits.Height(), im8g)) return false;
  for (int32_t y = 0; y < bits.Height(); ++y) {
    const uint8_t* src = bits.ScanLine(y);
    uint8_t* dst = grey.ScanLine(y);
    for (int32_t x = 0; x < bits.Width(); ++x) dst[x] = ((src[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
  }
  return true;
}

// A single source pixel makes no kernel sum worth doing: every destination
// pixel is that pixel.
bool IsSinglePixel(const TImBitmap& bitmap) { return bitmap.Width() <= 1 && bitmap.Height() <= 1; }

bool ResampleOneChannel(TImBitmap& source, TImBitmap& dest, TResampleFilter filter, TProgressStep* progress) {
  if (filter == rfNone || IsSinglePixel(source)) {
    ResampleNearest(source, dest, progress);
    return true;
  }
  return ResampleKernel8(source, dest, OneChannelKernel(filter), progress);
}

// im1g through the kernels: bits read as 0 or 255 into an 8-bit image, the
// result written as grey into the three channels of an im24RGB dest.
bool ResampleBits(TImBitmap& source, TImBitmap& dest, TResampleFilter filter, TProgressStep* progress) {
  TImBitmap grey_in, grey_out;
  if (!WidenBits(source, grey_in) || !grey_out.Allocate(dest.Width(), dest.Height(), im8g)) return false;
  if (!ResampleOneChannel(grey_in, grey_out, filter, progress)) return false;
  for (int32_t y = 0; y < dest.Height(); ++y) {
    const uint8_t* src = grey_out.ScanLine(y);
    uint8_t* dst = dest.ScanLine(y);
    for (int32_t x = 0; x < dest.Width(); ++x) std::memset(dst + 3 * static_cast<ptrdiff_t>(x), src[x], 3);
  }
  return true;
}

bool ResampleColour(TImBitmap& source, TImBitmap& dest, TResampleFilter filter, int threads,
                    TProgressStep* progress) {
  if (IsSinglePixel(source)) {
    ResampleNearest(source, dest, progress);
    return true;
  }
  if (filter == rfFastLinear) return ResampleFastLinear24(source, dest, progress);
  return ResampleKernel24(source, dest, *KernelOf(filter), threads, progress);
}

// The alpha channel follows the image with the same filter. A 1-bit plane is
// widened to 0 / 255 first; the result is always an im8g companion.
bool ResampleAlpha(TImBitmap& alpha_source, TImBitmap& dest, TResampleFilter filter) {
  TImBitmap* alpha = dest.AlphaChannel();
  if (alpha == nullptr || alpha->Width() != dest.Width() || alpha->Height() != dest.Height()) return false;
  TImBitmap widened;
  TImBitmap* from = &alpha_source;
  if (alpha_source.PixelFormat() == im1g) {
    if (!WidenBits(alpha_source, widened)) return false;
    from = &widened;
  } else if (alpha_source.PixelFormat() != im8g) {
    return false;
  }
  if (!ResampleOneChannel(*from, *alpha, filter, nullptr)) return false;
  alpha->SetAlphaFull(alpha_source.AlphaFull());
  return true;
}

}  // namespace

bool ResampleTargetSize(int32_t width, int32_t height, int32_t new_width, int32_t new_height,
                        int32_t& out_width, int32_t& out_height) {
  if (width < 1 || height < 1 || (new_width < 0 && new_height < 0)) return false;
  // A width that keeps the aspect ratio follows the height the other rule gives.
  const int64_t given_height = new_height == 0 ? height : std::llabs(int64_t{new_height});
  int64_t w;
  if (new_width == -1) {
    w = int64_t{width} * given_height / height;
  } else if (new_width == 0) {
    w = width;
  } else {
    w = std::llabs(int64_t{new_width});
  }
  if (w < 1) w = 1;
  int64_t h;
  if (new_height == -1) {
    h = int64_t{height} * w / width;
  } else if (new_height == 0) {
    h = height;
  } else {
    h = std::llabs(int64_t{new_height});
  }
  if (h < 1) h = 1;
  if (w > INT32_MAX || h > INT32_MAX) return false;
  out_width = static_cast<int32_t>(w);
  out_height = static_cast<int32_t>(h);
  return true;
}

bool ResampleBitmap(TImBitmap& source, TImBitmap& dest, TResampleFilter filter, const TResampleProgress& progress,
                    int threads) {
  if (source.IsEmpty() || dest.IsEmpty() || &source == &dest) return false;
  if (source.Width() == dest.Width() && source.Height() == dest.Height()) {
    dest.Assign(source);
    return !dest.IsEmpty();
  }
  filter = EffectiveFilter(filter);
  TProgressStep step(progress);
  TImBitmap* alpha_source = source.ExistingAlphaChannel();
  TImBitmap colour;

  bool done = false;
  if (filter == rfNone) {
    done = ShapeDest(dest, source.PixelFormat());
    if (done) ResampleNearest(source, dest, &step);
  } else if (source.PixelFormat() == im1g) {
    done = ShapeDest(dest, im24RGB) && ResampleBits(source, dest, filter, &step);
  } else if (source.PixelFormat() == im8g) {
    done = ShapeDest(dest, im8g) && ResampleOneChannel(source, dest, filter, &step);
  } else if (source.PixelFormat() == im24RGB) {
    done = ShapeDest(dest, im24RGB) && ResampleColour(source, dest, filter, threads, &step);
  } else {
    if (!colour.Allocate(source.Width(), source.Height(), im24RGB)) return false;
    colour.CopyAndConvertFormat(source);
    if (colour.PixelFormat() != im24RGB || colour.Width() != source.Width() ||
        colour.Height() != source.Height()) {
      return false;
    }
    // A conversion may carry opacity out of the pixels (imRGBA32).
    if (alpha_source == nullptr) alpha_source = colour.ExistingAlphaChannel();
    done = ShapeDest(dest, im24RGB) && ResampleColour(colour, dest, filter, threads, &step);
  }
  if (!done) return false;
  if (alpha_source == nullptr || alpha_source->IsEmpty()) {
    dest.RemoveAlphaChannel(false, 0);
    return true;
  }
  return ResampleAlpha(*alpha_source, dest, filter);
}

bool ResampleTo(TImBitmap& source, TImBitmap& dest, int32_t new_width, int32_t new_height, TResampleFilter filter,
                const TResampleProgress& progress, int threads) {
  int32_t w = 0, h = 0;
  if (!ResampleTargetSize(source.Width(), source.Height(), new_width, new_height, w, h)) return false;
  if (!dest.Allocate(w, h, source.PixelFormat())) return false;
  return ResampleBitmap(source, dest, filter, progress, threads);
}

}  // namespace tessaly
