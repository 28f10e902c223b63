// The prepare pass: what the host's model needs from a resolved document that
// the file does not say outright, worked out once and written into the
// document, before a build that only reads it.
#pragma once

#include "document/records.h"

namespace bxml {

// For a resolved document with scenes (without scenes it changes nothing):
// places lights, cameras, geometries and skeleton roots by the object the
// resolution pass chose for each (placedBy), reverses the faces of geometries
// placed with a mirroring scale, normalises and sorts the vertex weights,
// moves every vertex by its geometry's placement, and gives every vertex of a
// mesh attached to a bone one full weight on that bone. Calls no host.
// Running it a second time on the same document moves the vertices again: it
// belongs once between resolution and the build. A vertex of a mesh on a bone
// that cannot get memory for its one weight is left with no weights.
void prepareDocument(SceneDocument& doc);

// Reverses the order of the face's corners: three when its fourth vertex index
// is negative, else four. Vertex indices, both uv sets and the colours move
// together; cornerCount is not consulted and a triangle's fourth corner stays.
void reverseFaceCorners(FaceRecord& face);

} // namespace bxml
