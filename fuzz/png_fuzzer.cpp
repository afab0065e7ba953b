// Tessaly fuzz target: the PNG reader, reached through the I/O object's
// stream load the way every load is, after the parameters-only probe.
#include <cstddef>
#include <cstdint>

#include "io/image_io.h"
#include "platform/stream.h"

namespace {
// The reader takes any picture the file's size can justify (deflate packs up
// to about 1032 bytes into one), and a 1-bit file grows 24-fold in memory;
// the fuzzer's memory limit is smaller than that, so huge pictures stop after the probe.
constexpr int64_t kMaxFuzzPixels = int64_t{1} << 24;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tessaly::TBufferStream stream(data, static_cast<int64_t>(size));
  tessaly::TImageIO io;
  // The size picks the option, so that the native grey and palette path gets
  // its turn without taking bytes from the file.
  io.SetNativePixelFormat((size & 1) != 0);
  io.ParamsFromStream(stream, tessaly::ftPNG);
  if (io.Aborted || int64_t{io.IOParams.Width} * io.IOParams.Height > kMaxFuzzPixels) return 0;
  stream.SetPosition(0);
  io.LoadStreamPNG(stream);
  return 0;
}
