// Tessaly: system colours. There is no desktop colour scheme to ask here, so
// each system colour has a fixed value close to the classic light theme.
#include "raster/pixel_types.h"

namespace tessaly {

TColor ResolveColor(TColor color) {
  if ((color & kSystemColorFlag) != kSystemColorFlag) return color & 0x00FFFFFFu;
  switch (color & 0xFFu) {
    case 0x05:  // window background
    case 0x0E:  // highlighted text
      return 0x00FFFFFFu;
    case 0x06:  // window frame
    case 0x07:  // menu text
    case 0x08:  // window text
    case 0x09:  // caption text
    case 0x12:  // button text
      return 0x00000000u;
    case 0x0D:  // highlight
      return 0x00D77800u;
    case 0x10:  // button shadow
      return 0x00A0A0A0u;
    case 0x14:  // button highlight
      return 0x00FFFFFFu;
    default:    // the button face and everything else
      return 0x00F0F0F0u;
  }
}

}  // namespace tessaly
