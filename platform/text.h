// Conversion between 8-bit and wide text, the same rules on every build.
//
// 8-bit text is taken as UTF-8 when it is valid UTF-8 (scene files are UTF-8
// unless they declare otherwise); otherwise through the system's ANSI code
// page on Windows and byte by byte as Latin-1 elsewhere. Wide text is UTF-16
// on Windows and UTF-32 elsewhere; towards 8-bit it always becomes UTF-8.
#pragma once

#include <cstddef>
#include <string>

namespace bxml {

// True when the first n bytes of s form valid UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF).
bool isValidUtf8(const char* s, std::size_t n);

// The number of bytes of the zero-terminated s to keep when it must fit in
// `limit` bytes: all of s when it is no longer, otherwise at most `limit`
// bytes, never ending inside a UTF-8 sequence (a sequence the cut would split
// is dropped whole). Bytes that are not UTF-8 are cut anywhere.
std::size_t utf8CutLength(const char* s, std::size_t limit);

// Converts the zero-terminated s into out (capacity outCapacity > 0, always
// terminated). Stops before a character that does not fit whole. Returns the
// number of wide characters written, without the terminator.
std::size_t narrowToWide(const char* s, wchar_t* out, std::size_t outCapacity);

// Converts the zero-terminated s to UTF-8 into out (capacity > 0, always
// terminated), never cutting a multi-byte sequence. Invalid UTF-16 surrogates
// become U+FFFD. Returns the number of bytes written, without the terminator.
std::size_t wideToNarrow(const wchar_t* s, char* out, std::size_t outCapacity);

// Convenience for tools and tests: whole-string conversions.
std::string wideToUtf8(const wchar_t* s);
std::wstring utf8ToWide(const char* s);

// ASCII-only, locale-independent case-insensitive equality of two
// zero-terminated strings (null counts as empty).
bool equalsIgnoreCase(const char* a, const char* b);

} // namespace bxml
