// The resolution pass that follows a successful read: names become indices,
// then each scene's objects are put parents first.
#pragma once

#include <cstdint>

#include "document/diagnostics.h"
#include "document/records.h"

namespace bxml {

// The kind of record a scene object places, from its type (any case): the
// record of that kind named like the object. Mesh and font objects both
// place a geometry; other types place nothing.
enum class TargetKind : uint8_t { None, Light, Camera, Geometry, Skeleton };
TargetKind targetKindOf(const SceneObjectRecord& object);

// The resolution pass run after a successful read: bone parents, bone-node
// parents, texture images, material slot textures, scene-object references,
// face material range check, orderAllScenes, then which object places each
// record, bone links and weights, and animation tracks (resolve_bones.h).
// It cannot fail. With diagnostics, every name that finds nothing, every name
// that an earlier record already has, every face material index reset to -1,
// every object in a parent cycle, every geometry no object places and every
// weight that finds no link is reported there, at the lines the reader
// noted; without, the pass does exactly the same and reports nothing.
void resolveReferences(SceneDocument& doc, Diagnostics* diagnostics = nullptr);

// Orders every scene's objects parents first (see orderSceneObjects).
void orderAllScenes(SceneDocument& doc);

// Puts parents before their children: roots in file order, each object before
// its children, siblings in file order; objects never reached from a root (in or
// below a parent cycle) come first, in file order. Sets fileIndex to the
// position before ordering and re-resolves parentIndex by name afterwards.
// Scenes with fewer than two objects are left untouched. Runs in linear time
// without recursion.
void orderSceneObjects(SceneRecord& scene);

} // namespace bxml
