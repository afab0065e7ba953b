// Tessaly: conversion of a bitmap between its ten pixel formats.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "raster/bitmap.h"
#include "raster/color_space.h"
#include "raster/quantizer.h"

namespace tessaly {

namespace {

// ---------------------------------------------------------------- pixel reading

uint16_t Word(const uint8_t* p) {
  uint16_t w;
  std::memcpy(&w, p, 2);
  return w;
}
void PutWord(uint8_t* p, uint16_t w) { std::memcpy(p, &w, 2); }
float Float(const uint8_t* p) {
  float f;
  std::memcpy(&f, p, 4);
  return f;
}
void PutFloat(uint8_t* p, float f) { std::memcpy(p, &f, 4); }
bool Bit(const uint8_t* row, int32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// Trunc(v x scale) kept inside 0 .. scale; a float plane from a file may hold
// anything, NaN included.
int TruncScaled(float v, int scale) {
  if (!(v > 0.0f)) return 0;
  const double t = std::trunc(static_cast<double>(v) * scale);
  return t >= scale ? scale : static_cast<int>(t);
}

// Everything a row conversion needs besides the two rows; filled once per image.
struct TConvertJob {
  TRGB palette[256];         // the source's palette, padded with black
  bool grey_window = false;  // imGray16 to 8 bits through GreyRangeLow .. GreyRangeHigh
  int grey_low = 0, grey_high = 0;
  int threshold = 0;  // im1g: the grey of the mean colour
  const TImQuantizer* quantizer = nullptr;
  std::vector<uint8_t> grey;  // one row of greys (or dither levels)
  std::vector<TRGB> rgb;      // one row of colours
  std::vector<TCMYK> cmyk;    // one row of CMYK pixels
};

uint8_t Gray16To8(uint16_t v, const TConvertJob& job) {
  if (!job.grey_window) return static_cast<uint8_t>(v >> 8);
  const int c = std::clamp<int>(v, job.grey_low, job.grey_high);
  return static_cast<uint8_t>(
      std::trunc(static_cast<double>(c - job.grey_low) / (job.grey_high - job.grey_low) * 255.0));
}

// Grey words and reals of a colour.
uint16_t Gray16Of(TRGB c) { return static_cast<uint16_t>((54484 * c.r + 183241 * c.g + 19275 * c.b) / 1000); }
float FloatOf(TRGB c) { return static_cast<float>((0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b) / 255.0); }

// ---------------------------------------------------------------- rows to colour

using RowFn = void (*)(const uint8_t* s, uint8_t* d, int32_t w, int32_t y, TConvertJob& job);

// A source's row as TRGB into out; the loop is chosen by source format.
using RgbRowFn = void (*)(const uint8_t* s, TRGB* out, int32_t w, TConvertJob& job);

void RgbFrom1g(const uint8_t* s, TRGB* out, int32_t w, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x) {
    const uint8_t v = Bit(s, x) ? 255 : 0;
    out[x] = TRGB{v, v, v};
  }
}
void RgbFrom8p(const uint8_t* s, TRGB* out, int32_t w, TConvertJob& job) {
  for (int32_t x = 0; x < w; ++x) out[x] = job.palette[s[x]];
}
void RgbFrom8g(const uint8_t* s, TRGB* out, int32_t w, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x) out[x] = TRGB{s[x], s[x], s[x]};
}
void RgbFromGray16(const uint8_t* s, TRGB* out, int32_t w, TConvertJob& job) {
  for (int32_t x = 0; x < w; ++x) {
    const uint8_t v = Gray16To8(Word(s + 2 * x), job);
    out[x] = TRGB{v, v, v};
  }
}
void RgbFrom24(const uint8_t* s, TRGB* out, int32_t w, TConvertJob&) {
  std::memcpy(out, s, static_cast<size_t>(w) * 3);
}
void RgbFrom32f(const uint8_t* s, TRGB* out, int32_t w, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x) {
    const uint8_t v = static_cast<uint8_t>(TruncScaled(Float(s + 4 * x), 255));
    out[x] = TRGB{v, v, v};
  }
}
void RgbFromCMYK(const uint8_t* s, TRGB* out, int32_t w, TConvertJob& job) {
  std::memcpy(job.cmyk.data(), s, static_cast<size_t>(w) * 4);
  CMYKToRGBRow(job.cmyk.data(), out, w);
}
void RgbFromRGB48(const uint8_t* s, TRGB* out, int32_t w, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x, s += 6) {
    // Little-endian words red, green, blue: the high byte of each is at +1.
    out[x] = TRGB{s[5], s[3], s[1]};
  }
}
void RgbFromCIELab(const uint8_t* s, TRGB* out, int32_t w, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x, s += 3) {
    out[x] = CIELabToRGB(TCIELab{s[0], static_cast<int8_t>(s[1]), static_cast<int8_t>(s[2])});
  }
}
void RgbFromRGBA32(const uint8_t* s, TRGB* out, int32_t w, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x, s += 4) out[x] = TRGB{s[0], s[1], s[2]};
}

