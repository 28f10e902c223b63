// The two import options that act on the finished host model: the up axis and
// the scale.
#pragma once

#include "contract/host_api.h"
#include "contract/import_options.h"
#include "math/vector_math.h"

namespace bxml {

// The up hint for aiming lights and cameras: (0, 0, 1), or (0, 1, 0) after
// telling the host to swap its axes when swapModel is 1 (scene may be null,
// then nothing is called).
Vector3 applyAxisOption(const ImportOptions& options, HostScene* scene);

// True when the scale pass has to run: scale differs from 1.0, NaN included.
bool needsScalePass(float scale);

// Multiplies, about the origin, every position in the host model by factor:
// animation position keys, bone, vertex, light and camera positions, and the
// two distance fields of each light. Rotations and scales stay. Absent lists
// and entries are skipped; only entries inside the counts the host reports are
// touched.
void scaleModel(HostScene* scene, float factor);

} // namespace bxml
