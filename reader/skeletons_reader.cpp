// Readers of the skeletons and animations sections.
#include <tinyxml2.h>

#include <cstring>
#include <string>

#include "math/vector_math.h"
#include "platform/text.h"
#include "reader/each_child.h"
#include "reader/numbers.h"
#include "reader/section_readers.h"
#include "reader/xml_helpers.h"

namespace bxml {

using tinyxml2::XMLElement;
using tinyxml2::XMLNode;

namespace {

// Appends one bone node and one bone to the skeleton together, so that neither
// exists without the other. Returns false (and changes nothing) when memory is
// exhausted.
bool appendBoneAndNode(SceneDocument& doc, SkeletonRecord& skeleton, int32_t& nodeIndex, int32_t& boneIndex) {
    if (append(doc.boneNodes) == nullptr) return false;
    if (append(skeleton.bones) == nullptr) {
        doc.boneNodes.pop_back();
        return false;
    }
    nodeIndex = countOf(doc.boneNodes) - 1;
    boneIndex = countOf(skeleton.bones) - 1;
    return true;
}

// The skeleton's own root bone and node: named like the skeleton, path
// "S::S" (empty when the skeleton has no name), no parent.
void addRootBone(SceneDocument& doc, SkeletonRecord& skeleton, int32_t skeletonIndex) {
    int32_t nodeIndex = -1;
    int32_t boneIndex = -1;
    if (!appendBoneAndNode(doc, skeleton, nodeIndex, boneIndex)) return;
    BoneRecord& bone = skeleton.bones[static_cast<std::size_t>(boneIndex)];
    BoneNodeRecord& node = doc.boneNodes[static_cast<std::size_t>(nodeIndex)];
    if (!skeleton.name.empty()) {
        bone.name.assign(skeleton.name.c_str());
        assignPath(node.path, skeleton.name.c_str(), skeleton.name.c_str());
    }
    bone.nodeIndex = nodeIndex;
    bone.line = skeleton.line;
    skeleton.rootNodeIndex = nodeIndex;
    node.skeletonIndex = skeletonIndex;
    node.boneIndex = boneIndex;
}

// q normalised. With a sink, a q too short to have a direction (it becomes
// the identity) is reported at the line of rotation, when rotation is given.
Quaternion normalizedReporting(const Quaternion& q, const XMLElement* rotation, Diagnostics* sink) {
    if (sink != nullptr && rotation != nullptr && !(length(q) > NEAR_EPSILON)) {
        sink->warn(rotation->GetLineNum(), FindingKind::OutOfRange,
                   "a rotation of length " + std::to_string(length(q)) + ", too short to normalise",
                   "replaced by the identity (0, 0, 0, 1)");
    }
    return normalize(q);
}

// One bone element: a bone record and its node, with the parent's name when
// the enclosing element is a named bone or skeleton. A bone that cannot be had
// is skipped; its children are still read by the caller.
void addBone(const XMLElement* e, SceneDocument& doc, SkeletonRecord& skeleton, Diagnostics* sink) {
    if (!equalsIgnoreCase(e->Name(), "bone")) return;
    const XMLNode* parentNode = e->Parent();
    const XMLElement* parent = parentNode != nullptr ? parentNode->ToElement() : nullptr;
    if (parent == nullptr) return;

    int32_t nodeIndex = -1;
    int32_t boneIndex = -1;
    if (!appendBoneAndNode(doc, skeleton, nodeIndex, boneIndex)) return;
    BoneRecord& bone = skeleton.bones[static_cast<std::size_t>(boneIndex)];
    BoneNodeRecord& node = doc.boneNodes[static_cast<std::size_t>(nodeIndex)];

    bone.nodeIndex = nodeIndex;
    bone.line = e->GetLineNum();
    copyAttribute(e, "name", bone.name);
    const char* parentName = parent->Attribute("name");
    if (parentName != nullptr &&
        (equalsIgnoreCase(parent->Name(), "bone") || equalsIgnoreCase(parent->Name(), "skeleton"))) {
        bone.parentName.assign(parentName);
    }
    readVector3Child(e, "position", bone.position);
    const bool rotated = readQuaternionChild(e, "rotation", bone.rotation);
    bone.rotation = normalizedReporting(bone.rotation, rotated ? e->FirstChildElement("rotation") : nullptr, sink);
    readVector3Child(e, "scale", bone.scale);

    assignPath(node.path, skeleton.name.c_str(), bone.name.c_str());
    const std::size_t pathLength = std::strlen(skeleton.name.c_str()) + 2 + std::strlen(bone.name.c_str());
    if (sink != nullptr && pathLength > Name::CAPACITY - 1) {
        sink->warn(e->GetLineNum(), FindingKind::Cut,
                   "the path skeleton::bone of bone " + quoted(e->Attribute("name")) + " is " +
                       std::to_string(pathLength) + " bytes long",
                   "cut to 255 bytes, so animations and children may not find it");
    }
    assignPath(node.parentPath, skeleton.name.c_str(), bone.parentName.c_str());
    node.position = bone.position;
    node.rotation = bone.rotation;
    node.scale = bone.scale;
    node.skeletonIndex = skeleton.index;
    node.boneIndex = boneIndex;
}

// Every bone element nested below the skeleton element, in depth-first
// pre-order. Bones nest to any depth, so the walk follows the tree's own
// parent and sibling links instead of recursing: constant stack, no memory.
void readBones(const XMLElement* skeletonElement, SceneDocument& doc, SkeletonRecord& skeleton, Diagnostics* sink) {
    const XMLElement* e = skeletonElement->FirstChildElement("bone");
    while (e != nullptr) {
        addBone(e, doc, skeleton, sink);
        if (const XMLElement* child = e->FirstChildElement("bone")) {
            e = child;
            continue;
        }
        // No children: the next sibling, else the next sibling of the nearest
        // ancestor that has one, stopping at the skeleton element.
        while (e != nullptr && e != skeletonElement) {
            if (const XMLElement* sibling = e->NextSiblingElement("bone")) {
                e = sibling;
                break;
            }
            const XMLNode* up = e->Parent();
            e = up != nullptr ? up->ToElement() : nullptr;
        }
        if (e == skeletonElement) break;
    }
}

enum FrameChild { POSITION, ROTATION, SCALE, FRAME_CHILD_COUNT };
constexpr const char* const FRAME_CHILDREN[FRAME_CHILD_COUNT] = {"position", "rotation", "scale"};

// The key tracks of one node: one position, rotation and scale key per frame.
// Returns 0 when a key array cannot be had.
int readNodeTrack(const XMLElement* e, AnimationNodeTrack& track, Diagnostics* sink) {
    copyAttribute(e, "name", track.nodeName);
    const int64_t frames = countChildElements(e, "frame");
    if (frames <= 0) return 1;
    if (allocate(track.positionKeys, frames) == 0 || allocate(track.rotationKeys, frames) == 0 ||
        allocate(track.scaleKeys, frames) == 0) {
        return 0;
    }
    std::size_t k = 0;
    for (const XMLElement* f = e->FirstChildElement("frame"); f != nullptr && k < track.scaleKeys.size();
         f = f->NextSiblingElement("frame"), ++k) {
        const char* timeText = f->Attribute("time");
        const float time = timeText != nullptr ? parseFloat(timeText) : 0.0f;
        PositionKey& position = track.positionKeys[k];
        RotationKey& rotation = track.rotationKeys[k];
        ScaleKey& scale = track.scaleKeys[k];
        const XMLElement* child[FRAME_CHILD_COUNT];
        firstChildrenNamed(f, FRAME_CHILDREN, FRAME_CHILD_COUNT, child);
        if (child[POSITION] != nullptr) {
            readVector3(child[POSITION], position.position);
            if (timeText != nullptr) position.time = time;
        }
        if (child[ROTATION] != nullptr) {
            if (readQuaternion(child[ROTATION], rotation.rotation)) {
                rotation.rotation = normalizedReporting(rotation.rotation, child[ROTATION], sink);
            }
            if (timeText != nullptr) rotation.time = time;
        }
        if (child[SCALE] != nullptr) readVector3(child[SCALE], scale.scale);
        // Scale keys carry the frame times whether or not the frame scales.
        if (timeText != nullptr) scale.time = time;
    }
    return 1;
}

int readSkeletonTrack(const XMLElement* e, AnimationSkeletonTrack& track, Diagnostics* sink) {
    copyAttribute(e, "name", track.skeletonName);
    return fillEachChild(childrenNamed(e, "node"), track.nodes, [sink](const XMLElement* n, AnimationNodeTrack& node) {
        return readNodeTrack(n, node, sink);
    });
}

int fillAnimation(const XMLElement* e, AnimationRecord& animation, Diagnostics* sink) {
    copyAttribute(e, "name", animation.name);
    readFloatAttribute(e, "length", animation.length);
    readFloatAttribute(e, "fps", animation.fps);
    return fillEachChild(
        childrenNamed(e, "skeleton"), animation.skeletonTracks,
        [sink](const XMLElement* t, AnimationSkeletonTrack& track) { return readSkeletonTrack(t, track, sink); });
}

} // namespace

int readSkeletons(const XMLElement* section, SceneDocument& doc, Diagnostics* sink) {
    if (section == nullptr) return 1;
    const ChildList items = childrenNamed(section, "skeleton");
    if (items.count > MAX_ARRAY_COUNT) return 0;
    // The total is the number of skeleton elements even when the array
    // cannot be had.
    doc.skeletonsInFile = static_cast<int32_t>(items.count);
    const int result = fillEachChild(items, doc.skeletons, [&doc, sink](const XMLElement* e, SkeletonRecord& skeleton) {
        copyAttribute(e, "name", skeleton.name);
        addRootBone(doc, skeleton, skeleton.index);
        readBones(e, doc, skeleton, sink);
    });
    if (result == 0) return 0;
    doc.boneNodesInFile = countOf(doc.boneNodes);
    return 1;
}

int readAnimations(const XMLElement* section, SceneDocument& doc, Diagnostics* sink) {
    return readSectionItems(section, "animation", doc.animations, doc.animationsInFile,
                            [sink](const XMLElement* e, AnimationRecord& a) { return fillAnimation(e, a, sink); });
}

} // namespace bxml
