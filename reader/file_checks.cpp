#include "reader/file_checks.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "document/fixed_text.h"
#include "reader/numbers.h"
#include "reader/xml_helpers.h"

namespace bxml {

using tinyxml2::XMLAttribute;
using tinyxml2::XMLElement;

namespace {

// ---------------------------------------------------------------------------
// The format's elements and attributes, as the readers look for them.

// What an attribute or an element's text holds, as far as the checks go.
enum class Value : uint8_t {
    Other, // read as it stands, or checked by the element's own check
    Name,  // copied into a 255-byte name
    Float, // atof
    Int,   // atoi
};

struct Attribute {
    const char* name;
    Value value;
    // Non-null: leaving the attribute out is a finding, and this is what the
    // import does instead.
    const char* ifAbsent;
};

struct Node;

struct Child {
    const char* name;
    const Node* node;
    bool repeated; // false: only the first occurrence counts
};

struct Node {
    std::span<const Attribute> attributes = {};
    std::span<const Child> children = {};
    Value text = Value::Other;
    bool vector = false;    // taken only when every attribute is present
    bool openEnded = false; // children it does not know are the file's own business
};

constexpr Attribute XYZ[] = {{"x", Value::Float, nullptr}, {"y", Value::Float, nullptr}, {"z", Value::Float, nullptr}};
constexpr Attribute XYZW[] = {{"x", Value::Float, nullptr},
                              {"y", Value::Float, nullptr},
                              {"z", Value::Float, nullptr},
                              {"w", Value::Float, nullptr}};
constexpr Attribute RGB[] = {{"r", Value::Float, nullptr}, {"g", Value::Float, nullptr}, {"b", Value::Float, nullptr}};

const Node VECTOR3{.attributes = XYZ, .vector = true};
const Node QUATERNION{.attributes = XYZW, .vector = true};
const Node COLOR{.attributes = RGB, .vector = true};
const Node NAME_TEXT{.text = Value::Name};
const Node FLOAT_TEXT{.text = Value::Float};
const Node INT_TEXT{.text = Value::Int};
const Node PLAIN{};

constexpr Attribute SPOT_ATTRIBUTES[] = {{"angle", Value::Float, "the spot keeps its angles of 20 and 10 degrees"}};
const Node SPOT{.attributes = SPOT_ATTRIBUTES};
constexpr Attribute CLIP_ATTRIBUTES[] = {{"near", Value::Float, nullptr}, {"far", Value::Float, nullptr}};
const Node CLIP{.attributes = CLIP_ATTRIBUTES};

constexpr Attribute LIGHT_ATTRIBUTES[] = {{"name", Value::Name, "no object can place it"},
                                          {"type", Value::Name, "the host's default light type stays"}};
const Child LIGHT_CHILDREN[] = {{"color", &COLOR, false},
                                {"spot", &SPOT, false},
                                {"radius", &FLOAT_TEXT, false},
                                {"intensity", &FLOAT_TEXT, false}};
const Node LIGHT{.attributes = LIGHT_ATTRIBUTES, .children = LIGHT_CHILDREN};

constexpr Attribute CAMERA_ATTRIBUTES[] = {{"name", Value::Name, "no object can place it"},
                                           {"type", Value::Name, nullptr}};
const Child CAMERA_CHILDREN[] = {{"clip", &CLIP, false}, {"fov", &FLOAT_TEXT, false}};
const Node CAMERA{.attributes = CAMERA_ATTRIBUTES, .children = CAMERA_CHILDREN};

constexpr Attribute IMAGE_ATTRIBUTES[] = {{"name", Value::Name, "no texture can name it"},
                                          {"url", Value::Other, "it names no file"}};
const Node IMAGE{.attributes = IMAGE_ATTRIBUTES};

constexpr Attribute TEXTURE_ATTRIBUTES[] = {{"name", Value::Name, "no material can name it"},
                                            {"type", Value::Name, nullptr}};
const Child TEXTURE_CHILDREN[] = {{"image", &NAME_TEXT, false}};
const Node TEXTURE{.attributes = TEXTURE_ATTRIBUTES, .children = TEXTURE_CHILDREN};

constexpr Attribute MATERIAL_TEXTURE_ATTRIBUTES[] = {
    {"name", Value::Name, nullptr}, {"map_type", Value::Other, nullptr}, {"blend_type", Value::Other, nullptr}};
const Child MATERIAL_TEXTURE_CHILDREN[] = {{"uvset", &NAME_TEXT, false}};
const Node MATERIAL_TEXTURE{.attributes = MATERIAL_TEXTURE_ATTRIBUTES, .children = MATERIAL_TEXTURE_CHILDREN};

constexpr Attribute MATERIAL_ATTRIBUTES[] = {{"name", Value::Name, nullptr}};
const Child MATERIAL_CHILDREN[] = {{"texture", &MATERIAL_TEXTURE, true},
                                   {"shininess", &FLOAT_TEXT, false},
                                   {"alpha", &FLOAT_TEXT, false},
                                   {"diffuse", &COLOR, false},
                                   {"specular", &COLOR, false}};
const Node MATERIAL{.attributes = MATERIAL_ATTRIBUTES, .children = MATERIAL_CHILDREN};

// The counts of the lists are checked with the lists.
constexpr Attribute COUNT[] = {{"count", Value::Other, nullptr}};
const Node COUNTED_LIST{.attributes = COUNT};
constexpr Attribute UVSET_ATTRIBUTES[] = {{"name", Value::Name, nullptr}, {"count", Value::Other, nullptr}};
const Node UVSET{.attributes = UVSET_ATTRIBUTES};
constexpr Attribute WEIGHTS_ATTRIBUTES[] = {{"count", Value::Other, nullptr},
                                            {"maxBonePerVertex", Value::Other, nullptr}};
const Node WEIGHTS{.attributes = WEIGHTS_ATTRIBUTES};
constexpr Attribute LINK_ATTRIBUTES[] = {{"name", Value::Name, nullptr}, {"index", Value::Int, "its index is 0"}};
const Node LINK{.attributes = LINK_ATTRIBUTES};
const Child LINKS_CHILDREN[] = {{"link", &LINK, true}};
const Node LINKS{.children = LINKS_CHILDREN};

constexpr Attribute GEOMETRY_ATTRIBUTES[] = {{"name", Value::Name, "no object can place it"}};
const Child GEOMETRY_CHILDREN[] = {{"vertices", &COUNTED_LIST, false}, {"normals", &COUNTED_LIST, false},
                                   {"indices", &COUNTED_LIST, false},  {"uvset", &UVSET, true},
                                   {"colors", &COUNTED_LIST, false},   {"materials", &COUNTED_LIST, false},
                                   {"links", &LINKS, false},           {"weights", &WEIGHTS, false}};
const Node GEOMETRY{.attributes = GEOMETRY_ATTRIBUTES, .children = GEOMETRY_CHILDREN};

constexpr Attribute BONE_ATTRIBUTES[] = {
    {"name", Value::Name, "its bone has an empty name, and no child bone names it as parent"}};
extern const Node BONE;
const Child BONE_CHILDREN[] = {
    {"position", &VECTOR3, false}, {"rotation", &QUATERNION, false}, {"scale", &VECTOR3, false}, {"bone", &BONE, true}};
const Node BONE{.attributes = BONE_ATTRIBUTES, .children = BONE_CHILDREN};

constexpr Attribute SKELETON_ATTRIBUTES[] = {{"name", Value::Name, "no object or animation can name it"}};
const Child SKELETON_CHILDREN[] = {{"bone", &BONE, true}};
const Node SKELETON{.attributes = SKELETON_ATTRIBUTES, .children = SKELETON_CHILDREN};

constexpr Attribute FRAME_ATTRIBUTES[] = {{"time", Value::Float, "its keys get time 0"}};
const Child FRAME_CHILDREN[] = {{"position", &VECTOR3, false},
                                {"rotation", &QUATERNION, false},
                                {"scale", &VECTOR3, false},
                                {"matrix", &PLAIN, false}};
const Node FRAME{.attributes = FRAME_ATTRIBUTES, .children = FRAME_CHILDREN};
constexpr Attribute NODE_TRACK_ATTRIBUTES[] = {{"name", Value::Name, "the track animates no bone"}};
const Child NODE_TRACK_CHILDREN[] = {{"frame", &FRAME, true}};
const Node NODE_TRACK{.attributes = NODE_TRACK_ATTRIBUTES, .children = NODE_TRACK_CHILDREN};
constexpr Attribute SKELETON_TRACK_ATTRIBUTES[] = {{"name", Value::Name, "the track animates no skeleton"}};
const Child SKELETON_TRACK_CHILDREN[] = {{"node", &NODE_TRACK, true}};
const Node SKELETON_TRACK{.attributes = SKELETON_TRACK_ATTRIBUTES, .children = SKELETON_TRACK_CHILDREN};
constexpr Attribute ANIMATION_ATTRIBUTES[] = {
    {"name", Value::Name, nullptr}, {"length", Value::Float, "its length is 0"}, {"fps", Value::Float, "its fps is 0"}};
const Child ANIMATION_CHILDREN[] = {{"skeleton", &SKELETON_TRACK, true}};
const Node ANIMATION{.attributes = ANIMATION_ATTRIBUTES, .children = ANIMATION_CHILDREN};

constexpr Attribute MATRIX_ATTRIBUTES[] = {{"rows", Value::Other, nullptr}};
const Node MATRIX{.attributes = MATRIX_ATTRIBUTES};
constexpr Attribute OBJECT_ATTRIBUTES[] = {{"name", Value::Name, nullptr}, {"type", Value::Name, nullptr}};
const Child OBJECT_CHILDREN[] = {{"skeleton", &NAME_TEXT, false},  {"parent", &NAME_TEXT, false},
                                 {"bone", &NAME_TEXT, false},      {"position", &VECTOR3, false},
                                 {"rotation", &QUATERNION, false}, {"scale", &VECTOR3, false},
                                 {"euler", &VECTOR3, false},       {"matrix", &MATRIX, false}};
const Node OBJECT{.attributes = OBJECT_ATTRIBUTES, .children = OBJECT_CHILDREN};
constexpr Attribute SCENE_ATTRIBUTES[] = {{"name", Value::Name, nullptr}};
const Child SCENE_CHILDREN[] = {{"object", &OBJECT, true}};
const Node SCENE{.attributes = SCENE_ATTRIBUTES, .children = SCENE_CHILDREN};

const Child COMMENTS_CHILDREN[] = {{"version", &INT_TEXT, false}};
const Node COMMENTS{.children = COMMENTS_CHILDREN, .openEnded = true};

const Child LIGHTS_CHILDREN[] = {{"light", &LIGHT, true}};
const Child CAMERAS_CHILDREN[] = {{"camera", &CAMERA, true}};
const Child IMAGES_CHILDREN[] = {{"image", &IMAGE, true}};
const Child TEXTURES_CHILDREN[] = {{"texture", &TEXTURE, true}};
const Child MATERIALS_CHILDREN[] = {{"material", &MATERIAL, true}};
const Child GEOMETRIES_CHILDREN[] = {{"geometry", &GEOMETRY, true}};
const Child SKELETONS_CHILDREN[] = {{"skeleton", &SKELETON, true}};
const Child ANIMATIONS_CHILDREN[] = {{"animation", &ANIMATION, true}};
const Child SCENES_CHILDREN[] = {{"scene", &SCENE, true}};
const Node LIGHTS{.children = LIGHTS_CHILDREN};
const Node CAMERAS{.children = CAMERAS_CHILDREN};
const Node IMAGES{.children = IMAGES_CHILDREN};
const Node TEXTURES{.children = TEXTURES_CHILDREN};
const Node MATERIALS{.children = MATERIALS_CHILDREN};
const Node GEOMETRIES{.children = GEOMETRIES_CHILDREN};
const Node SKELETONS{.children = SKELETONS_CHILDREN};
const Node ANIMATIONS{.children = ANIMATIONS_CHILDREN};
const Node SCENES{.children = SCENES_CHILDREN};

const Child ROOT_CHILDREN[] = {{"comments", &COMMENTS, false},     {"lights", &LIGHTS, false},
                               {"cameras", &CAMERAS, false},       {"images", &IMAGES, false},
                               {"textures", &TEXTURES, false},     {"materials", &MATERIALS, false},
                               {"geometries", &GEOMETRIES, false}, {"skeletons", &SKELETONS, false},
                               {"animations", &ANIMATIONS, false}, {"scenes", &SCENES, false}};
const Node ROOT{.children = ROOT_CHILDREN};

// ---------------------------------------------------------------------------
// Text helpers.

std::string code(const char* name) { return std::string("`") + name + "`"; }

bool textStartsWithNumber(const char* text, bool integer) {
    return text != nullptr && startsWithNumber(text, text + std::strlen(text), integer);
}

// Optimal string alignment distance between two short lower-cased names.
int editDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<int>> d(a.size() + 1, std::vector<int>(b.size() + 1, 0));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = static_cast<int>(i);
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = static_cast<int>(j);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

std::string lowered(const char* s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>((c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c);
    return out;
}

// The known name closest to an unknown one, when it is close enough to be
// what the file meant: the same but for case, or one edit away (two for
// names of six characters or more). Null otherwise.
template <class Item>
const char* closeName(const char* unknown, std::span<const Item> known) {
    const std::string a = lowered(unknown);
    if (a.size() > 64) return nullptr;
    const char* best = nullptr;
    int bestDistance = 0;
    for (const Item& item : known) {
        const std::string b = lowered(item.name);
        const int limit = b.size() >= 6 ? 2 : (b.size() >= 3 ? 1 : 0);
        const int distance = editDistance(a, b);
        if (distance <= limit && (best == nullptr || distance < bestDistance)) {
            best = item.name;
            bestDistance = distance;
        }
    }
    return best;
}

// ---------------------------------------------------------------------------

class Checker {
public:
    explicit Checker(Diagnostics& diagnostics) : d_(diagnostics) {}

    void walk(const XMLElement& root) {
        std::vector<std::pair<const XMLElement*, const Node*>> pending{{&root, &ROOT}};
        std::vector<std::pair<const XMLElement*, const Node*>> children;
        while (!pending.empty()) {
            const auto [element, node] = pending.back();
            pending.pop_back();
            visit(*element, *node, children);
            // Pre-order, in document order: the order in which the readers
            // number bones and records.
            pending.insert(pending.end(), children.rbegin(), children.rend());
        }
    }

private:
    void warn(const XMLElement& e, FindingKind kind, std::string what, std::string instead, int64_t count = 1) {
        d_.warn(e.GetLineNum(), kind, std::move(what), std::move(instead), count);
    }

    void visit(const XMLElement& e, const Node& node,
               std::vector<std::pair<const XMLElement*, const Node*>>& children) {
        checkAttributes(e, node);
        checkText(e, node);
        children.clear();
        std::vector<std::pair<const char*, int>> seen; // single children met, with their lines
        for (const XMLElement* c = e.FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) {
            const Child* known = nullptr;
            for (const Child& child : node.children) {
                if (std::strcmp(child.name, c->Name()) == 0) known = &child;
            }
            if (known == nullptr) {
                if (node.openEnded) continue;
                if (const char* close = closeName(c->Name(), node.children)) {
                    warn(*c, FindingKind::UnknownName,
                         "unknown element " + code(c->Name()) + " in " + code(e.Name()) + " (did you mean " +
                             code(close) + "?)",
                         "ignored with everything in it");
                }
                continue;
            }
            if (!known->repeated) {
                const auto first = std::find_if(seen.begin(), seen.end(),
                                                [&](const auto& s) { return std::strcmp(s.first, known->name) == 0; });
                if (first != seen.end()) {
                    warn(*c, FindingKind::SecondOccurrence, "a second " + code(known->name) + " in " + code(e.Name()),
                         "ignored: the first, on line " + std::to_string(first->second) + ", counts");
                    continue;
                }
                seen.emplace_back(known->name, c->GetLineNum());
            }
            children.emplace_back(c, known->node);
        }
    }

    void checkValue(const XMLElement& e, const char* what, const char* value, Value kind) {
        if (kind == Value::Name) {
            const std::size_t n = std::strlen(value);
            if (n > Name::CAPACITY - 1) {
                warn(e, FindingKind::Cut, what + std::string(" is ") + std::to_string(n) + " bytes long",
                     "cut to its first 255 bytes");
            }
        } else if (kind == Value::Float || kind == Value::Int) {
            const bool integer = kind == Value::Int;
            if (!textStartsWithNumber(value, integer)) {
                warn(e, FindingKind::NotANumber,
                     what + std::string(" is ") + quoted(value) + ", which does not start with a number", "read as 0");
            } else if (!integer && !std::isfinite(parseFloat(value))) {
                warn(e, FindingKind::NotFinite, what + std::string(" is ") + quoted(value) + ", not a finite number",
                     "kept as it is: NaN or infinity reaches the model");
            }
        }
    }

    void checkAttributes(const XMLElement& e, const Node& node) {
        for (const XMLAttribute* a = e.FirstAttribute(); a != nullptr; a = a->Next()) {
            const Attribute* known = nullptr;
            for (const Attribute& attribute : node.attributes) {
                if (std::strcmp(attribute.name, a->Name()) == 0) known = &attribute;
            }
            if (known == nullptr) {
                if (const char* close = closeName(a->Name(), node.attributes)) {
                    warn(e, FindingKind::UnknownName,
                         "unknown attribute " + code(a->Name()) + " of " + code(e.Name()) + " (did you mean " +
                             code(close) + "?)",
                         "ignored");
                }
                continue;
            }
            checkValue(e, (code(a->Name()) + " of " + code(e.Name())).c_str(), a->Value(), known->value);
        }
        std::string missing;
        for (const Attribute& attribute : node.attributes) {
            if (e.Attribute(attribute.name) != nullptr) continue;
            if (node.vector) {
                missing += (missing.empty() ? "" : ", ") + code(attribute.name);
            } else if (attribute.ifAbsent != nullptr) {
                warn(e, FindingKind::Missing, code(e.Name()) + " has no " + code(attribute.name), attribute.ifAbsent);
            }
        }
        if (!missing.empty()) {
            warn(e, FindingKind::Missing, code(e.Name()) + " lacks " + missing,
                 "ignored whole: the value it would set keeps its default");
        }
    }

    void checkText(const XMLElement& e, const Node& node) {
        const char* text = e.GetText();
        if (text == nullptr || node.text == Value::Other) return;
        checkValue(e, ("the text of " + code(e.Name())).c_str(), text, node.text);
    }

    Diagnostics& d_;
};

} // namespace

void checkReadFile(const XMLElement& root, Diagnostics& diagnostics) { Checker(diagnostics).walk(root); }

} // namespace bxml
