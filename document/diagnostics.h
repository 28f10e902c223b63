// What a read leaves out: the optional sink into which the reader and the
// resolution pass write every place where the file's data is ignored, cut or
// replaced by a default. The plug-in passes none (a null pointer), and then
// nothing here runs; tools that check files for their authors pass one.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace bxml {

// One thing the file asks for that the import does differently.
struct Finding {
    int line = 0;        // TinyXML-2's line of the element concerned; 0 for the file as a whole
    std::string what;    // what happened
    std::string instead; // what the import does instead
};

// The records whose lines the reader notes, so that the resolution pass, which
// sees only the document, can say where a name it cannot resolve came from.
enum class RecordKind : uint8_t {
    Light,
    Camera,
    Image,
    Texture,
    MaterialSlot, // a: material, b: slot
    Geometry,
    GeometryMaterials, // the geometry's `materials` list
    Skeleton,
    Bone,        // a: skeleton, b: bone
    SceneObject, // a: scene, b: the object's position in the file
    Count
};

class Diagnostics {
public:
    void warn(int line, std::string what, std::string instead);
    // A finding about a record whose line the reader noted (line 0 if it did not).
    void warnAbout(RecordKind kind, int64_t a, int64_t b, std::string what, std::string instead) {
        warn(lineOf(kind, a, b), std::move(what), std::move(instead));
    }

    void noteLine(RecordKind kind, int64_t a, int64_t b, int line);
    int lineOf(RecordKind kind, int64_t a, int64_t b = 0) const;

    // In the order they were found.
    const std::vector<Finding>& findings() const { return findings_; }

private:
    static uint64_t key(int64_t a, int64_t b) {
        return (static_cast<uint64_t>(a) << 32) ^ static_cast<uint64_t>(static_cast<uint32_t>(b));
    }

    std::vector<Finding> findings_;
    std::unordered_map<uint64_t, int> lines_[static_cast<int>(RecordKind::Count)];
};

// `text` in back quotes for a message, cut to a readable length (names may be
// far longer than a message should be).
std::string quoted(const char* text);

} // namespace bxml
