// The resolution steps that reach into skeletons: bone links and the weights
// through them (after the placements are known: a geometry's links name bones
// of the skeleton its placing object belongs to), and animation tracks.
#pragma once

#include "document/diagnostics.h"
#include "document/records.h"
#include "document/skeleton_lookups.h"

namespace bxml {

// For every geometry placed by an object of a skeleton (and not attached to a
// bone): each link's boneNodeIndex is the node of the first bone of that
// skeleton named like the link, and each weight's boneNodeIndex is that of
// the link its linkIndex finds (findBoneLinkByIndex's answer); -1 where
// either finds nothing. With diagnostics, reports the links that find no
// bone, the weights that find no link, and weighted geometries whose placing
// object belongs to no skeleton.
void resolveBoneLinks(SceneDocument& doc, SkeletonLookups& bones, Diagnostics* diagnostics);

// For every animation: each skeleton track's skeletonIndex is the first
// skeleton of its name, unless an earlier track of the animation has that
// skeleton; each of its node tracks' boneIndex is the first bone of that
// skeleton of its name, unless an earlier node track of the track has that
// bone (empty names find nothing). A second skeleton or bone of a name is
// therefore never animated. With diagnostics, reports every track that finds
// nothing and every one an earlier track hides.
void resolveAnimationTracks(SceneDocument& doc, SkeletonLookups& bones, Diagnostics* diagnostics);

} // namespace bxml
