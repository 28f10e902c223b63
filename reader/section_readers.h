// The section readers. Each takes its section element (null when the file has
// none: then it does nothing and succeeds) and fills the document; the result
// is 1 done, 0 failed part-way (what was read stays). The top-level reader does
// not consult the results. Given diagnostics, a reader reports there what it
// clamps, replaces or passes over where it decides so; the document is the
// same with or without.
#pragma once

#include "document/diagnostics.h"
#include "document/records.h"

namespace tinyxml2 {
class XMLElement;
}

namespace bxml {

[[nodiscard]] int readLights(const tinyxml2::XMLElement* section, SceneDocument& doc, Diagnostics* sink = nullptr);
[[nodiscard]] int readCameras(const tinyxml2::XMLElement* section, SceneDocument& doc, Diagnostics* sink = nullptr);
[[nodiscard]] int readImages(const tinyxml2::XMLElement* section, SceneDocument& doc, Diagnostics* sink = nullptr);
[[nodiscard]] int readTextures(const tinyxml2::XMLElement* section, SceneDocument& doc, Diagnostics* sink = nullptr);
[[nodiscard]] int readMaterials(const tinyxml2::XMLElement* section, SceneDocument& doc, Diagnostics* sink = nullptr);
[[nodiscard]] int readGeometries(const tinyxml2::XMLElement* section, SceneDocument& doc, Diagnostics* sink = nullptr);
[[nodiscard]] int readSkeletons(const tinyxml2::XMLElement* section, SceneDocument& doc, Diagnostics* sink = nullptr);
[[nodiscard]] int readAnimations(const tinyxml2::XMLElement* section, SceneDocument& doc, Diagnostics* sink = nullptr);
[[nodiscard]] int readScenes(const tinyxml2::XMLElement* section, SceneDocument& doc, Diagnostics* sink = nullptr);

// The file's version, from the first `version` of its first `comments`
// (0 when there is none); given a sink, a version other than 3 is reported.
void readVersion(const tinyxml2::XMLElement& root, SceneDocument& doc, Diagnostics* sink = nullptr);

// An image's path from its url, as the import takes it: the file name and
// extension (after the last '/' or '\\', and after a drive prefix "X:" at the
// very start; any other ':' is part of the name), cut to what the host takes.
// whole, when given, tells whether the path holds all of the file name.
void imagePathOfUrl(const char* url, WidePath& path, bool* whole = nullptr);

} // namespace bxml
