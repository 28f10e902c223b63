#include "platform/files.h"

#include <cstring>
#include <cwchar>
#include <string>

#include "platform/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace bxml {

std::FILE* openFileForReading(const wchar_t* path) {
    if (path == nullptr || path[0] == L'\0') return nullptr;
#ifdef _WIN32
    return _wfopen(path, L"rb");
#else
    return std::fopen(wideToUtf8(path).c_str(), "rb");
#endif
}

bool folderOfPath(const wchar_t* path, wchar_t* out, std::size_t outCapacity) {
    if (outCapacity == 0) return false;
    out[0] = L'\0';
    if (path == nullptr) return true;
    std::size_t end = 0; // length of drive + directory
    if (path[0] != L'\0' && path[1] == L':') end = 2;
    for (std::size_t i = end; path[i] != L'\0'; ++i) {
        if (path[i] == L'/' || path[i] == L'\\') end = i + 1;
    }
    bool needSlash = end > 0 && path[end - 1] != L'/' && path[end - 1] != L'\\';
    std::size_t total = end + (needSlash ? 1 : 0);
    if (total + 1 > outCapacity) return false;
    std::wmemcpy(out, path, end);
    if (needSlash) out[end] = L'\\';
    out[total] = L'\0';
    return true;
}

void fileNameOfPath(const char* path, char* out, std::size_t outCapacity) {
    if (outCapacity == 0) return;
    out[0] = '\0';
    if (path == nullptr) return;
    std::size_t start = 0;
    if (path[0] != '\0' && path[1] == ':') start = 2;
    for (std::size_t i = start; path[i] != '\0'; ++i) {
        if (path[i] == '/' || path[i] == '\\') start = i + 1;
    }
    const std::size_t n = utf8CutLength(path + start, outCapacity - 1);
    std::memcpy(out, path + start, n);
    out[n] = '\0';
}

void setCurrentDirectory(const wchar_t* folder) {
    if (folder == nullptr || folder[0] == L'\0') return;
#ifdef _WIN32
    SetCurrentDirectoryW(folder);
#else
    if (chdir(wideToUtf8(folder).c_str()) != 0) {
        // Ignored, like the Windows call's result: texture paths stay relative.
    }
#endif
}

} // namespace bxml
