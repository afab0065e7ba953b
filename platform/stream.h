// Tessaly: seekable byte streams (file and memory).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessaly {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

/// A stream error whose text is shown to the user as it stands.
class EStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
/// "Cannot open file "%s". %s"
class EFOpenError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
/// "Cannot create file "%s". %s"
class EFCreateError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

/// Abstract seekable stream. Read and Write return how many bytes were done,
/// which may be fewer than asked at the end of the data or when the disk is
/// full; they never throw for that, so codecs can turn a short count into
/// their Aborted flag.
class TStream {
 public:
  virtual ~TStream() = default;
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  /// Returns the new position; a position before 0 is clamped to 0.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size();
  /// Sets the size; returns false when the stream cannot be resized.
  virtual bool SetSize(int64_t size);

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
  /// Bytes from the position to the end (0 when past the end).
  int64_t Remaining();

  /// True when exactly count bytes were read.
  bool ReadExact(void* buffer, int64_t count) { return Read(buffer, count) == count; }
  /// True when exactly count bytes were written.
  bool WriteExact(const void* buffer, int64_t count) { return Write(buffer, count) == count; }
  /// Copies count bytes (all that remain when count is negative) from source;
  /// returns how many were copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

enum class TFileMode { fmOpenRead, fmOpenReadWrite, fmCreate };

/// A file on disk, buffered for the small reads and writes of codecs.
class TFileStream final : public TStream {
 public:
  /// Throws EFOpenError or EFCreateError with the system's message.
  TFileStream(const std::string& file_name, TFileMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  bool SetSize(int64_t size) override;

  /// Writes out what is buffered; false when the disk refused some of it.
  bool Flush();
  /// Flushes and asks the system to put the data on the disk.
  bool Sync();
  const std::string& FileName() const { return file_name_; }
  int Handle() const { return fd_; }

 private:
  bool FillBuffer();
  void DropReadBuffer();

  std::string file_name_;
  int fd_ = -1;
  int64_t position_ = 0;       // logical position of the caller
  std::vector<uint8_t> buffer_;
  int64_t buffer_start_ = 0;   // file offset of buffer_[0]
  size_t read_len_ = 0;        // valid bytes of a read buffer
  size_t write_len_ = 0;       // pending bytes of a write buffer
  bool write_failed_ = false;
};

/// A growable block in memory.
class TMemoryStream final : public TStream {
 public:
  TMemoryStream() = default;
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  bool SetSize(int64_t size) override;

  void Clear();
  const uint8_t* Memory() const { return data_.data(); }
  uint8_t* Memory() { return data_.data(); }
  std::vector<uint8_t>& Bytes() { return data_; }
  void LoadFromFile(const std::string& file_name);
  void SaveToFile(const std::string& file_name);

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

/// A read-only view of fixed bytes (a fuzzer's input, a resource).
class TBufferStream final : public TStream {
 public:
  TBufferStream(const void* data, int64_t size)
      : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }

 private:
  const uint8_t* data_;
  int64_t size_;
  int64_t position_ = 0;
};

/// A window [offset, offset + size) of another stream, read through it: a
/// composite format hands one of its images to another codec this way.
class TSubStream final : public TStream {
 public:
  TSubStream(TStream& base, int64_t offset, int64_t size);
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }

 private:
  TStream& base_;
  int64_t offset_;
  int64_t size_;
  int64_t position_ = 0;
};

/// The system's message for an errno value.
std::string SystemErrorMessage(int error_number);

}  // namespace tessaly
