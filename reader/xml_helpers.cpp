#include "reader/xml_helpers.h"

#include <tinyxml2.h>

#include <cstring>
#include <initializer_list>
#include <string>

#include "reader/numbers.h"

namespace bxml {

using tinyxml2::XMLElement;

int64_t countChildElements(const XMLElement* parent, const char* name) {
    int64_t n = 0;
    if (parent == nullptr) return 0;
    for (const XMLElement* e = parent->FirstChildElement(name); e != nullptr; e = e->NextSiblingElement(name)) {
        ++n;
    }
    return n;
}

const char* childText(const XMLElement* parent, const char* name) {
    if (parent == nullptr) return nullptr;
    const XMLElement* child = parent->FirstChildElement(name);
    return child != nullptr ? child->GetText() : nullptr;
}

void copyAttribute(const XMLElement* element, const char* attribute, Name& field) {
    if (element == nullptr) return;
    const char* value = element->Attribute(attribute);
    if (value != nullptr) field.assign(value);
}

void copyChildText(const XMLElement* parent, const char* child, Name& field) {
    const char* text = childText(parent, child);
    if (text != nullptr) field.assign(text);
}

void copyText(const XMLElement* element, Name& field) {
    const char* text = element != nullptr ? element->GetText() : nullptr;
    if (text != nullptr) field.assign(text);
}

void firstChildrenNamed(const XMLElement* parent, const char* const* names, std::size_t count,
                        const XMLElement** found) {
    for (std::size_t i = 0; i < count; ++i) found[i] = nullptr;
    if (parent == nullptr) return;
    std::size_t missing = count;
    for (const XMLElement* e = parent->FirstChildElement(); e != nullptr && missing > 0; e = e->NextSiblingElement()) {
        const char* name = e->Name();
        for (std::size_t i = 0; i < count; ++i) {
            if (found[i] == nullptr && name[0] == names[i][0] && std::strcmp(name, names[i]) == 0) {
                found[i] = e;
                --missing;
                break;
            }
        }
    }
}

bool readFloatAttribute(const XMLElement* element, const char* attribute, float& value) {
    if (element == nullptr) return false;
    const char* text = element->Attribute(attribute);
    if (text == nullptr) return false;
    value = parseFloat(text);
    return true;
}

bool readFloatText(const XMLElement* parent, const char* child, float& value) {
    const char* text = childText(parent, child);
    if (text == nullptr) return false;
    value = parseFloat(text);
    return true;
}

bool readClampedFloatText(const XMLElement* parent, const char* child, float& value, float low, float high,
                          Diagnostics* diagnostics) {
    if (!readFloatText(parent, child, value)) return false;
    if ((value < low || value > high) && diagnostics != nullptr) {
        const XMLElement* e = parent->FirstChildElement(child);
        diagnostics->warn(e->GetLineNum(), FindingKind::OutOfRange,
                          "`" + std::string(child) + "` " + quoted(e->GetText()) + " outside " +
                              std::to_string(static_cast<int>(low)) + " to " + std::to_string(static_cast<int>(high)),
                          "clamped to that range");
    }
    value = clamped(value, low, high);
    return true;
}

namespace {

// The attributes named in names[0..n) of e, all present, or false (null e:
// false).
template <int N>
bool attributes(const XMLElement* e, const char* const (&names)[N], const char* (&values)[N]) {
    if (e == nullptr) return false;
    for (int i = 0; i < N; ++i) {
        values[i] = e->Attribute(names[i]);
        if (values[i] == nullptr) return false;
    }
    return true;
}

constexpr const char* const XYZ[3] = {"x", "y", "z"};
constexpr const char* const XYZW[4] = {"x", "y", "z", "w"};
constexpr const char* const RGB[3] = {"r", "g", "b"};

const XMLElement* firstChild(const XMLElement* parent, const char* child) {
    return parent != nullptr ? parent->FirstChildElement(child) : nullptr;
}

} // namespace

bool readVector3Child(const XMLElement* parent, const char* child, Vector3& value) {
    return readVector3(firstChild(parent, child), value);
}

bool readQuaternionChild(const XMLElement* parent, const char* child, Quaternion& value) {
    return readQuaternion(firstChild(parent, child), value);
}

bool readVector3(const XMLElement* element, Vector3& value) {
    const char* v[3];
    if (!attributes(element, XYZ, v)) return false;
    value.x = parseFloat(v[0]);
    value.y = parseFloat(v[1]);
    value.z = parseFloat(v[2]);
    return true;
}

bool readQuaternion(const XMLElement* element, Quaternion& value) {
    const char* v[4];
    if (!attributes(element, XYZW, v)) return false;
    value.x = parseFloat(v[0]);
    value.y = parseFloat(v[1]);
    value.z = parseFloat(v[2]);
    value.w = parseFloat(v[3]);
    return true;
}

bool readColorChild(const XMLElement* parent, const char* child, Color& value) {
    const char* v[3];
    if (!attributes(firstChild(parent, child), RGB, v)) return false;
    value.r = parseFloat(v[0]);
    value.g = parseFloat(v[1]);
    value.b = parseFloat(v[2]);
    value.a = 1.0f;
    return true;
}

void assignPath(Name& field, const char* first, const char* second) {
    constexpr std::size_t LIMIT = Name::CAPACITY - 1;
    char out[Name::CAPACITY];
    std::size_t n = 0;
    for (const char* part : {first, "::", second}) {
        if (part == nullptr) continue;
        while (n < LIMIT && *part != '\0') out[n++] = *part++;
    }
    field.assign(out, n);
}

namespace {

bool hasContent(const char* text) {
    if (text == nullptr) return false;
    for (; *text != '\0'; ++text) {
        if (*text != ' ' && (*text < '\t' || *text > '\r')) return true;
    }
    return false;
}

} // namespace

int64_t countAttribute(const XMLElement& e, const char* attribute, Diagnostics* sink, const char* notRead) {
    const char* value = e.Attribute(attribute);
    const int64_t n = parseInt(value);
    if (sink == nullptr || !hasContent(e.GetText())) return n;
    const std::string name = std::string("`") + attribute + "`";
    const std::string list = std::string("`") + e.Name() + "`";
    if (value == nullptr) {
        sink->warn(e.GetLineNum(), FindingKind::Missing, list + " has no " + name, notRead);
    } else if (!startsWithNumber(value, value + std::strlen(value), true)) {
        sink->warn(e.GetLineNum(), FindingKind::NotANumber,
                   name + " of " + list + " is " + quoted(value) + ", not a number",
                   std::string("read as 0: ") + notRead);
    } else if (n <= 0) {
        sink->warn(e.GetLineNum(), FindingKind::CountMismatch, name + " of " + list + " is " + std::to_string(n),
                   notRead);
    }
    return n;
}

} // namespace bxml
