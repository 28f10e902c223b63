// File, path and current-directory services.
#pragma once

#include <cstddef>
#include <cstdio>

namespace bxml {

// Opens a file for binary reading by its wide-character path (on Linux the
// path is converted to UTF-8). Returns null when it cannot be opened.
std::FILE* openFileForReading(const wchar_t* path);

// The drive and directory of path (everything up to and including the last
// slash or backslash, or a leading "X:" drive), written into out (capacity
// > 0, always terminated). When the result is not empty and does not end in a
// slash or backslash, a backslash is appended. Returns false (and writes an
// empty string) when the folder does not fit.
[[nodiscard]] bool folderOfPath(const wchar_t* path, wchar_t* out, std::size_t outCapacity);

// The file name and extension of an 8-bit path (drive and directories dropped,
// either kind of slash), written into out (capacity > 0, always terminated,
// truncated to fit, never inside a UTF-8 sequence).
void fileNameOfPath(const char* path, char* out, std::size_t outCapacity);

// Makes folder the process's current directory; the result is ignored by
// callers and so not reported.
void setCurrentDirectory(const wchar_t* folder);

} // namespace bxml
