#include "platform/text.h"

#include <cstdint>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace bxml {

namespace {

// Decodes one UTF-8 sequence at s[i..n); returns its length or 0 if invalid.
std::size_t decodeUtf8(const unsigned char* s, std::size_t i, std::size_t n, char32_t& cp) {
    unsigned char c = s[i];
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    std::size_t len;
    char32_t min;
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
        min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
        min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (n - i < len) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        unsigned char t = s[i + k];
        if ((t & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (t & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

// Appends code point cp to out[pos..cap-1) (room kept for the terminator).
bool putWide(char32_t cp, wchar_t* out, std::size_t cap, std::size_t& pos) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            if (pos + 2 >= cap) return false;
            cp -= 0x10000;
            out[pos++] = static_cast<wchar_t>(0xD800 + (cp >> 10));
            out[pos++] = static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
            return true;
        }
    }
    if (pos + 1 >= cap) return false;
    out[pos++] = static_cast<wchar_t>(cp);
    return true;
}

} // namespace

bool isValidUtf8(const char* s, std::size_t n) {
    const auto* u = reinterpret_cast<const unsigned char*>(s);
    std::size_t i = 0;
    while (i < n) {
        char32_t cp;
        std::size_t len = decodeUtf8(u, i, n, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::size_t utf8CutLength(const char* s, std::size_t limit) {
    if (s == nullptr) return 0;
    std::size_t n = 0;
    while (n < limit && s[n] != '\0') ++n;
    if (s[n] == '\0') return n;
    // s[n] is the first byte cut off. When it continues a sequence, go back
    // to that sequence's lead byte (at most three continuation bytes) and cut
    // before it.
    const auto isContinuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
    std::size_t k = n;
    while (k > 0 && n - k < 3 && isContinuation(s[k])) --k;
    if (k < n && static_cast<unsigned char>(s[k]) >= 0xC0) return k;
    return n;
}

std::size_t narrowToWide(const char* s, wchar_t* out, std::size_t outCapacity) {
    if (outCapacity == 0) return 0;
    std::size_t pos = 0;
    if (s == nullptr) {
        out[0] = L'\0';
        return 0;
    }
    const std::size_t n = std::strlen(s);
    const auto* u = reinterpret_cast<const unsigned char*>(s);
    if (isValidUtf8(s, n)) {
        std::size_t i = 0;
        while (i < n) {
            char32_t cp;
            std::size_t len = decodeUtf8(u, i, n, cp);
            if (!putWide(cp, out, outCapacity, pos)) break;
            i += len;
        }
    } else {
#ifdef _WIN32
        // The ANSI code page gives at most one wide character per byte, so a
        // prefix of outCapacity - 1 bytes always fits.
        std::size_t take = n < outCapacity - 1 ? n : outCapacity - 1;
        int written = take == 0 ? 0
                                : MultiByteToWideChar(CP_ACP, 0, s, static_cast<int>(take), out,
                                                      static_cast<int>(outCapacity - 1));
        pos = written > 0 ? static_cast<std::size_t>(written) : 0;
#else
        for (std::size_t i = 0; i < n && pos + 1 < outCapacity; ++i) out[pos++] = static_cast<wchar_t>(u[i]);
#endif
    }
    out[pos] = L'\0';
    return pos;
}

std::size_t wideToNarrow(const wchar_t* s, char* out, std::size_t outCapacity) {
    if (outCapacity == 0) return 0;
    std::size_t pos = 0;
    if (s != nullptr) {
        for (std::size_t i = 0; s[i] != L'\0'; ++i) {
            char32_t cp = static_cast<char32_t>(s[i]);
            if constexpr (sizeof(wchar_t) == 2) {
                cp &= 0xFFFF;
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    char32_t lo = static_cast<char32_t>(s[i + 1]) & 0xFFFF;
                    if (lo >= 0xDC00 && lo <= 0xDFFF) {
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                        ++i;
                    } else {
                        cp = 0xFFFD;
                    }
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    cp = 0xFFFD;
                }
            }
            if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
            char buf[4];
            std::size_t len;
            if (cp < 0x80) {
                buf[0] = static_cast<char>(cp);
                len = 1;
            } else if (cp < 0x800) {
                buf[0] = static_cast<char>(0xC0 | (cp >> 6));
                buf[1] = static_cast<char>(0x80 | (cp & 0x3F));
                len = 2;
            } else if (cp < 0x10000) {
                buf[0] = static_cast<char>(0xE0 | (cp >> 12));
                buf[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                buf[2] = static_cast<char>(0x80 | (cp & 0x3F));
                len = 3;
            } else {
                buf[0] = static_cast<char>(0xF0 | (cp >> 18));
                buf[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                buf[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                buf[3] = static_cast<char>(0x80 | (cp & 0x3F));
                len = 4;
            }
            if (pos + len >= outCapacity) break;
            std::memcpy(out + pos, buf, len);
            pos += len;
        }
    }
    out[pos] = '\0';
    return pos;
}

std::string wideToUtf8(const wchar_t* s) {
    if (s == nullptr) return {};
    std::size_t n = std::wcslen(s);
    std::string out(n * 4 + 1, '\0');
    std::size_t len = wideToNarrow(s, out.data(), out.size());
    out.resize(len);
    return out;
}

std::wstring utf8ToWide(const char* s) {
    if (s == nullptr) return {};
    std::size_t n = std::strlen(s);
    std::wstring out(n * 2 + 1, L'\0');
    std::size_t len = narrowToWide(s, out.data(), out.size());
    out.resize(len);
    return out;
}

bool equalsIgnoreCase(const char* a, const char* b) {
    if (a == nullptr) a = "";
    if (b == nullptr) b = "";
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a);
        unsigned char y = static_cast<unsigned char>(*b);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
        if (x == 0) return true;
    }
}

} // namespace bxml
