// Building the host model from a resolved scene document, once the user has
// confirmed the options.
#pragma once

#include <cstddef>

#include "document/records.h"
#include "plugin/host_api.h"
#include "plugin/import_options.h"

namespace bxml {

// Builds, in this order: the file's folder as current directory; materials
// with their texture maps; scene placement and meshes; EndMeshes(1) when there
// are geometries; lights (when importLights is 1); one bone per bone node;
// animations; EndSkeletons; the axis option and the aiming of lights, then
// cameras; the scale pass (scale other than 1.0); Update(0.0) on every host
// vertex; EndImport; PruneBones (when pruneBones is 1).
// Returns 1 when built; 0 when scene is null or the host refused a material,
// light or bone (what was created stays in the host). The document keeps the
// marks and placements the build writes into it; clearing it is the caller's
// business.
int buildModel(SceneDocument& doc, const ImportOptions& options, HostScene* scene);

// Writes folder followed by imagePath into out (capacity HOST_STRING_CAPACITY)
// and returns true, or returns false, writing nothing beyond an empty string,
// when the two do not fit the host's file name together.
bool composeTextureFileName(const wchar_t* folder, const wchar_t* imagePath, wchar_t* out);

} // namespace bxml
