// Tessaly: pixel access, fills and rectangle copies of the bitmap container.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "raster/bitmap.h"
#include "raster/color_space.h"

namespace tessaly {

namespace {

// Bytes of one pixel for the formats that copy whole bytes.
int BytesPerPixel(TImPixelLayout format) {
  switch (format) {
    case im8p: case im8g: return 1;
    case imGray16: return 2;
    case im24RGB: case imCIELab: return 3;
    case im32f: case imCMYK: case imRGBA32: return 4;
    case imRGB48: return 6;
    default: return 0;
  }
}

// Trunc of a real value into an integer range, saturating.
int64_t TruncClamped(double value, int64_t low, int64_t high) {
  if (std::isnan(value)) return 0;
  const double t = std::trunc(value);
  if (t <= static_cast<double>(low)) return low;
  if (t >= static_cast<double>(high)) return high;
  return static_cast<int64_t>(t);
}

// One pixel's bytes for Fill, and whether that value is the format's maximum.
struct FillPixel {
  uint8_t bytes[8] = {};
  int size = 0;
  bool is_max = false;
};

FillPixel MakeFillPixel(TImPixelLayout format, double value) {
  FillPixel p;
  p.size = BytesPerPixel(format);
  switch (format) {
    case im8p:
    case im8g: {
      p.bytes[0] = static_cast<uint8_t>(TruncClamped(value, 0, 255));
      p.is_max = p.bytes[0] == 255;
      break;
    }
    case imGray16: {
      const uint16_t w = static_cast<uint16_t>(TruncClamped(value, 0, 65535));
      std::memcpy(p.bytes, &w, 2);
      p.is_max = w == 65535;
      break;
    }
    case im32f: {
      const float f = static_cast<float>(value);
      std::memcpy(p.bytes, &f, 4);
      p.is_max = f == 1.0f;
      break;
    }
    default: {
      const TColor color = static_cast<TColor>(TruncClamped(value, 0, UINT32_MAX));
      const TRGB rgb = ColorToRGB(color);
      p.is_max = rgb.r == 255 && rgb.g == 255 && rgb.b == 255;
      if (format == im24RGB || format == imRGBA32) {
        p.bytes[0] = rgb.b;
        p.bytes[1] = rgb.g;
        p.bytes[2] = rgb.r;
        p.size = 3;  // the alpha byte of imRGBA32 is left as it was
      } else if (format == imCMYK) {
        const TCMYK c = RGBToCMYK(rgb);
        p.bytes[0] = c.c; p.bytes[1] = c.m; p.bytes[2] = c.y; p.bytes[3] = c.k;
      } else if (format == imCIELab) {
        const TCIELab c = RGBToCIELab(rgb);
        p.bytes[0] = c.l;
        p.bytes[1] = static_cast<uint8_t>(c.a);
        p.bytes[2] = static_cast<uint8_t>(c.b);
      } else if (format == imRGB48) {
        const uint16_t words[3] = {static_cast<uint16_t>(rgb.r * 257), static_cast<uint16_t>(rgb.g * 257),
                                   static_cast<uint16_t>(rgb.b * 257)};
        std::memcpy(p.bytes, words, 6);
      }
      break;
    }
  }
  return p;
}

void FillSpan(TImBitmap& bitmap, int32_t y, int32_t x1, int32_t x2, const FillPixel& p, bool white_bits) {
  uint8_t* row = bitmap.ScanLine(y);
  if (bitmap.PixelFormat() == im1g) {
    for (int32_t x = x1; x <= x2; ++x) {
      const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
      if (white_bits) row[x >> 3] |= bit; else row[x >> 3] &= static_cast<uint8_t>(~bit);
    }
    return;
  }
  const int stride = BytesPerPixel(bitmap.PixelFormat());
  if (p.size == 1) {
    std::memset(row + x1, p.bytes[0], static_cast<size_t>(x2 - x1 + 1));
    return;
  }
  for (int32_t x = x1; x <= x2; ++x) std::memcpy(row + static_cast<ptrdiff_t>(x) * stride, p.bytes, static_cast<size_t>(p.size));
}

}  // namespace

void TImBitmap::Fill(double value) {
  if (IsEmpty()) return;
  const FillPixel p = MakeFillPixel(format_, value);
  if (format_ == im1g) {
    const uint8_t byte = value != 0 ? 0xFF : 0x00;
    for (int32_t y = 0; y < height_; ++y) std::memset(ScanLine(y), byte, static_cast<size_t>(row_len_));
    alpha_full_ = value != 0;
    return;
  }
  for (int32_t y = 0; y < height_; ++y) FillSpan(*this, y, 0, width_ - 1, p, false);
  alpha_full_ = p.is_max;
}

void TImBitmap::FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, double value) {
  if (IsEmpty()) return;
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, width_ - 1);
  y2 = std::min(y2, height_ - 1);
  if (x1 > x2 || y1 > y2) return;
  const FillPixel p = MakeFillPixel(format_, value);
  for (int32_t y = y1; y <= y2; ++y) FillSpan(*this, y, x1, x2, p, value != 0);
}

