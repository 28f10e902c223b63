// Name lookups over the scene document (resolve.h turns names into indices
// with them; weights.h holds the per-vertex weight operations).
//
// Every lookup returns the index of the first record whose field equals the
// name exactly (byte-wise, case-sensitive), or -1. A null or empty name is never
// looked up and gives -1.
#pragma once

#include <cstdint>

#include "document/records.h"

namespace bxml {

int32_t findBoneByName(const SkeletonRecord& skeleton, const char* name);
// Only bones whose parentIndex is negative take part.
int32_t findRootBoneByName(const SkeletonRecord& skeleton, const char* name);
int32_t findObjectByName(const SceneRecord& scene, const char* name);

// The link whose `index` equals linkIndex (fast path: the link at that
// position), or nullptr. Negative indices and geometries without links give
// nullptr.
const BoneLinkRecord* findBoneLinkByIndex(const GeometryRecord& geometry, int32_t linkIndex);

// 1 when name is non-empty, materialIndex is inside the materials and that
// material's first slot has a non-empty uvSetName equal to name; else 0.
int materialUsesUvSet(const SceneDocument& doc, int32_t materialIndex, const char* name);

} // namespace bxml
