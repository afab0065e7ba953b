// Tessaly: writing an output without ever losing the file it replaces, and
// backup copies that never overwrite.
#pragma once

#include <functional>
#include <string>

namespace tessaly {

/// Writes through save(temporary path) into a new file beside path, then puts
/// it in place of path only when save reported success; the data is synced
/// before the rename. On failure, or when save raises, the temporary file is
/// removed and any file at path is untouched. A folder that cannot take the
/// file raises "Cannot create file "<path>". <reason>".
/// The temporary name ends with the file name of path, so its extension is
/// the same.
bool ReplaceFileSafely(const std::string& path, const std::function<bool(const std::string&)>& save);

/// Copies source to dest, refusing to overwrite an existing dest. True when copied.
bool CopyFileExclusive(const std::string& source, const std::string& dest);

/// The folder part of a path with its trailing "/", or empty.
std::string FolderOf(const std::string& path);
/// The file name part of a path.
std::string FileNameOf(const std::string& path);
/// The extension of a file name with its dot, in its own letter case, or empty.
std::string ExtensionOf(const std::string& file_name);

}  // namespace tessaly
