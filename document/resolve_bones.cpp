#include "document/resolve_bones.h"

#include <algorithm>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "document/element.h"
#include "document/lookup.h"
#include "document/name_index.h"

namespace bxml {

namespace {

// Gives findBoneLinkByIndex's answer, as a position in the geometry's links
// (-1 for none), in constant expected time. When every link sits at the
// position of its own index (the usual case) the fast path is the answer;
// otherwise a table of the first position of each index stands in for the
// scan. Without memory for the table it asks findBoneLinkByIndex itself.
class LinkFinder {
public:
    explicit LinkFinder(const GeometryRecord& geometry) : geometry_(geometry) {
        const std::vector<BoneLinkRecord>& links = geometry.links;
        for (std::size_t k = 0; k < links.size() && inOrder_; ++k) inOrder_ = links[k].index == static_cast<int32_t>(k);
        if (inOrder_) return;
        try {
            firstWithIndex_.reserve(links.size());
            // emplace keeps an existing entry: the first link wins.
            for (std::size_t k = 0; k < links.size(); ++k)
                firstWithIndex_.emplace(links[k].index, static_cast<int32_t>(k));
            hashed_ = true;
        } catch (const std::bad_alloc&) {
            std::unordered_map<int32_t, int32_t>().swap(firstWithIndex_);
        }
    }

    int32_t find(int32_t linkIndex) const {
        const std::vector<BoneLinkRecord>& links = geometry_.links;
        if (linkIndex < 0) return -1;
        if (linkIndex < countOf(links) && element(links, linkIndex).index == linkIndex) return linkIndex;
        // In order, the links' indices are 0 .. count - 1: no other index is found.
        if (inOrder_) return -1;
        if (!hashed_) {
            const BoneLinkRecord* link = findBoneLinkByIndex(geometry_, linkIndex);
            return link == nullptr ? -1 : static_cast<int32_t>(link - links.data());
        }
        const auto it = firstWithIndex_.find(linkIndex);
        return it == firstWithIndex_.end() ? -1 : it->second;
    }

private:
    const GeometryRecord& geometry_;
    bool inOrder_ = true;
    bool hashed_ = false;
    std::unordered_map<int32_t, int32_t> firstWithIndex_;
};

bool hasWeights(const GeometryRecord& geometry) {
    for (const VertexRecord& vertex : geometry.vertices) {
        if (!vertex.weights.empty()) return true;
    }
    return false;
}

void resolveLinksOf(SceneDocument& doc, GeometryRecord& geometry, SkeletonLookups& bones, Diagnostics* diagnostics) {
    const ObjectRef at = geometry.placedBy;
    if (at.scene < 0) return; // the geometry is dropped, or placed nowhere
    const SceneObjectRecord& object = element(element(doc.scenes, at.scene).objects, at.object);
    if (object.boneNodeIndex >= 0) return; // the whole mesh follows that bone
    const int32_t skeleton = object.skeletonIndex;
    if (!isIndexOf(skeleton, doc.skeletons)) {
        if (diagnostics != nullptr && hasWeights(geometry)) {
            diagnostics->warn(geometry.weightsLine, FindingKind::Unresolved,
                              "geometry " + quoted(geometry.name.c_str()) +
                                  " has weights, but the object that places it belongs to no skeleton",
                              "its weights reach the host with bone -1");
        }
        return;
    }
    const SkeletonRecord& s = element(doc.skeletons, skeleton);
    for (BoneLinkRecord& link : geometry.links) {
        const int32_t bone = bones.findBone(skeleton, link.name.c_str());
        const int32_t node = isIndexOf(bone, s.bones) ? element(s.bones, bone).nodeIndex : -1;
        link.boneNodeIndex = isIndexOf(node, doc.boneNodes) ? node : -1;
        if (link.boneNodeIndex >= 0 || diagnostics == nullptr) continue;
        diagnostics->warn(link.line, FindingKind::Unresolved,
                          link.name.empty() ? "bone link " + std::to_string(link.index) + " has an empty name"
                                            : "bone link " + quoted(link.name.c_str()) + " names no bone of skeleton " +
                                                  quoted(s.name.c_str()),
                          "its weights reach the host with bone -1");
    }
    const LinkFinder linkOf(geometry);
    int64_t unlinked = 0;
    int32_t example = 0;
    for (VertexRecord& vertex : geometry.vertices) {
        for (VertexWeight& weight : vertex.weights) {
            const int32_t link = linkOf.find(weight.linkIndex);
            if (link >= 0) {
                weight.boneNodeIndex = element(geometry.links, link).boneNodeIndex;
            } else if (unlinked++ == 0) {
                example = weight.linkIndex;
            }
        }
    }
    if (unlinked > 0 && diagnostics != nullptr) {
        diagnostics->warn(geometry.weightsLine, FindingKind::Unresolved,
                          plural(unlinked, "weight", "weights") + " of geometry " + quoted(geometry.name.c_str()) +
                              " name a link index no link has (the first: " + std::to_string(example) + ")",
                          "they reach the host with bone -1", unlinked);
    }
}

// Which skeletons and bones earlier tracks have taken: a mark per skeleton
// holding the number of the animation that last took it, and a mark per bone
// (all skeletons' bones in a row) holding the number of the skeleton track
// that last took it. Made once per pass, so that the pass costs time in
// proportion to skeletons, bones and tracks. Without memory for the marks the
// caller asks the earlier tracks themselves.
class Taken {
public:
    explicit Taken(const SceneDocument& doc) {
        try {
            firstBone_.resize(doc.skeletons.size());
            std::size_t bones = 0;
            for (std::size_t s = 0; s < doc.skeletons.size(); ++s) {
                firstBone_[s] = bones;
                bones += doc.skeletons[s].bones.size();
            }
            skeletons_.assign(doc.skeletons.size(), 0);
            bones_.assign(bones, 0);
            marked_ = true;
        } catch (const std::bad_alloc&) {
            marked_ = false;
        }
    }