void TImBitmap::CopyRectTo(TImBitmap& dest, int32_t source_x, int32_t source_y, int32_t width,
                           int32_t height, int32_t dest_x, int32_t dest_y) const {
  if (IsEmpty() || dest.IsEmpty()) return;
  // Clip against the destination's left and top, then both right and bottom edges.
  int64_t sx = source_x, sy = source_y, dx = dest_x, dy = dest_y, w = width, h = height;
  if (dx < 0) { sx -= dx; w += dx; dx = 0; }
  if (dy < 0) { sy -= dy; h += dy; dy = 0; }
  if (sx < 0) { dx -= sx; w += sx; sx = 0; }
  if (sy < 0) { dy -= sy; h += sy; sy = 0; }
  w = std::min({w, static_cast<int64_t>(width_) - sx, static_cast<int64_t>(dest.width_) - dx});
  h = std::min({h, static_cast<int64_t>(height_) - sy, static_cast<int64_t>(dest.height_) - dy});
  if (w <= 0 || h <= 0) return;

  if (format_ == dest.format_ && format_ != im1g) {
    const int bpp = BytesPerPixel(format_);
    for (int64_t r = 0; r < h; ++r) {
      std::memmove(dest.ScanLine(static_cast<int32_t>(dy + r)) + dx * bpp,
                   ScanLine(static_cast<int32_t>(sy + r)) + sx * bpp, static_cast<size_t>(w * bpp));
    }
  } else if (format_ == im1g && dest.format_ == im1g) {
    for (int64_t r = 0; r < h; ++r) {
      const uint8_t* src = ScanLine(static_cast<int32_t>(sy + r));
      uint8_t* dst = dest.ScanLine(static_cast<int32_t>(dy + r));
      for (int64_t c = 0; c < w; ++c) {
        const int64_t s = sx + c, d = dx + c;
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (d & 7));
        if ((src[s >> 3] >> (7 - (s & 7))) & 1) dst[d >> 3] |= bit; else dst[d >> 3] &= static_cast<uint8_t>(~bit);
      }
    }
  } else if (format_ == im1g && dest.format_ == im24RGB) {
    for (int64_t r = 0; r < h; ++r) {
      const uint8_t* src = ScanLine(static_cast<int32_t>(sy + r));
      uint8_t* dst = dest.ScanLine(static_cast<int32_t>(dy + r)) + dx * 3;
      for (int64_t c = 0; c < w; ++c) {
        const int64_t s = sx + c;
        std::memset(dst + c * 3, ((src[s >> 3] >> (7 - (s & 7))) & 1) ? 255 : 0, 3);
      }
    }
  }
}

// ---------------------------------------------------------------- typed pixels

void TImBitmap::SetPixelBit(int32_t x, int32_t y, bool white) {
  uint8_t* row = ScanLine(y);
  const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
  if (white) row[x >> 3] |= bit; else row[x >> 3] &= static_cast<uint8_t>(~bit);
  if (!white) alpha_full_ = false;
}

void TImBitmap::SetPixelByte(int32_t x, int32_t y, uint8_t value) {
  ScanLine(y)[x] = value;
  if (value != 255) alpha_full_ = false;
}

uint16_t TImBitmap::PixelWord(int32_t x, int32_t y) const {
  uint16_t w;
  std::memcpy(&w, ScanLine(y) + 2 * static_cast<ptrdiff_t>(x), 2);
  return w;
}

void TImBitmap::SetPixelWord(int32_t x, int32_t y, uint16_t value) {
  std::memcpy(ScanLine(y) + 2 * static_cast<ptrdiff_t>(x), &value, 2);
  if (value != 65535) alpha_full_ = false;
}

float TImBitmap::PixelFloat(int32_t x, int32_t y) const {
  float f;
  std::memcpy(&f, ScanLine(y) + 4 * static_cast<ptrdiff_t>(x), 4);
  return f;
}

void TImBitmap::SetPixelFloat(int32_t x, int32_t y, float value) {
  std::memcpy(ScanLine(y) + 4 * static_cast<ptrdiff_t>(x), &value, 4);
  if (value != 1.0f) alpha_full_ = false;
}

TRGB TImBitmap::PixelRGB(int32_t x, int32_t y) const {
  TRGB c;
  std::memcpy(&c, ScanLine(y) + 3 * static_cast<ptrdiff_t>(x), 3);
  return c;
}

void TImBitmap::SetPixelRGB(int32_t x, int32_t y, TRGB value) {
  std::memcpy(ScanLine(y) + 3 * static_cast<ptrdiff_t>(x), &value, 3);
  if (value.r != 255 || value.g != 255 || value.b != 255) alpha_full_ = false;
}

TRGB48 TImBitmap::PixelRGB48(int32_t x, int32_t y) const {
  TRGB48 c;
  std::memcpy(&c, ScanLine(y) + 6 * static_cast<ptrdiff_t>(x), 6);
  return c;
}

void TImBitmap::SetPixelRGB48(int32_t x, int32_t y, TRGB48 value) {
  std::memcpy(ScanLine(y) + 6 * static_cast<ptrdiff_t>(x), &value, 6);
  if (value.r != 65535 || value.g != 65535 || value.b != 65535) alpha_full_ = false;
}

}  // namespace tessaly
