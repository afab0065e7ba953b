// Tessaly: facts about the machine, read from the operating system.
#include "platform/system_info.h"

#include <sched.h>
#include <unistd.h>

namespace tessaly {

int64_t PhysicalMemoryBytes() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long page_size = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return 0;
  return static_cast<int64_t>(pages) * page_size;
}

int ProcessorCount() {
  static const int count = [] {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof(set), &set) == 0) {
      const int n = CPU_COUNT(&set);
      if (n > 0) return n;
    }
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
  }();
  return count;
}

}  // namespace tessaly
