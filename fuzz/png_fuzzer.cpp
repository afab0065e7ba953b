// Tessaly fuzzing: the PNG reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "codecs/png/png_codec.h"

namespace {
// The reader accepts any picture the file's size can justify; the fuzzer's
// memory limit is smaller than that, so very large pictures are left out.
constexpr int64_t kMaxFuzzPixels = int64_t{1} << 24;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tessaly;
  // Odd sizes take the native path (grey and palette kept as they are).
  const bool native = (size & 1) != 0;
  {
    TBufferStream stream(data, static_cast<int64_t>(size));
    TImBitmap bitmap;
    TIOParamsVals params;
    params.NativePixelFormat = native;
    bool aborted = false;
    TCodecProgress progress;
    progress.Aborted = &aborted;
    ReadPngStream(stream, bitmap, params, true, progress);
    if (aborted || int64_t{params.Width} * params.Height > kMaxFuzzPixels) return 0;
  }
  TBufferStream stream(data, static_cast<int64_t>(size));
  TImBitmap bitmap;
  TIOParamsVals params;
  params.NativePixelFormat = native;
  bool aborted = false;
  TCodecProgress progress;
  progress.Aborted = &aborted;
  std::unique_ptr<TImMask> alpha;
  ReadPngStream(stream, bitmap, params, false, progress, &alpha, static_cast<int64_t>(size));
  // Whatever the outcome, what came back must be readable end to end.
  if (alpha != nullptr && (alpha->Width() != bitmap.Width() || alpha->Height() != bitmap.Height())) __builtin_trap();
  volatile uint8_t sink = 0;
  for (int32_t y = 0; y < bitmap.Height(); ++y) sink = sink + bitmap.ScanLine(y)[bitmap.RowLen() - 1];
  return 0;
}
