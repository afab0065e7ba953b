// Tessaly: the I/O object through which every image enters and leaves.
#pragma once

#include <memory>
#include <string>

#include "io/codec_progress.h"
#include "io/file_types.h"
#include "io/io_params.h"
#include "platform/stream.h"
#include "raster/bitmap.h"
#include "raster/pixel_types.h"

namespace tessaly {

class TImageHolder;
struct TImFileFormatInfo;
struct TInternalCodec;

/// Decodes files and streams into a bitmap and encodes it back, choosing
/// the codec by extension (files) or by file-type code (streams).
///
/// Outcome: Aborted is false after a successful load or save and true after
/// one that failed (unknown extension, missing reader or writer, a codec
/// error, a missing stream header, a cancel from OnProgress). A file that
/// cannot be opened or created raises EFOpenError / EFCreateError.
class TImageIO {
 private:
  // Declared first: the parameter record's defaults look at the holder.
  TImageHolder* holder_ = nullptr;
  std::unique_ptr<TImBitmap> own_bitmap_;
  TColor background_ = 0;

 public:
  /// Attached to the holder when one is given (the holder does this).
  explicit TImageIO(TImageHolder* holder = nullptr);
  ~TImageIO();
  TImageIO(const TImageIO&) = delete;
  TImageIO& operator=(const TImageIO&) = delete;

  /// The parameter record the codecs fill and consult.
  TIOParamsVals IOParams{this};
  /// Set by a failed load or save, or by an OnProgress handler to cancel.
  bool Aborted = false;
  /// Precede JPEG, TIFF and PCX stream saves with a 12-byte header (tag,
  /// 0, data length); TIFF and PCX stream loads then require it.
  bool StreamHeaders = false;
  /// Sender and percentage 0..100; unset by default.
  TImProgressEvent OnProgress;
  /// Fired at the end of every load and save; unset by default.
  TImNotifyEvent OnFinishWork;

  TImageHolder* AttachedHolder() const { return holder_; }
  /// Works on the holder's bitmap from now on and reads its Background.
  void AttachToHolder(TImageHolder* holder);
  /// The working bitmap: the holder's when attached, else the owned one.
  TImBitmap* Bitmap();

  /// The holder's background when attached, else the object's own.
  TColor Background() const;
  /// Changes only the object's own colour, never the holder's.
  void SetBackground(TColor color) { background_ = color; }

  bool NativePixelFormat() const { return IOParams.NativePixelFormat; }
  void SetNativePixelFormat(bool native) { IOParams.NativePixelFormat = native; }

  // ---- by name and by content
  /// Format by extension. An unknown extension sets Aborted and changes
  /// nothing else.
  void LoadFile(const std::string& path);
  /// Format by content, ignoring the extension; LoadFile when not found.
  void LoadFileByContent(const std::string& path);
  /// Format by content; an unrecognised stream sets Aborted.
  void LoadStream(TStream& stream);
  /// Format by extension. Without a writer for it, Aborted and no file.
  void SaveFile(const std::string& path);
  /// Format by code; without a writer, Aborted and nothing written.
  void SaveStream(TStream& stream, int file_type);

  /// Reads only the parameters of a file (Width, Height, resolution and the
  /// like) without decoding pixels; the bitmap is left alone.
  void ParamsFromFile(const std::string& path);
  /// The same for a stream of a known format.
  void ParamsFromStream(TStream& stream, int file_type);

  // ---- one format, by code (the families below call these)
  void LoadFileOfType(const std::string& path, int file_type);
  void LoadStreamOfType(TStream& stream, int file_type);
  void SaveFileOfType(const std::string& path, int file_type);
  void SaveStreamOfType(TStream& stream, int file_type);