RgbRowFn RgbRowOf(TImPixelLayout format) {
  switch (format) {
    case im1g: return RgbFrom1g;
    case im8p: return RgbFrom8p;
    case im8g: return RgbFrom8g;
    case imGray16: return RgbFromGray16;
    case im24RGB: return RgbFrom24;
    case im32f: return RgbFrom32f;
    case imCMYK: return RgbFromCMYK;
    case imRGB48: return RgbFromRGB48;
    case imCIELab: return RgbFromCIELab;
    case imRGBA32: return RgbFromRGBA32;
    default: return nullptr;
  }
}

// The target row of im24RGB is itself a TRGB array.
template <RgbRowFn F>
void To24(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob& job) {
  F(s, reinterpret_cast<TRGB*>(d), w, job);
}

template <RgbRowFn F>
void ToRGBA32(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob& job) {
  F(s, job.rgb.data(), w, job);
  for (int32_t x = 0; x < w; ++x, d += 4) {
    const TRGB c = job.rgb[x];
    d[0] = c.b;
    d[1] = c.g;
    d[2] = c.r;
    d[3] = 255;
  }
}

RowFn ToColorRow(TImPixelLayout source, bool alpha) {
  switch (source) {
    case im1g: return alpha ? ToRGBA32<RgbFrom1g> : To24<RgbFrom1g>;
    case im8p: return alpha ? ToRGBA32<RgbFrom8p> : To24<RgbFrom8p>;
    case im8g: return alpha ? ToRGBA32<RgbFrom8g> : To24<RgbFrom8g>;
    case imGray16: return alpha ? ToRGBA32<RgbFromGray16> : To24<RgbFromGray16>;
    case im24RGB: return alpha ? ToRGBA32<RgbFrom24> : nullptr;
    case im32f: return alpha ? ToRGBA32<RgbFrom32f> : To24<RgbFrom32f>;
    case imCMYK: return alpha ? ToRGBA32<RgbFromCMYK> : To24<RgbFromCMYK>;
    case imRGB48: return alpha ? ToRGBA32<RgbFromRGB48> : To24<RgbFromRGB48>;
    case imCIELab: return alpha ? ToRGBA32<RgbFromCIELab> : To24<RgbFromCIELab>;
    case imRGBA32: return alpha ? nullptr : To24<RgbFromRGBA32>;
    default: return nullptr;
  }
}

// ---------------------------------------------------------------- rows to grey

using GreyRowFn = void (*)(const uint8_t* s, uint8_t* out, int32_t w, TConvertJob& job);

void GreyFrom1g(const uint8_t* s, uint8_t* out, int32_t w, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x) out[x] = Bit(s, x) ? 255 : 0;
}
void GreyFrom8p(const uint8_t* s, uint8_t* out, int32_t w, TConvertJob& job) {
  for (int32_t x = 0; x < w; ++x) out[x] = static_cast<uint8_t>(GreyOf(job.palette[s[x]]));
}
void GreyFrom8g(const uint8_t* s, uint8_t* out, int32_t w, TConvertJob&) {
  std::memcpy(out, s, static_cast<size_t>(w));
}
void GreyFromGray16(const uint8_t* s, uint8_t* out, int32_t w, TConvertJob& job) {
  for (int32_t x = 0; x < w; ++x) out[x] = Gray16To8(Word(s + 2 * x), job);
}
void GreyFrom24(const uint8_t* s, uint8_t* out, int32_t w, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x, s += 3) out[x] = static_cast<uint8_t>(GreyOf(s[2], s[1], s[0]));
}
void GreyFrom32f(const uint8_t* s, uint8_t* out, int32_t w, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x) out[x] = static_cast<uint8_t>(TruncScaled(Float(s + 4 * x), 255));
}
void GreyFromRGB48(const uint8_t* s, uint8_t* out, int32_t w, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x, s += 6) out[x] = static_cast<uint8_t>(GreyOf(s[1], s[3], s[5]));
}

