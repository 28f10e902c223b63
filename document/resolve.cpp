// The resolution pass and the parents-first ordering of scene objects.
//
// Both look up many names in the same arrays, so they go through NameIndex
// (first match wins, exactly like the linear lookups of lookup.cpp) to stay
// linear in the size of the document. Scratch memory that cannot be had makes
// the pass fall back to the linear lookups, never fail.
#include <algorithm>
#include <new>
#include <numeric>
#include <vector>

#include "document/element.h"
#include "document/lookup.h"
#include "document/name_index.h"
#include "document/resolve.h"
#include "platform/text.h"

namespace bxml {

namespace {

constexpr int32_t NOT_COMPUTED = -2;

// Per-skeleton lookups of the scene-object step, built on first use.
class SkeletonLookups {
public:
    explicit SkeletonLookups(const SceneDocument& doc) : doc_(doc) {
        try {
            boneIndexes_.resize(doc.skeletons.size());
            rootBones_.assign(doc.skeletons.size(), NOT_COMPUTED);
        } catch (const std::bad_alloc&) {
            std::vector<NameIndex<BoneRecord>>().swap(boneIndexes_);
            std::vector<int32_t>().swap(rootBones_);
        }
    }

    int32_t findBone(int32_t skeleton, const char* name) {
        const SkeletonRecord& s = element(doc_.skeletons, skeleton);
        if (boneIndexes_.empty()) return findBoneByName(s, name);
        NameIndex<BoneRecord>& index = element(boneIndexes_, skeleton);
        if (!index.built()) index.build(s.bones, &BoneRecord::name);
        return index.find(name);
    }

