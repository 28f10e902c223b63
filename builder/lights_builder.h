// The host's lights, and the re-aiming of its lights and cameras once the up
// axis is known.
#pragma once

#include "contract/host_api.h"
#include "document/records.h"
#include "math/vector_math.h"

namespace bxml {

// One host light per light record, in document order: type (omni,
// directional or spot, compared without case; anything else keeps the host's
// default), colour, intensity, spot angles, and a placement of the record's
// rotation as a matrix and its position. Returns 0 at the first light the
// host refuses (what was created stays), else 1.
[[nodiscard]] int buildLights(const SceneDocument& doc, HostScene& scene);

// Turns every directional and spot light of the host model to look along the
// opposite of its current Z axis, its matrix becoming the pure look-at rotation
// built with the up hint; omni lights stay as they are. False only when scene
// is null.
[[nodiscard]] bool aimLights(HostScene* scene, const Vector3& up);

// The same for every camera of the host model.
[[nodiscard]] bool aimCameras(HostScene* scene, const Vector3& up);

} // namespace bxml