GreyRowFn GreyRowOf(TImPixelLayout format) {
  switch (format) {
    case im1g: return GreyFrom1g;
    case im8p: return GreyFrom8p;
    case im8g: return GreyFrom8g;
    case imGray16: return GreyFromGray16;
    case im24RGB: return GreyFrom24;
    case im32f: return GreyFrom32f;
    case imRGB48: return GreyFromRGB48;
    default: return nullptr;  // imCMYK, imCIELab and imRGBA32 pass through im24RGB
  }
}

template <GreyRowFn F>
void To8g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob& job) {
  F(s, d, w, job);
}

RowFn ToGreyRow(TImPixelLayout source) {
  switch (source) {
    case im1g: return To8g<GreyFrom1g>;
    case im8p: return To8g<GreyFrom8p>;
    case imGray16: return To8g<GreyFromGray16>;
    case im24RGB: return To8g<GreyFrom24>;
    case im32f: return To8g<GreyFrom32f>;
    case imRGB48: return To8g<GreyFromRGB48>;
    default: return nullptr;
  }
}

// ---------------------------------------------------------------- one bit

// The ordered-dither matrix, indexed [x mod 8][y mod 8].
constexpr uint8_t kDither[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

void PackBits(const uint8_t* white, uint8_t* d, int32_t w) {
  if (w <= 0) return;
  std::memset(d, 0, (static_cast<size_t>(w) + 7) / 8);
  for (int32_t x = 0; x < w; ++x) {
    if (white[x]) d[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
  }
}

template <GreyRowFn F>
void To1gThreshold(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob& job) {
  uint8_t* g = job.grey.data();
  F(s, g, w, job);
  for (int32_t x = 0; x < w; ++x) g[x] = g[x] >= job.threshold;
  PackBits(g, d, w);
}

// Dither levels: grey div 4, except that a colour pixel near white (all three
// channels 251 or more) gets 64 so that it is white in every cell of the matrix.
template <GreyRowFn F>
void LevelsFromGrey(const uint8_t* s, uint8_t* out, int32_t w, TConvertJob& job) {
  F(s, out, w, job);
  for (int32_t x = 0; x < w; ++x) out[x] = static_cast<uint8_t>(out[x] / 4);
}
uint8_t LevelOf(TRGB c) {
  return c.r >= 251 && c.g >= 251 && c.b >= 251 ? 64 : static_cast<uint8_t>(GreyOf(c) / 4);
}
void LevelsFrom24(const uint8_t* s, uint8_t* out, int32_t w, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x, s += 3) out[x] = LevelOf(TRGB{s[0], s[1], s[2]});
}
void LevelsFrom8p(const uint8_t* s, uint8_t* out, int32_t w, TConvertJob& job) {
  for (int32_t x = 0; x < w; ++x) out[x] = LevelOf(job.palette[s[x]]);
}

template <GreyRowFn Levels>
void To1gDither(const uint8_t* s, uint8_t* d, int32_t w, int32_t y, TConvertJob& job) {
  uint8_t* g = job.grey.data();
  Levels(s, g, w, job);
  const int yy = y & 7;
  for (int32_t x = 0; x < w; ++x) g[x] = kDither[x & 7][yy] < g[x];
  PackBits(g, d, w);
}

RowFn To1gRow(TImPixelLayout source, bool dither) {
  switch (source) {
    case im8p: return dither ? To1gDither<LevelsFrom8p> : To1gThreshold<GreyFrom8p>;
    case im8g: return dither ? To1gDither<LevelsFromGrey<GreyFrom8g>> : To1gThreshold<GreyFrom8g>;
    case imGray16:
      return dither ? To1gDither<LevelsFromGrey<GreyFromGray16>> : To1gThreshold<GreyFromGray16>;
    case im24RGB: return dither ? To1gDither<LevelsFrom24> : To1gThreshold<GreyFrom24>;
    case im32f: return dither ? To1gDither<LevelsFromGrey<GreyFrom32f>> : To1gThreshold<GreyFrom32f>;
    case imRGB48:
      return dither ? To1gDither<LevelsFromGrey<GreyFromRGB48>> : To1gThreshold<GreyFromRGB48>;
    default: return nullptr;
  }
}

// The threshold: the grey of the image's mean colour (for a grey source, of
// its mean grey).
int MeanThreshold(const TImBitmap& source, TConvertJob& job) {
  const int32_t w = source.Width();
  const int64_t count = static_cast<int64_t>(w) * source.Height();
  uint64_t sum[3] = {0, 0, 0};
  if (source.PixelFormat() == im24RGB || source.PixelFormat() == im8p) {
    const RgbRowFn rgb_row = RgbRowOf(source.PixelFormat());
    for (int32_t y = 0; y < source.Height(); ++y) {
      rgb_row(source.ScanLine(y), job.rgb.data(), w, job);
      for (int32_t x = 0; x < w; ++x) {
        sum[0] += job.rgb[x].r;
        sum[1] += job.rgb[x].g;
        sum[2] += job.rgb[x].b;
      }
    }
    return GreyOf(static_cast<int>(sum[0] / count), static_cast<int>(sum[1] / count),
                  static_cast<int>(sum[2] / count));
  }
  const GreyRowFn grey_row = GreyRowOf(source.PixelFormat());
  for (int32_t y = 0; y < source.Height(); ++y) {
    grey_row(source.ScanLine(y), job.grey.data(), w, job);
    for (int32_t x = 0; x < w; ++x) sum[0] += job.grey[x];
  }
  return static_cast<int>(sum[0] / count);
}

// ---------------------------------------------------------------- grey words, reals, 48 bits

void Gray16From1g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x) PutWord(d + 2 * x, Bit(s, x) ? 65535 : 0);
}
void Gray16From8g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x) PutWord(d + 2 * x, static_cast<uint16_t>(s[x] * 257));
}
template <RgbRowFn F>
void Gray16FromColor(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob& job) {
  F(s, job.rgb.data(), w, job);
  for (int32_t x = 0; x < w; ++x) PutWord(d + 2 * x, Gray16Of(job.rgb[x]));
}
void Gray16From32f(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x) PutWord(d + 2 * x, static_cast<uint16_t>(TruncScaled(Float(s + 4 * x), 65535)));
}
void Gray16FromRGB48(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x, s += 6) {
    const uint32_t v = (212u * Word(s) + 713u * Word(s + 2) + 75u * Word(s + 4)) / 1000u;
    PutWord(d + 2 * x, static_cast<uint16_t>(v));
  }
}

