// Tessaly: the image-processing object: resampling, canvas resize and the undo store.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "raster/bitmap.h"
#include "raster/resample.h"

namespace tessaly {

/// What an undo entry was taken from.
enum TImUndoSource : uint8_t { imuImage = 0 };

class TImageProc;

/// Sender and a percentage 0 .. 100.
using TImProcProgressEvent = std::function<void(TImageProc& sender, int percent)>;
using TImProcNotifyEvent = std::function<void(TImageProc& sender)>;
using TImSaveUndoEvent = std::function<void(TImageProc& sender, TImUndoSource source)>;

/// One saved copy of the image, with where it came from and its caption
/// ("Resample 640,480").
struct TImUndoEntry {
  std::unique_ptr<TImBitmap> Image;
  TImUndoSource Source = imuImage;
  std::string Caption;
};

/// Works on one bitmap lent by its owner (the image holder, or a caller that
/// has only a bitmap). The owner may also lend its background colour, which
/// the processor then reads and writes in place of its own, and a callback
/// that refreshes whatever shows the image.
class TImageProc {
 public:
  /// An owned processor (created by an image holder) takes undo copies
  /// before each operation; a free-standing one does not.
  explicit TImageProc(bool has_owner = false);
  ~TImageProc();
  TImageProc(const TImageProc&) = delete;
  TImageProc& operator=(const TImageProc&) = delete;

  /// Lends the bitmap to work on (null detaches), and optionally the owner's
  /// background colour and a display refresh. The pointers must outlive the
  /// attachment.
  void Attach(TImBitmap* bitmap, TColor* owner_background = nullptr, std::function<void()> update = {});
  TImBitmap* AttachedBitmap() const { return bitmap_; }

  bool AutoUndo = false;
  /// Most undo entries kept; 0 keeps none.
  int UndoLimit = 1;
  /// Where undo copies are stored; they land in the heap until file-backed
  /// storage is available.
  TImBitmapStorage UndoLocation = imTempFile;
  /// Threads of the resampler's horizontal pass; 0 means one per core.
  int ResampleThreads = 0;

  TImProcProgressEvent OnProgress;
  TImProcNotifyEvent OnFinishWork;
  TImSaveUndoEvent OnSaveUndo;

  /// The owner's background when one was lent, otherwise the processor's own (0 by default).
  TColor Background() const { return owner_background_ != nullptr ? *owner_background_ : background_; }
  void SetBackground(TColor color);

  /// Scales the attached bitmap in place. Nothing happens (and no undo entry
  /// is taken) when there is no image, when both sizes are negative, or when
  /// the result would have the current size. On failure the image is kept.
  void Resample(int32_t new_width, int32_t new_height, TResampleFilter filter);
  /// Scales the attached bitmap into dest, leaving it unchanged; no undo.
  bool ResampleTo(TImBitmap& dest, int32_t new_width, int32_t new_height, TResampleFilter filter);

  /// Changes the canvas size without scaling; the pixels are placed by
  /// horizontal and vertical alignment (0 left/top, 1 centre, 2 right/bottom)
  /// and new area gets Background, with `alpha` in the alpha channel.
  void ImageResize(int32_t new_width, int32_t new_height, uint8_t horiz_align, uint8_t vert_align,
                   int32_t alpha);

  /// Stores a copy of the image; nothing for an image smaller than 2 x 2 or
  /// when UndoLimit is 0. The oldest entries go first.
  void SaveUndo(const std::string& caption, TImUndoSource source);
  const std::vector<TImUndoEntry>& UndoEntries() const { return undo_; }
  void ClearUndo() { undo_.clear(); }

 private:
  // Appends an entry, dropping the oldest beyond UndoLimit.
  void StoreUndo(std::unique_ptr<TImBitmap> image, const std::string& caption, TImUndoSource source);
  // The holder's display refresh, then OnProgress(100) and OnFinishWork.
  void FinishWork();
  void Progress(int percent);
  TResampleProgress ProgressRelay();

  TImBitmap* bitmap_ = nullptr;
  TColor* owner_background_ = nullptr;
  std::function<void()> update_;
  TColor background_ = 0;
  std::vector<TImUndoEntry> undo_;
};

}  // namespace tessaly
