// Tessaly: the built-in codecs, one row per format, in registry order.
#include "io/codec_table.h"

#include "codecs/bmp/bmp.h"

#include "codecs/png/png_codec.h"

#include "codecs/jpeg/jpeg_codec.h"

namespace tessaly {

namespace {

// Each codec fills its row when it is built; a null entry behaves like a
// format without that operation.
constexpr TInternalCodec kCodecs[] = {
    {ftTIFF, nullptr, nullptr, nullptr, TSavePreparation::kNone},
    {ftGIF, nullptr, nullptr, nullptr, TSavePreparation::kNone},
    {ftJPEG, LoadJpegCodec, SaveJpegCodec, IsJpegStream, TSavePreparation::kTo24Bit},
    {ftPCX, nullptr, nullptr, nullptr, TSavePreparation::kTo24Bit},
    {ftBMP, LoadStreamBmp, SaveStreamBmp, TestBmpStream, TSavePreparation::kNone},
    {ftICO, nullptr, nullptr, nullptr, TSavePreparation::kTo24Bit},
    {ftCUR, nullptr, nullptr, nullptr, TSavePreparation::kNone},
    {ftPNG, LoadPngCodec, SavePngCodec, IsPngStream, TSavePreparation::kMaskFromAlpha},
    {ftTGA, nullptr, nullptr, nullptr, TSavePreparation::kTo24BitAndMask},
    {ftPXM, nullptr, nullptr, nullptr, TSavePreparation::kNone},
    {ftWBMP, nullptr, nullptr, nullptr, TSavePreparation::kNone},
    {ftJP2, nullptr, nullptr, nullptr, TSavePreparation::kNone},
    {ftJ2K, nullptr, nullptr, nullptr, TSavePreparation::kNone},
    {ftDCX, nullptr, nullptr, nullptr, TSavePreparation::kNone},
};

}  // namespace

const TInternalCodec* FindInternalCodec(int file_type) {
  for (const TInternalCodec& codec : kCodecs) {
    if (codec.FileType == file_type) return &codec;
  }
  return nullptr;
}

}  // namespace tessaly
