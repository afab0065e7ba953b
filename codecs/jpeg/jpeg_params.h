// Tessaly: the JPEG group of the I/O parameter record.
#pragma once

#include <cstdint>

#include "codecs/jpeg/jpeg_markers.h"

namespace tessaly {

/// Colour space of JPEG data; the codes are stored in the parameter record.
enum TJpegColorSpace : uint8_t {
  jcRGB = 0,
  jcGray = 1,
  jcYCbCr = 2,
  jcCMYK = 3,
  jcYCCK = 4,
};

/// JPEG options and information, one group of TIOParamsVals. The options
/// survive a load (a grey photo is saved grey, a progressive one
/// progressive); the information part is emptied before each load.
struct TJpegParams {
  /// Write: colour space of the data; read: the colour space found.
  TJpegColorSpace JpegColorSpace = jcYCbCr;
  /// Write: quality 0..100, passed to the library unchanged.
  int JpegQuality = 80;
  /// 0 accurate integer, 1 fast integer, 2 floating point; others leave the default.
  uint8_t JpegDctMethod = 0;
  /// Write, YCbCr only: luminance sampling 0 = 2x1, 1 = 2x2, 2 = 1x1.
  uint8_t JpegSubsampling = 1;
  /// Write: compute optimal Huffman tables.
  bool JpegOptimalHuffman = false;
  /// Write: the library's input smoothing factor 0..100.
  int JpegSmoothing = 0;
  /// Write: emit a progressive file; read: whether the file is progressive.
  bool JpegProgressive = false;
  /// Read: 0 automatic, 1 full size, 2 one half, 3 one quarter, 4 one eighth.
  uint8_t JpegScale = 1;
  /// Read result: the scale denominator used (1, 2, 4 or 8).
  int JpegScaleUsed = 1;
  /// Read: turn the image upright by its EXIF orientation.
  bool JpegAutoRotate = false;
  /// Read: deliver the EXIF thumbnail instead of the main image.
  bool JpegLoadExifThumbnail = false;

  // ---- information
  /// The APPn and COM segments of the last read (all but the first APP0),
  /// written back by the next JPEG save.
  TImMarkerList JpegMarkers;
  /// Read result: library warnings, and the message code of the last one.
  int JpegWarningCount = 0;
  int JpegLastWarning = 0;

  void SetDefaults() {
    JpegColorSpace = jcYCbCr;
    JpegQuality = 80;
    JpegDctMethod = 0;
    JpegSubsampling = 1;
    JpegOptimalHuffman = false;
    JpegSmoothing = 0;
    JpegProgressive = false;
    JpegScale = 1;
    JpegScaleUsed = 1;
    JpegAutoRotate = false;
    JpegLoadExifThumbnail = false;
    JpegWarningCount = 0;
    JpegLastWarning = 0;
  }
  void ResetInfo() { JpegMarkers.Clear(); }
  void SetImageIndex(int) {}
  void SetImageCount(int) {}
};

}  // namespace tessaly
