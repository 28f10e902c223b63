// Name lookups, cross-reference resolution, parents-first ordering of scene
// objects and the per-vertex weight operations.
//
// Every lookup returns the index of the first record whose field equals the
// name exactly (byte-wise, case-sensitive), or -1. A null or empty name is never
// looked up and gives -1.
#pragma once

#include <cstdint>

#include "document/records.h"

namespace bxml {

int32_t findLightByName(const SceneDocument& doc, const char* name);
int32_t findCameraByName(const SceneDocument& doc, const char* name);
int32_t findImageByName(const SceneDocument& doc, const char* name);
int32_t findTextureByName(const SceneDocument& doc, const char* name);
int32_t findGeometryByName(const SceneDocument& doc, const char* name);
int32_t findSkeletonByName(const SceneDocument& doc, const char* name);
int32_t findBoneNodeByPath(const SceneDocument& doc, const char* path);
int32_t findBoneByName(const SkeletonRecord& skeleton, const char* name);
// Only bones whose parentIndex is negative take part.
int32_t findRootBoneByName(const SkeletonRecord& skeleton, const char* name);
int32_t findObjectByName(const SceneRecord& scene, const char* name);
int32_t findSkeletonTrackByName(const AnimationRecord& animation, const char* name);
int32_t findNodeTrackByName(const AnimationSkeletonTrack& track, const char* name);

// The link whose `index` equals linkIndex (fast path: the link at that
// position), or nullptr. Negative indices and geometries without links give
// nullptr.
const BoneLinkRecord* findBoneLinkByIndex(const GeometryRecord& geometry, int32_t linkIndex);

// 1 when name is non-empty, materialIndex is inside the materials and that
// material's first slot has a non-empty uvSetName equal to name; else 0.
int materialUsesUvSet(const SceneDocument& doc, int32_t materialIndex, const char* name);

// The resolution pass run after a successful read: bone parents, bone-node
// parents, texture images, material slot textures, scene-object references,
// face material range check, then orderAllScenes. It cannot fail.
void resolveReferences(SceneDocument& doc);

// Orders every scene's objects parents first (see orderSceneObjects).
void orderAllScenes(SceneDocument& doc);

// Puts parents before their children: roots in file order, each object before
// its children, siblings in file order; objects never reached from a root (in or
// below a parent cycle) come first, in file order. Sets fileIndex to the
// position before ordering and re-resolves parentIndex by name afterwards.
// Scenes with fewer than two objects are left untouched. Runs in linear time
// without recursion.
void orderSceneObjects(SceneRecord& scene);

// Weights whose boneNodeIndex is negative become 0; then, unless their sum is
// exactly 0 or 1, every weight is multiplied by 1/sum (single precision).
void normalizeWeights(VertexRecord& vertex);

// Largest weight first; equal weights keep their order (stable).
void sortWeightsDescending(VertexRecord& vertex);

} // namespace bxml
