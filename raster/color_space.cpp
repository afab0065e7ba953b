// Tessaly: colour-space rules between RGB, CMYK and CIELab, and colour-managed CMYK.
#include "raster/color_space.h"

#include <lcms2.h>

#include <algorithm>
#include <atomic>
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

// ---------------------------------------------------------------- colour-managed CMYK

namespace tessaly {

namespace {

// The press profile. Any CMYK output profile for coated offset printing serves;
// this one is the coated web-offset (SWOP) CMYK profile that Debian ships in
// libgs-common (installed by scripts/deps.sh), so every machine that builds
// the program has it and nothing has to be carried inside the binary. When it
// is missing or unreadable the plain rules above take over. The RGB side is the sRGB
// profile that LittleCMS builds in, which is what photos on screen assume.
constexpr const char* kPressProfilePath = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

// Both transforms are created once, on first use, and shared by every thread:
// a function-local static is initialised exactly once even under contention,
// and LittleCMS transforms without the one-pixel cache may be used from
// several threads at a time.
class TCMYKTransforms {
 public:
  TCMYKTransforms() {
    cmsHPROFILE cmyk = cmsOpenProfileFromFile(kPressProfilePath, "r");
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    if (cmyk != nullptr && srgb != nullptr && cmsGetColorSpace(cmyk) == cmsSigCmykData) {
      // Perceptual intent with the finest precalculated tables LittleCMS
      // offers. The profile's perceptual tables already take paper white to
      // screen white and full ink to screen black.
      const cmsUInt32Number flags = cmsFLAGS_HIGHRESPRECALC | cmsFLAGS_NOCACHE;
      to_rgb_ = cmsCreateTransform(cmyk, TYPE_CMYK_16, srgb, TYPE_RGB_16, INTENT_PERCEPTUAL, flags);
      to_cmyk_ = cmsCreateTransform(srgb, TYPE_RGB_16, cmyk, TYPE_CMYK_16, INTENT_PERCEPTUAL, flags);
    }
    if (cmyk != nullptr) cmsCloseProfile(cmyk);
    if (srgb != nullptr) cmsCloseProfile(srgb);
    if (to_rgb_ == nullptr || to_cmyk_ == nullptr) Release();
  }
  ~TCMYKTransforms() { Release(); }
  TCMYKTransforms(const TCMYKTransforms&) = delete;
  TCMYKTransforms& operator=(const TCMYKTransforms&) = delete;

  bool Available() const { return to_rgb_ != nullptr; }
  cmsHTRANSFORM ToRGB() const { return to_rgb_; }
  cmsHTRANSFORM ToCMYK() const { return to_cmyk_; }

 private:
  void Release() {
    if (to_rgb_ != nullptr) cmsDeleteTransform(to_rgb_);
    if (to_cmyk_ != nullptr) cmsDeleteTransform(to_cmyk_);
    to_rgb_ = to_cmyk_ = nullptr;
  }
  cmsHTRANSFORM to_rgb_ = nullptr;
  cmsHTRANSFORM to_cmyk_ = nullptr;
};

const TCMYKTransforms& Transforms() {
  static const TCMYKTransforms transforms;
  return transforms;
}

std::atomic<bool> g_color_management{true};

// The managed path when the switch is on and the transforms exist, else null.
const TCMYKTransforms* ManagedPath() {
  if (!g_color_management.load(std::memory_order_relaxed)) return nullptr;
  const TCMYKTransforms& t = Transforms();
  return t.Available() ? &t : nullptr;
}

// Pixels go through LittleCMS in runs of this many, in 16-bit buffers on the stack.
constexpr int32_t kRun = 256;

}  // namespace

void SetCMYKColorManagement(bool on) { g_color_management.store(on, std::memory_order_relaxed); }
bool CMYKColorManagement() { return g_color_management.load(std::memory_order_relaxed); }
bool CMYKColorManagementAvailable() { return Transforms().Available(); }

void CMYKToRGBRow(const TCMYK* in, TRGB* out, int32_t count) {
  const TCMYKTransforms* managed = ManagedPath();
  if (managed == nullptr) {
    for (int32_t i = 0; i < count; ++i) out[i] = CMYKToRGBPlain(in[i]);
    return;
  }
  // Inks enter as (255 - stored byte) x 257; the high byte of each 16-bit
  // channel that comes out is the 8-bit value.
  uint16_t inks[kRun * 4];
  uint16_t rgb[kRun * 3];
  for (int32_t start = 0; start < count; start += kRun) {
    const int32_t n = std::min(kRun, count - start);
    for (int32_t i = 0; i < n; ++i) {
      const TCMYK& c = in[start + i];
      inks[4 * i + 0] = static_cast<uint16_t>((255 - c.c) * 257);
      inks[4 * i + 1] = static_cast<uint16_t>((255 - c.m) * 257);
      inks[4 * i + 2] = static_cast<uint16_t>((255 - c.y) * 257);
      inks[4 * i + 3] = static_cast<uint16_t>((255 - c.k) * 257);
    }
    cmsDoTransform(managed->ToRGB(), inks, rgb, static_cast<cmsUInt32Number>(n));
    for (int32_t i = 0; i < n; ++i) {
      TRGB& o = out[start + i];
      o.r = static_cast<uint8_t>(rgb[3 * i + 0] >> 8);
      o.g = static_cast<uint8_t>(rgb[3 * i + 1] >> 8);
      o.b = static_cast<uint8_t>(rgb[3 * i + 2] >> 8);
    }
  }
}

void RGBToCMYKRow(const TRGB* in, TCMYK* out, int32_t count) {
  const TCMYKTransforms* managed = ManagedPath();
  if (managed == nullptr) {
    for (int32_t i = 0; i < count; ++i) out[i] = RGBToCMYKPlain(in[i]);
    return;
  }
  uint16_t rgb[kRun * 3];
  uint16_t inks[kRun * 4];
  for (int32_t start = 0; start < count; start += kRun) {
    const int32_t n = std::min(kRun, count - start);
    for (int32_t i = 0; i < n; ++i) {
      const TRGB& c = in[start + i];
      rgb[3 * i + 0] = static_cast<uint16_t>(c.r * 257);
      rgb[3 * i + 1] = static_cast<uint16_t>(c.g * 257);
      rgb[3 * i + 2] = static_cast<uint16_t>(c.b * 257);
    }
    cmsDoTransform(managed->ToCMYK(), rgb, inks, static_cast<cmsUInt32Number>(n));
    for (int32_t i = 0; i < n; ++i) {
      TCMYK& o = out[start + i];
      o.c = static_cast<uint8_t>(255 - (inks[4 * i + 0] >> 8));
      o.m = static_cast<uint8_t>(255 - (inks[4 * i + 1] >> 8));
      o.y = static_cast<uint8_t>(255 - (inks[4 * i + 2] >> 8));
      o.k = static_cast<uint8_t>(255 - (inks[4 * i + 3] >> 8));
    }
  }
}

TCMYK RGBToCMYK(TRGB color) {
  TCMYK out;
  RGBToCMYKRow(&color, &out, 1);
  return out;
}

TRGB CMYKToRGB(TCMYK color) {
  TRGB out;
  CMYKToRGBRow(&color, &out, 1);
  return out;
}

}  // namespace tessaly
