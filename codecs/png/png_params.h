// Tessaly: the PNG group of the I/O parameter record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raster/pixel_types.h"

namespace tessaly {

/// PNG options and information, one group of TIOParamsVals.
struct TPngParams {
  /// Write: zlib level 0 (stored) to 9 (smallest).
  int PngCompression = 5;
  /// Write: Adam7 interlacing. Read: whether the file was interlaced.
  bool PngInterlaced = false;
  /// Write: 0 no filter, 1 Sub, 2 Paeth; any other value lets the library choose.
  uint8_t PngFilter = 0;
  /// Read: the file's bKGD colour (preset from the I/O object's Background).
  /// Write: the source of the bKGD chunk and of the transparent palette entry.
  TRGB PngBackground{};
  /// Keywords and texts of the text chunks, pairwise in the same order.
  std::vector<std::string> PngTextKeys;
  std::vector<std::string> PngTextValues;

  void SetDefaults() {
    PngCompression = 5;
    PngInterlaced = false;
    PngFilter = 0;
    PngBackground = TRGB{};
    PngTextKeys.clear();
    PngTextValues.clear();
  }
  /// The texts belong to the file last read; the options stay.
  void ResetInfo() {
    PngTextKeys.clear();
    PngTextValues.clear();
  }
  void SetImageIndex(int) {}
  void SetImageCount(int) {}
};

}  // namespace tessaly
