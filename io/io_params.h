// Tessaly: the parameter record that travels with an image between a file
// and a bitmap.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/file_types.h"
#include "raster/pixel_types.h"

// One group of fields per format, each kept beside its codec.
#include "codecs/bmp/bmp_params.h"
#include "codecs/jpeg/jpeg_params.h"
#include "codecs/png/png_params.h"

namespace tessaly {

class TImageIO;

/// The common part of the record, then one base per format group, so that
/// every field is reached by its own name (JpegQuality, BmpVersion).
///
/// Settings: every common field and every per-format option. Information:
/// the metadata of the last file read, which ResetInfo empties before each
/// load. A group's ResetInfo empties only its information part.
class TIOParamsVals : public TBmpParams, public TJpegParams, public TPngParams {
 public:
  static constexpr int kDefaultDpi = 300;

  explicit TIOParamsVals(TImageIO* owner = nullptr);
  TIOParamsVals(const TIOParamsVals& other);
  TIOParamsVals& operator=(const TIOParamsVals& other);

  /// Every field to its default; the information part emptied.
  void SetDefaults();
  /// Empties the information part only.
  void ResetInfo();
  /// Copies every field; the owner stays.
  void Assign(const TIOParamsVals& other);

  TImageIO* Owner() const { return owner_; }

  // ---- setters with side effects
  void SetDpiX(int dpi);
  void SetDpiY(int dpi);
  /// DpiX := Trunc(dpi); the EXIF value keeps the real number.
  void SetDpiX(double dpi);
  void SetDpiY(double dpi);
  void SetImageIndex(int index);
  void SetImageCount(int count);
  void SetPreferThumbnail(bool prefer);
  void SetAutoOrientation(bool automatic);
  bool PreferThumbnail() const { return prefer_thumbnail_; }
  bool AutoOrientation() const { return auto_orientation_; }

  /// Replaces the colour map with count entries (none for 0).
  void SetColorMap(const TRGB* colors, int count);
  void ClearColorMap() { ColorMap.clear(); ColorMapCount = 0; }

  // ---- common fields (read directly; DpiX, DpiY, ImageIndex and
  // ImageCount are written through their setters)
  std::string FileName;
  int FileType = ftUnknown;
  int32_t BitsPerSample = 8;
  int32_t SamplesPerPixel = 3;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t DpiX = 0;
  int32_t DpiY = 0;
  int32_t ImageIndex = 0;
  int32_t ImageCount = 0;
  bool ResourceData = false;
  int32_t OriginalWidth = 0;
  int32_t OriginalHeight = 0;
  bool NativePixelFormat = false;
  std::vector<TRGB> ColorMap;
  int32_t ColorMapCount = 0;
  // EXIF resolution twins of DpiX and DpiY.
  double EXIF_XResolution = 0;
  double EXIF_YResolution = 0;

 private:
  TImageIO* owner_ = nullptr;
  bool prefer_thumbnail_ = false;
  bool auto_orientation_ = false;
};

}  // namespace tessaly
