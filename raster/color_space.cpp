// Tessaly: per-pixel colour-space rules between RGB, CMYK and CIELab.
#include "raster/color_space.h"

#include <algorithm>
#include <cmath>

namespace tessaly {

TCMYK RGBToCMYKPlain(TRGB color) {
  int k = std::max({color.r, color.g, color.b});
  if (k == 0) k = 1;
  return TCMYK{static_cast<uint8_t>(color.r * 255 / k), static_cast<uint8_t>(color.g * 255 / k),
               static_cast<uint8_t>(color.b * 255 / k), static_cast<uint8_t>(k)};
}

TRGB CMYKToRGBPlain(TCMYK color) {
  TRGB out;
  out.r = static_cast<uint8_t>(color.c * color.k / 255);
  out.g = static_cast<uint8_t>(color.m * color.k / 255);
  out.b = static_cast<uint8_t>(color.y * color.k / 255);
  return out;
}

namespace {

double Linearise(double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double LabF(double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; }
double LabG(double t) {
  const double cube = t * t * t;
  return cube > 0.008856 ? cube : (t - 16.0 / 116.0) / 7.787;
}
uint8_t Encode(double v) {
  v = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
  const double scaled = std::nearbyint(v * 255.0);
  return static_cast<uint8_t>(std::clamp(scaled, 0.0, 255.0));
}
int8_t SignedByte(double v) {
  // Trunc, then kept in a signed byte as the 8-bit encoding does.
  const long t = static_cast<long>(std::trunc(std::clamp(v, -32768.0, 32767.0)));
  return static_cast<int8_t>(static_cast<uint8_t>(t & 0xFF));
}

}  // namespace

TCIELab RGBToCIELab(TRGB color) {
  const double r = Linearise(color.r / 255.0);
  const double g = Linearise(color.g / 255.0);
  const double b = Linearise(color.b / 255.0);
  const double x = (0.412453 * r + 0.35758 * g + 0.180423 * b) / 0.95047;
  const double y = 0.212671 * r + 0.71516 * g + 0.072169 * b;
  const double z = (0.019334 * r + 0.119193 * g + 0.950227 * b) / 1.088883;
  const double fx = LabF(x), fy = LabF(y), fz = LabF(z);
  const double l = y > 0.008856 ? 116.0 * fy - 16.0 : 903.3 * y;
  TCIELab out;
  out.l = static_cast<uint8_t>(std::clamp(std::trunc(l * 255.0 / 100.0), 0.0, 255.0));
  out.a = SignedByte(500.0 * (fx - fy));
  out.b = SignedByte(200.0 * (fy - fz));
  return out;
}

TRGB CIELabToRGB(TCIELab color) {
  const double l = color.l * 100.0 / 255.0;
  const double fy = (l + 16.0) / 116.0;
  const double fx = fy + color.a / 500.0;
  const double fz = fy - color.b / 200.0;
  const double y = LabG(fy), x = 0.95047 * LabG(fx), z = 1.08883 * LabG(fz);
  TRGB out;
  out.r = Encode(3.2406 * x - 1.5372 * y - 0.4986 * z);
  out.g = Encode(-0.9689 * x + 1.8758 * y + 0.0415 * z);
  out.b = Encode(0.0557 * x - 0.204 * y + 1.057 * z);
  return out;
}

}  // namespace tessaly

namespace tessaly {

// Colour management joins here; until then the plain rules serve.
TCMYK RGBToCMYK(TRGB color) { return RGBToCMYKPlain(color); }
TRGB CMYKToRGB(TCMYK color) { return CMYKToRGBPlain(color); }

}  // namespace tessaly