void FloatFrom1g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x) PutFloat(d + 4 * x, Bit(s, x) ? 1.0f : 0.0f);
}
void FloatFrom8g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x) PutFloat(d + 4 * x, static_cast<float>(s[x] / 255.0));
}
template <RgbRowFn F>
void FloatFromColor(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob& job) {
  F(s, job.rgb.data(), w, job);
  for (int32_t x = 0; x < w; ++x) PutFloat(d + 4 * x, FloatOf(job.rgb[x]));
}
void FloatFromRGB48(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x, s += 6) {
    const double v = (0.2126 * Word(s) + 0.7152 * Word(s + 2) + 0.0722 * Word(s + 4)) / 256.0 / 255.0;
    PutFloat(d + 4 * x, static_cast<float>(v));
  }
}

void PutRGB48(uint8_t* d, uint16_t r, uint16_t g, uint16_t b) {
  PutWord(d, r);
  PutWord(d + 2, g);
  PutWord(d + 4, b);
}
void RGB48From1g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x, d += 6) {
    const uint16_t v = Bit(s, x) ? 65535 : 0;
    PutRGB48(d, v, v, v);
  }
}
void RGB48From8g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x, d += 6) {
    const uint16_t v = static_cast<uint16_t>(s[x] * 257);
    PutRGB48(d, v, v, v);
  }
}
template <RgbRowFn F>
void RGB48FromColor(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob& job) {
  F(s, job.rgb.data(), w, job);
  for (int32_t x = 0; x < w; ++x, d += 6) {
    const TRGB c = job.rgb[x];
    PutRGB48(d, static_cast<uint16_t>(c.r * 257), static_cast<uint16_t>(c.g * 257),
             static_cast<uint16_t>(c.b * 257));
  }
}
void RGB48From32f(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x, d += 6) {
    const uint16_t v = static_cast<uint16_t>(TruncScaled(Float(s + 4 * x), 65535));
    PutRGB48(d, v, v, v);
  }
}

// ---------------------------------------------------------------- CMYK, CIELab, palette

