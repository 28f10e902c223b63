// The checks a read runs when it is given diagnostics (readSceneFile with a
// non-null sink): everything the file holds that the import ignores, cuts or
// replaces by a default, with TinyXML-2's line numbers. They only look: the
// document is exactly what the same read without diagnostics gives.
#pragma once

#include "document/diagnostics.h"
#include "document/records.h"

namespace tinyxml2 {
class XMLElement;
}

namespace bxml {

// After the section readers, before the resolution pass: what a walk of the
// tree against the format's names alone can see (unknown and misspelt names,
// second occurrences, missing attributes, values that are not numbers).
void checkReadFile(const tinyxml2::XMLElement& root, Diagnostics& diagnostics);

// After the resolution pass: what the build will make of the resolved
// document (meshes no object places, bone links that find no bone).
void checkResolvedFile(const tinyxml2::XMLElement& root, const SceneDocument& doc, Diagnostics& diagnostics);

} // namespace bxml
