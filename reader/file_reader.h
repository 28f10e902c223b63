// The top-level reader of a scene file: the `orvk` root, its sections in a
// fixed order, then the resolution of names into indices. It knows nothing of
// the host: an open file goes in, a document and a result come out.
#pragma once

#include <cstdio>

#include "document/records.h"

namespace bxml {

// Reads an open scene file into doc, which is cleared first (except filePath,
// which names the file being read). Results: 1 read and resolved; 0 no file,
// or the XML could not be read or parsed; -1 parsed, but there is no
// top-level `orvk` element. A section that fails part-way keeps what it read
// and does not change the result. The file stays open; the caller closes it.
[[nodiscard]] int readSceneFile(SceneDocument& doc, std::FILE* file);

} // namespace bxml