    bool marked() const { return marked_; }

    // Whether the animation numbered `stamp` (from 1) has taken the skeleton
    // already; takes it.
    bool takeSkeleton(int32_t skeleton, uint32_t stamp) {
        return take(skeletons_[static_cast<std::size_t>(skeleton)], stamp);
    }

    // The same for a bone of a skeleton and the skeleton track numbered `stamp`.
    bool takeBone(int32_t skeleton, int32_t bone, uint32_t stamp) {
        return take(bones_[firstBone_[static_cast<std::size_t>(skeleton)] + static_cast<std::size_t>(bone)], stamp);
    }

private:
    static bool take(uint32_t& mark, uint32_t stamp) {
        const bool was = mark == stamp;
        mark = stamp;
        return was;
    }

    std::vector<std::size_t> firstBone_;
    std::vector<uint32_t> skeletons_;
    std::vector<uint32_t> bones_;
    bool marked_ = false;
};

void resolveTracksOf(AnimationRecord& animation, uint32_t animationNumber, uint32_t& trackNumber,
                     const NameIndex<SkeletonRecord>& skeletons, SkeletonLookups& bones, Taken& taken,
                     Diagnostics* diagnostics) {
    // `what` makes the finding's text, only when there are diagnostics.
    auto warn = [&](int32_t line, FindingKind kind, auto what) {
        if (diagnostics == nullptr) return;
        diagnostics->warn(line, kind, what(),
                          kind == FindingKind::SecondOccurrence ? "ignored: the first counts"
                                                                : "its keys are not used");
    };
    const char* name = animation.name.c_str();
    const auto tracks = animation.skeletonTracks.begin();
    for (auto track = tracks; track != animation.skeletonTracks.end(); ++track) {
        const char* skeletonName = track->skeletonName.c_str();
        const int32_t skeleton = skeletons.find(skeletonName);
        if (skeleton < 0) {
            warn(track->line, FindingKind::Unresolved, [&] {
                return "animation " + quoted(name) + " has a track for skeleton " + quoted(skeletonName) +
                       ", which no skeleton has";
            });
            continue;
        }
        const bool hidden = taken.marked() ? taken.takeSkeleton(skeleton, animationNumber)
                                           : std::any_of(tracks, track, [&](const AnimationSkeletonTrack& t) {
                                                 return t.skeletonIndex == skeleton;
                                             });
        if (hidden) {
            warn(track->line, FindingKind::SecondOccurrence, [&] {
                return "a second track of animation " + quoted(name) + " for skeleton " + quoted(skeletonName);
            });
            continue;
        }
        track->skeletonIndex = skeleton;
        ++trackNumber;
        const auto nodes = track->nodes.begin();
        for (auto node = nodes; node != track->nodes.end(); ++node) {
            const char* boneName = node->nodeName.c_str();
            const int32_t bone = bones.findBone(skeleton, boneName);
            if (bone < 0) {
                warn(node->line, FindingKind::Unresolved, [&] {
                    return "animation " + quoted(name) + " has keys for " + quoted(boneName) + ", which skeleton " +
                           quoted(skeletonName) + " has no bone of";
                });
            } else if (taken.marked() ? taken.takeBone(skeleton, bone, trackNumber)
                                      : std::any_of(nodes, node,
                                                    [&](const AnimationNodeTrack& n) { return n.boneIndex == bone; })) {
                warn(node->line, FindingKind::SecondOccurrence, [&] {
                    return "a second track of animation " + quoted(name) + " for bone " + quoted(boneName) +
                           " of skeleton " + quoted(skeletonName);
                });
            } else {
                node->boneIndex = bone;
            }
        }
    }
}

} // namespace

void resolveBoneLinks(SceneDocument& doc, SkeletonLookups& bones, Diagnostics* diagnostics) {
    for (GeometryRecord& geometry : doc.geometries) resolveLinksOf(doc, geometry, bones, diagnostics);
}

void resolveAnimationTracks(SceneDocument& doc, SkeletonLookups& bones, Diagnostics* diagnostics) {
    if (doc.animations.empty()) return;
    const NameIndex<SkeletonRecord> skeletons(doc.skeletons, &SkeletonRecord::name);
    Taken taken(doc);
    // Numbers from 1 (a mark of 0 is "never taken"); a document holds fewer
    // than 2^31 records of each kind, so they do not wrap.
    uint32_t animationNumber = 0;
    uint32_t trackNumber = 0;
    for (AnimationRecord& animation : doc.animations) {
        resolveTracksOf(animation, ++animationNumber, trackNumber, skeletons, bones, taken, diagnostics);
    }
}

} // namespace bxml
