// Tessaly: the save skeleton every built-in writer runs in, and add-on saves.
#include <exception>

#include "io/codec_lookup.h"
#include "io/format_registry.h"
#include "io/image_holder.h"
#include "io/image_io.h"
#include "io/stream_header.h"

namespace tessaly {

namespace {

// Formats without palettes or deep colour take 24-bit colour; 1-bit black
// and white passes, every such writer stores it as it is.
void To24BitUnlessBilevel(TImBitmap& bitmap) {
  if (bitmap.IsEmpty() || bitmap.PixelFormat() == im24RGB || bitmap.PixelFormat() == im1g) return;
  bitmap.ConvertToPixelFormat(im24RGB);
}

}  // namespace

void TImageIO::SaveFileOfType(const std::string& path, int file_type) {
  const TInternalCodec* codec = LookupCodec(file_type);
  // Checked before the file is created, so a missing writer leaves no
  // empty file behind.
  if (codec == nullptr || codec->Save == nullptr || Bitmap() == nullptr) {
    Aborted = true;
    return;
  }
  TFileStream stream(path, TFileMode::fmCreate);  // EFCreateError reaches the caller
  RunSave(stream, *codec, true);
  if (!stream.Flush()) Aborted = true;  // a full disk is a failed save
  IOParams.FileName = path;
  IOParams.FileType = file_type;
}

void TImageIO::SaveStreamOfType(TStream& stream, int file_type) {
  const TInternalCodec* codec = LookupCodec(file_type);
  if (codec == nullptr || codec->Save == nullptr) {
    Aborted = true;
    return;
  }
  RunSave(stream, *codec, false);
}

void TImageIO::RunSave(TStream& stream, const TInternalCodec& codec, bool to_file) {
  Aborted = false;
  TImBitmap* bitmap = Bitmap();
  if (bitmap == nullptr) {
    FinishWork(false);
    return;
  }
  TCodecProgress progress = MakeProgress();

  const bool to_24bit =
      codec.Preparation == TSavePreparation::kTo24Bit || codec.Preparation == TSavePreparation::kTo24BitAndMask;
  const bool with_mask = codec.Preparation == TSavePreparation::kMaskFromAlpha ||
                         codec.Preparation == TSavePreparation::kTo24BitAndMask;
  if (to_24bit) To24BitUnlessBilevel(*bitmap);
  TImMask mask;
  bool have_mask = false;
  if (with_mask && bitmap->HasAlphaChannel()) {
    bitmap->ExistingAlphaChannel()->CopyToMask(mask);
    have_mask = mask.Width() == bitmap->Width() && mask.Height() == bitmap->Height();
  }

  // A header belongs to stream saves only: a file must stay a plain image
  // file that other programs read.
  const bool headed = !to_file && StreamHeaders && StreamHeaderTag(codec.FileType) != nullptr;
  const int64_t header_at = stream.Position();
  const bool header_written = headed && WriteStreamHeader(stream, codec.FileType, 0);
  if (headed && !header_written) Aborted = true;

  if (!Aborted) {
    TSaveArgs args{stream, *bitmap, IOParams, progress, nullptr};
    args.Mask = have_mask ? &mask : nullptr;
    try {
      codec.Save(args);
    } catch (const std::exception&) {
      // Writers report failure through Aborted; a thrown error from below
      // (memory, the disk) ends the save the same way.
      Aborted = true;
    }
  }

  if (header_written && !(codec.FileType == ftPCX && Aborted)) {
    const int64_t end = stream.Position();
    const int64_t length = end - header_at - kStreamHeaderSize;
    stream.SetPosition(header_at);
    if (!WriteStreamHeader(stream, codec.FileType, static_cast<uint32_t>(length > 0 ? length : 0)))
      Aborted = true;
    stream.SetPosition(end);
  }
  FinishWork(true);
}

// ---- add-on writers

void TImageIO::SaveFileWithAddOn(const std::string& path, const TImFileFormatInfo& row) {
  TImBitmap* bitmap = Bitmap();
  if (!row.WriteFunction || bitmap == nullptr) {
    Aborted = true;
    return;
  }
  To24BitUnlessBilevel(*bitmap);
  TFileStream stream(path, TFileMode::fmCreate);  // EFCreateError reaches the caller
  Aborted = false;
  IOParams.FileName = path;
  IOParams.FileType = row.FileType;
  RunAddOnWrite(stream, *bitmap, row);
  if (!stream.Flush()) Aborted = true;
  IOParams.FileName = path;
  IOParams.FileType = row.FileType;
  FinishWork(false);
}

void TImageIO::SaveStreamWithAddOn(TStream& stream, const TImFileFormatInfo& row) {
  TImBitmap* bitmap = Bitmap();
  if (!row.WriteFunction || bitmap == nullptr) {
    Aborted = true;
    return;
  }
  To24BitUnlessBilevel(*bitmap);
  Aborted = false;
  IOParams.FileType = row.FileType;
  RunAddOnWrite(stream, *bitmap, row);
  FinishWork(false);
}

void TImageIO::RunAddOnWrite(TStream& stream, TImBitmap& bitmap, const TImFileFormatInfo& row) {
  TCodecProgress progress = MakeProgress();
  // An add-on's own error is a failed save, not the caller's exception.
  try {
    row.WriteFunction(stream, bitmap, IOParams, progress);
  } catch (...) {
    Aborted = true;
  }
}

}  // namespace tessaly
