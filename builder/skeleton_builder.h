// Key frames made relative to the bind pose, and the re-aiming of the host's
// lights and cameras.
#pragma once

#include "contract/host_api.h"
#include "document/records.h"
#include "math/vector_math.h"

namespace bxml {

// Frame rate given to animations whose file states none (fps exactly 0).
inline constexpr float DEFAULT_FRAMES_PER_SECOND = 30.0f;

// One host animation per document animation that has at least one node track,
// with one track per bone node (track index = node index). A node's keys come
// from the first skeleton track named exactly like the node's skeleton and its
// first node track named exactly like the node's bone; position keys become
// R^T (k - P), rotation keys inverse(R) k, scale keys k / S per non-zero
// component of S, where P, R, S is the node's bind pose. Nodes without a
// matching track keep an empty track. Returns true when there was nothing to
// do or every host call succeeded; false at the first refusal or when the host
// reports fewer tracks or keys than asked for (nothing is undone).
[[nodiscard]] bool convertAnimations(const SceneDocument& doc, HostScene* scene);

// Turns every directional and spot light of the host model to look along the
// opposite of its current Z axis, its matrix becoming the pure look-at rotation
// built with the up hint; omni lights stay as they are. False only when scene
// is null.
[[nodiscard]] bool aimLights(HostScene* scene, const Vector3& up);

// The same for every camera of the host model.
[[nodiscard]] bool aimCameras(HostScene* scene, const Vector3& up);

} // namespace bxml