void CMYKFrom24(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob& job) {
  std::memcpy(job.rgb.data(), s, static_cast<size_t>(w) * 3);
  RGBToCMYKRow(job.rgb.data(), job.cmyk.data(), w);
  std::memcpy(d, job.cmyk.data(), static_cast<size_t>(w) * 4);
}
void CIELabFrom24(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x, s += 3, d += 3) {
    const TCIELab lab = RGBToCIELab(TRGB{s[0], s[1], s[2]});
    d[0] = lab.l;
    d[1] = static_cast<uint8_t>(lab.a);
    d[2] = static_cast<uint8_t>(lab.b);
  }
}
void IndexFrom24(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob& job) {
  for (int32_t x = 0; x < w; ++x, s += 3) {
    const int index = job.quantizer->IndexOfColor(TRGB{s[0], s[1], s[2]});
    d[x] = static_cast<uint8_t>(index < 0 || index > 255 ? 0 : index);
  }
}
void IndexFrom8g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob&) {
  std::memcpy(d, s, static_cast<size_t>(w));
}
void IndexFrom1g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, TConvertJob&) {
  for (int32_t x = 0; x < w; ++x) d[x] = Bit(s, x);
}

// ---------------------------------------------------------------- the table

// The row rule for a pair, or null when the pair has no rule of its own and
// passes through im24RGB. im1g needs the image's mean or the dither flag.
RowFn FindRule(TImPixelLayout source, TImPixelLayout target, bool dither) {
  switch (target) {
    case im1g: return To1gRow(source, dither);
    case im8p:
      switch (source) {
        case im24RGB: return IndexFrom24;
        case im8g: return IndexFrom8g;
        case im1g: return IndexFrom1g;
        default: return nullptr;
      }
    case im8g: return ToGreyRow(source);
    case imGray16:
      switch (source) {
        case im1g: return Gray16From1g;
        case im8p: return Gray16FromColor<RgbFrom8p>;
        case im8g: return Gray16From8g;
        case im24RGB: return Gray16FromColor<RgbFrom24>;
        case im32f: return Gray16From32f;
        case imRGB48: return Gray16FromRGB48;
        default: return nullptr;
      }
    case im24RGB: return ToColorRow(source, false);
    case imRGBA32: return ToColorRow(source, true);
    case im32f:
      switch (source) {
        case im1g: return FloatFrom1g;
        case im8p: return FloatFromColor<RgbFrom8p>;
        case im8g: return FloatFrom8g;
        case im24RGB: return FloatFromColor<RgbFrom24>;
        case imRGB48: return FloatFromRGB48;
        default: return nullptr;
      }
    case imRGB48:
      switch (source) {
        case im1g: return RGB48From1g;
        case im8p: return RGB48FromColor<RgbFrom8p>;
        case im8g: return RGB48From8g;
        case im24RGB: return RGB48FromColor<RgbFrom24>;
        case im32f: return RGB48From32f;
        default: return nullptr;
      }
    case imCMYK: return source == im24RGB ? CMYKFrom24 : nullptr;
    case imCIELab: return source == im24RGB ? CIELabFrom24 : nullptr;
    default: return nullptr;
  }
}

int UsedRowBytes(int32_t width, TImPixelLayout format) {
  return static_cast<int>((static_cast<int64_t>(width) * kBitsPerPixel[format] + 7) / 8);
}

}  // namespace

// ---------------------------------------------------------------- TImBitmap

void TImBitmap::CopyAndConvertFormat(TImBitmap& source) {
  if (&source == this || IsEmpty() || source.IsEmpty()) return;
  if (source.width_ != width_ || source.height_ != height_) return;
  if (location_ == imTBitmap || source.format_ == format_) return;
  const bool dither = source.one_bit_method_ == 0;
  RowFn rule = FindRule(source.format_, format_, dither);
  if (rule == nullptr) {
    // No rule of its own: the source itself becomes im24RGB first.
    source.ConvertToPixelFormat(im24RGB);
    if (source.format_ != im24RGB) return;
    rule = FindRule(im24RGB, format_, dither);
    if (rule == nullptr) return;
  }

  TConvertJob job;
  const size_t w = static_cast<size_t>(width_);
  job.grey.resize(w);
  job.rgb.resize(w);
  job.cmyk.resize(w);
  for (int i = 0; i < 256; ++i) job.palette[i] = source.PaletteColor(i);
  const int low = static_cast<int>(std::clamp(std::trunc(source.grey_range_low_), 0.0, 65535.0));
  const int high = static_cast<int>(std::clamp(std::trunc(source.grey_range_high_), 0.0, 65535.0));
  // Bounds that are equal once truncated would divide by zero: no window then.
  job.grey_window = source.grey_range_low_ != source.grey_range_high_ && low != high;
  job.grey_low = std::min(low, high);
  job.grey_high = std::max(low, high);

  std::unique_ptr<TImQuantizer> quantizer;
  if (format_ == im8p) {
    std::vector<TRGB> palette(256, TRGB{});
    if (source.format_ == im24RGB) {
      const int count = std::clamp(source.palette_used_, 1, 256);
      quantizer = std::make_unique<TImQuantizer>(source, count, palette.data());
      job.quantizer = quantizer.get();
    } else if (source.format_ == im8g) {
      for (int i = 0; i < 256; ++i) palette[i] = TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
    } else {
      palette[1] = TRGB{255, 255, 255};
    }
    SetPalette(palette.data(), 256);
  }
  if (format_ == im1g && !dither) job.threshold = MeanThreshold(source, job);

  const int used = UsedRowBytes(width_, format_);
  for (int32_t y = 0; y < height_; ++y) {
    uint8_t* d = ScanLine(y);
    rule(source.ScanLine(y), d, width_, y, job);
    // Row padding is zero so that writers that copy whole rows write no noise.
    std::memset(d + used, 0, static_cast<size_t>(row_len_ - used));
  }
}

