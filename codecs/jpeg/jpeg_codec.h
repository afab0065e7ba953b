// Tessaly: the JPEG reader and writer over the system's streams.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "io/codec_progress.h"
#include "io/codec_table.h"
#include "io/io_params.h"
#include "platform/stream.h"
#include "raster/bitmap.h"

namespace tessaly {

/// A library failure while writing, with the library's message ("?" for
/// each value the message would have named).
class EImJpegException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// How ReadJpegStream decodes.
struct TJpegReadOptions {
  /// A stream holding only tables (JPEG inside TIFF), read before the image; or none.
  TStream* TablesStream = nullptr;
  /// Grey stays im8g and CMYK stays imCMYK; otherwise every image is im24RGB.
  bool NativePixelFormat = false;
  /// Rows to decode; -1 for the whole image.
  int LineLimit = -1;
  /// Ask for the embedded colour profile and the interpretation of the kept
  /// segments (the load entry points set both).
  bool ReadIcc = false;
  bool ApplyIcc = false;
  bool ParseMetadata = false;
  /// Invert CMYK samples before they are turned into RGB.
  bool InvertCmyk = false;
  /// YCbCr samples without colour conversion.
  bool RawYCbCr = false;
  /// Stop after the header: the parameters without pixels.
  bool InfoOnly = false;
};

/// Decodes one JPEG datastream that starts within 150 bytes of the stream's
/// position. Returns the rows decoded; a damaged file sets Aborted through
/// the progress record and never raises.
int ReadJpegStream(TStream& stream, TImBitmap& bitmap, TIOParamsVals& params,
                   TCodecProgress& progress, const TJpegReadOptions& options = {});

/// Writes one complete JPEG datastream at the stream's position. A short
/// write sets Aborted; a library failure raises EImJpegException.
void WriteJpegStream(TStream& stream, TImBitmap& bitmap, TIOParamsVals& params,
                     TCodecProgress& progress);

/// The position of the first FF D8 FF among the 150 positions from the
/// current one, or -1. The position is left unchanged.
int64_t FindJpegStart(TStream& stream);

/// Bytes from the current position to the end of the first EOI marker (or
/// to the end of the stream when there is none). The position is left unchanged.
int64_t MeasureJpegStream(TStream& stream);

/// The content test: a start of image within the first 150 bytes.
bool IsJpegStream(TStream& stream);

/// The codec table's entry points: the whole image with its metadata, and
/// the writer.
void LoadJpegCodec(TLoadArgs& args);
void SaveJpegCodec(TSaveArgs& args);

}  // namespace tessaly