  // ---- per-format families
  void LoadFileBMP(const std::string& path) { LoadFileOfType(path, ftBMP); }
  void LoadStreamBMP(TStream& stream) { LoadStreamOfType(stream, ftBMP); }
  void SaveFileBMP(const std::string& path) { SaveFileOfType(path, ftBMP); }
  void SaveStreamBMP(TStream& stream) { SaveStreamOfType(stream, ftBMP); }
  void LoadFileJPEG(const std::string& path) { LoadFileOfType(path, ftJPEG); }
  void LoadStreamJPEG(TStream& stream) { LoadStreamOfType(stream, ftJPEG); }
  void SaveFileJPEG(const std::string& path) { SaveFileOfType(path, ftJPEG); }
  void SaveStreamJPEG(TStream& stream) { SaveStreamOfType(stream, ftJPEG); }
  void LoadFilePNG(const std::string& path) { LoadFileOfType(path, ftPNG); }
  void LoadStreamPNG(TStream& stream) { LoadStreamOfType(stream, ftPNG); }
  void SaveFilePNG(const std::string& path) { SaveFileOfType(path, ftPNG); }
  void SaveStreamPNG(TStream& stream) { SaveStreamOfType(stream, ftPNG); }
  void LoadFileGIF(const std::string& path) { LoadFileOfType(path, ftGIF); }
  void LoadStreamGIF(TStream& stream) { LoadStreamOfType(stream, ftGIF); }
  void SaveFileGIF(const std::string& path) { SaveFileOfType(path, ftGIF); }
  void SaveStreamGIF(TStream& stream) { SaveStreamOfType(stream, ftGIF); }
  void LoadFileTIFF(const std::string& path) { LoadFileOfType(path, ftTIFF); }
  void LoadStreamTIFF(TStream& stream) { LoadStreamOfType(stream, ftTIFF); }
  void SaveFileTIFF(const std::string& path) { SaveFileOfType(path, ftTIFF); }
  void SaveStreamTIFF(TStream& stream) { SaveStreamOfType(stream, ftTIFF); }
  void LoadFilePCX(const std::string& path) { LoadFileOfType(path, ftPCX); }
  void LoadStreamPCX(TStream& stream) { LoadStreamOfType(stream, ftPCX); }
  void SaveFilePCX(const std::string& path) { SaveFileOfType(path, ftPCX); }
  void SaveStreamPCX(TStream& stream) { SaveStreamOfType(stream, ftPCX); }
  void LoadFileDCX(const std::string& path) { LoadFileOfType(path, ftDCX); }
  void LoadStreamDCX(TStream& stream) { LoadStreamOfType(stream, ftDCX); }
  void SaveFileDCX(const std::string& path) { SaveFileOfType(path, ftDCX); }
  void SaveStreamDCX(TStream& stream) { SaveStreamOfType(stream, ftDCX); }
  void LoadFileTGA(const std::string& path) { LoadFileOfType(path, ftTGA); }
  void LoadStreamTGA(TStream& stream) { LoadStreamOfType(stream, ftTGA); }
  void SaveFileTGA(const std::string& path) { SaveFileOfType(path, ftTGA); }
  void SaveStreamTGA(TStream& stream) { SaveStreamOfType(stream, ftTGA); }
  void LoadFileICO(const std::string& path) { LoadFileOfType(path, ftICO); }
  void LoadStreamICO(TStream& stream) { LoadStreamOfType(stream, ftICO); }
  void SaveFileICO(const std::string& path) { SaveFileOfType(path, ftICO); }
  void SaveStreamICO(TStream& stream) { SaveStreamOfType(stream, ftICO); }
  void LoadFileCUR(const std::string& path) { LoadFileOfType(path, ftCUR); }
  void LoadStreamCUR(TStream& stream) { LoadStreamOfType(stream, ftCUR); }

 private:
  TCodecProgress MakeProgress();
  /// Reports 100 through the relay (when asked), then fires OnFinishWork.
  void FinishWork(bool report_complete);
  void Fail();

  void RunLoad(TStream& stream, const TInternalCodec& codec, const std::string& file_name, bool from_file,
               bool info_only);
  void RunSave(TStream& stream, const TInternalCodec& codec, bool to_file);
  void LoadFileWithAddOn(const std::string& path, const TImFileFormatInfo& row, bool info_only);
  void LoadStreamWithAddOn(TStream& stream, const TImFileFormatInfo& row, bool info_only);
  /// The checks and information reset every add-on load starts with; false when it ends there.
  bool BeginAddOnLoad(const TImFileFormatInfo& row);
  void RunAddOnLoad(TStream& stream, const TImFileFormatInfo& row, bool info_only, const std::string& file_name);
  void RunAddOnWrite(TStream& stream, TImBitmap& bitmap, const TImFileFormatInfo& row);
  void SaveFileWithAddOn(const std::string& path, const TImFileFormatInfo& row);
  void SaveStreamWithAddOn(TStream& stream, const TImFileFormatInfo& row);
  /// Dispatch of a registry row (built-in or add-on) for a file load.
  void LoadFileOfRow(const std::string& path, const TImFileFormatInfo& row, bool info_only);
  void LoadFileOfTypeImpl(const std::string& path, int file_type, bool info_only);
  void LoadStreamOfTypeImpl(TStream& stream, int file_type, bool info_only);
  /// The format of a load by name; null (and Aborted set) when there is none.
  const TImFileFormatInfo* FormatOfName(const std::string& path);
};

}  // namespace tessaly
