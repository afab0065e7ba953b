// Tessaly: the BMP codec's entry points, used by the I/O object, the icon
// codec (bare bitmaps without file header) and the GIF writer (two colours).
#pragma once

#include <cstdint>
#include <memory>

#include "io/codec_progress.h"
#include "io/io_params.h"
#include "platform/stream.h"
#include "raster/bitmap.h"
#include "raster/mask.h"

namespace tessaly {

struct TLoadArgs;
struct TSaveArgs;

/// Reads one bitmap from the stream's position, which is the origin of the
/// pixel-data offset. stream_size is the byte count available from there, or
/// 0 when unknown. Unless ignore_alpha, 32-bit files hand back their fourth
/// bytes in alpha (left empty when they are all 0 or all 255). no_file_header
/// (or params.ResourceData) reads a bare info header; params_only fills the
/// parameter record and stops before allocating the bitmap. Damaged data sets
/// Aborted through progress; nothing is thrown.
void ReadBmpStream(TStream& stream, TImBitmap& bitmap, int64_t stream_size, bool ignore_alpha,
                   std::unique_ptr<TImMask>& alpha, bool no_file_header, bool params_only,
                   TCodecProgress& progress, TIOParamsVals& params);

/// Writes one complete file at the stream's position. Depth, header form and
/// run-length coding come from params; a palette written replaces
/// params.ColorMap. A short write sets Aborted and leaves the zeroed headers.
void WriteBmpStream(TStream& stream, TImBitmap& bitmap, TIOParamsVals& params, bool write_alpha,
                    TCodecProgress& progress);

/// True when the stream holds more than a file header and starts with "BM".
/// The position is restored.
bool TestBmpStream(TStream& stream);

/// A 1-bit copy of an image of exactly two colours, bit 0 the darker one, with
/// the two colours in first (darker) and second; null for any other count.
std::unique_ptr<TImBitmap> ReduceToTwoColors(const TImBitmap& bitmap, TRGB& first, TRGB& second);

/// The codec table's adapters: the stream load (alpha only with BmpUseAlpha;
/// a parameters-only probe passes the stream size) and the stream save.
void LoadStreamBmp(TLoadArgs& args);
void SaveStreamBmp(TSaveArgs& args);

}  // namespace tessaly
