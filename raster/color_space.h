// Tessaly: per-pixel colour-space rules between RGB, CMYK and CIELab.
#pragma once

#include <cstdint>

#include "raster/pixel_types.h"

namespace tessaly {

/// k = max(R, G, B) (1 when 0); stored bytes R x 255 div k, G x 255 div k, B x 255 div k, k.
TCMYK RGBToCMYKPlain(TRGB color);
/// R = c x k div 255, G = m x k div 255, B = y x k div 255 on the stored bytes.
TRGB CMYKToRGBPlain(TCMYK color);
/// sRGB to 8-bit CIELab (D65), as TIFF stores it.
TCIELab RGBToCIELab(TRGB color);
TRGB CIELabToRGB(TCIELab color);

/// RGB to CMYK by the process's rule: through colour management when it is
/// on and available, else the plain rule.
TCMYK RGBToCMYK(TRGB color);
TRGB CMYKToRGB(TCMYK color);
/// The same for a run of pixels; the rule is chosen once for the run.
void RGBToCMYKRow(const TRGB* in, TCMYK* out, int32_t count);
void CMYKToRGBRow(const TCMYK* in, TRGB* out, int32_t count);

/// Process-wide switch for colour-managed CMYK conversion (default on).
void SetCMYKColorManagement(bool on);
bool CMYKColorManagement();
/// True when the press profile and the transforms could be set up; the first
/// call builds them.
bool CMYKColorManagementAvailable();

}  // namespace tessaly
