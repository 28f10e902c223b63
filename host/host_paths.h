// Paths of the bxml-host tool as UTF-8 text and back, on every platform.
// (std::filesystem converts to and from wide text through the C library's
// locale on Linux, which throws on names that are not ASCII in the C locale.)
#pragma once

#include <filesystem>
#include <string>

#include "platform/text.h"

namespace bxml::host {

inline std::filesystem::path pathFromUtf8(const std::string& utf8) {
#ifdef _WIN32
    return std::filesystem::path(utf8ToWide(utf8.c_str()));
#else
    return std::filesystem::path(utf8);
#endif
}

inline std::filesystem::path pathFromWide(const std::wstring& wide) {
#ifdef _WIN32
    return std::filesystem::path(wide);
#else
    return std::filesystem::path(wideToUtf8(wide.c_str()));
#endif
}

inline std::string utf8Of(const std::filesystem::path& path) {
#ifdef _WIN32
    return wideToUtf8(path.wstring().c_str());
#else
    return path.string();
#endif
}

inline std::wstring wideOf(const std::filesystem::path& path) { return utf8ToWide(utf8Of(path).c_str()); }

} // namespace bxml::host
