// The walk a read runs when it is given diagnostics (readSceneFile with a
// non-null sink): what the tree alone shows against the format's table of
// names, with TinyXML-2's line numbers. What the import does with a value is
// reported by the reader or the resolution step that decides it. The walk
// only looks: the document is exactly what the same read without diagnostics
// gives.
#pragma once

#include "document/diagnostics.h"

namespace tinyxml2 {
class XMLElement;
}

namespace bxml {

// After the section readers, before the resolution pass: what a walk of the
// tree against the format's names alone can see (unknown and misspelt names,
// second occurrences, missing attributes, values that are not numbers).
void checkReadFile(const tinyxml2::XMLElement& root, Diagnostics& diagnostics);

} // namespace bxml
