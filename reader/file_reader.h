// The top-level reader of a scene file: the `orvk` root, its sections in a
// fixed order, then the resolution of names into indices. It knows nothing of
// the host: an open file goes in, a document and a result come out.
#pragma once

#include <cstdio>

#include "document/diagnostics.h"
#include "document/records.h"

namespace bxml {

// The plug-in's messages for the two failed reads: -1 and 0.
inline constexpr const char* MESSAGE_NOT_ORVK = "Not a ORVK XML file.";
inline constexpr const char* MESSAGE_UNABLE_TO_PARSE = "Unable to parse XML file.";

// Reads an open scene file into doc, which is cleared first (except filePath,
// which names the file being read). Results: 1 read and resolved; 0 no file,
// or the XML could not be read or parsed; -1 parsed, but there is no
// top-level `orvk` element. A section that fails part-way keeps what it read
// and does not change the result. The file stays open; the caller closes it.
// With diagnostics, every place where the file's data is ignored, cut or
// defaulted is reported there as well (reader/file_checks.h); the document
// and the result are the same as without, and without (the plug-in's case)
// none of those checks runs.
[[nodiscard]] int readSceneFile(SceneDocument& doc, std::FILE* file, Diagnostics* diagnostics = nullptr);

} // namespace bxml
