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

// Name indexes of the skeletons' bones, each built when first needed. Without
// memory for them every skeleton gets a fresh index, which scans instead of
// hashing when it cannot be had either: same answers, more time.
class BoneIndexes {
public:
    explicit BoneIndexes(const SceneDocument& doc) : doc_(doc) {
        try {
            indexes_.resize(doc.skeletons.size());
        } catch (const std::bad_alloc&) {
            indexes_.clear();
        }
    }

    // The first bone of the skeleton named `name`, or -1.
    int32_t find(int32_t skeleton, const char* name) {
        const SkeletonRecord& s = element(doc_.skeletons, skeleton);
        NameIndex<BoneRecord>& index = isIndexOf(skeleton, indexes_) ? element(indexes_, skeleton) : spare_;
        if (!index.built() || &index == &spare_) index.build(s.bones, &BoneRecord::name);
        return index.find(name);
    }

private:
    const SceneDocument& doc_;
    std::vector<NameIndex<BoneRecord>> indexes_;
    NameIndex<BoneRecord> spare_;
};

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

void resolveLinksOf(SceneDocument& doc, GeometryRecord& geometry, BoneIndexes& bones, Diagnostics* diagnostics) {
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
        const int32_t bone = bones.find(skeleton, link.name.c_str());
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

// Marks of what earlier tracks have taken, one per skeleton or bone. Without
// memory for the marks, `taken` asks the earlier tracks themselves.
class Taken {
public:
    void reset(std::size_t count) {
        try {
            marks_.assign(count, false);
            marked_ = true;
        } catch (const std::bad_alloc&) {
            marked_ = false;
        }
    }

    // Whether index is taken, and takes it; `earlier` answers when there are no marks.
    template <class Earlier>
    bool take(int32_t index, Earlier earlier) {
        if (!marked_) return earlier(index);
        const bool was = marks_[static_cast<std::size_t>(index)];
        marks_[static_cast<std::size_t>(index)] = true;
        return was;
    }

private:
    std::vector<bool> marks_;
    bool marked_ = false;
};

void resolveTracksOf(const SceneDocument& doc, AnimationRecord& animation, const NameIndex<SkeletonRecord>& skeletons,
                     BoneIndexes& bones, Diagnostics* diagnostics) {
    // `what` makes the finding's text, only when there are diagnostics.
    auto warn = [&](int32_t line, FindingKind kind, auto what) {
        if (diagnostics == nullptr) return;
        diagnostics->warn(line, kind, what(),
                          kind == FindingKind::SecondOccurrence ? "ignored: the first counts"
                                                                : "its keys are not used");
    };
    // The names in the findings, made only for diagnostics: a file without
    // misses then builds no text.
    const std::string name = diagnostics != nullptr ? quoted(animation.name.c_str()) : std::string();
    Taken skeletonTaken;
    skeletonTaken.reset(doc.skeletons.size());
    const auto tracks = animation.skeletonTracks.begin();
    for (auto track = tracks; track != animation.skeletonTracks.end(); ++track) {
        const std::string skeletonName = diagnostics != nullptr ? quoted(track->skeletonName.c_str()) : std::string();
        const int32_t skeleton = skeletons.find(track->skeletonName.c_str());
        if (skeleton < 0) {
            warn(track->line, FindingKind::Unresolved, [&] {
                return "animation " + name + " has a track for skeleton " + skeletonName + ", which no skeleton has";
            });
            continue;
        }
        const bool taken = skeletonTaken.take(skeleton, [&](int32_t s) {
            return std::any_of(tracks, track, [s](const AnimationSkeletonTrack& t) { return t.skeletonIndex == s; });
        });
        if (taken) {
            warn(track->line, FindingKind::SecondOccurrence,
                 [&] { return "a second track of animation " + name + " for skeleton " + skeletonName; });
            continue;
        }
        track->skeletonIndex = skeleton;
        Taken boneTaken;
        boneTaken.reset(element(doc.skeletons, skeleton).bones.size());
        const auto nodes = track->nodes.begin();
        for (auto node = nodes; node != track->nodes.end(); ++node) {
            const int32_t bone = bones.find(skeleton, node->nodeName.c_str());
            if (bone < 0) {
                warn(node->line, FindingKind::Unresolved, [&] {
                    return "animation " + name + " has keys for " + quoted(node->nodeName.c_str()) +
                           ", which skeleton " + skeletonName + " has no bone of";
                });
            } else if (boneTaken.take(bone, [&](int32_t b) {
                           return std::any_of(nodes, node,
                                              [b](const AnimationNodeTrack& n) { return n.boneIndex == b; });
                       })) {
                warn(node->line, FindingKind::SecondOccurrence, [&] {
                    return "a second track of animation " + name + " for bone " + quoted(node->nodeName.c_str()) +
                           " of skeleton " + skeletonName;
                });
            } else {
                node->boneIndex = bone;
            }
        }
    }
}

} // namespace

void resolveBoneLinks(SceneDocument& doc, Diagnostics* diagnostics) {
    BoneIndexes bones(doc);
    for (GeometryRecord& geometry : doc.geometries) resolveLinksOf(doc, geometry, bones, diagnostics);
}

void resolveAnimationTracks(SceneDocument& doc, Diagnostics* diagnostics) {
    const NameIndex<SkeletonRecord> skeletons(doc.skeletons, &SkeletonRecord::name);
    BoneIndexes bones(doc);
    for (AnimationRecord& animation : doc.animations) resolveTracksOf(doc, animation, skeletons, bones, diagnostics);
}

} // namespace bxml
