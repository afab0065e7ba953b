// Tessaly: a small named shared-memory section.
#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace tessaly {

TSharedMemorySection::TSharedMemorySection(const std::string& name, size_t size) : name_(name), size_(size) {
  fd_ = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  created_ = fd_ >= 0;
  if (fd_ < 0) fd_ = ::shm_open(name.c_str(), O_RDWR, 0);
  if (fd_ < 0) return;
  // Every holder takes a shared lock; the one that can turn it exclusive at
  // the end is the last and removes the name.
  ::flock(fd_, LOCK_SH);
  auto give_up = [this] {
    ::close(fd_);
    fd_ = -1;
    if (created_) ::shm_unlink(name_.c_str());
    created_ = false;
  };
  struct stat info {};
  // A section another process has just created may not have its size yet;
  // growing it fills the new bytes with 0.
  if (::fstat(fd_, &info) != 0 ||
      (static_cast<size_t>(info.st_size) < size && ::ftruncate(fd_, static_cast<off_t>(size)) != 0)) {
    give_up();
    return;
  }
  void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (view == MAP_FAILED) {
    give_up();
    return;
  }
  data_ = static_cast<unsigned char*>(view);
  if (created_) std::memset(data_, 0, size);
}

TSharedMemorySection::~TSharedMemorySection() {
  if (data_ != nullptr) ::munmap(data_, size_);
  if (fd_ < 0) return;
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) ::shm_unlink(name_.c_str());
  ::close(fd_);
}

}  // namespace tessaly
