// Fixed-capacity text fields of the scene document.
#pragma once

#include <cstddef>
#include <cstring>
#include <cwchar>

namespace bxml {

// A 256-byte 8-bit name: at most 255 characters and a terminating zero.
// Assignment truncates silently; comparison is byte-wise like strcmp.
struct Name {
    static constexpr std::size_t CAPACITY = 256;
    char text[CAPACITY] = {};

    // Copies at most 255 bytes of s (null counts as empty) and terminates.
    void assign(const char* s) {
        std::size_t n = 0;
        if (s != nullptr) {
            while (n < CAPACITY - 1 && s[n] != '\0') ++n;
            std::memmove(text, s, n);
        }
        text[n] = '\0';
    }
    // Copies the first n bytes of s (stopping early at a zero byte), truncated.
    void assign(const char* s, std::size_t n) {
        std::size_t k = 0;
        while (k < n && k < CAPACITY - 1 && s[k] != '\0') ++k;
        std::memmove(text, s, k);
        text[k] = '\0';
    }
    bool empty() const { return text[0] == '\0'; }
    const char* c_str() const { return text; }
    bool equals(const char* s) const { return s != nullptr && std::strcmp(text, s) == 0; }
    bool equals(const Name& o) const { return std::strcmp(text, o.text) == 0; }
};

// A 260-wide-character file path, NUL-terminated (at most 259 characters).
struct WidePath {
    static constexpr std::size_t CAPACITY = 260;
    wchar_t text[CAPACITY] = {};

    // Copies at most `limit - 1` characters (limit capped at CAPACITY).
    void assign(const wchar_t* s, std::size_t limit = CAPACITY) {
        if (limit > CAPACITY) limit = CAPACITY;
        if (limit == 0) return;
        std::size_t n = 0;
        if (s != nullptr) {
            while (n + 1 < limit && s[n] != L'\0') ++n;
            std::wmemmove(text, s, n);
        }
        text[n] = L'\0';
    }
    bool empty() const { return text[0] == L'\0'; }
    const wchar_t* c_str() const { return text; }
    void clear() { text[0] = L'\0'; }
};

} // namespace bxml
