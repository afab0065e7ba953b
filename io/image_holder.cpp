// Tessaly: the image holder.
#include "io/image_holder.h"

#include "io/image_io.h"

namespace tessaly {

TImageHolder::TImageHolder() : bitmap_(std::make_unique<TImBitmap>()) {}

TImageHolder::~TImageHolder() = default;

TImageIO& TImageHolder::IO() {
  if (io_ == nullptr) io_ = std::make_unique<TImageIO>(this);
  return *io_;
}

}  // namespace tessaly
