// Parsers of the number lists carried in element text.
//
// Flat lists: numbers separated by spaces. Grouped lists: groups separated by
// commas, numbers inside a group by spaces. Only the space (32) separates
// numbers and only the comma separates groups; runs of spaces count as one and
// so do commas that touch (there are no empty tokens), but the text between
// two commas is a group even when it holds only spaces: "0 1,  ,2 3" is three
// groups, the middle one without numbers, and its item keeps its defaults.
// Tabs and line breaks are part of a token.
// Every parser returns LIST_READ when done or when there is nothing to do
// (count <= 0), and otherwise why it read nothing (see ListResult). Nothing
// modifies the text.
#pragma once

#include <cstdint>
#include <string>

#include "document/diagnostics.h"
#include "document/records.h"

namespace bxml {

// What a list parser did: read the list, or why it read nothing of it.
enum ListResult : int {
    LIST_READ = 1,
    LIST_COUNT_MISMATCH = -1,    // the count differs from the faces' corners, the faces or the vertices
    LIST_NO_ITEMS = -2,          // the geometry has no faces (vertices) for the list to attach to
    LIST_IMPLAUSIBLE_COUNT = -3, // a count far beyond what the text can hold (see countFitsText)
    LIST_OUT_OF_MEMORY = -4,     // no memory for the target array
    LIST_NO_NUMBERS = -5,        // a matrix without text or rows
};

// What the tokens of one list hold that the conversion passes over: tokens
// that do not start with a number (read as 0), NaN or infinity, a tab or line
// break inside a token. The checked parsers gather it for the reader to report.
class TokenFindings {
public:
    // One token, converted as atof (integer: atoi) converts it.
    void look(const char* begin, const char* end, bool integer);
    // The tokens looked at.
    int64_t tokens() const { return tokens_; }
    // Reports what was found, on the list's line; list is its element name.
    void report(Diagnostics& diagnostics, int line, const char* list) const;

private:
    int64_t tokens_ = 0;
    int64_t notNumbers_ = 0;
    int64_t notFinite_ = 0;
    std::string firstNotNumber_;
    std::string firstNotFinite_;
    std::string broken_;
    char brokenBy_ = 0;
};

[[nodiscard]] ListResult parseVertices(GeometryRecord& geometry, int64_t count, const char* text);
[[nodiscard]] ListResult parseIndices(GeometryRecord& geometry, int64_t count, const char* text);
[[nodiscard]] ListResult parseUvSet(GeometryRecord& geometry, int set, int64_t count, const char* text);
[[nodiscard]] ListResult parseColors(GeometryRecord& geometry, int64_t count, const char* text);
[[nodiscard]] ListResult parseFaceMaterials(GeometryRecord& geometry, int64_t count, const char* text);
[[nodiscard]] ListResult parseWeights(GeometryRecord& geometry, int64_t count, const char* text,
                                      int64_t bonesPerVertex);

// The checked variants of the flat-list parsers: the same result and record,
// and every token of the text, also those after the count's, looked at by
// tokens.
[[nodiscard]] ListResult parseVertices(GeometryRecord& geometry, int64_t count, const char* text,
                                       TokenFindings& tokens);
[[nodiscard]] ListResult parseUvSet(GeometryRecord& geometry, int set, int64_t count, const char* text,
                                    TokenFindings& tokens);
[[nodiscard]] ListResult parseColors(GeometryRecord& geometry, int64_t count, const char* text, TokenFindings& tokens);
[[nodiscard]] ListResult parseFaceMaterials(GeometryRecord& geometry, int64_t count, const char* text,
                                            TokenFindings& tokens);

// What the groups of an index list hold beyond the faces it fills: every
// group, also those after the count's, and the faces of fewer than 3 or more
// than 4 indices among the count's (faces numbered from 0).
struct IndexFindings {
    TokenFindings tokens;
    int64_t groups = 0;
    int64_t longFaces = 0;
    int64_t firstLong = -1;
    int64_t firstShort = -1;
    int64_t firstShortIndices = 0;
};
// The checked variant of parseIndices: the same result and record.
[[nodiscard]] ListResult parseIndices(GeometryRecord& geometry, int64_t count, const char* text,
                                      IndexFindings& findings);
// What the groups of a weight list hold beyond the pairs it keeps: every
// group, also those after the count's, and the vertices (numbered from 0)
// whose group ends in a link index without its weight or holds more pairs
// than the most per vertex.
struct WeightFindings {
    TokenFindings tokens;
    int64_t groups = 0;
    int64_t odd = 0;
    int64_t firstOdd = -1;
    int64_t over = 0;
    int64_t firstOver = -1;
};
// The checked variant of parseWeights: the same result and record.
[[nodiscard]] ListResult parseWeights(GeometryRecord& geometry, int64_t count, const char* text, int64_t bonesPerVertex,
                                      WeightFindings& findings);
// No text or rows <= 0: returns LIST_NO_NUMBERS and leaves target untouched.
[[nodiscard]] ListResult parseMatrix(const char* text, int64_t rows, Matrix4& target);

// What the rows of a matrix hold beyond the four numbers each of the first
// four keeps: every group, also those after the rows', and the numbers of
// each of the rows read.
struct MatrixFindings {
    TokenFindings tokens;
    int64_t groups = 0;
    int64_t rowNumbers[4] = {};
};
// The checked variant of parseMatrix: the same result and target.
[[nodiscard]] ListResult parseMatrix(const char* text, int64_t rows, Matrix4& target, MatrixFindings& findings);

// Whether a count of vertices or faces may be backed by text: the parsers
// refuse (and read nothing of) a count far beyond the text's length.
bool countFitsText(int64_t count, const char* text);

// The sum of cornerCount over the geometry's faces, in 64 bits.
int64_t totalCorners(const GeometryRecord& geometry);

} // namespace bxml
