// Tessaly: the quick linear scaler for 24-bit images.
#include <algorithm>
#include <cstring>

#include "raster/resample_kernel.h"

namespace tessaly {

namespace {

constexpr int32_t kFracOne = 131072;  // 17 bits of fraction between two pixels

// How one destination pixel (or row) is made from the source: interpolated
// between From and To with weight Frac, or the integer mean of From .. To.
struct TFastStep {
  int32_t From = 0, To = 0, Frac = 0;
};

std::vector<TFastStep> FastSteps(int32_t source_size, int32_t dest_size, double d, bool averaging_epsilon,
                                 bool& interpolating) {
  std::vector<TFastStep> steps(static_cast<size_t>(dest_size));
  interpolating = d > 1.0;
  for (int32_t x = 0; x < dest_size; ++x) {
    TFastStep& s = steps[static_cast<size_t>(x)];
    if (interpolating) {
      const double f = x / d;
      s.From = std::min(static_cast<int32_t>(f), source_size - 1);
      s.Frac = static_cast<int32_t>((f - s.From) * kFracOne);
      s.To = std::min(s.From + 1, source_size - 1);
    } else {
      const double end = std::min(x + 1, dest_size - 1) / d + (averaging_epsilon ? 0.0000000001 : 0.0);
      s.From = std::min(static_cast<int32_t>(x / d), source_size - 1);
      s.To = std::clamp(static_cast<int32_t>(end), s.From, source_size - 1);
    }
  }
  return steps;
}

}  // namespace

bool ResampleFastLinear24(const TImBitmap& source, TImBitmap& dest, TProgressStep* progress) {
  const int32_t ws = source.Width(), hs = source.Height();
  const int32_t wd = dest.Width(), hd = dest.Height();
  if (ws < 1 || hs < 1 || wd < 1 || hd < 1) return false;
  const double dx = static_cast<double>(wd) / ws;
  const double dy = static_cast<double>(hd) / hs;
  if (dx == 1.0 && dy == 1.0) {
    dest.Assign(source);
    return true;
  }
  TImBitmap work;
  if (!work.Allocate(wd, hs, im24RGB)) return false;
  const double span = hs + hd + 0.5;

  bool lerp_x = false, lerp_y = false;
  const std::vector<TFastStep> cols = FastSteps(ws, wd, dx, true, lerp_x);
  for (int32_t r = 0; r < hs; ++r) {
    const uint8_t* src = source.ScanLine(r);
    uint8_t* dst = work.ScanLine(r);
    for (int32_t x = 0; x < wd; ++x) {
      const TFastStep& s = cols[static_cast<size_t>(x)];
      for (int c = 0; c < 3; ++c) {
        int32_t v;
        if (lerp_x) {
          const int32_t a = src[s.From * 3 + c], b = src[s.To * 3 + c];
          v = a + (b - a) * s.Frac / kFracOne;
        } else {
          int32_t sum = 0;
          for (int32_t i = s.From; i <= s.To; ++i) sum += src[i * 3 + c];
          v = sum / (s.To - s.From + 1);
        }
        dst[x * 3 + c] = static_cast<uint8_t>(v);
      }
    }
    if (progress != nullptr) progress->ReportAlways(static_cast<int>(r * 100 / span));
  }

  const std::vector<TFastStep> rows = FastSteps(hs, hd, dy, false, lerp_y);
  const size_t bytes = static_cast<size_t>(wd) * 3;
  for (int32_t y = 0; y < hd; ++y) {
    const TFastStep& s = rows[static_cast<size_t>(y)];
    uint8_t* dst = dest.ScanLine(y);
    if (lerp_y) {
      const uint8_t* a = work.ScanLine(s.From);
      const uint8_t* b = work.ScanLine(s.To);
      for (size_t i = 0; i < bytes; ++i) dst[i] = static_cast<uint8_t>(a[i] + (b[i] - a[i]) * s.Frac / kFracOne);
    } else {
      for (size_t i = 0; i < bytes; ++i) {
        int32_t sum = 0;
        for (int32_t r = s.From; r <= s.To; ++r) sum += work.ScanLine(r)[i];
        dst[i] = static_cast<uint8_t>(sum / (s.To - s.From + 1));
      }
    }
    if (progress != nullptr) progress->ReportAlways(static_cast<int>((hs + y) * 100 / span));
  }
  return true;
}

}  // namespace tessaly
