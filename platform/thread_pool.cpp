// Tessaly: a small pool that runs row-range work on several threads.
#include "platform/thread_pool.h"

#include <exception>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/system_info.h"

namespace tessaly {

TThreadPool::TThreadPool(int thread_count)
    : thread_count_(thread_count >= 1 ? thread_count : ProcessorCount()) {}

TRowRange TThreadPool::Share(int32_t rows, int threads, int index) {
  if (threads < 1) threads = 1;
  const int32_t each = rows / threads;
  TRowRange range;
  range.Index = index;
  range.First = index * each;
  range.Count = index == threads - 1 ? rows - (threads - 1) * each : each;
  return range;
}

void TThreadPool::RunRows(int32_t rows, const std::function<void(const TRowRange&)>& work) const {
  if (rows <= 0) return;
  const int threads = thread_count_;
  std::vector<std::exception_ptr> errors(static_cast<size_t>(threads));
  auto run = [&](int index) {
    const TRowRange range = Share(rows, threads, index);
    if (range.Count <= 0) return;
    try {
      work(range);
    } catch (...) {
      errors[static_cast<size_t>(index)] = std::current_exception();
    }
  };

  std::vector<std::thread> workers;
  std::vector<int> inline_shares;
  workers.reserve(static_cast<size_t>(threads));
  for (int i = 1; i < threads; ++i) {
    if (Share(rows, threads, i).Count <= 0) continue;
    try {
      workers.emplace_back(run, i);
    } catch (const std::system_error&) {
      inline_shares.push_back(i);
    }
  }
  run(0);
  for (int i : inline_shares) run(i);
  for (std::thread& t : workers) t.join();
  for (const std::exception_ptr& e : errors) {
    if (e) std::rethrow_exception(e);
  }
}

}  // namespace tessaly
