// Tessaly: safe replacement of outputs and exclusive backup copies.
#include "app/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "platform/stream.h"

namespace tessaly {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtensionOf(const std::string& file_name) {
  const std::string name = FileNameOf(file_name);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

namespace {

bool SyncFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

[[noreturn]] void ThrowCreateError(const std::string& path, int error) {
  throw EFCreateError("Cannot create file \"" + path + "\". " + SystemErrorMessage(error));
}

}  // namespace

bool ReplaceFileSafely(const std::string& path, const std::function<bool(const std::string&)>& save) {
  const std::string folder = FolderOf(path);
  std::random_device entropy;
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    char tag[16];
    std::snprintf(tag, sizeof(tag), "%08x", static_cast<unsigned>(entropy()));
    temporary = folder + ".tessaly-" + tag + "-" + FileNameOf(path);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) ThrowCreateError(path, errno);
  }
  if (fd < 0) ThrowCreateError(path, EEXIST);
  // A replaced file keeps its permissions.
  struct stat old_info {};
  if (::stat(path.c_str(), &old_info) == 0) ::fchmod(fd, old_info.st_mode & 07777);
  ::close(fd);

  bool ok = false;
  try {
    ok = save(temporary);
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  if (!ok || !SyncFile(temporary)) {
    ::unlink(temporary.c_str());
    return false;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    ThrowCreateError(path, error);
  }
  SyncFolder(folder);
  return true;
}

bool CopyFileExclusive(const std::string& source, const std::string& dest) {
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat info {};
  ::fstat(in, &info);
  const int out = ::open(dest.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 0777);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  char block[1 << 16];
  for (;;) {
    const ssize_t got = ::read(in, block, sizeof(block));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) { ok = false; break; }
    if (got == 0) break;
    ssize_t done = 0;
    while (done < got) {
      const ssize_t put = ::write(out, block + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) { ok = false; break; }
      done += put;
    }
    if (!ok) break;
  }
  ok = ::fsync(out) == 0 && ok;
  ::close(out);
  ::close(in);
  // A partial copy is no backup: remove it so the next run can try again.
  if (!ok) ::unlink(dest.c_str());
  return ok;
}

}  // namespace tessaly
