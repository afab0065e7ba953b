// Tessaly: nearest-neighbour resampling in every pixel format.
#include <algorithm>
#include <cstring>
#include <vector>

#include "raster/resample_kernel.h"

namespace tessaly {

namespace {

// Source column of every destination column, computed once per image.
std::vector<int32_t> NearestColumns(int32_t source_width, int32_t dest_width) {
  std::vector<int32_t> columns(static_cast<size_t>(dest_width));
  const double rx = static_cast<double>(source_width) / dest_width;
  for (int32_t x = 0; x < dest_width; ++x) {
    columns[static_cast<size_t>(x)] = std::min(static_cast<int32_t>(rx * x), source_width - 1);
  }
  return columns;
}

template <int Bytes>
void CopyRowPixels(const uint8_t* src, uint8_t* dst, const std::vector<int32_t>& columns) {
  for (size_t x = 0; x < columns.size(); ++x) {
    std::memcpy(dst + x * Bytes, src + static_cast<ptrdiff_t>(columns[x]) * Bytes, Bytes);
  }
}

void CopyRowBits(const uint8_t* src, uint8_t* dst, const std::vector<int32_t>& columns) {
  for (size_t x = 0; x < columns.size(); ++x) {
    const int32_t s = columns[x];
    const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
    if ((src[s >> 3] >> (7 - (s & 7))) & 1) {
      dst[x >> 3] |= bit;
    } else {
      dst[x >> 3] &= static_cast<uint8_t>(~bit);
    }
  }
}

using RowCopier = void (*)(const uint8_t*, uint8_t*, const std::vector<int32_t>&);

RowCopier CopierFor(TImPixelLayout format) {
  switch (format) {
    case im1g: return CopyRowBits;
    case im8p: case im8g: return CopyRowPixels<1>;
    case imGray16: return CopyRowPixels<2>;
    case im24RGB: case imCIELab: return CopyRowPixels<3>;
    case im32f: case imCMYK: case imRGBA32: return CopyRowPixels<4>;
    case imRGB48: return CopyRowPixels<6>;
    default: return nullptr;
  }
}

// Marks the source read-only and the destination write-only for the length of
// a copy loop, as file-backed storage wants to know.
class TAccessGuard {
 public:
  TAccessGuard(TImBitmap& source, TImBitmap& dest)
      : source_(source), dest_(dest), source_access_(source.Access()), dest_access_(dest.Access()) {
    source_.SetAccess(1);
    if (&dest_ != &source_) dest_.SetAccess(2);
  }
  ~TAccessGuard() {
    source_.SetAccess(source_access_);
    dest_.SetAccess(dest_access_);
  }
  TAccessGuard(const TAccessGuard&) = delete;
  TAccessGuard& operator=(const TAccessGuard&) = delete;

 private:
  TImBitmap& source_;
  TImBitmap& dest_;
  uint8_t source_access_, dest_access_;
};

}  // namespace

void ResampleNearest(TImBitmap& source, TImBitmap& dest, TProgressStep* progress) {
  const RowCopier copy = CopierFor(source.PixelFormat());
  if (copy == nullptr || source.PixelFormat() != dest.PixelFormat() || source.IsEmpty() || dest.IsEmpty()) {
    return;
  }
  const int32_t hs = source.Height(), hd = dest.Height();
  const std::vector<int32_t> columns = NearestColumns(source.Width(), dest.Width());
  const double ry = static_cast<double>(hs) / hd;
  const double step = 100.0 / (hd + 0.5);
  {
    TAccessGuard guard(source, dest);
    for (int32_t y = 0; y < hd; ++y) {
      const int32_t sy = std::min(static_cast<int32_t>(ry * y), hs - 1);
      copy(source.ScanLine(sy), dest.ScanLine(y), columns);
      if (progress != nullptr) progress->Report(static_cast<int>(y * step));
    }
  }
  if (dest.PixelFormat() == im8p) source.CopyPaletteTo(dest);
}

}  // namespace tessaly
