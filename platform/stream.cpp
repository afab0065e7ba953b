// Tessaly: seekable byte streams (file and memory).
#include "platform/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tessaly {

namespace {

constexpr size_t kFileBufferSize = 64 * 1024;

int64_t ClampedSeek(int64_t position, int64_t size, int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  switch (origin) {
    case TSeekOrigin::soBeginning: base = 0; break;
    case TSeekOrigin::soCurrent: base = position; break;
    case TSeekOrigin::soEnd: base = size; break;
  }
  if (offset < 0 && base < -offset) return 0;
  if (offset > 0 && base > INT64_MAX - offset) return INT64_MAX;
  return base + offset;
}

}  // namespace

std::string SystemErrorMessage(int error_number) {
  std::string text = std::strerror(error_number);
  if (!text.empty() && text.back() != '.') text += '.';
  return text;
}

int64_t TStream::Size() {
  const int64_t here = Position();
  const int64_t end = Seek(0, TSeekOrigin::soEnd);
  SetPosition(here);
  return end;
}

bool TStream::SetSize(int64_t) { return false; }

int64_t TStream::Remaining() {
  const int64_t rest = Size() - Position();
  return rest > 0 ? rest : 0;
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count < 0) count = source.Remaining();
  std::vector<uint8_t> block(static_cast<size_t>(std::min<int64_t>(count, 1 << 20)) + 1);
  int64_t done = 0;
  while (done < count) {
    const int64_t want = std::min<int64_t>(count - done, static_cast<int64_t>(block.size()));
    const int64_t got = source.Read(block.data(), want);
    if (got <= 0) break;
    const int64_t put = Write(block.data(), got);
    done += put;
    if (put != got) break;
  }
  return done;
}

// ---------------------------------------------------------------- file

TFileStream::TFileStream(const std::string& file_name, TFileMode mode) : file_name_(file_name) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case TFileMode::fmOpenRead: flags |= O_RDONLY; break;
    case TFileMode::fmOpenReadWrite: flags |= O_RDWR; break;
    case TFileMode::fmCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
  }
  fd_ = ::open(file_name.c_str(), flags, 0666);
  if (fd_ >= 0) {
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
      ::close(fd_);
      fd_ = -1;
      errno = EISDIR;
    }
  }
  if (fd_ < 0) {
    const std::string text = "\"" + file_name + "\". " + SystemErrorMessage(errno);
    if (mode == TFileMode::fmCreate) throw EFCreateError("Cannot create file " + text);
    throw EFOpenError("Cannot open file " + text);
  }
  buffer_.resize(kFileBufferSize);
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) {
    Flush();
    ::close(fd_);
  }
}

bool TFileStream::Flush() {
  if (write_len_ == 0) return !write_failed_;
  size_t done = 0;
  while (done < write_len_) {
    const ssize_t put = ::pwrite(fd_, buffer_.data() + done, write_len_ - done,
                                 buffer_start_ + static_cast<int64_t>(done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      write_failed_ = true;
      break;
    }
    done += static_cast<size_t>(put);
  }
  write_len_ = 0;
  return !write_failed_;
}

bool TFileStream::Sync() { return Flush() && ::fsync(fd_) == 0; }

void TFileStream::DropReadBuffer() { read_len_ = 0; }

bool TFileStream::FillBuffer() {
  buffer_start_ = position_;
  read_len_ = 0;
  for (;;) {
    const ssize_t got = ::pread(fd_, buffer_.data(), buffer_.size(), buffer_start_);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    read_len_ = static_cast<size_t>(got);
    return true;
  }
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (write_len_ > 0 && !Flush()) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const bool in_buffer = read_len_ > 0 && position_ >= buffer_start_ &&
                           position_ < buffer_start_ + static_cast<int64_t>(read_len_);
    if (!in_buffer) {
      // A large read goes straight to the caller's memory.
      if (count - done >= static_cast<int64_t>(buffer_.size())) {
        const ssize_t got = ::pread(fd_, out + done, static_cast<size_t>(count - done), position_);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += got;
        position_ += got;
        continue;
      }
      if (!FillBuffer()) break;
    }
    const size_t offset = static_cast<size_t>(position_ - buffer_start_);
    const size_t take = std::min<size_t>(read_len_ - offset, static_cast<size_t>(count - done));
    std::memcpy(out + done, buffer_.data() + offset, take);
    done += static_cast<int64_t>(take);
    position_ += static_cast<int64_t>(take);
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0 || write_failed_) return 0;
  DropReadBuffer();
  const auto* in = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    if (write_len_ > 0 && buffer_start_ + static_cast<int64_t>(write_len_) != position_) {
      if (!Flush()) break;
    }
    if (write_len_ == 0) buffer_start_ = position_;
    const size_t take = std::min<size_t>(buffer_.size() - write_len_, static_cast<size_t>(count - done));
    std::memcpy(buffer_.data() + write_len_, in + done, take);
    write_len_ += take;
    done += static_cast<int64_t>(take);
    position_ += static_cast<int64_t>(take);
    // What the disk refused is not counted as written.
    if (write_len_ == buffer_.size() && !Flush()) return done - static_cast<int64_t>(take);
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (origin == TSeekOrigin::soCurrent && offset == 0) return position_;
  position_ = ClampedSeek(position_, origin == TSeekOrigin::soEnd ? Size() : 0, offset, origin);
  return position_;
}

