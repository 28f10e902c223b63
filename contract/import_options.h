// The import options: process-wide, set to these values at load, changed only
// by OK in the options dialog, never saved. A switch counts as on only when it
// equals 1.
#pragma once

#include <cstdint>

namespace bxml {

struct ImportOptions {
    float scale = 1.0f;          // never below 1.0 once the dialog stored it
    int32_t importLights = 0;    // box 2048 "Import lights"
    int32_t sceneMeshesOnly = 1; // box 2049 "Import scene meshes only"
    int32_t pruneBones = 1;      // box 2047 "Prune bones"
    int32_t swapModel = 1;       // box 2046 "Swap model"
};

} // namespace bxml
