// Tessaly: learning the width and height of photos being added to the list.
#include "app/photo_measure.h"

#include <atomic>
#include <cctype>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>

#include "codecs/jpeg/jpeg_codec.h"
#include "io/codec_progress.h"
#include "io/file_types.h"
#include "io/format_registry.h"
#include "io/image_holder.h"
#include "io/image_io.h"
#include "platform/stream.h"
#include "platform/system_info.h"

namespace tessaly {

namespace {

// The JPEG reader's scale code for decoding at 1/8.
constexpr uint8_t kJpegEighth = 4;

enum : int { kPending = 0, kClaimed = 1, kDone = 2 };

struct TProbe {
  std::atomic<int> State{kPending};
  bool Sized = false;  // the reader got as far as sizing the bitmap
  int32_t Width = 0, Height = 0;
  TImPixelLayout Format = imNoFormat;
  std::exception_ptr Error;
};

bool StartsWithLower(const std::string& text, const char* prefix) {
  for (size_t i = 0; prefix[i] != 0; ++i) {
    if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

// The JPEG reader, run as a load by name runs it, but stopped before the
// first row: it opens the file the same way (so the same error), reads the
// headers, checks the pixel count against the file's size, starts the
// library's decompression (which for a progressive or multi-scan file reads
// every scan, so its errors happen here too) and sizes the bitmap. At an
// eighth of the size that bitmap is small; the full size is the frame's.
void RunProbe(const std::string& name, TProbe& probe) {
  try {
    // Names a load by name refuses without opening anything.
    if (name.empty() || StartsWithLower(name, "http://") || StartsWithLower(name, "https://") ||
        StartsWithLower(name, "ftp://")) {
      return;
    }
    TFileStream stream(name, TFileMode::fmOpenRead);
    TIOParamsVals params;
    params.JpegScale = kJpegEighth;
    TImBitmap bitmap;
    bool aborted = false;
    TCodecProgress progress;
    progress.Aborted = &aborted;
    TJpegReadOptions options;
    options.NativePixelFormat = params.NativePixelFormat;
    options.ReadIcc = true;
    options.ParseMetadata = true;
    options.LineLimit = 0;
    try {
      ReadJpegStream(stream, bitmap, params, progress, options);
    } catch (const std::exception&) {
      // A load ends the same way; the size is what the reader got to.
    }
    probe.Sized = !bitmap.IsEmpty();
    probe.Width = params.OriginalWidth;
    probe.Height = params.OriginalHeight;
    probe.Format = bitmap.PixelFormat();
  } catch (...) {
    probe.Error = std::current_exception();
  }
}

}  // namespace

bool IsJpegByName(const std::string& path) {
  const TImFileFormatInfo* row = FindFormatByExtension(LowerFileExt(path));
  return row != nullptr && row->Internal && row->FileType == ftJPEG;
}

struct TPhotoMeasurer::TState {
  explicit TState(const std::vector<std::string>& list) : names(list), probes(list.size()) {}

  const std::vector<std::string>& names;
  std::vector<TProbe> probes;
  std::vector<size_t> jpegs;  // indices of the JPEG names, in list order
  std::atomic<bool> stop{false};
  std::thread worker;
  TImageHolder holder;        // full loads, in order
  // What the bitmap of an intake holder that decodes everything in full
  // would hold now.
  int32_t width = 0, height = 0;
  TImPixelLayout format = imNoFormat;

  bool Claim(TProbe& p) {
    int expected = kPending;
    return p.State.compare_exchange_strong(expected, kClaimed);
  }
  void Finish(TProbe& p) {
    p.State.store(kDone, std::memory_order_release);
    p.State.notify_all();
  }

  // The second core runs ahead along the JPEG names.
  void WorkAhead() {
    for (size_t index : jpegs) {
      if (stop.load()) break;
      TProbe& p = probes[index];
      if (!Claim(p)) continue;
      RunProbe(names[index], p);
      Finish(p);
    }
  }
};

TPhotoMeasurer::TPhotoMeasurer(const std::vector<std::string>& names) : state_(new TState(names)) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (IsJpegByName(names[i])) state_->jpegs.push_back(i);
  }
  if (state_->jpegs.size() >= 2 && ProcessorCount() > 1) {
    try {
      state_->worker = std::thread([s = state_] { s->WorkAhead(); });
    } catch (const std::system_error&) {
      // No second thread: every probe runs here.
    }
  }
}

TPhotoMeasurer::~TPhotoMeasurer() {
  state_->stop.store(true);
  if (state_->worker.joinable()) state_->worker.join();
  delete state_;
}

void TPhotoMeasurer::Measure(size_t index, int32_t& width, int32_t& height) {
  TState& s = *state_;
  const std::string& name = s.names[index];
  if (IsJpegByName(name)) {
    TProbe& p = s.probes[index];
    if (s.Claim(p)) {
      RunProbe(name, p);
      s.Finish(p);
    } else {
      int seen = p.State.load(std::memory_order_acquire);
      while (seen != kDone) {
        p.State.wait(seen);
        seen = p.State.load(std::memory_order_acquire);
      }
    }
    if (p.Error) {
      s.stop.store(true);
      std::rethrow_exception(p.Error);
    }
    if (p.Sized) {
      s.width = p.Width;
      s.height = p.Height;
      s.format = p.Format;
    }
  } else {
    TImBitmap& bitmap = s.holder.Bitmap();
    // The bitmap takes the size the previous photos left, so that a reader
    // that fails without touching it leaves that size, as it would have.
    if (s.width < 1 || s.height < 1 || s.format == imNoFormat) {
      if (!bitmap.IsEmpty()) bitmap.FreeImage();
    } else if (bitmap.Width() != s.width || bitmap.Height() != s.height) {
      bitmap.Allocate(s.width, s.height, s.format);
    }
    try {
      s.holder.IO().LoadFile(name);
    } catch (...) {
      s.stop.store(true);
      throw;
    }
    s.width = bitmap.Width();
    s.height = bitmap.Height();
    s.format = bitmap.PixelFormat();
  }
  width = s.width;
  height = s.height;
}

}  // namespace tessaly
