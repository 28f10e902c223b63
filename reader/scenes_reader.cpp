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
// its decomposition; otherwise the vector children stand.
void readObjectMatrix(const XMLElement* e, SceneObjectRecord& object) {
    const XMLElement* matrix = e->FirstChildElement("matrix");
    if (matrix == nullptr) return;
    const char* text = matrix->GetText();
    const int32_t rows = parseInt(matrix->Attribute("rows"));
    if (text == nullptr || rows <= 0) return;
    if (parseMatrix(text, rows, object.matrix) == 0) return;
    Transform t;
    setTransformFromMatrix(object.matrix, t);
    object.position = t.position;
    object.rotation = t.rotation;
    object.scale = t.scale;
}

void fillObject(const XMLElement* e, SceneObjectRecord& object) {
    copyAttribute(e, "name", object.name);
    copyAttribute(e, "type", object.type);
    copyChildText(e, "skeleton", object.skeletonName);
    copyChildText(e, "parent", object.parentName);
    copyChildText(e, "bone", object.boneName);
    readVector3Child(e, "position", object.position);
    readQuaternionChild(e, "rotation", object.rotation); // stored as given, not normalised
    readVector3Child(e, "scale", object.scale);
    readVector3Child(e, "euler", object.euler);
    readObjectMatrix(e, object);
}

// A scene's objects are read only when it has any: a scene without objects
// keeps an empty array.
int fillScene(const XMLElement* e, SceneRecord& scene) {
    copyAttribute(e, "name", scene.name);
    return fillEachChild(childrenNamed(e, "object"), scene.objects, fillObject);
}

} // namespace

int readScenes(const XMLElement* section, SceneDocument& doc) {
    return readSectionItems(section, "scene", doc.scenes, doc.scenesInFile, fillScene);
}

} // namespace bxml
