#include "builder/bones_builder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "builder/build_common.h"
#include "document/element.h"
#include "math/decompose.h"

namespace bxml {

namespace {

// The node track that animates each bone node in one animation: the first
// whose skeleton and bone, as the resolution pass set them, have that node.
// A table by node, filled once per animation; without memory for it each node
// looks through the animation's tracks.
class NodeTracks {
public:
    NodeTracks(const SceneDocument& doc, const AnimationRecord& a) : doc_(doc), a_(a) {
        try {
            byNode_.assign(doc.boneNodes.size(), nullptr);
        } catch (const std::bad_alloc&) {
            return;
        }
        tabled_ = true;
        for (const AnimationSkeletonTrack& st : a.skeletonTracks) {
            for (const AnimationNodeTrack& nt : st.nodes) {
                const int32_t node = nodeOf(st, nt);
                if (node >= 0 && element(byNode_, node) == nullptr) element(byNode_, node) = &nt;
            }
        }
    }

    const AnimationNodeTrack* find(int32_t node) const {
        if (tabled_) return element(byNode_, node);
        for (const AnimationSkeletonTrack& st : a_.skeletonTracks) {
            for (const AnimationNodeTrack& nt : st.nodes) {
                if (nodeOf(st, nt) == node) return &nt;
            }
        }
        return nullptr;
    }

private:
    // The bone node a node track animates, or -1.
    int32_t nodeOf(const AnimationSkeletonTrack& st, const AnimationNodeTrack& nt) const {
        const SkeletonRecord* skeleton = elementOrNull(doc_.skeletons, st.skeletonIndex);
        const BoneRecord* bone = skeleton == nullptr ? nullptr : elementOrNull(skeleton->bones, nt.boneIndex);
        return bone != nullptr && isIndexOf(bone->nodeIndex, doc_.boneNodes) ? bone->nodeIndex : -1;
    }

    const SceneDocument& doc_;
    const AnimationRecord& a_;
    std::vector<const AnimationNodeTrack*> byNode_;
    bool tabled_ = false;
};

// Writes one node's keys relative to the node's bind pose.
bool convertNodeKeys(HostAnimation& h, int32_t track, const BoneNodeRecord& node, const AnimationNodeTrack& keys) {
    const Vector3 bindPosition = node.position;
    const Vector3 bindScale = node.scale;
    const Quaternion bindRotation = node.rotation;
    const Matrix4 bindMatrix = matrixFromQuaternion(bindRotation);

    const int32_t positionCount = countOf(keys.positionKeys);
    if (positionCount > 0) {
        HostAnimationTrack* t = h.AddPositionKeys(track, positionCount, 0);
        if (t == nullptr || t->positionKeys == nullptr || t->positionKeyCount < positionCount) return false;
        for (int32_t k = 0; k < positionCount; ++k) {
            const PositionKey& key = element(keys.positionKeys, k);
            t->positionKeys[k].time = key.time;
            t->positionKeys[k].position = inverseTransformPoint(subtract(key.position, bindPosition), bindMatrix);
        }
    }

    const int32_t rotationCount = countOf(keys.rotationKeys);
    if (rotationCount > 0) {
        HostAnimationTrack* t = h.AddRotationKeys(track, rotationCount);
        if (t == nullptr || t->rotationKeys == nullptr || t->rotationKeyCount < rotationCount) return false;
        const Quaternion inverseBind = inverse(bindRotation);
        for (int32_t k = 0; k < rotationCount; ++k) {
            const RotationKey& key = element(keys.rotationKeys, k);
            t->rotationKeys[k].time = key.time;
            t->rotationKeys[k].rotation = multiply(inverseBind, key.rotation);
        }
    }

    const int32_t scaleCount = countOf(keys.scaleKeys);
    if (scaleCount > 0) {
        HostAnimationTrack* t = h.AddScaleKeys(track, scaleCount);
        if (t == nullptr || t->scaleKeys == nullptr || t->scaleKeyCount < scaleCount) return false;
        for (int32_t k = 0; k < scaleCount; ++k) {
            const ScaleKey& key = element(keys.scaleKeys, k);
            // A zero bind component cannot be divided out; the key keeps it.
            Vector3 s = key.scale;
            if (bindScale.x != 0.0f) s.x = s.x / bindScale.x;
            if (bindScale.y != 0.0f) s.y = s.y / bindScale.y;
            if (bindScale.z != 0.0f) s.z = s.z / bindScale.z;
            t->scaleKeys[k].time = key.time;
            t->scaleKeys[k].scale = s;
        }
    }
    return true;
}

bool convertAnimation(const SceneDocument& doc, const AnimationRecord& a, HostScene& scene) {
    bool hasNodeTracks = false;
    std::size_t frames = 0;
    for (const AnimationSkeletonTrack& st : a.skeletonTracks) {
        if (!st.nodes.empty()) hasNodeTracks = true;
        for (const AnimationNodeTrack& nt : st.nodes) {
            frames = std::max({frames, nt.positionKeys.size(), nt.rotationKeys.size(), nt.scaleKeys.size()});
        }
    }
    if (!hasNodeTracks) return true;

    HostString name(a.name.c_str());
    HostAnimation* h = scene.AddAnimation(name);
    if (h == nullptr) return false;
    h->framesPerSecond = a.fps == 0.0f ? DEFAULT_FRAMES_PER_SECOND : a.fps;
    h->frameCount = static_cast<float>(frames);

    const int32_t trackCount = countOf(doc.boneNodes);
    if (h->SetTrackCount(trackCount) == 0) return false;
    if (h->trackCount < trackCount) return false;

    const NodeTracks tracks(doc, a);
    for (int32_t i = 0; i < trackCount; ++i) {
        const BoneNodeRecord& node = element(doc.boneNodes, i);
        const AnimationNodeTrack* keys = tracks.find(i);
        if (keys != nullptr && !convertNodeKeys(*h, i, node, *keys)) return false;
    }
    return true;
}

} // namespace

int buildBones(const SceneDocument& doc, HostScene& scene) {
    for (const BoneNodeRecord& node : doc.boneNodes) {
        HostString path(node.path.c_str());
        HostBone* bone = scene.AddBone(path, -1);
        if (bone == nullptr) return 0;
        bone->parentIndex = node.parentNodeIndex;
        bone->transform.position = node.position;
        bone->transform.scale = node.scale;
        bone->transform.rotation = node.rotation;
        if (isIndexOf(node.skeletonIndex, doc.skeletons)) {
            const SkeletonRecord& skeleton = element(doc.skeletons, node.skeletonIndex);
            if (isIndexOf(node.boneIndex, skeleton.bones)) {
                bone->name.assign(element(skeleton.bones, node.boneIndex).name.c_str());
            }
        }
    }
    return 1;
}

bool convertAnimations(const SceneDocument& doc, HostScene* scene) {
    if (doc.boneNodes.empty()) return true;
    if (scene == nullptr) return false;
    for (const AnimationRecord& a : doc.animations) {
        if (!convertAnimation(doc, a, *scene)) return false;
    }
    return true;
}

} // namespace bxml
