// The one tokenizer of the number lists: a cursor over an element's text that
// splits it into tokens and groups (see BasicTokenCursor) and converts them.
// The list parsers (number_lists.cpp) read with it; in their checked variant
// the cursor shows each token it converts to a watch, or the parse walks a
// group's tokens once more with it.
#pragma once

#include <cstdint>

#include "reader/numbers.h"

namespace bxml {

// The characters that end a token, looked up in one table: in a grouped list
// a space, a comma or the terminator; in a flat list a space or the
// terminator.
enum : uint8_t { TOKEN_END = 1, FLAT_TOKEN_END = 2 };

struct ListCharacterClasses {
    uint8_t of[256] = {};
    constexpr ListCharacterClasses() {
        of[static_cast<unsigned char>(' ')] = TOKEN_END | FLAT_TOKEN_END;
        of[static_cast<unsigned char>(',')] = TOKEN_END;
        of[0] = TOKEN_END | FLAT_TOKEN_END;
    }
};

inline constexpr ListCharacterClasses LIST_CHARACTERS{};

template <uint8_t End>
inline bool endsToken(char c) {
    return (LIST_CHARACTERS.of[static_cast<unsigned char>(c)] & End) != 0;
}

// The watch of the plug-in's reads: it sees nothing, and a cursor with it
// compiles to the bare tokenizer. A checked watch has CHECKED true and
// look(begin, end, integer), called with each token the cursor converts.
struct NoWatch {
    static constexpr bool CHECKED = false;
    void look(const char*, const char*, bool) {}
};

// One forward pass over an element's text. In a flat list only spaces
// separate numbers: a comma is part of its token ("1,2" reads as 1, a lone ","
// as 0). In a grouped list tokens end at a space, a comma or the terminator,
// and groups are split at commas alone: whatever lies between two commas is a
// group, even when it holds only spaces (a group without numbers, whose item
// keeps its defaults). Only commas that touch count as one separator, as do
// commas before the first group and after the last, so "a,,b" is two groups
// and "a, ,b" three. Spaces separate numbers inside a group, never groups. The
// text is only read.
template <class Watch = NoWatch>
class BasicTokenCursor {
public:
    static constexpr bool CHECKED = Watch::CHECKED;

    explicit BasicTokenCursor(const char* text, Watch watch = {}) : p_(text != nullptr ? text : ""), watch_(watch) {}

    // Next token of a flat list.
    bool next(const char*& begin, const char*& end) {
        while (*p_ == ' ') ++p_;
        return take<FLAT_TOKEN_END>(begin, end);
    }

    // Moves to the start of the next group; false when no group is left. The
    // group may hold no token at all (only spaces up to the next comma).
    bool nextGroup() {
        while (*p_ == ',') ++p_;
        return *p_ != '\0';
    }

    // Next token of the current group; false at the group's end.
    bool nextInGroup(const char*& begin, const char*& end) {
        while (*p_ == ' ') ++p_;
        if (*p_ == ',') return false;
        return take<TOKEN_END>(begin, end);
    }

    // Skips the rest of the current group.
    void endGroup() {
        while (*p_ != ',' && *p_ != '\0') ++p_;
    }

    // Next token of a flat list, converted as parseFloat converts it; false
    // when no token is left.
    [[gnu::always_inline]] bool nextFloat(float& value) {
        while (*p_ == ' ') ++p_;
        if (*p_ == '\0') return false;
        convertFloat<FLAT_TOKEN_END>(value);
        return true;
    }

    // Next token of the current group, converted as parseFloat or parseInt
    // converts it; false at the group's end.
    [[gnu::always_inline]] bool nextFloatInGroup(float& value) {
        if (!atTokenInGroup()) return false;
        convertFloat<TOKEN_END>(value);
        return true;
    }
    [[gnu::always_inline]] bool nextIntInGroup(int32_t& value) {
        if (!atTokenInGroup()) return false;
        convertInt<TOKEN_END>(value);
        return true;
    }

    // True when the current group has a token left.
    bool moreInGroup() { return atTokenInGroup(); }

    const char* position() const { return p_; }
    // True when at least n characters are left before the terminator; reads
    // at most n of them, not the whole text.
    bool hasAtLeast(int64_t n) const {
        for (int64_t i = 0; i < n; ++i) {
            if (p_[i] == '\0') return false;
        }
        return true;
    }
    void rewind(const char* p) { p_ = p; }
    Watch& watch() { return watch_; }

private:
    bool atTokenInGroup() {
        while (*p_ == ' ') ++p_;
        return *p_ != ',' && *p_ != '\0';
    }

    // The token at p_ is converted while it is scanned when it is a short
    // number (the common case); anything else goes to the general conversion.
    // Either way the cursor ends after the token: a tail such as "1.5x" is
    // ignored, as strtod and atoi ignore it.
    // End: the character class that ends the token (FLAT_TOKEN_END or
    // TOKEN_END).
    template <uint8_t End>
    [[gnu::always_inline]] void convertFloat(float& value) {
        const char* const begin = p_;
        double quick = 0.0;
        if (const char* stop = detail::scanShortDecimal(p_, nullptr, quick)) {
            value = static_cast<float>(quick);
            endTokenFrom<End>(stop);
            if constexpr (CHECKED) watch_.look(begin, p_, false);
            return;
        }
        endTokenFrom<End>(p_);
        value = parseFloat(begin, p_);
        if constexpr (CHECKED) watch_.look(begin, p_, false);
    }
    template <uint8_t End>
    [[gnu::always_inline]] void convertInt(int32_t& value) {
        const char* const begin = p_;
        if (const char* stop = detail::scanShortInt(p_, value)) {
            endTokenFrom<End>(stop);
            if constexpr (CHECKED) watch_.look(begin, p_, true);
            return;
        }
        endTokenFrom<End>(p_);
        value = parseInt(begin, p_);
        if constexpr (CHECKED) watch_.look(begin, p_, true);
    }

    // Moves the cursor from p, inside the current token, to the token's end.
    template <uint8_t End>
    void endTokenFrom(const char* p) {
        p_ = p;
        while (!endsToken<End>(*p_)) ++p_;
    }

    template <uint8_t End>
    bool take(const char*& begin, const char*& end) {
        if (*p_ == '\0') return false;
        begin = p_;
        while (!endsToken<End>(*p_)) ++p_;
        end = p_;
        return true;
    }

    const char* p_;
    [[no_unique_address]] Watch watch_;
};

using TokenCursor = BasicTokenCursor<>;

} // namespace bxml