void TImBitmap::ConvertToPixelFormat(TImPixelLayout format) {
  if (format == format_ || format == imNoFormat || format >= kPixelLayoutCount) return;
  if (width_ == 0 || height_ == 0 || bits_ == nullptr) return;
  // The pixels move to a temporary bitmap with the settings the conversion
  // reads; this bitmap then gets fresh storage in the new format. The alpha
  // channel belongs to the image, not to its pixel format, and is kept.
  TImBitmap old;
  std::swap(old.block_, block_);
  std::swap(old.bits_, bits_);
  std::swap(old.external_, external_);
  std::swap(old.top_down_, top_down_);
  old.width_ = width_;
  old.height_ = height_;
  old.format_ = format_;
  old.row_len_ = row_len_;
  old.row_align_ = row_align_;
  old.palette_ = palette_;
  old.palette_used_ = palette_used_;
  old.one_bit_method_ = one_bit_method_;
  old.grey_range_low_ = grey_range_low_;
  old.grey_range_high_ = grey_range_high_;
  old.alloc_kind_ = alloc_kind_;
  std::unique_ptr<TImBitmap> alpha = std::move(alpha_);
  const bool alpha_full = alpha_full_;
  shortcut_valid_ = false;

  if (!Allocate(old.width_, old.height_, format)) {
    // No storage for the new format: the image stays as it was.
    std::swap(old.block_, block_);
    std::swap(old.bits_, bits_);
    std::swap(old.external_, external_);
    std::swap(old.top_down_, top_down_);
    width_ = old.width_;
    height_ = old.height_;
    format_ = old.format_;
    row_len_ = old.row_len_;
    alpha_ = std::move(alpha);
    alpha_full_ = alpha_full;
    return;
  }
  CopyAndConvertFormat(old);
  alpha_ = std::move(alpha);
  alpha_full_ = alpha_full;
  if (format_ != im8p && old.format_ == im8p) palette_.clear();
}

TRGB TImBitmap::PixelAsRGB(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return TRGB{};
  const uint8_t* row = ScanLine(y);
  switch (format_) {
    case im1g: {
      const uint8_t v = Bit(row, x) ? 255 : 0;
      return TRGB{v, v, v};
    }
    case im8p: return PaletteColor(row[x]);
    case im8g: return TRGB{row[x], row[x], row[x]};
    case imGray16: {
      const uint8_t v = row[2 * x + 1];
      return TRGB{v, v, v};
    }
    case im24RGB: return TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
    case im32f: {
      const uint8_t v = static_cast<uint8_t>(TruncScaled(Float(row + 4 * x), 255));
      return TRGB{v, v, v};
    }
    case imCMYK: {
      const uint8_t* p = row + 4 * x;
      return CMYKToRGB(TCMYK{p[0], p[1], p[2], p[3]});
    }
    case imRGB48: {
      const uint8_t* p = row + 6 * x;
      return TRGB{p[5], p[3], p[1]};
    }
    case imCIELab: {
      const uint8_t* p = row + 3 * x;
      return CIELabToRGB(TCIELab{p[0], static_cast<int8_t>(p[1]), static_cast<int8_t>(p[2])});
    }
    case imRGBA32: return TRGB{row[4 * x], row[4 * x + 1], row[4 * x + 2]};
    default: return TRGB{};
  }
}

}  // namespace tessaly
