// Tessaly: pixel formats, colour records and the colour type shared by every part.
#pragma once

#include <cstdint>

namespace tessaly {

/// The pixel formats of a bitmap, in their fixed order.
enum TImPixelLayout : uint8_t {
  imNoFormat = 0,
  im1g,       // 1 bit, MSB leftmost, 1 = white
  im8p,       // palette index
  im8g,       // grey 0..255
  imGray16,   // little-endian grey word
  im24RGB,    // blue, green, red
  im32f,      // float grey 0.0..1.0
  imCMYK,     // complements of cyan, magenta, yellow, black (255 = no ink)
  imRGB48,    // little-endian words red, green, blue
  imCIELab,   // L* x 255 / 100, signed a*, signed b*
  imRGBA32,   // blue, green, red, alpha
};
constexpr int kPixelLayoutCount = 11;

/// Bits of one pixel, indexed by TImPixelLayout.
constexpr int kBitsPerPixel[kPixelLayoutCount] = {0, 1, 8, 8, 16, 24, 32, 32, 48, 24, 32};
/// Channels of one pixel, indexed by TImPixelLayout.
constexpr int kChannelsPerPixel[kPixelLayoutCount] = {0, 1, 1, 1, 1, 3, 1, 4, 3, 3, 4};

/// Where a bitmap's rows live.
enum TImBitmapStorage : uint8_t { imMemoryBuffer = 0, imTempFile = 1, imTBitmap = 2 };

/// A 24-bit colour in memory order blue, green, red.
struct TRGB {
  uint8_t b = 0, g = 0, r = 0;
  friend bool operator==(const TRGB&, const TRGB&) = default;
};
static_assert(sizeof(TRGB) == 3);

/// Three 16-bit words red, green, blue.
struct TRGB48 {
  uint16_t r = 0, g = 0, b = 0;
  friend bool operator==(const TRGB48&, const TRGB48&) = default;
};
static_assert(sizeof(TRGB48) == 6);

/// Stored CMYK bytes: the complements of the inks (255 = no ink).
struct TCMYK {
  uint8_t c = 0, m = 0, y = 0, k = 0;
  friend bool operator==(const TCMYK&, const TCMYK&) = default;
};

/// 8-bit CIELab as TIFF stores it.
struct TCIELab {
  uint8_t l = 0;
  int8_t a = 0, b = 0;
  friend bool operator==(const TCIELab&, const TCIELab&) = default;
};

/// A 32-bit pixel blue, green, red, alpha.
struct TRGBA {
  uint8_t b = 0, g = 0, r = 0, a = 0;
  friend bool operator==(const TRGBA&, const TRGBA&) = default;
};

/// 0x00BBGGRR, red in the low byte. A top byte of 0xFF names a system
/// colour (its low byte the index), resolved where it is used.
using TColor = uint32_t;

constexpr TColor kSystemColorFlag = 0xFF000000u;
constexpr TColor clBtnFace = 0xFF00000Fu;
constexpr TColor clWhite = 0x00FFFFFFu;
constexpr TColor clBlack = 0x00000000u;

/// A system colour as a plain 0x00BBGGRR; plain colours pass unchanged.
TColor ResolveColor(TColor color);

inline TRGB ColorToRGB(TColor color) {
  color = ResolveColor(color);
  return TRGB{static_cast<uint8_t>(color >> 16), static_cast<uint8_t>(color >> 8),
              static_cast<uint8_t>(color)};
}
inline TColor RGBToColor(TRGB c) {
  return static_cast<TColor>(c.r) | (static_cast<TColor>(c.g) << 8) | (static_cast<TColor>(c.b) << 16);
}

/// (21 x red + 71 x green + 8 x blue) div 100, the grey level used throughout.
inline int GreyOf(int r, int g, int b) { return (21 * r + 71 * g + 8 * b) / 100; }
inline int GreyOf(TRGB c) { return GreyOf(c.r, c.g, c.b); }

}  // namespace tessaly
