#include "reader/number_lists.h"

#include "document/storage.h"
#include "reader/numbers.h"

namespace bxml {
namespace {

// Slack allowed between a count and the text that is supposed to hold it: a
// count of vertices or faces far beyond the text's length cannot be meant and
// would only make a tiny file allocate gigabytes.
constexpr int64_t COUNT_SLACK = 4096;

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

// One forward pass over an element's text. In a flat list only spaces
// separate numbers: a comma is part of its token ("1,2" reads as 1, a lone ","
// as 0). In a grouped list tokens end at a space, a comma or the terminator,
// and groups are split at commas alone: whatever lies between two commas is a
// group, even when it holds only spaces (a group without numbers, whose item
// keeps its defaults). Only commas that touch count as one separator, as do
// commas before the first group and after the last, so "a,,b" is two groups
// and "a, ,b" three. Spaces separate numbers inside a group, never groups. The
// text is only read.
class TokenCursor {
public:
    explicit TokenCursor(const char* text) : p_(text != nullptr ? text : "") {}

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
        double quick = 0.0;
        if (const char* stop = detail::scanShortDecimal(p_, nullptr, quick)) {
            value = static_cast<float>(quick);
            endTokenFrom<End>(stop);
            return;
        }
        const char* begin = p_;
        endTokenFrom<End>(p_);
        value = parseFloat(begin, p_);
    }
    template <uint8_t End>
    [[gnu::always_inline]] void convertInt(int32_t& value) {
        if (const char* stop = detail::scanShortInt(p_, value)) {
            endTokenFrom<End>(stop);
            return;
        }
        const char* begin = p_;
        endTokenFrom<End>(p_);
        value = parseInt(begin, p_);
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
};

// True when count may be backed by the cursor's text: at most its length plus
// the slack.
bool plausibleCount(int64_t count, const TokenCursor& cursor) {
    return count <= COUNT_SLACK || cursor.hasAtLeast(count - COUNT_SLACK);
}

inline int cornersOf(const FaceRecord& face) {
    if (face.cornerCount < 0) return 0;
    return face.cornerCount > 4 ? 4 : face.cornerCount;
}

// Hands out count list items in face order: visit(face, corner, item) is called
// for each face corner with item = 0, 1, ...; stops after count items.
template <class Visit>
void forEachCorner(GeometryRecord& geometry, int64_t count, Visit visit) {
    int64_t item = 0;
    for (FaceRecord& face : geometry.faces) {
        int corners = cornersOf(face);
        for (int c = 0; c < corners; ++c) {
            if (item >= count) return;
            visit(face, c, item);
            ++item;
        }
    }
}

// Converts a face-material number: atof truncated toward zero; values that do
// not fit an int32 (and NaN) give INT32_MIN, as the hardware conversion does,
// and are later reset by the range check of the resolution pass.
int32_t truncateToIndex(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(value);
}

} // namespace

bool countFitsText(int64_t count, const char* text) { return plausibleCount(count, TokenCursor(text)); }

int64_t totalCorners(const GeometryRecord& geometry) {
    int64_t total = 0;
    for (const FaceRecord& face : geometry.faces) total += face.cornerCount;
    return total;
}

int parseVertices(GeometryRecord& geometry, int64_t count, const char* text) {
    if (count <= 0) return 1;
    TokenCursor cursor(text);
    if (!plausibleCount(count, cursor)) {
        release(geometry.vertices);
        return 0;
    }
    if (allocate(geometry.vertices, count) == 0) return 0;
    for (VertexRecord& vertex : geometry.vertices) {
        if (!cursor.nextFloat(vertex.position.x)) break;
        if (!cursor.nextFloat(vertex.position.y)) break;
        if (!cursor.nextFloat(vertex.position.z)) break;
    }
    return 1;
}

int parseIndices(GeometryRecord& geometry, int64_t count, const char* text) {
    if (count <= 0) return 1;
    TokenCursor cursor(text);
    if (!plausibleCount(count, cursor)) {
        release(geometry.faces);
        return 0;
    }
    if (allocate(geometry.faces, count) == 0) return 0;
    // A face has four corners when its group gives a fourth index; faces the
    // text leaves out keep -1 everywhere and count as triangles.
    std::size_t f = 0;
    for (; f < geometry.faces.size() && cursor.nextGroup(); ++f) {
        FaceRecord& face = geometry.faces[f];
        for (int k = 0; k < 4 && cursor.nextIntInGroup(face.vertexIndices[k]); ++k) {}
        cursor.endGroup();
        face.cornerCount = face.vertexIndices[3] == -1 ? 3 : 4;
    }
    for (; f < geometry.faces.size(); ++f) geometry.faces[f].cornerCount = 3;
    return 1;
}

int parseUvSet(GeometryRecord& geometry, int set, int64_t count, const char* text) {
    if (count <= 0 || set < 0 || set > 1) return 1;
    if (geometry.faces.empty() || count != totalCorners(geometry)) return 0;
    TokenCursor cursor(text);
    bool more = true;
    forEachCorner(geometry, count, [&](FaceRecord& face, int corner, int64_t) {
        Vector2 uv{0.0f, 0.0f};
        more = more && cursor.nextFloat(uv.u);
        more = more && cursor.nextFloat(uv.v);
        face.uv[set][corner] = uv;
    });
    return 1;
}

int parseColors(GeometryRecord& geometry, int64_t count, const char* text) {
    if (count <= 0) return 1;
    if (geometry.faces.empty() || count != totalCorners(geometry)) return 0;
    TokenCursor cursor(text);
    bool more = true;
    forEachCorner(geometry, count, [&](FaceRecord& face, int corner, int64_t) {
        Color color{1.0f, 1.0f, 1.0f, 1.0f};
        more = more && cursor.nextFloat(color.r);
        more = more && cursor.nextFloat(color.g);
        more = more && cursor.nextFloat(color.b);
        face.colors[corner] = color;
    });
    return 1;
}

int parseFaceMaterials(GeometryRecord& geometry, int64_t count, const char* text) {
    if (count <= 0) return 1;
    if (geometry.faces.empty() || count != static_cast<int64_t>(geometry.faces.size())) return 0;
    TokenCursor cursor(text);
    bool more = true;
    for (FaceRecord& face : geometry.faces) {
        const char* begin = nullptr;
        const char* end = nullptr;
        int32_t material = -1;
        if (more && (more = cursor.next(begin, end))) material = truncateToIndex(parseDouble(begin, end));
        face.materialIndex = material;
    }
    return 1;
}

int parseWeights(GeometryRecord& geometry, int64_t count, const char* text, int64_t bonesPerVertex) {
    if (count <= 0 || bonesPerVertex <= 0) return 1;
    if (geometry.vertices.empty() || count != static_cast<int64_t>(geometry.vertices.size())) return 0;
    if (bonesPerVertex > MAX_ARRAY_COUNT) bonesPerVertex = MAX_ARRAY_COUNT;
    // A vertex's pairs are converted into a small buffer first, so that its
    // weights array is created once at its final size; a group with more
    // pairs than the buffer holds is counted first and then converted.
    constexpr int64_t BUFFERED_PAIRS = 8;
    VertexWeight buffered[BUFFERED_PAIRS];
    const int64_t bufferedLimit = bonesPerVertex < BUFFERED_PAIRS ? bonesPerVertex : BUFFERED_PAIRS;
    TokenCursor cursor(text);
    const char* begin = nullptr;
    const char* end = nullptr;
    for (VertexRecord& vertex : geometry.vertices) {
        if (!cursor.nextGroup()) break;
        const char* groupStart = cursor.position();
        // Complete pairs only: a link index without its weight is dropped.
        int64_t pairs = 0;
        for (; pairs < bufferedLimit; ++pairs) {
            VertexWeight& weight = buffered[pairs];
            if (!cursor.nextIntInGroup(weight.linkIndex) || !cursor.nextFloatInGroup(weight.weight)) break;
        }
        if (pairs == BUFFERED_PAIRS && bonesPerVertex > BUFFERED_PAIRS && cursor.moreInGroup()) {
            cursor.rewind(groupStart);
            int64_t tokens = 0;
            while (tokens < 2 * bonesPerVertex && cursor.nextInGroup(begin, end)) ++tokens;
            if (allocate(vertex.weights, tokens / 2) == 0) return 0;
            cursor.rewind(groupStart);
            for (VertexWeight& weight : vertex.weights) {
                cursor.nextIntInGroup(weight.linkIndex);
                cursor.nextFloatInGroup(weight.weight);
                weight.boneNodeIndex = -1;
            }
        } else if (pairs > 0) {
            if (allocate(vertex.weights, pairs) == 0) return 0;
            for (int64_t k = 0; k < pairs; ++k) {
                VertexWeight& weight = vertex.weights[static_cast<std::size_t>(k)];
                weight.linkIndex = buffered[k].linkIndex;
                weight.weight = buffered[k].weight;
                weight.boneNodeIndex = -1;
            }
        }
        cursor.endGroup();
    }
    return 1;
}

int parseMatrix(const char* text, int64_t rows, Matrix4& target) {
    if (text == nullptr || rows <= 0) return 0;
    target = Matrix4{};
    // One row buffer for all rows: columns a group leaves out keep the value of
    // the row before, and a missing group repeats the row before. Rows from the
    // fifth on change nothing, so they are not visited.
    float row[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    TokenCursor cursor(text);
    const char* begin = nullptr;
    const char* end = nullptr;
    bool more = true;
    int64_t usedRows = rows < 4 ? rows : 4;
    for (int64_t p = 0; p < usedRows; ++p) {
        if (more && (more = cursor.nextGroup())) {
            for (int c = 0; c < 4 && cursor.nextInGroup(begin, end); ++c) row[c] = parseFloat(begin, end);
            cursor.endGroup();
        }
        for (int c = 0; c < 4; ++c) target.at(static_cast<int>(p), c) = row[c];
    }
    return 1;
}

} // namespace bxml
