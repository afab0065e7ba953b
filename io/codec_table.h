// Tessaly: the built-in codecs, as the I/O object dispatches to them.
#pragma once

#include <cstdint>
#include <memory>

#include "io/codec_progress.h"
#include "io/file_types.h"
#include "io/io_params.h"
#include "platform/stream.h"
#include "raster/bitmap.h"
#include "raster/mask.h"

namespace tessaly {

/// What a built-in reader receives from the load skeleton.
struct TLoadArgs {
  TStream& Stream;           // positioned at the image
  TImBitmap& Bitmap;         // the working bitmap, to be allocated by the reader
  TIOParamsVals& Params;     // information part already reset
  TCodecProgress& Progress;  // Aborted is reported through it
  TColor Background = 0;     // the I/O object's Background (PNG presets its option from it)
  bool InfoOnly = false;     // fill the parameters and stop before allocating pixels
  int64_t StreamSize = 0;    // bytes available from the start position, 0 when unknown
  std::unique_ptr<TImMask> Mask;  // an opacity plane the reader hands back, or none
};

/// What a built-in writer receives from the save skeleton (after the format's
/// preparation: conversion to 24-bit colour, the opacity mask).
struct TSaveArgs {
  TStream& Stream;           // the writer starts at its current position
  TImBitmap& Bitmap;
  TIOParamsVals& Params;
  TCodecProgress& Progress;
  const TImMask* Mask = nullptr;  // from the alpha channel, for the formats that want one
};

using TCodecLoad = void (*)(TLoadArgs& args);
using TCodecSave = void (*)(TSaveArgs& args);
/// A content test: answers without moving the stream for good.
using TCodecTest = bool (*)(TStream& stream);

/// What the save skeleton does before it calls the writer.
enum class TSavePreparation : uint8_t {
  kNone,
  kTo24Bit,          // to 24-bit colour unless 24-bit colour or 1-bit
  kMaskFromAlpha,    // an opacity mask from the alpha channel, when there is one
  kTo24BitAndMask,   // both (Targa)
};

/// One built-in codec. A null function means that part is not built (yet):
/// the dispatch then treats the format as one without a reader or writer.
struct TInternalCodec {
  TFileType FileType;
  TCodecLoad Load;
  TCodecSave Save;
  TCodecTest Test;
  TSavePreparation Preparation;
};

/// The built-in codec of a file type, or null.
const TInternalCodec* FindInternalCodec(int file_type);

}  // namespace tessaly
