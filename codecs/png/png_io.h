// Tessaly: the bridge between libpng and our streams and error handling.
#pragma once

#include <png.h>

#include "io/codec_progress.h"
#include "platform/stream.h"

namespace tessaly::png_detail {

/// What the read callback needs; handed to libpng as its io pointer.
struct TPngReadIO {
  TStream* Stream = nullptr;
};

/// What the write callback needs: a short write sets Aborted.
struct TPngWriteIO {
  TStream* Stream = nullptr;
  const TCodecProgress* Progress = nullptr;
};

/// libpng's error callback: jumps back to the setjmp of the current call.
[[noreturn]] void PngErrorJump(png_structp png, png_const_charp message);
/// libpng's warning callback: warnings are not the user's business.
void PngIgnoreWarning(png_structp png, png_const_charp message);

/// Read callback: a short read is a library error (a truncated file).
void PngReadData(png_structp png, png_bytep data, size_t length);
/// Write callback: a short write sets Aborted and carries on quietly.
void PngWriteData(png_structp png, png_bytep data, size_t length);
void PngFlushNothing(png_structp png);

/// The reader's allocator: libpng lets some oversized chunks through with only
/// a warning and then asks for their whole length, so every block is
/// checked here against a per-block and a running total.
struct TPngMemory {
  size_t Live = 0;
};
/// Allocation callbacks; the io pointer of create_struct_2's mem_ptr is a TPngMemory.
png_voidp PngLimitedMalloc(png_structp png, png_alloc_size_t size);
void PngCountedFree(png_structp png, png_voidp block);

/// Limits that keep a small hostile file from making libpng allocate
/// without bound (image size, number and size of ancillary chunks).
void SetPngReadLimits(png_structp png);

}  // namespace tessaly::png_detail
