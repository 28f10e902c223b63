// Placing the scene objects and turning the document's geometries into the
// host's vertices, weight lists, meshes and polygons.
#pragma once

#include <cstddef>
#include <cstdint>

#include "contract/host_api.h"
#include "contract/import_options.h"
#include "document/records.h"

namespace bxml {

// The host counts vertices in signed 32 bits.
inline constexpr int64_t HOST_VERTEX_LIMIT = 0x7FFFFFFF;

// Places lights, cameras, geometries and skeleton roots by the first scene
// object that names each (later objects naming the same record are ignored),
// reverses the faces of geometries placed with a mirroring scale, binds vertex
// weights to bone nodes through the geometry's links, normalises and sorts
// them, moves every vertex by its geometry's placement, gives every vertex of a
// mesh attached to a bone one full weight on that bone, and then builds the
// meshes. Returns 0 only when scene is null; the result of buildMeshes does not
// enter.
[[nodiscard]] int placeSceneObjects(SceneDocument& doc, const ImportOptions& options, HostScene* scene);

// Creates the host model's vertices (one per vertex of every included
// geometry, in order), their weights, one mesh per included geometry and its
// polygons. A geometry is included unless sceneMeshesOnly is 1 and no scene
// object placed it. Returns 1, or 0 at the first refusal by the host, the
// first index outside what the host reports (vertices, meshes, materials,
// polygons) or a vertex total the host cannot count; what was already created
// stays in the host.
[[nodiscard]] int buildMeshes(const SceneDocument& doc, const ImportOptions& options, HostScene* scene);

// Reverses the order of the face's corners: three when its fourth vertex index
// is negative, else four. Vertex indices, both uv sets and the colours move
// together; cornerCount is not consulted and a triangle's fourth corner stays.
void reverseFaceCorners(FaceRecord& face);

// total + count, or -1 when total is already -1 (or negative) or the sum passes
// HOST_VERTEX_LIMIT; the sum is taken in 64 bits and never wraps.
int64_t addVertexCount(int64_t total, std::size_t count);

} // namespace bxml
