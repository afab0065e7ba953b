// Tessaly: decoding the next photos of a batch on the other cores.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace tessaly {

class TImageHolder;
class TIOParamsVals;

/// Photos decoded ahead of the batch loop, each on a thread of its own
/// into a private I/O object, so that the loop finds the next photo ready.
///
/// Only JPEG photos are decoded ahead, and a result is handed over only
/// where it is exactly what the holder's own LoadFile would leave: the load
/// succeeded; the file is the one that was read (same inode, size and
/// times as before the read); no other load ran on the holder since the
/// parameters were copied, and the parameters the JPEG reader reads are
/// unchanged; no progress or finish event is set on the holder's I/O object.
/// A successful JPEG load rewrites every parameter that saving a BMP, JPEG
/// or PNG file changes; the run decodes ahead only for those outputs.
/// Everything else is loaded by the loop itself, as before. Nothing here
/// writes a file.
class TDecodeAhead {
 public:
  /// depth: photos decoded ahead at most (0 turns it off).
  explicit TDecodeAhead(int depth);
  ~TDecodeAhead();
  TDecodeAhead(const TDecodeAhead&) = delete;
  TDecodeAhead& operator=(const TDecodeAhead&) = delete;

  int Depth() const { return depth_; }
  /// Starts decoding photo `index` with a copy of `params`, unless it is not
  /// a JPEG file or is being decoded already.
  void Start(int index, const std::string& path, const TIOParamsVals& params);
  /// Puts photo `index` into the holder as holder.IO().LoadFile(path) would;
  /// false when that cannot be promised and the caller must load it.
  bool Take(int index, const std::string& path, TImageHolder& holder);
  /// Another load ran on the holder, or something else may change its
  /// parameters: nothing started before is handed over.
  void Invalidate();

 private:
  struct TSlot;
  void Reap(bool wait);

  int depth_;
  unsigned generation_ = 0;
  std::vector<std::unique_ptr<TSlot>> slots_;
  std::vector<std::unique_ptr<TSlot>> stale_;
};

/// Photos a batch run decodes ahead: 2 on a machine with more than one core,
/// else 0. SetBatchDecodeAhead(false) turns it off (to compare the two).
int BatchDecodeAheadDepth();
void SetBatchDecodeAhead(bool on);

}  // namespace tessaly
