// Tessaly: the image holder.
#include "io/image_holder.h"

#include "io/image_io.h"
#include "raster/image_proc.h"

namespace tessaly {

TImageHolder::TImageHolder() : bitmap_(std::make_unique<TImBitmap>()) {}

// The objects that work on the bitmap go before it.
TImageHolder::~TImageHolder() {
  proc_.reset();
  io_.reset();
}

TImageIO& TImageHolder::IO() {
  if (io_ == nullptr) io_ = std::make_unique<TImageIO>(this);
  return *io_;
}

TImageProc& TImageHolder::Proc() {
  if (proc_ == nullptr) {
    proc_ = std::make_unique<TImageProc>(true);
    proc_->Attach(bitmap_.get(), &background_, [this] { Update(); });
  }
  return *proc_;
}

}  // namespace tessaly
