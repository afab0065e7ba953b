// Tessaly fuzz target: the BMP reader, reached through the I/O object's
// stream load the way every load is. A new target copies this file, names
// its format's stream load and keeps the two passes.
#include <cstddef>
#include <cstdint>

#include "io/image_io.h"
#include "platform/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tessaly::TBufferStream stream(data, static_cast<int64_t>(size));
  tessaly::TImageIO io;
  // The size picks the options, so that palette bitmaps and the alpha plane
  // get their own paths without taking bytes from the file.
  io.SetNativePixelFormat((size & 1) != 0);
  io.IOParams.BmpUseAlpha = (size & 2) != 0;
  io.LoadStreamBMP(stream);
  // The parameters-only probe reads the headers with the stream size known.
  stream.SetPosition(0);
  io.ParamsFromStream(stream, tessaly::ftBMP);
  return 0;
}
