// Tessaly: facts about the machine, read from the operating system.
#pragma once

#include <cstdint>

namespace tessaly {

/// Total physical memory in bytes, or 0 when the system does not say.
int64_t PhysicalMemoryBytes();

/// Processor cores the process may run on (at least 1), read once.
int ProcessorCount();

}  // namespace tessaly
