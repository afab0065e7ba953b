// Tessaly: the BMP group of the I/O parameter record.
#pragma once

#include <cstdint>

namespace tessaly {

/// BMP options and information, one group of TIOParamsVals.
struct TBmpParams {
  /// Info-header form: 0 another size, 1 the 40-byte header, 2 the 12-byte
  /// OS/2 1.x header (3-byte palette entries), 3 the 64-byte OS/2 2.x header.
  /// The reader records the form it met; the writer writes 40 bytes for 0 and 1.
  uint8_t BmpVersion = 1;
  /// 0 none, 1 run-length (RLE8 or RLE4 for 8- and 4-bit output).
  uint8_t BmpCompression = 0;
  /// The fourth byte of 32-bit pixels is alpha, read and written.
  bool BmpUseAlpha = false;

  void SetDefaults() {
    BmpVersion = 1;
    BmpCompression = 0;
    BmpUseAlpha = false;
  }
  void ResetInfo() {}
  void SetImageIndex(int) {}
  void SetImageCount(int) {}
};

}  // namespace tessaly
