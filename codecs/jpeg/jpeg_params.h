// Tessaly: the JPEG group of the I/O parameter record.
#pragma once

namespace tessaly {

/// JPEG options and information, one group of TIOParamsVals.
struct TJpegParams {
  int JpegQuality = 80;

  void SetDefaults() { JpegQuality = 80; }
  void ResetInfo() {}
  void SetImageIndex(int) {}
  void SetImageCount(int) {}
};

}  // namespace tessaly
