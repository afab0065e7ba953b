// Tessaly: a small named shared-memory section that other processes can open
// by name while the program runs.
#pragma once

#include <cstddef>
#include <string>

namespace tessaly {

/// The section Tessaly keeps while it runs: 4 bytes under this name.
constexpr const char* kTessalySectionName = "/{CAF49BBB-AF40-4FDE-8757-51D5AEB5BBBF}";
constexpr size_t kTessalySectionSize = 4;

/// Opens the POSIX shared-memory object of this name, creating it when it
/// does not exist yet (then its bytes are 0), and keeps it mapped until
/// destroyed. Failure is not an error: the section is then simply absent.
/// The name is removed by the last process that lets go of it, so a later
/// start finds a fresh, zeroed section as it would on a system that frees
/// such sections with their last handle.
class TSharedMemorySection {
 public:
  TSharedMemorySection(const std::string& name, size_t size);
  ~TSharedMemorySection();
  TSharedMemorySection(const TSharedMemorySection&) = delete;
  TSharedMemorySection& operator=(const TSharedMemorySection&) = delete;

  /// True when the section is mapped.
  bool Mapped() const { return data_ != nullptr; }
  /// The mapped bytes, or nullptr.
  unsigned char* Data() const { return data_; }
  /// True when this process created the section.
  bool Created() const { return created_; }

 private:
  std::string name_;
  size_t size_ = 0;
  int fd_ = -1;
  unsigned char* data_ = nullptr;
  bool created_ = false;
};

}  // namespace tessaly
