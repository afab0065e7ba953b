// Tessaly: decoding the next photos of a batch on the other cores.
#include "app/batch_decode_ahead.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <system_error>
#include <thread>

#include "app/photo_measure.h"
#include "io/image_holder.h"
#include "io/image_io.h"
#include "platform/system_info.h"

namespace tessaly {

namespace {

std::atomic<bool> g_decode_ahead{true};

struct TFileIdentity {
  bool Ok = false;
  struct stat Info {};
};

TFileIdentity IdentityOf(const std::string& path) {
  TFileIdentity id;
  id.Ok = ::stat(path.c_str(), &id.Info) == 0;
  return id;
}

bool SameFile(const TFileIdentity& a, const TFileIdentity& b) {
  if (!a.Ok || !b.Ok) return false;
  const struct stat& x = a.Info;
  const struct stat& y = b.Info;
  return x.st_dev == y.st_dev && x.st_ino == y.st_ino && x.st_size == y.st_size &&
         x.st_mtim.tv_sec == y.st_mtim.tv_sec && x.st_mtim.tv_nsec == y.st_mtim.tv_nsec &&
         x.st_ctim.tv_sec == y.st_ctim.tv_sec && x.st_ctim.tv_nsec == y.st_ctim.tv_nsec;
}

// The parameters the JPEG reader reads besides the file.
bool SameReaderInputs(const TIOParamsVals& a, const TIOParamsVals& b) {
  return a.JpegScale == b.JpegScale && a.NativePixelFormat == b.NativePixelFormat &&
         a.JpegDctMethod == b.JpegDctMethod && (a.JpegScale != 0 || (a.Width == b.Width && a.Height == b.Height));
}

}  // namespace

struct TDecodeAhead::TSlot {
  int Index = -1;
  std::string Path;
  unsigned Generation = 0;
  TFileIdentity Before;
  TImageIO IO;  // its own bitmap and parameters
  TIOParamsVals Inputs;
  bool Raised = false;
  std::atomic<bool> Done{false};
  std::thread Worker;

  void Run() {
    try {
      IO.LoadFile(Path);
    } catch (...) {
      Raised = true;  // the loop's own load raises it again, at its moment
    }
    Done.store(true);
  }
  void Join() {
    if (Worker.joinable()) Worker.join();
  }
};

int BatchDecodeAheadDepth() { return g_decode_ahead.load() && ProcessorCount() > 1 ? 2 : 0; }
void SetBatchDecodeAhead(bool on) { g_decode_ahead.store(on); }

TDecodeAhead::TDecodeAhead(int depth) : depth_(std::max(depth, 0)) {}

TDecodeAhead::~TDecodeAhead() {
  for (auto& s : slots_) s->Join();
  Reap(true);
}

void TDecodeAhead::Reap(bool wait) {
  for (auto it = stale_.begin(); it != stale_.end();) {
    if (wait || (*it)->Done.load()) {
      (*it)->Join();
      it = stale_.erase(it);
    } else {
      ++it;
    }
  }
}

void TDecodeAhead::Invalidate() {
  ++generation_;
  for (auto& s : slots_) stale_.push_back(std::move(s));
  slots_.clear();
}

void TDecodeAhead::Start(int index, const std::string& path, const TIOParamsVals& params) {
  Reap(false);
  if (depth_ == 0 || !IsJpegByName(path)) return;
  for (const auto& s : slots_) {
    if (s->Index == index) return;
  }
  // Stale decodes still running count against the depth: their memory is live.
  if (static_cast<int>(slots_.size() + stale_.size()) >= depth_) return;
  auto slot = std::make_unique<TSlot>();
  slot->Index = index;
  slot->Path = path;
  slot->Generation = generation_;
  slot->IO.IOParams.Assign(params);
  slot->Inputs.Assign(params);
  slot->Before = IdentityOf(path);  // before a single byte is read
  try {
    slot->Worker = std::thread([s = slot.get()] { s->Run(); });
  } catch (const std::system_error&) {
    return;  // no thread: the loop loads it itself
  }
  slots_.push_back(std::move(slot));
}

bool TDecodeAhead::Take(int index, const std::string& path, TImageHolder& holder) {
  auto it = std::find_if(slots_.begin(), slots_.end(), [index](const auto& s) { return s->Index == index; });
  if (it == slots_.end()) return false;
  std::unique_ptr<TSlot> slot = std::move(*it);
  slots_.erase(it);
  slot->Join();
  TImageIO& own = holder.IO();
  TImBitmap* decoded = slot->IO.Bitmap();
  if (slot->Generation != generation_ || slot->Raised || slot->IO.Aborted || slot->Path != path ||
      decoded == nullptr || decoded->IsEmpty() || decoded->HasAlphaChannel() || own.OnProgress ||
      own.OnFinishWork || !SameReaderInputs(slot->Inputs, own.IOParams) ||
      !SameFile(slot->Before, IdentityOf(path))) {
    return false;
  }
  // What the load does to the holder's bitmap: the alpha channel goes, the
  // bitmap is allocated at the decoded size and format, every row written.
  TImBitmap& bitmap = holder.Bitmap();
  bitmap.RemoveAlphaChannel(false, 0);
  if (!bitmap.AllocateFrom(*decoded)) {
    if (!bitmap.Allocate(decoded->Width(), decoded->Height(), decoded->PixelFormat())) return false;
    const size_t bytes = static_cast<size_t>(std::min(bitmap.RowLen(), decoded->RowLen()));
    for (int32_t y = 0; y < bitmap.Height(); ++y) std::memcpy(bitmap.ScanLine(y), decoded->ScanLine(y), bytes);
  }
  // And to the I/O object and the holder.
  own.IOParams.Assign(slot->IO.IOParams);
  own.Aborted = false;
  holder.SetDpiX(own.IOParams.DpiX);
  holder.SetDpiY(own.IOParams.DpiY);
  holder.Update();
  return true;
}

}  // namespace tessaly
