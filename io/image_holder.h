// Tessaly: the image holder, a container for one bitmap and the objects
// that load, process and save it.
#pragma once

#include <memory>

#include "raster/bitmap.h"
#include "raster/pixel_types.h"

namespace tessaly {

class TImageIO;
class TImageProc;

/// Owns one bitmap, its background colour and the resolution it was told,
/// and creates on first request one I/O object attached to it. It is never
/// shown, so refreshing its display does nothing.
class TImageHolder {
 public:
  /// The colour of button faces, as the holder starts.
  static constexpr TColor kDefaultBackground = clBtnFace;

  TImageHolder();
  ~TImageHolder();
  TImageHolder(const TImageHolder&) = delete;
  TImageHolder& operator=(const TImageHolder&) = delete;

  TImBitmap& Bitmap() { return *bitmap_; }
  const TImBitmap& Bitmap() const { return *bitmap_; }

  /// As stored: a system colour stays a system colour.
  TColor Background() const { return background_; }
  /// The background as a plain 0x00BBGGRR, system colours resolved.
  TColor ResolvedBackground() const { return ResolveColor(background_); }
  void SetBackground(TColor color) { background_ = color; }

  int DpiX() const { return dpi_x_; }
  int DpiY() const { return dpi_y_; }
  void SetDpiX(int dpi) { dpi_x_ = dpi; }
  void SetDpiY(int dpi) { dpi_y_ = dpi; }

  /// The I/O object, created attached to this holder on first request.
  TImageIO& IO();
  /// True once IO() has created the object.
  bool HasIO() const { return io_ != nullptr; }

  /// The processing object, created attached to this holder on first
  /// request; it reads and writes the holder's Background.
  TImageProc& Proc();
  bool HasProc() const { return proc_ != nullptr; }

  /// Called after the bitmap changed; the holder draws nothing.
  void Update() {}

 private:
  // The bitmap outlives the objects that work on it.
  std::unique_ptr<TImBitmap> bitmap_;
  TColor background_ = kDefaultBackground;
  int dpi_x_ = 0;
  int dpi_y_ = 0;
  std::unique_ptr<TImageIO> io_;
  std::unique_ptr<TImageProc> proc_;
};

}  // namespace tessaly
