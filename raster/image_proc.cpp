// Tessaly: the image-processing object: resampling and the undo store.
#include "raster/image_proc.h"

#include <utility>

namespace tessaly {

TImageProc::TImageProc(bool has_owner) : AutoUndo(has_owner) {}

TImageProc::~TImageProc() = default;

void TImageProc::Attach(TImBitmap* bitmap, TColor* owner_background, std::function<void()> update) {
  bitmap_ = bitmap;
  owner_background_ = owner_background;
  update_ = std::move(update);
}

void TImageProc::SetBackground(TColor color) {
  if (owner_background_ != nullptr) {
    *owner_background_ = color;
  } else {
    background_ = color;
  }
}

void TImageProc::Progress(int percent) {
  if (OnProgress) OnProgress(*this, percent);
}

TResampleProgress TImageProc::ProgressRelay() {
  if (!OnProgress) return {};
  return [this](int percent) { Progress(percent); };
}

void TImageProc::FinishWork() {
  if (update_) update_();
  Progress(100);
  if (OnFinishWork) OnFinishWork(*this);
}

void TImageProc::SaveUndo(const std::string& caption, TImUndoSource source) {
  if (bitmap_ == nullptr || bitmap_->Width() < 2 || bitmap_->Height() < 2 || UndoLimit <= 0) return;
  auto copy = std::make_unique<TImBitmap>();
  copy->SetFileThreshold(0);
  copy->SetLocation(UndoLocation);
  copy->Assign(*bitmap_);
  if (copy->IsEmpty()) return;  // no memory for the copy: better no entry than an empty one
  StoreUndo(std::move(copy), caption, source);
}

void TImageProc::StoreUndo(std::unique_ptr<TImBitmap> image, const std::string& caption, TImUndoSource source) {
  while (!undo_.empty() && static_cast<int>(undo_.size()) >= UndoLimit) undo_.erase(undo_.begin());
  undo_.push_back(TImUndoEntry{std::move(image), source, caption});
  if (OnSaveUndo) OnSaveUndo(*this, source);
}

void TImageProc::Resample(int32_t new_width, int32_t new_height, TResampleFilter filter) {
  if (bitmap_ == nullptr || bitmap_->IsEmpty()) return;
  int32_t w = 0, h = 0;
  if (!ResampleTargetSize(bitmap_->Width(), bitmap_->Height(), new_width, new_height, w, h)) return;
  if (w == bitmap_->Width() && h == bitmap_->Height()) return;
  const std::string caption = "Resample " + std::to_string(new_width) + "," + std::to_string(new_height);
  // With no one told of the undo entry as it is stored, the image itself
  // becomes the entry once the result exists, instead of a copy taken first:
  // the entry holds the same pixels and a photo-sized copy is saved.
  const bool undo_by_move = AutoUndo && !OnSaveUndo && bitmap_->Width() >= 2 && bitmap_->Height() >= 2 &&
                            UndoLimit > 0;
  if (AutoUndo && !undo_by_move) SaveUndo(caption, imuImage);
  TImBitmap result;
  const bool done = tessaly::ResampleTo(*bitmap_, result, w, h, filter, ProgressRelay(), ResampleThreads);
  if (undo_by_move) {
    if (done) {
      auto entry = std::make_unique<TImBitmap>();
      entry->SetFileThreshold(0);
      entry->SetLocation(UndoLocation);
      entry->AssignByTaking(*bitmap_);
      StoreUndo(std::move(entry), caption, imuImage);
    } else {
      SaveUndo(caption, imuImage);
    }
  }
  if (done) bitmap_->Assign(result);
  FinishWork();
}

bool TImageProc::ResampleTo(TImBitmap& dest, int32_t new_width, int32_t new_height, TResampleFilter filter) {
  if (bitmap_ == nullptr || bitmap_->IsEmpty()) return false;
  const bool done = tessaly::ResampleTo(*bitmap_, dest, new_width, new_height, filter, ProgressRelay(),
                                        ResampleThreads);
  FinishWork();
  return done;
}

}  // namespace tessaly
