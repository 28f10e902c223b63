// Reader of the scenes section: scenes and the objects that place things.
#include <tinyxml2.h>

#include "contract/transform.h"
#include "reader/each_child.h"
#include "reader/number_lists.h"
#include "reader/numbers.h"
#include "reader/section_readers.h"
#include "reader/xml_helpers.h"

namespace bxml {

using tinyxml2::XMLElement;

namespace {

// A matrix with text and rows > 0 replaces position, rotation and scale with
// its decomposition (returns true); otherwise the vector children stand.
bool readObjectMatrix(const XMLElement* matrix, SceneObjectRecord& object) {
    if (matrix == nullptr) return false;
    const char* text = matrix->GetText();
    const int32_t rows = parseInt(matrix->Attribute("rows"));
    if (text == nullptr || rows <= 0) return false;
    if (parseMatrix(text, rows, object.matrix) == 0) return false;
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

void fillObject(const XMLElement* e, SceneObjectRecord& object) {
    copyAttribute(e, "name", object.name);
    copyAttribute(e, "type", object.type);
    const XMLElement* child[OBJECT_CHILD_COUNT];
    firstChildrenNamed(e, OBJECT_CHILDREN, OBJECT_CHILD_COUNT, child);
    copyText(child[SKELETON], object.skeletonName);
    copyText(child[PARENT], object.parentName);
    copyText(child[BONE], object.boneName);
    readVector3(child[EULER], object.euler);
    // The matrix first: the vectors it replaces need not be read at all.
    if (readObjectMatrix(child[MATRIX], object)) return;
    readVector3(child[POSITION], object.position);
    readQuaternion(child[ROTATION], object.rotation); // stored as given, not normalised
    readVector3(child[SCALE], object.scale);
}

// A scene's objects are read only when it has any: a scene without objects
// keeps an empty array.
int fillScene(const XMLElement* e, SceneRecord& scene) {
    copyAttribute(e, "name", scene.name);
    return fillEachChild(childrenNamed(e, "object"), scene.objects, fillObject);
}

} // namespace

int readScenes(const XMLElement* section, SceneDocument& doc, Diagnostics*) {
    return readSectionItems(section, "scene", doc.scenes, doc.scenesInFile, fillScene);
}

} // namespace bxml