    // The skeleton's root bone named like the skeleton itself; bone parents do
    // not change during the scene-object step, so one answer per skeleton.
    int32_t ownRootBone(int32_t skeleton) {
        const SkeletonRecord& s = element(doc_.skeletons, skeleton);
        if (rootBones_.empty()) return findRootBoneByName(s, s.name.c_str());
        int32_t& root = element(rootBones_, skeleton);
        if (root == NOT_COMPUTED) root = findRootBoneByName(s, s.name.c_str());
        return root;
    }

private:
    const SceneDocument& doc_;
    std::vector<NameIndex<BoneRecord>> boneIndexes_;
    std::vector<int32_t> rootBones_;
};

void resolveBoneParents(SceneDocument& doc) {
    for (SkeletonRecord& skeleton : doc.skeletons) {
        NameIndex<BoneRecord> byName(skeleton.bones, &BoneRecord::name);
        for (BoneRecord& bone : skeleton.bones) {
            if (!bone.parentName.empty()) bone.parentIndex = byName.find(bone.parentName.c_str());
        }
    }
}

void resolveBoneNodeParents(SceneDocument& doc) {
    NameIndex<BoneNodeRecord> byPath(doc.boneNodes, &BoneNodeRecord::path);
    // Nodes are numbered depth-first, parents first, so a real parent always
    // precedes its child. A path found at or after the node itself comes from
    // a name collision (such as an unnamed bone of an unnamed skeleton, whose
    // path and parent path are both "::") and would make a parent cycle that a
    // host walking the chain never leaves: it stays -1.
    const int32_t count = countOf(doc.boneNodes);
    for (int32_t i = 0; i < count; ++i) {
        BoneNodeRecord& node = element(doc.boneNodes, i);
        if (node.parentPath.empty()) continue;
        const int32_t parent = byPath.find(node.parentPath.c_str());
        node.parentNodeIndex = (parent >= 0 && parent < i) ? parent : -1;
    }
}

void resolveTextureImages(SceneDocument& doc) {
    NameIndex<ImageRecord> byName(doc.images, &ImageRecord::name);
    for (TextureRecord& texture : doc.textures) {
        if (!texture.imageName.empty()) texture.imageIndex = byName.find(texture.imageName.c_str());
    }
}

void resolveMaterialTextures(SceneDocument& doc) {
    NameIndex<TextureRecord> byName(doc.textures, &TextureRecord::name);
    for (MaterialRecord& material : doc.materials) {
        for (MaterialTextureSlot& slot : material.slots) {
            if (!slot.textureName.empty()) slot.textureIndex = byName.find(slot.textureName.c_str());
        }
    }
}

void resolveSceneObjects(SceneDocument& doc) {
    const NameIndex<LightRecord> lights(doc.lights, &LightRecord::name);
    const NameIndex<CameraRecord> cameras(doc.cameras, &CameraRecord::name);
    const NameIndex<GeometryRecord> geometries(doc.geometries, &GeometryRecord::name);
    const NameIndex<SkeletonRecord> skeletons(doc.skeletons, &SkeletonRecord::name);
    SkeletonLookups perSkeleton(doc);

    for (SceneRecord& scene : doc.scenes) {
        const NameIndex<SceneObjectRecord> objects(scene.objects, &SceneObjectRecord::name);
        for (SceneObjectRecord& object : scene.objects) {
            if (!object.parentName.empty()) object.parentIndex = objects.find(object.parentName.c_str());

            // An object parented to a skeleton object belongs to that skeleton.
            int32_t skeleton = -1;
            if (!object.skeletonName.empty()) {
                skeleton = skeletons.find(object.skeletonName.c_str());
            } else if (!object.parentName.empty()) {
                skeleton = skeletons.find(object.parentName.c_str());
            }
            if (skeleton >= 0) {
                const SkeletonRecord& s = element(doc.skeletons, skeleton);
                const int32_t root = perSkeleton.ownRootBone(skeleton);
                if (root >= 0) object.rootNodeIndex = element(s.bones, root).nodeIndex;
                if (!object.boneName.empty()) {
                    const int32_t bone = perSkeleton.findBone(skeleton, object.boneName.c_str());
                    if (bone >= 0) object.boneNodeIndex = element(s.bones, bone).nodeIndex;
                }
            }
            object.skeletonIndex = skeleton;

            // The file names what an object places after the object itself.
            if (object.name.empty()) continue;
            const char* type = object.type.c_str();
            const char* name = object.name.c_str();
            if (equalsIgnoreCase(type, "light")) {
                object.targetIndex = lights.find(name);
            } else if (equalsIgnoreCase(type, "camera")) {
                object.targetIndex = cameras.find(name);
            } else if (equalsIgnoreCase(type, "mesh") || equalsIgnoreCase(type, "font")) {
                object.targetIndex = geometries.find(name);
            } else if (equalsIgnoreCase(type, "skeleton")) {
                object.targetIndex = skeletons.find(name);
            }
        }
    }
}

// The host accepts a face material index in 0..materialCount-1, or -1 for none.
void checkFaceMaterials(SceneDocument& doc) {
    const int32_t materialCount = countOf(doc.materials);
    for (GeometryRecord& geometry : doc.geometries) {
        for (FaceRecord& face : geometry.faces) {
            if (face.materialIndex < -1 || face.materialIndex >= materialCount) face.materialIndex = -1;
        }
    }
}

// Moves the objects so that position k holds the object that was at from[k].
// Follows the cycles of the permutation with one spare record; `from` is
// used up (every entry ends as its own position).
void permuteObjects(std::vector<SceneObjectRecord>& objects, std::vector<int32_t>& from) {
    const int32_t count = countOf(objects);
    for (int32_t start = 0; start < count; ++start) {
        if (element(from, start) == start) continue;
        SceneObjectRecord spare = element(objects, start);
        int32_t k = start;
        for (;;) {
            const int32_t next = element(from, k);
            element(from, k) = k;
            if (next == start) {
                element(objects, k) = spare;
                break;
            }
            element(objects, k) = element(objects, next);
            k = next;
        }
    }
}

} // namespace

void orderSceneObjects(SceneRecord& scene) {
    std::vector<SceneObjectRecord>& objects = scene.objects;
    const int32_t count = countOf(objects);
    if (count < 2) return;
    const std::size_t n = static_cast<std::size_t>(count);

    // All scratch up front: when it cannot be had the scene keeps its file order.
    std::vector<int32_t> orderNumber;
    std::vector<int32_t> firstChild; // children of p: children[firstChild[p] .. firstChild[p+1])
    std::vector<int32_t> children;
    std::vector<int32_t> pending;
    std::vector<int32_t> from;
    try {
        orderNumber.assign(n, -1);
        firstChild.assign(n + 1, 0);
        children.resize(n);
        pending.reserve(n);
        from.resize(n);
    } catch (const std::bad_alloc&) {
        return;
    }

    for (int32_t i = 0; i < count; ++i) {
        SceneObjectRecord& object = element(objects, i);
        object.fileIndex = i;
        if (object.parentIndex == i) object.parentIndex = -1;
    }

    // Child lists in file order. A parent index past the end names no object:
    // such an object is neither a root nor anyone's child, so it stays unreached.
    for (const SceneObjectRecord& object : objects) {
        const int32_t p = object.parentIndex;
        if (p >= 0 && p < count) ++element(firstChild, p + 1);
    }
    for (std::size_t p = 0; p < n; ++p) firstChild[p + 1] += firstChild[p];
    std::copy(firstChild.begin(), firstChild.end() - 1, from.begin()); // fill cursors
    for (int32_t i = 0; i < count; ++i) {
        const int32_t p = element(objects, i).parentIndex;
        if (p >= 0 && p < count) element(children, element(from, p)++) = i;
    }

    // Depth-first, preorder, roots and siblings in file order. Every object is
    // pushed at most once (it has one parent), so `pending` never outgrows n.
    int32_t counter = 0;
    for (int32_t root = 0; root < count; ++root) {
        if (element(objects, root).parentIndex >= 0) continue;
        pending.push_back(root);
        while (!pending.empty()) {
            const int32_t node = pending.back();
            pending.pop_back();
            element(orderNumber, node) = counter++;
            const int32_t begin = element(firstChild, node);
            for (int32_t c = element(firstChild, node + 1); c > begin; --c) {
                pending.push_back(element(children, c - 1));
            }
        }
    }

    // Unreached objects keep -1 and so come first; the stable sort keeps every
    // tie in file order.
    std::iota(from.begin(), from.end(), 0);
    std::stable_sort(from.begin(), from.end(), [&orderNumber](int32_t a, int32_t b) {
        return element(orderNumber, a) < element(orderNumber, b);
    });
    permuteObjects(objects, from);

    // Indices changed; parents are found again by name in the new order.
    const NameIndex<SceneObjectRecord> byName(objects, &SceneObjectRecord::name);
    for (SceneObjectRecord& object : objects) {
        if (!object.parentName.empty()) object.parentIndex = byName.find(object.parentName.c_str());
    }
}

void orderAllScenes(SceneDocument& doc) {
    for (SceneRecord& scene : doc.scenes) orderSceneObjects(scene);
}

void resolveReferences(SceneDocument& doc) {
    resolveBoneParents(doc);
    resolveBoneNodeParents(doc);
    resolveTextureImages(doc);
    resolveMaterialTextures(doc);
    resolveSceneObjects(doc);
    checkFaceMaterials(doc);
    orderAllScenes(doc);
}

} // namespace bxml
