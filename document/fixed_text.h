// Fixed-capacity text fields of the scene document.
#pragma once

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <new>

namespace bxml {

// An 8-bit name of at most 255 bytes. Assignment cuts longer text at 255 bytes
// silently; comparison is byte-wise like strcmp.
//
// The 255-byte limit is a rule about what a name can hold, not about its
// storage: a document holds hundreds of thousands of names, nearly all short,
// so a name of up to INLINE_CAPACITY bytes lives inside the field itself and a
// longer one in a heap block that the field owns. A name whose heap block
// cannot be had (memory exhausted) is left empty, never cut to something else:
// an empty name is never looked up and never found, so a record that lost its
// name cannot be mistaken for another. No operation throws.
class Name {
public:
    // The capacity the name rules speak of: 255 bytes and a terminating zero.
    static constexpr std::size_t CAPACITY = 256;
    // Names this long or shorter need no allocation.
    static constexpr std::size_t INLINE_CAPACITY = 23;

    Name() noexcept = default;
    Name(const Name& other) noexcept { assign(other.c_str()); }
    Name(Name&& other) noexcept {
        std::memcpy(bytes_, other.bytes_, sizeof bytes_);
        std::memset(other.bytes_, 0, sizeof other.bytes_);
    }
    Name& operator=(const Name& other) noexcept {
        if (this != &other) assign(other.c_str());
        return *this;
    }
    Name& operator=(Name&& other) noexcept {
        if (this != &other) {
            releaseBlock();
            std::memcpy(bytes_, other.bytes_, sizeof bytes_);
            std::memset(other.bytes_, 0, sizeof other.bytes_);
        }
        return *this;
    }
    ~Name() { releaseBlock(); }

    // Copies at most 255 bytes of s (null counts as empty).
    void assign(const char* s) noexcept { assign(s, CAPACITY - 1); }
    // Copies the first n bytes of s (stopping early at a zero byte), cut at
    // 255 bytes. s may point into this name's own text.
    void assign(const char* s, std::size_t n) noexcept {
        // The inline form is copied while the length is measured: s may be
        // this name's own text, which the release below frees.
        char copy[sizeof bytes_] = {};
        std::size_t k = 0;
        if (s != nullptr) {
            for (; k < n && k < CAPACITY - 1 && s[k] != '\0'; ++k)
                if (k < INLINE_CAPACITY) copy[k] = s[k];
        }
        if (k <= INLINE_CAPACITY) {
            releaseBlock();
            std::memcpy(bytes_, copy, sizeof bytes_);
            return;
        }
        char* block = new (std::nothrow) char[k + 1];
        if (block != nullptr) {
            // A loop, not memcpy: the compiler cannot see that s holds k bytes
            // (the measuring loop stopped at its terminator) and would warn.
            for (std::size_t i = 0; i < k; ++i) block[i] = s[i];
            block[k] = '\0';
        }
        releaseBlock();
        std::memset(bytes_, 0, sizeof bytes_);
        if (block == nullptr) return;
        std::memcpy(bytes_, &block, sizeof block);
        bytes_[TAG] = ON_HEAP;
    }

    bool empty() const noexcept { return bytes_[TAG] != ON_HEAP && bytes_[0] == '\0'; }
    const char* c_str() const noexcept { return bytes_[TAG] == ON_HEAP ? block() : bytes_; }
    bool equals(const char* s) const noexcept { return s != nullptr && std::strcmp(c_str(), s) == 0; }
    bool equals(const Name& o) const noexcept { return std::strcmp(c_str(), o.c_str()) == 0; }

private:
    // The last byte tells the two forms apart: inline text always ends with a
    // zero there (it is the terminator or padding after it).
    static constexpr std::size_t TAG = INLINE_CAPACITY;
    static constexpr char ON_HEAP = 1;

    char* block() const noexcept {
        char* p = nullptr;
        std::memcpy(&p, bytes_, sizeof p);
        return p;
    }
    void releaseBlock() noexcept {
        if (bytes_[TAG] == ON_HEAP) delete[] block();
    }

    // Inline text and its zero, or [0, sizeof(char*)) a pointer to the heap
    // block and bytes_[TAG] == ON_HEAP.
    char bytes_[INLINE_CAPACITY + 1] = {};
};

static_assert(sizeof(Name) == Name::INLINE_CAPACITY + 1, "a name is its inline bytes and nothing else");

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
