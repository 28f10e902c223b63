// The host's bones, one per bone node, and their animations: key frames made
// relative to the bind pose.
#pragma once

#include "contract/host_api.h"
#include "document/records.h"
#include "math/vector_math.h"

namespace bxml {

// Frame rate given to animations whose file states none (fps exactly 0).
inline constexpr float DEFAULT_FRAMES_PER_SECOND = 30.0f;

// One host bone per bone node, in node order, named by the node's path, with
// the parent's node index and the node's bind pose; the bone's short name is
// the bone record's name. Returns 0 at the first bone the host refuses (what
// was created stays), else 1.
[[nodiscard]] int buildBones(const SceneDocument& doc, HostScene& scene);

// One host animation per document animation that has at least one node track,
// with one track per bone node (track index = node index). A node's keys come
// from the node track whose skeleton and bone, as the resolution pass set
// them (the first skeleton and bone of each name, matched exactly), have that
// node; a second skeleton or bone of one name gets no keys. Position keys become
// R^T (k - P), rotation keys inverse(R) k, scale keys k / S per non-zero
// component of S, where P, R, S is the node's bind pose. Nodes without a
// matching track keep an empty track. Returns true when there was nothing to
// do or every host call succeeded; false at the first refusal or when the host
// reports fewer tracks or keys than asked for (nothing is undone).
[[nodiscard]] bool convertAnimations(const SceneDocument& doc, HostScene* scene);

} // namespace bxml
