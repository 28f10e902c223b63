// Parsers of the number lists carried in element text.
//
// Flat lists: numbers separated by spaces. Grouped lists: groups separated by
// commas, numbers inside a group by spaces. Only the space (32) separates
// numbers and only the comma separates groups; runs of spaces count as one and
// so do commas that touch (there are no empty tokens), but the text between
// two commas is a group even when it holds only spaces: "0 1,  ,2 3" is three
// groups, the middle one without numbers, and its item keeps its defaults.
// Tabs and line breaks are part of a token.
// Every parser returns 1 when done or when there is nothing to do (count <= 0),
// 0 on a failure (no faces/vertices to attach to, a count that does not match,
// or no memory for the target array). Nothing modifies the text.
#pragma once

#include <cstdint>

#include "document/records.h"

namespace bxml {

[[nodiscard]] int parseVertices(GeometryRecord& geometry, int64_t count, const char* text);
[[nodiscard]] int parseIndices(GeometryRecord& geometry, int64_t count, const char* text);
[[nodiscard]] int parseUvSet(GeometryRecord& geometry, int set, int64_t count, const char* text);
[[nodiscard]] int parseColors(GeometryRecord& geometry, int64_t count, const char* text);
[[nodiscard]] int parseFaceMaterials(GeometryRecord& geometry, int64_t count, const char* text);
[[nodiscard]] int parseWeights(GeometryRecord& geometry, int64_t count, const char* text, int64_t bonesPerVertex);
// No text or rows <= 0: returns 0 and leaves target untouched.
[[nodiscard]] int parseMatrix(const char* text, int64_t rows, Matrix4& target);

// Whether a count of vertices or faces may be backed by text: the parsers
// refuse (and read nothing of) a count far beyond the text's length.
bool countFitsText(int64_t count, const char* text);

// The sum of cornerCount over the geometry's faces, in 64 bits.
int64_t totalCorners(const GeometryRecord& geometry);

} // namespace bxml
