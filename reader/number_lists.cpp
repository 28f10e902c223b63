#include "reader/number_lists.h"

#include <algorithm>
#include <cmath>

#include "document/storage.h"
#include "reader/numbers.h"
#include "reader/token_cursor.h"

namespace bxml {
namespace {

// Slack allowed between a count and the text that is supposed to hold it: a
// count of vertices or faces far beyond the text's length cannot be meant and
// would only make a tiny file allocate gigabytes.
constexpr int64_t COUNT_SLACK = 4096;

// True when count may be backed by the cursor's text: at most its length plus
// the slack.
template <class Cursor>
bool plausibleCount(int64_t count, const Cursor& cursor) {
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

// The watch of the checked parsers: shows each token to the findings.
struct Checked {
    static constexpr bool CHECKED = true;
    TokenFindings* tokens;
    void look(const char* begin, const char* end, bool integer) { tokens->look(begin, end, integer); }
};

// The cursor of a parse with the given findings: plain without.
inline TokenCursor cursorOf(const char* text) { return TokenCursor(text); }
inline BasicTokenCursor<Checked> cursorOf(const char* text, TokenFindings& tokens) {
    return BasicTokenCursor<Checked>(text, Checked{&tokens});
}

// In a checked parse, looks at the tokens of a flat list that the parse left
// over (atof's reading: all lists that use it are of floats or atof'd).
template <class Cursor>
void lookAtTheRest(Cursor& cursor) {
    if constexpr (Cursor::CHECKED) {
        const char* begin = nullptr;
        const char* end = nullptr;
        while (cursor.next(begin, end)) cursor.watch().look(begin, end, false);
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

namespace {

bool isControl(char c) { return c == '\t' || c == '\r' || c == '\n'; }
bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

const char* controlName(char c) {
    if (c == '\t') return "tab";
    if (c == '\r') return "carriage return";
    return "line feed";
}

} // namespace

void TokenFindings::look(const char* begin, const char* end, bool integer) {
    ++tokens_;
    if (!startsWithNumber(begin, end, integer)) {
        if (notNumbers_++ == 0) firstNotNumber_.assign(begin, end);
    } else if (!integer && !std::isfinite(parseFloat(begin, end))) {
        if (notFinite_++ == 0) firstNotFinite_.assign(begin, end);
    }
    if (broken_.empty()) {
        // A control character between two parts of one token: what follows
        // it is lost (a control character at either end is white space to
        // the conversion).
        const char* c = std::find_if(begin, end, isControl);
        if (c != end && c != begin && std::any_of(begin, c, [](char ch) { return !isBlank(ch); }) &&
            std::any_of(c, end, [](char ch) { return !isBlank(ch); })) {
            broken_.assign(begin, end);
            brokenBy_ = *c;
        }
    }
}

void TokenFindings::report(Diagnostics& diagnostics, int line, const char* list) const {
    const std::string in = std::string(" in the number list of `") + list + "`";
    if (!broken_.empty()) {
        diagnostics.warn(line, FindingKind::BrokenToken,
                         std::string("a ") + controlName(brokenBy_) + in + " (" + quoted(broken_.c_str()) + ")",
                         "only the number before it is read: the numbers after it up to the next space are lost");
    }
    if (notNumbers_ > 0) {
        diagnostics.warn(line, FindingKind::NotANumber,
                         quoted(firstNotNumber_.c_str()) + in + " does not start with a number" +
                             (notNumbers_ > 1 ? " (nor do " + std::to_string(notNumbers_ - 1) + " more)" : ""),
                         "read as 0", notNumbers_);
    }
    if (notFinite_ > 0) {
        diagnostics.warn(line, FindingKind::NotFinite,
                         quoted(firstNotFinite_.c_str()) + in + " is not a finite number" +
                             (notFinite_ > 1 ? " (nor are " + std::to_string(notFinite_ - 1) + " more)" : ""),
                         "kept as it is: NaN or infinity reaches the model", notFinite_);
    }
}

bool countFitsText(int64_t count, const char* text) { return plausibleCount(count, TokenCursor(text)); }

int64_t totalCorners(const GeometryRecord& geometry) {
    int64_t total = 0;
    for (const FaceRecord& face : geometry.faces) total += face.cornerCount;
    return total;
}

namespace {

template <class... Tokens>
ListResult readVertices(GeometryRecord& geometry, int64_t count, const char* text, Tokens&... tokens) {
    if (count <= 0) return LIST_READ;
    auto cursor = cursorOf(text, tokens...);
    if (!plausibleCount(count, cursor)) {
        release(geometry.vertices);
        return LIST_IMPLAUSIBLE_COUNT;
    }
    if (allocate(geometry.vertices, count) == 0) return LIST_OUT_OF_MEMORY;
    for (VertexRecord& vertex : geometry.vertices) {
        if (!cursor.nextFloat(vertex.position.x)) break;
        if (!cursor.nextFloat(vertex.position.y)) break;
        if (!cursor.nextFloat(vertex.position.z)) break;
    }
    lookAtTheRest(cursor);
    return LIST_READ;
}

} // namespace

ListResult parseVertices(GeometryRecord& geometry, int64_t count, const char* text) {
    return readVertices(geometry, count, text);
}
ListResult parseVertices(GeometryRecord& geometry, int64_t count, const char* text, TokenFindings& tokens) {
    return readVertices(geometry, count, text, tokens);
}

namespace {

// In a checked parse, counts the groups after the last one read.
template <class Findings, class Cursor>
void noteRest(Findings& findings, Cursor& cursor) {
    while (cursor.nextGroup()) {
        ++findings.groups;
        cursor.endGroup();
    }
}

// The tokens of the current group, of which a parse converted k, at most 4:
// the rest are passed over.
template <class Cursor>
int64_t tokensOfGroup(int k, Cursor& cursor) {
    int64_t n = k;
    const char* begin = nullptr;
    const char* end = nullptr;
    if (k == 4) {
        while (cursor.nextInGroup(begin, end)) ++n;
    }
    return n;
}

// In a checked parse, notes the group of face f, of which the parse converted
// k indices, and passes over the rest of its tokens.
template <class Cursor>
void noteFace(IndexFindings& findings, int64_t f, int k, Cursor& cursor) {
    const int64_t n = tokensOfGroup(k, cursor);
    ++findings.groups;
    if (n > 4 && findings.longFaces++ == 0) findings.firstLong = f;
    if (n < 3 && findings.firstShort < 0) {
        findings.firstShort = f;
        findings.firstShortIndices = n;
    }
}

template <class... Findings>
ListResult readIndices(GeometryRecord& geometry, int64_t count, const char* text, Findings&... findings) {
    if (count <= 0) return LIST_READ;
    auto cursor = cursorOf(text, findings.tokens...);
    if (!plausibleCount(count, cursor)) {
        release(geometry.faces);
        return LIST_IMPLAUSIBLE_COUNT;
    }
    if (allocate(geometry.faces, count) == 0) return LIST_OUT_OF_MEMORY;
    // A face has four corners when its group gives a fourth index; faces the
    // text leaves out keep -1 everywhere and count as triangles.
    std::size_t f = 0;
    for (; f < geometry.faces.size() && cursor.nextGroup(); ++f) {
        FaceRecord& face = geometry.faces[f];
        int k = 0;
        while (k < 4 && cursor.nextIntInGroup(face.vertexIndices[k])) ++k;
        (noteFace(findings, static_cast<int64_t>(f), k, cursor), ...);
        cursor.endGroup();
        face.cornerCount = face.vertexIndices[3] == -1 ? 3 : 4;
    }
    for (; f < geometry.faces.size(); ++f) geometry.faces[f].cornerCount = 3;
    (noteRest(findings, cursor), ...);
    return LIST_READ;
}

} // namespace

ListResult parseIndices(GeometryRecord& geometry, int64_t count, const char* text) {
    return readIndices(geometry, count, text);
}
ListResult parseIndices(GeometryRecord& geometry, int64_t count, const char* text, IndexFindings& findings) {
    return readIndices(geometry, count, text, findings);
}

namespace {

// A list of one item per face corner, in face order: read(cursor, more, face,
// corner) converts one item into the corner while `more` holds and says
// whether the text went on; corners after the text ends keep the default that
// read writes.
template <class Read, class... Tokens>
ListResult readCornerList(GeometryRecord& geometry, int64_t count, const char* text, Read read, Tokens&... tokens) {
    if (geometry.faces.empty()) return LIST_NO_ITEMS;
    if (count != totalCorners(geometry)) return LIST_COUNT_MISMATCH;
    auto cursor = cursorOf(text, tokens...);
    bool more = true;
    forEachCorner(geometry, count,
                  [&](FaceRecord& face, int corner, int64_t) { more = read(cursor, more, face, corner); });
    lookAtTheRest(cursor);
    return LIST_READ;
}

template <class... Tokens>
ListResult readUvSet(GeometryRecord& geometry, int set, int64_t count, const char* text, Tokens&... tokens) {
    if (count <= 0 || set < 0 || set > 1) return LIST_READ;
    auto read = [set](auto& cursor, bool more, FaceRecord& face, int corner) {
        Vector2 uv{0.0f, 0.0f};
        more = more && cursor.nextFloat(uv.u);
        more = more && cursor.nextFloat(uv.v);
        face.uv[set][corner] = uv;
        return more;
    };
    return readCornerList(geometry, count, text, read, tokens...);
}

} // namespace

ListResult parseUvSet(GeometryRecord& geometry, int set, int64_t count, const char* text) {
    return readUvSet(geometry, set, count, text);
}
ListResult parseUvSet(GeometryRecord& geometry, int set, int64_t count, const char* text, TokenFindings& tokens) {
    return readUvSet(geometry, set, count, text, tokens);
}

namespace {

template <class... Tokens>
ListResult readColors(GeometryRecord& geometry, int64_t count, const char* text, Tokens&... tokens) {
    if (count <= 0) return LIST_READ;
    auto read = [](auto& cursor, bool more, FaceRecord& face, int corner) {
        Color color{1.0f, 1.0f, 1.0f, 1.0f};
        more = more && cursor.nextFloat(color.r);
        more = more && cursor.nextFloat(color.g);
        more = more && cursor.nextFloat(color.b);
        face.colors[corner] = color;
        return more;
    };
    return readCornerList(geometry, count, text, read, tokens...);
}

} // namespace

ListResult parseColors(GeometryRecord& geometry, int64_t count, const char* text) {
    return readColors(geometry, count, text);
}
ListResult parseColors(GeometryRecord& geometry, int64_t count, const char* text, TokenFindings& tokens) {
    return readColors(geometry, count, text, tokens);
}

namespace {

template <class... Tokens>
ListResult readFaceMaterials(GeometryRecord& geometry, int64_t count, const char* text, Tokens&... tokens) {
    if (count <= 0) return LIST_READ;
    if (geometry.faces.empty()) return LIST_NO_ITEMS;
    if (count != static_cast<int64_t>(geometry.faces.size())) return LIST_COUNT_MISMATCH;
    auto cursor = cursorOf(text, tokens...);
    bool more = true;
    for (FaceRecord& face : geometry.faces) {
        const char* begin = nullptr;
        const char* end = nullptr;
        int32_t material = -1;
        if (more && (more = cursor.next(begin, end))) {
            cursor.watch().look(begin, end, false);
            material = truncateToIndex(parseDouble(begin, end));
        }
        face.materialIndex = material;
    }
    lookAtTheRest(cursor);
    return LIST_READ;
}

} // namespace

ListResult parseFaceMaterials(GeometryRecord& geometry, int64_t count, const char* text) {
    return readFaceMaterials(geometry, count, text);
}
ListResult parseFaceMaterials(GeometryRecord& geometry, int64_t count, const char* text, TokenFindings& tokens) {
    return readFaceMaterials(geometry, count, text, tokens);
}

namespace {

// In a checked parse, walks again the group of vertex v, which starts at
// groupStart, looks at the tokens of its first most pairs and notes what it
// holds; leaves the cursor at the group's end.
void noteVertex(WeightFindings& findings, int64_t v, const char* groupStart, TokenCursor& cursor, int64_t most) {
    cursor.rewind(groupStart);
    const char* begin = nullptr;
    const char* end = nullptr;
    int64_t n = 0;
    for (; cursor.nextInGroup(begin, end); ++n) {
        if (n < 2 * most) findings.tokens.look(begin, end, n % 2 == 0);
    }
    ++findings.groups;
    if (n % 2 != 0 && n / 2 < most && findings.odd++ == 0) findings.firstOdd = v;
    if (n / 2 > most && findings.over++ == 0) findings.firstOver = v;
}

template <class... Findings>
ListResult readWeights(GeometryRecord& geometry, int64_t count, const char* text, int64_t bonesPerVertex,
                       Findings&... findings) {
    if (count <= 0 || bonesPerVertex <= 0) return LIST_READ;
    [[maybe_unused]] const int64_t most = bonesPerVertex; // before the clamp below, as the checks count
    if (geometry.vertices.empty()) return LIST_NO_ITEMS;
    if (count != static_cast<int64_t>(geometry.vertices.size())) return LIST_COUNT_MISMATCH;
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
    [[maybe_unused]] int64_t v = 0;
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
            if (allocate(vertex.weights, tokens / 2) == 0) return LIST_OUT_OF_MEMORY;
            cursor.rewind(groupStart);
            for (VertexWeight& weight : vertex.weights) {
                cursor.nextIntInGroup(weight.linkIndex);
                cursor.nextFloatInGroup(weight.weight);
                weight.boneNodeIndex = -1;
            }
        } else if (pairs > 0) {
            if (allocate(vertex.weights, pairs) == 0) return LIST_OUT_OF_MEMORY;
            for (int64_t k = 0; k < pairs; ++k) {
                VertexWeight& weight = vertex.weights[static_cast<std::size_t>(k)];
                weight.linkIndex = buffered[k].linkIndex;
                weight.weight = buffered[k].weight;
                weight.boneNodeIndex = -1;
            }
        }
        (noteVertex(findings, v, groupStart, cursor, most), ...);
        ++v;
        cursor.endGroup();
    }
    (noteRest(findings, cursor), ...);
    return LIST_READ;
}

} // namespace

ListResult parseWeights(GeometryRecord& geometry, int64_t count, const char* text, int64_t bonesPerVertex) {
    return readWeights(geometry, count, text, bonesPerVertex);
}
ListResult parseWeights(GeometryRecord& geometry, int64_t count, const char* text, int64_t bonesPerVertex,
                        WeightFindings& findings) {
    return readWeights(geometry, count, text, bonesPerVertex, findings);
}

namespace {

// In a checked parse, notes row p, of which the parse converted k numbers,
// and passes over the rest of its tokens.
void noteRow(MatrixFindings& findings, int64_t p, int k, TokenCursor& cursor) {
    ++findings.groups;
    findings.rowNumbers[p] = tokensOfGroup(k, cursor);
}

void lookAt(MatrixFindings& findings, const char* begin, const char* end) { findings.tokens.look(begin, end, false); }

template <class... Findings>
ListResult readMatrix(const char* text, int64_t rows, Matrix4& target, Findings&... findings) {
    if (text == nullptr || rows <= 0) return LIST_NO_NUMBERS;
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
            int c = 0;
            for (; c < 4 && cursor.nextInGroup(begin, end); ++c) {
                row[c] = parseFloat(begin, end);
                (lookAt(findings, begin, end), ...);
            }
            (noteRow(findings, p, c, cursor), ...);
            cursor.endGroup();
        }
        for (int c = 0; c < 4; ++c) target.at(static_cast<int>(p), c) = row[c];
    }
    if (more) (noteRest(findings, cursor), ...);
    return LIST_READ;
}

} // namespace

ListResult parseMatrix(const char* text, int64_t rows, Matrix4& target) { return readMatrix(text, rows, target); }
ListResult parseMatrix(const char* text, int64_t rows, Matrix4& target, MatrixFindings& findings) {
    return readMatrix(text, rows, target, findings);
}

} // namespace bxml
