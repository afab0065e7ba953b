// Tessaly: the BMP group of the I/O parameter record.
#pragma once

namespace tessaly {

/// BMP options and information, one group of TIOParamsVals.
struct TBmpParams {
  void SetDefaults() {}
  void ResetInfo() {}
  void SetImageIndex(int) {}
  void SetImageCount(int) {}
};

}  // namespace tessaly
