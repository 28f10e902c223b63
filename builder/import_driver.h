// Building the host model from a resolved scene document, once the user has
// confirmed the options.
#pragma once

#include "contract/host_api.h"
#include "contract/import_options.h"
#include "document/records.h"

namespace bxml {

// Builds from a document that prepareDocument has prepared, in this order:
// materials with their texture maps (file names are the folder of doc.filePath
// followed by the image path); meshes; EndMeshes(1) when there are geometries;
// lights (when importLights is 1); one bone per bone node; animations; EndSkeletons; the axis option and the
// aiming of lights, then cameras; the scale pass (scale other than 1.0);
// Update(0.0) on every host vertex; EndImport; PruneBones (when pruneBones is
// 1). Touches no process-wide state: making the file's folder the current
// directory is the caller's step, just before this one.
// Returns 1 when built; 0 when scene is null or the host refused a material,
// light or bone (what was created stays in the host). The build only reads the
// document, so building it twice gives the same model twice.
[[nodiscard]] int buildModel(const SceneDocument& doc, const ImportOptions& options, HostScene* scene);

} // namespace bxml
