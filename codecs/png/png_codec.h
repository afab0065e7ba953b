// Tessaly: the PNG reader and writer, on libpng.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>

#include "io/codec_progress.h"
#include "io/codec_table.h"
#include "io/io_params.h"
#include "platform/stream.h"
#include "raster/bitmap.h"
#include "raster/mask.h"

namespace tessaly {

/// A picture that could not be encoded; the text is shown as it stands.
class EInvalidGraphic : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Reads one PNG from the stream's position into bitmap and params. With
/// info_only it stops after the header chunks. An alpha channel (or a tRNS
/// chunk) comes back as an 8-bit opacity plane in alpha. Never throws for a
/// damaged file: it sets Aborted through progress and returns.
/// available: bytes the stream holds from its position, 0 when unknown.
void ReadPngStream(TStream& stream, TImBitmap& bitmap, TIOParamsVals& params, bool info_only,
                   TCodecProgress& progress, std::unique_ptr<TImMask>* alpha = nullptr,
                   int64_t available = 0);

/// Writes one PNG at the stream's position. mask, when given and not full,
/// makes the output transparent. A short write sets Aborted; a library error
/// throws EInvalidGraphic("Error on creating PNG").
void WritePngStream(TStream& stream, TImBitmap& bitmap, TIOParamsVals& params, const TImMask* mask,
                    TCodecProgress& progress);

/// True when the stream starts with the PNG signature; the position is kept.
bool IsPngStream(TStream& stream);

/// The codec table's entries: the load presets PngBackground from the I/O
/// object's Background and hands the alpha plane back as the load's mask.
void LoadPngCodec(TLoadArgs& args);
void SavePngCodec(TSaveArgs& args);

}  // namespace tessaly
