// Reader of the scenes section: scenes and the objects that place things.
#include <tinyxml2.h>

#include "contract/transform.h"
#include "document/storage.h"
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

int readObjects(const XMLElement* e, SceneRecord& scene) {
    const int64_t n = countChildElements(e, "object");
    if (allocate(scene.objects, n) == 0) return 0;
    std::size_t k = 0;
    for (const XMLElement* o = e->FirstChildElement("object"); o != nullptr && k < scene.objects.size();
         o = o->NextSiblingElement("object"), ++k) {
        fillObject(o, scene.objects[k]);
    }
    return 1;
}

} // namespace

int readScenes(const XMLElement* section, SceneDocument& doc) {
    if (section == nullptr) return 1;
    const int64_t n = countChildElements(section, "scene");
    if (n > 0 && allocate(doc.scenes, n) == 0) return 0;
    doc.scenesInFile = static_cast<int32_t>(n);
    std::size_t i = 0;
    for (const XMLElement* e = section->FirstChildElement("scene"); e != nullptr && i < doc.scenes.size();
         e = e->NextSiblingElement("scene"), ++i) {
        SceneRecord& scene = doc.scenes[i];
        copyAttribute(e, "name", scene.name);
        if (e->FirstChildElement("object") != nullptr && readObjects(e, scene) == 0) return 0;
    }
    return 1;
}

} // namespace bxml
