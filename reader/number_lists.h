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

#include "document/records.h"

namespace bxml {

// What a list parser did: read the list, or why it read nothing of it.
enum ListResult : int {
    LIST_READ = 1,
    LIST_COUNT_MISMATCH = -1,    // the count differs from the faces' corners, the faces or the vertices
    LIST_NO_ITEMS = -2,          // the geometry has no faces (vertices) for the list to attach to
    LIST_IMPLAUSIBLE_COUNT = -3, // a count far beyond what the text can hold (see countFitsText)
    LIST_OUT_OF_MEMORY = -4,     // no memory for the target array
};

[[nodiscard]] ListResult parseVertices(GeometryRecord& geometry, int64_t count, const char* text);
[[nodiscard]] ListResult parseIndices(GeometryRecord& geometry, int64_t count, const char* text);
[[nodiscard]] ListResult parseUvSet(GeometryRecord& geometry, int set, int64_t count, const char* text);
[[nodiscard]] ListResult parseColors(GeometryRecord& geometry, int64_t count, const char* text);
[[nodiscard]] ListResult parseFaceMaterials(GeometryRecord& geometry, int64_t count, const char* text);
[[nodiscard]] ListResult parseWeights(GeometryRecord& geometry, int64_t count, const char* text,
                                      int64_t bonesPerVertex);
// No text or rows <= 0: returns 0 and leaves target untouched.
[[nodiscard]] int parseMatrix(const char* text, int64_t rows, Matrix4& target);

// Whether a count of vertices or faces may be backed by text: the parsers
// refuse (and read nothing of) a count far beyond the text's length.
bool countFitsText(int64_t count, const char* text);

// The sum of cornerCount over the geometry's faces, in 64 bits.
int64_t totalCorners(const GeometryRecord& geometry);

} // namespace bxml
