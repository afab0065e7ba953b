// Tessaly: the table of image formats, lookups by code and extension, and
// recognition of a format from the first bytes of a stream or file.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "io/codec_progress.h"
#include "io/file_types.h"
#include "io/io_params.h"
#include "platform/stream.h"
#include "raster/bitmap.h"

namespace tessaly {

/// An add-on reader: fills the bitmap (or, with params_only, only the
/// record) from the stream. It may throw; the I/O object turns that into
/// Aborted.
using TImAddOnReader = std::function<void(TStream& stream, TImBitmap& bitmap, TIOParamsVals& params,
                                          bool params_only, TCodecProgress& progress)>;
/// An add-on writer: writes one image at the stream's position.
using TImAddOnWriter =
    std::function<void(TStream& stream, TImBitmap& bitmap, TIOParamsVals& params, TCodecProgress& progress)>;
/// An add-on content test; the caller restores the stream position.
using TImAddOnTest = std::function<bool(TStream& stream)>;

/// One format of the registry.
struct TImFileFormatInfo {
  int FileType = ftUnknown;
  std::string FullName;
  /// Upper-case extensions without dots, separated by ";".
  std::string Extensions;
  /// Implemented by this system (dispatched by FileType); false for add-ons.
  bool Internal = false;
  // For built-in rows these are markers of what the format offers; for an
  // add-on row they follow its functions.
  bool ReaderPresent = false;
  bool WriterPresent = false;
  bool TestPresent = false;
  TImAddOnReader ReadFunction;
  TImAddOnWriter WriteFunction;
  TImAddOnTest TestFunction;
};

/// The row of a code, or null (the first row with that code).
const TImFileFormatInfo* FindFormatByType(int file_type);
/// The row of an extension ("JPG", ".jpg", "Jpeg"), or null. The first row
/// in table order wins.
const TImFileFormatInfo* FindFormatByExtension(const std::string& extension);
/// Every row in table order (built-in rows first, then add-ons).
std::vector<TImFileFormatInfo> RegisteredFormats();

/// Appends an add-on row; Internal and the presence markers are set from
/// the functions given.
void RegisterFileFormat(TImFileFormatInfo info);
/// Removes the add-on row of that code; built-in rows stay until exit.
/// Returns whether a row was removed.
bool RemoveFileFormat(int file_type);

/// True exactly when the extension of the path names a row with a reader.
bool IsKnownImageFile(const std::string& path);

/// The format recognised from the stream's content, ftUnknown when none.
/// The stream position is left where it was.
int DetectStreamFormat(TStream& stream);
/// The format of a file by content, reconciled with its extension. 0 for an
/// empty name, a missing file, a directory or an unreadable file.
int DetectFileFormat(const std::string& path, bool check_extension);

/// The extension of a path, lower-cased, with its dot ("" when none).
std::string LowerFileExt(const std::string& path);

}  // namespace tessaly
