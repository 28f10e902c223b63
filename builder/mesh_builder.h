// Turning the prepared document's geometries into the host's vertices, weight
// lists, meshes and polygons.
#pragma once

#include <cstddef>
#include <cstdint>

#include "contract/host_api.h"
#include "contract/import_options.h"
#include "document/records.h"

namespace bxml {

// The host counts vertices in signed 32 bits.
inline constexpr int64_t HOST_VERTEX_LIMIT = 0x7FFFFFFF;

// Creates the host model's vertices (one per vertex of every included
// geometry, in order), their weights, one mesh per included geometry and its
// polygons. A geometry is included unless sceneMeshesOnly is 1 and no scene
// object placed it. Returns 1, or 0 at the first refusal by the host, the
// first index outside what the host reports (vertices, meshes, materials,
// polygons) or a vertex total the host cannot count; what was already created
// stays in the host.
[[nodiscard]] int buildMeshes(const SceneDocument& doc, const ImportOptions& options, HostScene* scene);

// total + count, or -1 when total is already -1 (or negative) or the sum passes
// HOST_VERTEX_LIMIT; the sum is taken in 64 bits and never wraps.
int64_t addVertexCount(int64_t total, std::size_t count);

} // namespace bxml
