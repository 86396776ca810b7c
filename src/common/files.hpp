#pragma once
// File helpers shared by the readers and the exports.

#include <string>
#include <string_view>

namespace morvik {

bool FileExists(const std::string& path);

// Size in bytes, or -1 when the file cannot be opened for reading.
long long FileSizeOf(const std::string& path);

// The folder part of a path including its trailing separator ("" when none), and
// the name without folder.
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);

// Writes content to a temporary file beside path and renames it into place, so a
// failed write never destroys the file that was there. False when anything failed;
// the temporary file is then removed.
bool WriteFileReplacing(const std::string& path, std::string_view content);

} // namespace morvik
