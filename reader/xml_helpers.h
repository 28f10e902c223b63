// Small helpers the section readers share for getting values out of the XML
// tree. Element and attribute names are matched exactly, with case; a child
// element always means the first child of that name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "document/diagnostics.h"
#include "document/fixed_text.h"
#include "document/records.h"
#include "math/vector_math.h"

namespace tinyxml2 {
class XMLElement;
}

namespace bxml {

// The number of child elements of parent named name (null parent: 0). Counted
// in 64 bits so that the caller can refuse counts beyond the document's 32-bit
// limit instead of wrapping.
int64_t countChildElements(const tinyxml2::XMLElement* parent, const char* name);

// The text of parent's first child element named name, or null when there is
// no such child or it has no text.
const char* childText(const tinyxml2::XMLElement* parent, const char* name);

// Copies the attribute into field (cut at 255 characters) when it is present;
// otherwise field keeps its value.
void copyAttribute(const tinyxml2::XMLElement* element, const char* attribute, Name& field);

// Copies the text of the first child named child into field when the child
// exists and has text; otherwise field keeps its value.
void copyChildText(const tinyxml2::XMLElement* parent, const char* child, Name& field);

// Sets value to the attribute converted as atof (C locale) and returns true
// when the attribute is present; otherwise value keeps its value.
bool readFloatAttribute(const tinyxml2::XMLElement* element, const char* attribute, float& value);

// Sets value to the text of the first child named child converted as atof,
// when that child has text; returns whether it did.
bool readFloatText(const tinyxml2::XMLElement* parent, const char* child, float& value);

// The vector-valued children: taken only when the first child named child
// exists and carries every attribute (x, y, z; x, y, z, w; r, g, b), otherwise
// the target keeps its value and the result is false. Quaternions are stored
// as given; the colour's alpha becomes 1.
bool readVector3Child(const tinyxml2::XMLElement* parent, const char* child, Vector3& value);
bool readQuaternionChild(const tinyxml2::XMLElement* parent, const char* child, Quaternion& value);
bool readColorChild(const tinyxml2::XMLElement* parent, const char* child, Color& value);

// The same rules for an element already found (null: false).
bool readVector3(const tinyxml2::XMLElement* element, Vector3& value);
bool readQuaternion(const tinyxml2::XMLElement* element, Quaternion& value);

// Copies the element's text into field when the element exists and has text.
void copyText(const tinyxml2::XMLElement* element, Name& field);

// found[i] := parent's first child element named names[i], or null: what
// FirstChildElement(names[i]) gives, found in one walk over the children
// instead of one walk per name (a record with many optional children is read
// hundreds of thousands of times in a scene-heavy file).
void firstChildrenNamed(const tinyxml2::XMLElement* parent, const char* const* names, std::size_t count,
                        const tinyxml2::XMLElement** found);

// v held to [low, high].
inline float clamped(float v, float low, float high) {
    if (v < low) return low;
    if (v > high) return high;
    return v;
}

// Reads the text of parent's first child named child into value as
// readFloatText does, then holds it to [low, high]; with diagnostics, a value
// outside is reported at the child's line. False when there is no such text.
bool readClampedFloatText(const tinyxml2::XMLElement* parent, const char* child, float& value, float low, float high,
                          Diagnostics* diagnostics);

// field := first "::" second, cut at 255 characters (the form of bone-node
// paths).
// The count attribute of a list as the readers take it (atoi; absent is 0).
// Given a sink, a count that is absent, not a number or not positive is
// reported when the element has numbers, since the list is then not read;
// notRead says what the import does instead.
int64_t countAttribute(const tinyxml2::XMLElement& e, const char* attribute, Diagnostics* sink, const char* notRead);

void assignPath(Name& field, const char* first, const char* second);

} // namespace bxml
