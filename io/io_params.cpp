// Tessaly: the parameter record that travels with an image.
#include "io/io_params.h"

#include "io/image_holder.h"
#include "io/image_io.h"

namespace tessaly {

namespace {

// The switches reach the groups that have the matching option; a group that
// does not (yet) carry one is simply skipped.
template <class P>
void CopyPreferThumbnail(P& params, bool prefer) {
  if constexpr (requires { params.JpegLoadExifThumbnail = prefer; }) params.JpegLoadExifThumbnail = prefer;
}

template <class P>
void CopyAutoOrientation(P& params, bool automatic) {
  if constexpr (requires { params.JpegAutoRotate = automatic; }) params.JpegAutoRotate = automatic;
  if constexpr (requires { params.TiffAutoRotate = automatic; }) params.TiffAutoRotate = automatic;
}

TImageHolder* HolderOf(TImageIO* owner) { return owner != nullptr ? owner->AttachedHolder() : nullptr; }

}  // namespace

TIOParamsVals::TIOParamsVals(TImageIO* owner) : owner_(owner) { SetDefaults(); }

TIOParamsVals::TIOParamsVals(const TIOParamsVals& other) : TIOParamsGroups(other) {
  Assign(other);
  owner_ = nullptr;
}

TIOParamsVals& TIOParamsVals::operator=(const TIOParamsVals& other) {
  Assign(other);
  return *this;
}

void TIOParamsVals::Assign(const TIOParamsVals& other) {
  if (&other == this) return;
  static_cast<TIOParamsGroups&>(*this) = static_cast<const TIOParamsGroups&>(other);
  FileName = other.FileName;
  FileType = other.FileType;
  BitsPerSample = other.BitsPerSample;
  SamplesPerPixel = other.SamplesPerPixel;
  Width = other.Width;
  Height = other.Height;
  DpiX = other.DpiX;
  DpiY = other.DpiY;
  ImageIndex = other.ImageIndex;
  ImageCount = other.ImageCount;
  ResourceData = other.ResourceData;
  OriginalWidth = other.OriginalWidth;
  OriginalHeight = other.OriginalHeight;
  NativePixelFormat = other.NativePixelFormat;
  // The copy gets its own block, trimmed to the count the record claims.
  ColorMap = other.ColorMap;
  ColorMapCount = other.ColorMapCount;
  if (ColorMapCount < 0) ColorMapCount = 0;
  if (static_cast<size_t>(ColorMapCount) < ColorMap.size()) ColorMap.resize(static_cast<size_t>(ColorMapCount));
  ColorMapCount = static_cast<int32_t>(ColorMap.size());
  EXIF_XResolution = other.EXIF_XResolution;
  EXIF_YResolution = other.EXIF_YResolution;
  prefer_thumbnail_ = other.prefer_thumbnail_;
  auto_orientation_ = other.auto_orientation_;
}

void TIOParamsVals::SetDefaults() {
  FileName.clear();
  FileType = ftUnknown;
  BitsPerSample = 8;
  SamplesPerPixel = 3;
  Width = Height = 0;
  DpiX = DpiY = 0;
  EXIF_XResolution = EXIF_YResolution = 0;
  ImageIndex = 0;
  ImageCount = 0;
  ResourceData = false;
  OriginalWidth = OriginalHeight = 0;
  NativePixelFormat = false;
  ClearColorMap();
  prefer_thumbnail_ = false;
  auto_orientation_ = false;
  GroupsSetDefaults();
  GroupsResetInfo();
  SetImageIndex(0);
  if (owner_ != nullptr) {
    SetDpiX(kDefaultDpi);
    SetDpiY(kDefaultDpi);
    if (TImageHolder* holder = HolderOf(owner_)) {
      Width = holder->Bitmap().Width();
      Height = holder->Bitmap().Height();
    }
  }
}

void TIOParamsVals::ResetInfo() { GroupsResetInfo(); }

void TIOParamsVals::SetDpiX(int dpi) {
  DpiX = dpi;
  EXIF_XResolution = dpi;
  if (TImageHolder* holder = HolderOf(owner_)) holder->SetDpiX(dpi);
}

void TIOParamsVals::SetDpiY(int dpi) {
  DpiY = dpi;
  EXIF_YResolution = dpi;
  if (TImageHolder* holder = HolderOf(owner_)) holder->SetDpiY(dpi);
}

void TIOParamsVals::SetDpiX(double dpi) {
  SetDpiX(static_cast<int>(dpi));
  EXIF_XResolution = dpi;
}

void TIOParamsVals::SetDpiY(double dpi) {
  SetDpiY(static_cast<int>(dpi));
  EXIF_YResolution = dpi;
}

void TIOParamsVals::SetImageIndex(int index) {
  ImageIndex = index;
  GroupsSetImageIndex(index);
}

void TIOParamsVals::SetImageCount(int count) {
  ImageCount = count;
  GroupsSetImageCount(count);
}

void TIOParamsVals::SetPreferThumbnail(bool prefer) {
  prefer_thumbnail_ = prefer;
  CopyPreferThumbnail(*this, prefer);
}

void TIOParamsVals::SetAutoOrientation(bool automatic) {
  auto_orientation_ = automatic;
  CopyAutoOrientation(*this, automatic);
}

void TIOParamsVals::SetColorMap(const TRGB* colors, int count) {
  if (colors == nullptr || count <= 0) {
    ClearColorMap();
    return;
  }
  ColorMap.assign(colors, colors + count);
  ColorMapCount = count;
}

}  // namespace tessaly
