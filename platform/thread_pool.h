// Tessaly: a small pool that runs row-range work on several threads.
#pragma once

#include <cstdint>
#include <functional>

namespace tessaly {

/// One thread's share of the rows: [First, First + Count), and its index.
struct TRowRange {
  int32_t First = 0;
  int32_t Count = 0;
  int Index = 0;
};

/// Runs a piece of work over a range of rows on a fixed number of threads.
/// Threads 0 .. T-2 get rows div T consecutive rows each and the last thread
/// the rest. Share 0 runs on the calling thread, so anything it reports
/// (progress) reaches the caller on the caller's own thread; the others run
/// on threads that live only for one call. No locks: the work must write
/// disjoint rows.
class TThreadPool {
 public:
  /// thread_count below 1 means one thread per processor core.
  explicit TThreadPool(int thread_count = 0);

  int ThreadCount() const { return thread_count_; }

  /// The share of thread `index` out of `threads` for `rows` rows.
  static TRowRange Share(int32_t rows, int threads, int index);

  /// Calls work once per non-empty share and returns when all have ended.
  /// An exception thrown by any share is rethrown here after the others end.
  /// A thread that cannot be started has its share run on the calling thread.
  void RunRows(int32_t rows, const std::function<void(const TRowRange&)>& work) const;

 private:
  int thread_count_;
};

}  // namespace tessaly
