// Tessaly tests: shared helpers (temporary folders, files, external programs).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::testing {

/// A fresh folder under the system temp folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool FileExists(const std::string& path);

/// Runs a shell command; returns its exit status (-1 when it could not run).
int RunCommand(const std::string& command);
/// True when a program is on the PATH.
bool HaveProgram(const std::string& name);
/// Path of a file in tests/data.
std::string DataFile(const std::string& relative);

}  // namespace tessaly::testing