int64_t TFileStream::Size() {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return 0;
  int64_t size = info.st_size;
  if (write_len_ > 0) size = std::max<int64_t>(size, buffer_start_ + static_cast<int64_t>(write_len_));
  return size;
}

bool TFileStream::SetSize(int64_t size) {
  if (!Flush()) return false;
  DropReadBuffer();
  if (::ftruncate(fd_, size) != 0) return false;
  if (position_ > size) position_ = size;
  return true;
}

// ---------------------------------------------------------------- memory

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = Size();
  if (count <= 0 || position_ >= size) return 0;
  const int64_t take = std::min(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(take));
  position_ += take;
  return take;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const int64_t end = position_ + count;
  if (end > Size()) {
    if (data_.capacity() < static_cast<size_t>(end)) {
      data_.reserve(std::max<size_t>(static_cast<size_t>(end), data_.capacity() * 3 / 2 + 4096));
    }
    data_.resize(static_cast<size_t>(end));
  }
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = ClampedSeek(position_, Size(), offset, origin);
  return position_;
}

bool TMemoryStream::SetSize(int64_t size) {
  if (size < 0) return false;
  data_.resize(static_cast<size_t>(size));
  if (position_ > size) position_ = size;
  return true;
}

void TMemoryStream::Clear() {
  data_.clear();
  position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& file_name) {
  TFileStream file(file_name, TFileMode::fmOpenRead);
  Clear();
  data_.resize(static_cast<size_t>(file.Size()));
  data_.resize(static_cast<size_t>(file.Read(data_.data(), static_cast<int64_t>(data_.size()))));
}

void TMemoryStream::SaveToFile(const std::string& file_name) {
  TFileStream file(file_name, TFileMode::fmCreate);
  if (!file.WriteExact(data_.data(), Size()) || !file.Flush()) {
    throw EStreamError("Stream write error");
  }
}

// ---------------------------------------------------------------- fixed buffer

int64_t TBufferStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  const int64_t take = std::min(count, size_ - position_);
  std::memcpy(buffer, data_ + position_, static_cast<size_t>(take));
  position_ += take;
  return take;
}

int64_t TBufferStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = ClampedSeek(position_, size_, offset, origin);
  return position_;
}

// ---------------------------------------------------------------- window

TSubStream::TSubStream(TStream& base, int64_t offset, int64_t size)
    : base_(base), offset_(offset), size_(size < 0 ? 0 : size) {}

int64_t TSubStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  base_.SetPosition(offset_ + position_);
  const int64_t got = base_.Read(buffer, std::min(count, size_ - position_));
  if (got > 0) position_ += got;
  return got > 0 ? got : 0;
}

int64_t TSubStream::Write(const void* buffer, int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  base_.SetPosition(offset_ + position_);
  const int64_t put = base_.Write(buffer, std::min(count, size_ - position_));
  if (put > 0) position_ += put;
  return put > 0 ? put : 0;
}

int64_t TSubStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = ClampedSeek(position_, size_, offset, origin);
  return position_;
}

}  // namespace tessaly
