// Tessaly: the parameter record that travels with an image.
#include "io/io_params.h"

namespace tessaly {

TIOParamsVals::TIOParamsVals(TImageIO* owner) : owner_(owner) { SetDefaults(); }

TIOParamsVals::TIOParamsVals(const TIOParamsVals& other)
    : TBmpParams(other), TJpegParams(other), TPngParams(other) {
  Assign(other);
  owner_ = nullptr;
}

TIOParamsVals& TIOParamsVals::operator=(const TIOParamsVals& other) {
  Assign(other);
  return *this;
}

void TIOParamsVals::Assign(const TIOParamsVals& other) {
  if (&other == this) return;
  TImageIO* const owner = owner_;
  static_cast<TBmpParams&>(*this) = other;
  static_cast<TJpegParams&>(*this) = other;
  static_cast<TPngParams&>(*this) = other;
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
  ColorMap = other.ColorMap;
  ColorMapCount = other.ColorMapCount;
  EXIF_XResolution = other.EXIF_XResolution;
  EXIF_YResolution = other.EXIF_YResolution;
  prefer_thumbnail_ = other.prefer_thumbnail_;
  auto_orientation_ = other.auto_orientation_;
  owner_ = owner;
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
  TBmpParams::SetDefaults();
  TJpegParams::SetDefaults();
  TPngParams::SetDefaults();
  ResetInfo();
  SetImageIndex(0);
  if (owner_ != nullptr) {
    SetDpiX(kDefaultDpi);
    SetDpiY(kDefaultDpi);
  }
}

void TIOParamsVals::ResetInfo() {
  TBmpParams::ResetInfo();
  TJpegParams::ResetInfo();
  TPngParams::ResetInfo();
}

void TIOParamsVals::SetDpiX(int dpi) {
  DpiX = dpi;
  EXIF_XResolution = dpi;
}

void TIOParamsVals::SetDpiY(int dpi) {
  DpiY = dpi;
  EXIF_YResolution = dpi;
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
  TBmpParams::SetImageIndex(index);
  TJpegParams::SetImageIndex(index);
  TPngParams::SetImageIndex(index);
}

void TIOParamsVals::SetImageCount(int count) {
  ImageCount = count;
  TBmpParams::SetImageCount(count);
  TJpegParams::SetImageCount(count);
  TPngParams::SetImageCount(count);
}

void TIOParamsVals::SetPreferThumbnail(bool prefer) { prefer_thumbnail_ = prefer; }
void TIOParamsVals::SetAutoOrientation(bool automatic) { auto_orientation_ = automatic; }

void TIOParamsVals::SetColorMap(const TRGB* colors, int count) {
  if (colors == nullptr || count <= 0) {
    ClearColorMap();
    return;
  }
  ColorMap.assign(colors, colors + count);
  ColorMapCount = count;
}

}  // namespace tessaly
