// The top-level reader of a scene file: the `orvk` root, its sections in a
// fixed order, then the resolution of names into indices.
#pragma once

#include <cstdio>

#include "document/records.h"
#include "plugin/host_api.h"

namespace bxml {

inline constexpr const char* MESSAGE_NOT_ORVK = "Not a ORVK XML file.";
inline constexpr const char* MESSAGE_UNABLE_TO_PARSE = "Unable to parse XML file.";

// Reads an open scene file into doc, which is cleared first (except filePath,
// which names the file being read). Results: 1 read and resolved; 0 no file,
// or the XML could not be read or parsed; -1 parsed, but there is no
// top-level `orvk` element. A section that fails part-way keeps what it read
// and does not change the result. The file stays open; the caller closes it.
int readSceneFile(SceneDocument& doc, std::FILE* file);

// The import request: clears doc, takes the file name of the host's model
// object into doc.filePath, opens and reads that file. 1 when the document is
// filled; otherwise 0, with "Not a ORVK XML file." or "Unable to parse XML
// file." handed to the host as its error text (no message without a model
// object or when the file cannot be opened).
int importFile(SceneDocument& doc, HostScene* scene);

} // namespace bxml
