// Reader of the scenes section: scenes and the objects that place things.
#include <tinyxml2.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "contract/transform.h"
#include "reader/each_child.h"
#include "reader/number_lists.h"
#include "reader/numbers.h"
#include "reader/section_readers.h"
#include "reader/xml_helpers.h"

namespace bxml {

using tinyxml2::XMLElement;

namespace {

// Reports what the rows of the matrix `e` hold beyond the four numbers each
// of its first four keeps: its tokens, rows short or long, and rows short of
// or beyond its `rows`.
void reportMatrix(Diagnostics& sink, const XMLElement& e, int64_t rows, const MatrixFindings& found) {
    const int line = e.GetLineNum();
    const int64_t read = std::min<int64_t>({rows, 4, found.groups});
    for (int64_t p = 0; p < read; ++p) {
        const int64_t n = found.rowNumbers[p];
        if (n == 4) continue;
        sink.warn(line, FindingKind::CountMismatch,
                  "row " + std::to_string(p) + " of `matrix` has " + plural(n, "number", "numbers"),
                  n < 4 ? "the missing columns repeat the row before, or are 0 in the first row"
                        : "the numbers after the fourth are ignored");
    }
    found.tokens.report(sink, line, e.Name());
    if (found.groups < std::min<int64_t>(rows, 4)) {
        sink.warn(line, FindingKind::CountMismatch,
                  "`matrix` holds " + plural(found.groups, "row", "rows") + ", fewer than its `rows` of " +
                      std::to_string(rows),
                  "the missing rows repeat the row before");
    } else if (found.groups > rows) {
        sink.warn(line, FindingKind::CountMismatch,
                  "`matrix` holds " + plural(found.groups, "row", "rows") + ", more than its `rows` of " +
                      std::to_string(rows),
                  "the extra rows are ignored");
    }
    if (rows > 4 && found.groups > 4) {
        sink.warn(line, FindingKind::Ignored, "`matrix` with more than 4 rows",
                  "the rows after the fourth are ignored");
    }
}

// A matrix with text and rows > 0 replaces position, rotation and scale with
// its decomposition (returns true); otherwise the vector children stand. A
// sink hears what its rows hold beyond what the matrix keeps.
bool readObjectMatrix(const XMLElement* matrix, SceneObjectRecord& object, Diagnostics* sink) {
    if (matrix == nullptr) return false;
    const char* text = matrix->GetText();
    const char* const standing = "ignored: the position, rotation and scale children stand";
    const int64_t rows = countAttribute(*matrix, "rows", sink, standing);
    if (sink != nullptr && rows > 0 && text == nullptr) {
        sink->warn(matrix->GetLineNum(), FindingKind::Missing, "`matrix` without numbers", standing);
    }
    if (sink == nullptr) {
        if (parseMatrix(text, rows, object.matrix) != LIST_READ) return false;
    } else {
        MatrixFindings found;
        if (parseMatrix(text, rows, object.matrix, found) != LIST_READ) return false;
        reportMatrix(*sink, *matrix, rows, found);
    }
    Transform t;
    setTransformFromMatrix(object.matrix, t);
    object.position = t.position;
    object.rotation = t.rotation;
    object.scale = t.scale;
    return true;
}

enum ObjectChild { SKELETON, PARENT, BONE, POSITION, ROTATION, SCALE, EULER, MATRIX, OBJECT_CHILD_COUNT };
constexpr const char* const OBJECT_CHILDREN[OBJECT_CHILD_COUNT] = {"skeleton", "parent", "bone",  "position",
                                                                   "rotation", "scale",  "euler", "matrix"};

// The matrix replaces the position, rotation and scale children; files often
// carry both, and only children that say something else are reported (a
// rotation and its negation are the same).
void reportReplacedByMatrix(const XMLElement* const (&child)[OBJECT_CHILD_COUNT], const SceneObjectRecord& object,
                            Diagnostics& sink) {
    auto near = [](float a, float b) {
        return std::fabs(a - b) <= 1e-3f * std::max({1.0f, std::fabs(a), std::fabs(b)});
    };
    auto nearVector = [&](const Vector3& a, const Vector3& b) {
        return near(a.x, b.x) && near(a.y, b.y) && near(a.z, b.z);
    };
    auto report = [&](ObjectChild which) {
        const std::string name = OBJECT_CHILDREN[which];
        sink.warn(child[which]->GetLineNum(), FindingKind::Ignored,
                  "`" + name + "` says otherwise than the object's `matrix`", "replaced by what the matrix gives");
    };
    Vector3 v{};
    if (readVector3(child[POSITION], v) && !nearVector(v, object.position)) report(POSITION);
    v = Vector3{1, 1, 1};
    if (readVector3(child[SCALE], v) && !nearVector(v, object.scale)) report(SCALE);
    Quaternion q{0, 0, 0, 1};
    if (readQuaternion(child[ROTATION], q)) {
        const Quaternion& m = object.rotation;
        const bool same = near(q.x, m.x) && near(q.y, m.y) && near(q.z, m.z) && near(q.w, m.w);
        const bool opposite = near(q.x, -m.x) && near(q.y, -m.y) && near(q.z, -m.z) && near(q.w, -m.w);
        if (!same && !opposite) report(ROTATION);
    }
}

void fillObject(const XMLElement* e, SceneObjectRecord& object, Diagnostics* sink) {
    copyAttribute(e, "name", object.name);
    copyAttribute(e, "type", object.type);
    const XMLElement* child[OBJECT_CHILD_COUNT];
    firstChildrenNamed(e, OBJECT_CHILDREN, OBJECT_CHILD_COUNT, child);
    copyText(child[SKELETON], object.skeletonName);
    copyText(child[PARENT], object.parentName);
    copyText(child[BONE], object.boneName);
    readVector3(child[EULER], object.euler);
    // The matrix first: the vectors it replaces need not be read at all.
    if (readObjectMatrix(child[MATRIX], object, sink)) {
        if (sink != nullptr) reportReplacedByMatrix(child, object, *sink);
        return;
    }
    readVector3(child[POSITION], object.position);
    readQuaternion(child[ROTATION], object.rotation); // stored as given, not normalised
    readVector3(child[SCALE], object.scale);
}

// A scene's objects are read only when it has any: a scene without objects
// keeps an empty array.
int fillScene(const XMLElement* e, SceneRecord& scene, Diagnostics* sink) {
    copyAttribute(e, "name", scene.name);
    return fillEachChild(childrenNamed(e, "object"), scene.objects,
                         [sink](const XMLElement* o, SceneObjectRecord& object) { fillObject(o, object, sink); });
}

} // namespace

int readScenes(const XMLElement* section, SceneDocument& doc, Diagnostics* sink) {
    return readSectionItems(section, "scene", doc.scenes, doc.scenesInFile,
                            [sink](const XMLElement* e, SceneRecord& scene) { return fillScene(e, scene, sink); });
}

} // namespace bxml
