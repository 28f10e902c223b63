// Structural invariants of a scene document after a read that answered 1 (or
// any read: a failed read leaves what it had, which must hold them too).
//
// Checked: every index the resolution pass or the skeleton reader writes is -1
// or inside the array it names; bone nodes come after their parents; each
// scene's objects are ordered parents first (objects in or below a parent
// cycle before all others), with fileIndex a permutation of the file order;
// face material indices lie in -1..materialCount-1. Not checked: the file's
// own numbers that only the builder interprets (face vertex indices, weight
// link indices).
#pragma once

#include <string>
#include <vector>

#include "document/records.h"
#include "tests/support/violation_report.h"

namespace bxml::testing {

struct DocumentInvariantOptions {
    // A scene of two or more objects whose ordering found no memory keeps its
    // file order (every fileIndex -1); only tests that make allocations fail
    // allow that.
    bool allowUnorderedScenes = false;
};

// One line per violation; empty when the document is sound.
std::vector<std::string> checkDocumentInvariants(const SceneDocument& doc, DocumentInvariantOptions options = {});

} // namespace bxml::testing
