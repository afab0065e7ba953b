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

/// Every format group at once. A group offers SetDefaults, ResetInfo,
/// SetImageIndex and SetImageCount; a new format joins by adding its group
/// to the list in TIOParamsGroups below and nothing else.
template <class... Groups>
struct TParamGroupSet : Groups... {
  void GroupsSetDefaults() { (Groups::SetDefaults(), ...); }
  void GroupsResetInfo() { (Groups::ResetInfo(), ...); }
  void GroupsSetImageIndex(int index) { (Groups::SetImageIndex(index), ...); }
  void GroupsSetImageCount(int count) { (Groups::SetImageCount(count), ...); }
};

using TIOParamsGroups = TParamGroupSet<TBmpParams, TJpegParams, TPngParams>;

/// The common part of the record and every format group, so that each field
/// is reached by its own name (JpegQuality, BmpVersion).
///
/// Settings: every common field and every per-format option. Information:
/// the metadata of the last file read (comments, EXIF, IPTC, XMP, profiles,
/// raw markers), kept by the groups; ResetInfo empties only that part, which
/// is why settings chosen before a load survive it.
class TIOParamsVals : public TIOParamsGroups {
 public:
  static constexpr int kDefaultDpi = 300;

  /// With an owner, DpiX and DpiY start at 300 and Width/Height at the size
  /// of the holder's bitmap the owner is attached to.
  explicit TIOParamsVals(TImageIO* owner = nullptr);
  /// A free-standing copy (no owner).
  TIOParamsVals(const TIOParamsVals& other);
  /// Assign: the owner stays.
  TIOParamsVals& operator=(const TIOParamsVals& other);

  /// Every field to its default; the colour map released; the information
  /// part emptied.
  void SetDefaults();
  /// Empties the information part only.
  void ResetInfo();
  /// Copies every field and the colour map; the owner stays.
  void Assign(const TIOParamsVals& other);

  TImageIO* Owner() const { return owner_; }

  // ---- setters with side effects
  /// Also sets the EXIF twin and tells the owner's holder, when attached.
  void SetDpiX(int dpi);
  void SetDpiY(int dpi);
  /// DpiX := Trunc(dpi); the EXIF value keeps the real number.
  void SetDpiX(double dpi);
  void SetDpiY(double dpi);
  /// Also sets the image index of every group that keeps one.
  void SetImageIndex(int index);
  /// Also sets the image count of every group that keeps one.
  void SetImageCount(int count);
  /// Copied into JpegLoadExifThumbnail.
  void SetPreferThumbnail(bool prefer);
  /// Copied into JpegAutoRotate and TiffAutoRotate.
  void SetAutoOrientation(bool automatic);
  bool PreferThumbnail() const { return prefer_thumbnail_; }
  bool AutoOrientation() const { return auto_orientation_; }

  /// Replaces the colour map with count entries (none for 0).
  void SetColorMap(const TRGB* colors, int count);
  void ClearColorMap() {
    ColorMap.clear();
    ColorMapCount = 0;
  }

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
