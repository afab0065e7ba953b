// Tessaly fuzzing: the JPEG reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "codecs/jpeg/jpeg_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tessaly;
  if (size == 0) return 0;
  // The first byte picks the options, so the fuzzer explores the native
  // formats, scaled decoding, line limits and the raw paths too.
  const uint8_t choice = data[0];
  TJpegReadOptions options;
  options.NativePixelFormat = (choice & 1) != 0;
  options.InvertCmyk = (choice & 2) != 0;
  options.RawYCbCr = (choice & 0x40) != 0;
  options.LineLimit = (choice & 0x80) != 0 ? 7 : -1;
  TIOParamsVals params;
  params.JpegScale = static_cast<uint8_t>((choice >> 2) & 7);  // 0..7: automatic, 1/1..1/8, default
  params.JpegDctMethod = static_cast<uint8_t>((choice >> 5) & 1);
  params.Width = 100;
  params.Height = 60;

  TBufferStream stream(data + 1, static_cast<int64_t>(size - 1));
  TImBitmap bitmap;
  bool aborted = false;
  TCodecProgress progress;
  progress.Aborted = &aborted;
  const int rows = ReadJpegStream(stream, bitmap, params, progress, options);
  // Whatever the outcome, what came back must be readable end to end.
  if (rows < 0 || rows > bitmap.Height()) __builtin_trap();
  volatile uint8_t sink = 0;
  for (int32_t y = 0; y < bitmap.Height(); ++y) sink = sink + bitmap.ScanLine(y)[bitmap.RowLen() - 1];
  for (int i = 0; i < params.JpegMarkers.Count(); ++i) {
    if (params.JpegMarkers.MarkerLength(i) > 0) sink = sink + params.JpegMarkers.MarkerData(i).back();
  }
  // The kept segments and the decoded pixels must make a file again.
  if (!aborted && bitmap.Height() > 0 && bitmap.Width() <= 2048 && bitmap.Height() <= 2048) {
    TMemoryStream out;
    bool write_aborted = false;
    TCodecProgress write_progress;
    write_progress.Aborted = &write_aborted;
    try {
      WriteJpegStream(out, bitmap, params, write_progress);
    } catch (const EImJpegException&) {
      __builtin_trap();
    }
  }
  return 0;
}
