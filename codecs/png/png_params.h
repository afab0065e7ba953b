// Tessaly: the PNG group of the I/O parameter record.
#pragma once

namespace tessaly {

/// PNG options and information, one group of TIOParamsVals.
struct TPngParams {
  int PngCompression = 5;

  void SetDefaults() { PngCompression = 5; }
  void ResetInfo() {}
  void SetImageIndex(int) {}
  void SetImageCount(int) {}
};

}  // namespace tessaly
