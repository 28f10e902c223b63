// The section readers. Each takes its section element (null when the file has
// none: then it does nothing and succeeds) and fills the document; the result
// is 1 done, 0 failed part-way (what was read stays). The top-level reader does
// not consult the results.
#pragma once

#include "document/records.h"

namespace tinyxml2 {
class XMLElement;
}

namespace bxml {

int readComments(const tinyxml2::XMLElement* section, SceneDocument& doc);
int readLights(const tinyxml2::XMLElement* section, SceneDocument& doc);
int readCameras(const tinyxml2::XMLElement* section, SceneDocument& doc);
int readImages(const tinyxml2::XMLElement* section, SceneDocument& doc);
int readTextures(const tinyxml2::XMLElement* section, SceneDocument& doc);
int readMaterials(const tinyxml2::XMLElement* section, SceneDocument& doc);
int readGeometries(const tinyxml2::XMLElement* section, SceneDocument& doc);
int readSkeletons(const tinyxml2::XMLElement* section, SceneDocument& doc);
int readAnimations(const tinyxml2::XMLElement* section, SceneDocument& doc);
int readScenes(const tinyxml2::XMLElement* section, SceneDocument& doc);

} // namespace bxml
