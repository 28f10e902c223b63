// The two steps of one import that touch the host's file name and the process:
// reading the file the host's model object names, and entering its folder
// before the build.
#pragma once

#include "contract/host_api.h"
#include "document/records.h"
#include "reader/file_reader.h" // MESSAGE_NOT_ORVK, MESSAGE_UNABLE_TO_PARSE

namespace bxml {

// The import request: clears doc, takes the file name of the host's model
// object into doc.filePath, opens and reads that file. 1 when the document is
// filled; otherwise 0, with "Not a ORVK XML file." or "Unable to parse XML
// file." handed to the host as its error text (no message without a model
// object or when the file cannot be opened).
[[nodiscard]] int importFile(SceneDocument& doc, HostScene* scene);

// Makes the folder of doc.filePath the process's current directory (an empty
// folder when the path has none or it does not fit), so that whatever the host
// resolves against the current directory during the build is found beside the
// scene file. Runs just before the build.
void enterFolderOfScene(const SceneDocument& doc);

} // namespace bxml
