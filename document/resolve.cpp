// The resolution pass and the parents-first ordering of scene objects.
//
// Both look up many names in the same arrays, so they go through NameIndex
// (first match wins, exactly like the linear lookups of lookup.cpp) to stay
// linear in the size of the document. Scratch memory that cannot be had makes
// the pass fall back to the linear lookups, never fail.
#include <algorithm>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "document/diagnostics.h"
#include "document/element.h"
#include "document/lookup.h"
#include "document/name_index.h"
#include "document/resolve.h"
#include "document/resolve_bones.h"
#include "document/skeleton_lookups.h"
#include "platform/text.h"

namespace bxml {

namespace {

// Reports every record of records whose name an earlier record already has,
// at the record's line: lookups find only the first.
template <class Record>
void reportDuplicateNames(const std::vector<Record>& records, Name Record::*field, const char* noun,
                          Diagnostics& diagnostics) {
    std::unordered_map<std::string_view, std::size_t> first;
    for (std::size_t k = 0; k < records.size(); ++k) {
        const Name& name = records[k].*field;
        if (name.empty()) continue;
        const auto [it, isNew] = first.emplace(std::string_view(name.c_str()), k);
        if (isNew) continue;
        diagnostics.warn(records[k].line, FindingKind::DuplicateName,
                         std::string("a second ") + noun + " named " + quoted(name.c_str()),
                         "every reference finds the first, on line " + std::to_string(records[it->second].line));
    }
}

void resolveBoneParents(SceneDocument& doc, Diagnostics* diagnostics) {
    for (SkeletonRecord& skeleton : doc.skeletons) {
        NameIndex<BoneRecord> byName(skeleton.bones, &BoneRecord::name);
        for (BoneRecord& bone : skeleton.bones) {
            if (!bone.parentName.empty()) bone.parentIndex = byName.find(bone.parentName.c_str());
        }
    }
    if (diagnostics == nullptr) return;
    // Element 0 of each skeleton is its root bone, named like the skeleton: a
    // bone of that name is a second one too.
    for (const SkeletonRecord& skeleton : doc.skeletons) {
        reportDuplicateNames(skeleton.bones, &BoneRecord::name, "bone in this skeleton", *diagnostics);
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

void resolveTextureImages(SceneDocument& doc, Diagnostics* diagnostics) {
    NameIndex<ImageRecord> byName(doc.images, &ImageRecord::name);
    for (std::size_t i = 0; i < doc.textures.size(); ++i) {
        TextureRecord& texture = doc.textures[i];
        if (texture.imageName.empty()) continue;
        texture.imageIndex = byName.find(texture.imageName.c_str());
        if (texture.imageIndex < 0 && diagnostics != nullptr) {
            diagnostics->warn(texture.line, FindingKind::Unresolved,
                              "texture " + quoted(texture.name.c_str()) + " names the image " +
                                  quoted(texture.imageName.c_str()) + ", which no image has",
                              "no texture map is made from it");
        }
    }
}

void resolveMaterialTextures(SceneDocument& doc, Diagnostics* diagnostics) {
    NameIndex<TextureRecord> byName(doc.textures, &TextureRecord::name);
    for (std::size_t m = 0; m < doc.materials.size(); ++m) {
        for (int s = 0; s < MATERIAL_SLOT_COUNT; ++s) {
            MaterialTextureSlot& slot = doc.materials[m].slots[s];
            if (slot.textureName.empty()) continue;
            slot.textureIndex = byName.find(slot.textureName.c_str());
            if (slot.textureIndex < 0 && diagnostics != nullptr) {
                diagnostics->warn(slot.line, FindingKind::Unresolved,
                                  "material " + quoted(doc.materials[m].name.c_str()) + " names the texture " +
                                      quoted(slot.textureName.c_str()) + ", which no texture has",
                                  "the material gets no texture map there");
            }
        }
    }
}

// The findings of one scene object's references (diagnostics only).
void reportObjectReferences(const SceneDocument& doc, const SceneObjectRecord& object, int32_t skeleton,
                            Diagnostics& diagnostics) {
    auto warn = [&](std::string what, std::string instead) {
        diagnostics.warn(object.line, FindingKind::Unresolved, "object " + quoted(object.name.c_str()) + " " + what,
                         std::move(instead));
    };
    if (!object.parentName.empty() && object.parentIndex < 0) {
        warn("names the parent " + quoted(object.parentName.c_str()) + ", which no object of its scene has",
             "it is placed as a root");
    }
    if (!object.skeletonName.empty() && skeleton < 0) {
        warn("names the skeleton " + quoted(object.skeletonName.c_str()) + ", which no skeleton has",
             "it belongs to no skeleton");
    }
    if (!object.boneName.empty()) {
        if (skeleton < 0) {
            warn("names the bone " + quoted(object.boneName.c_str()) + " but belongs to no skeleton",
                 "it is attached to no bone");
        } else if (object.boneNodeIndex < 0) {
            warn("names the bone " + quoted(object.boneName.c_str()) + ", which skeleton " +
                     quoted(element(doc.skeletons, skeleton).name.c_str()) + " does not have",
                 "it is attached to no bone");
        }
    }
    const char* type = object.type.c_str();
    static constexpr const char* KIND_NAMES[] = {nullptr, "light", "camera", "geometry", "skeleton"};
    const char* kind = KIND_NAMES[static_cast<int>(targetKindOf(object))];
    if (kind == nullptr || object.targetIndex >= 0) return;
    if (object.name.empty()) {
        warn(std::string("of type ") + quoted(type) + " has no name, and a " + kind + " is found by its object's name",
             "it places nothing");
    } else {
        warn(std::string("of type ") + quoted(type) + " places the " + kind + " of its own name, and no " + kind +
                 " has that name",
             "it places nothing");
    }
}

void resolveSceneObjects(SceneDocument& doc, SkeletonLookups& perSkeleton, Diagnostics* diagnostics) {
    const NameIndex<LightRecord> lights(doc.lights, &LightRecord::name);
    const NameIndex<CameraRecord> cameras(doc.cameras, &CameraRecord::name);
    const NameIndex<GeometryRecord> geometries(doc.geometries, &GeometryRecord::name);
    const NameIndex<SkeletonRecord> skeletons(doc.skeletons, &SkeletonRecord::name);

    for (std::size_t i = 0; i < doc.scenes.size(); ++i) {
        SceneRecord& scene = doc.scenes[i];
        const NameIndex<SceneObjectRecord> objects(scene.objects, &SceneObjectRecord::name);
        for (std::size_t k = 0; k < scene.objects.size(); ++k) {
            SceneObjectRecord& object = scene.objects[k];
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
            if (!object.name.empty()) {
                const char* name = object.name.c_str();
                switch (targetKindOf(object)) {
                case TargetKind::None:
                    break;
                case TargetKind::Light:
                    object.targetIndex = lights.find(name);
                    break;
                case TargetKind::Camera:
                    object.targetIndex = cameras.find(name);
                    break;
                case TargetKind::Geometry:
                    object.targetIndex = geometries.find(name);
                    break;
                case TargetKind::Skeleton:
                    object.targetIndex = skeletons.find(name);
                    break;
                }
            }
            if (diagnostics != nullptr) {
                reportObjectReferences(doc, object, skeleton, *diagnostics);
            }
        }
        if (diagnostics != nullptr) {
            reportDuplicateNames(scene.objects, &SceneObjectRecord::name, "object in this scene", *diagnostics);
        }
    }
}

// Objects in a parent cycle, or below one, are never reached from a root:
// the ordering puts them first. Objects that name themselves as parent count
// as roots. Walks each parent chain once (diagnostics only).
void reportParentCycles(const SceneRecord& scene, Diagnostics& diagnostics) {
    enum : uint8_t { UNSEEN, ON_PATH, ROOTED, CYCLIC };
    const std::size_t n = scene.objects.size();
    std::vector<uint8_t> state(n, UNSEEN);
    std::vector<std::size_t> path;
    auto parentOf = [&](std::size_t k) -> int64_t {
        const int32_t p = scene.objects[k].parentIndex;
        return (p < 0 || static_cast<std::size_t>(p) >= n || static_cast<std::size_t>(p) == k) ? -1 : p;
    };
    for (std::size_t start = 0; start < n; ++start) {
        if (state[start] != UNSEEN) continue;
        path.clear();
        std::size_t k = start;
        uint8_t outcome = ROOTED;
        for (;;) {
            state[k] = ON_PATH;
            path.push_back(k);
            const int64_t p = parentOf(k);
            if (p < 0) break;
            const uint8_t s = element(state, p);
            if (s == ROOTED || s == CYCLIC) {
                outcome = s;
                break;
            }
            if (s == ON_PATH) {
                outcome = CYCLIC;
                break;
            }
            k = static_cast<std::size_t>(p);
        }
        for (std::size_t q : path) state[q] = outcome;
    }
    for (std::size_t k = 0; k < n; ++k) {
        const SceneObjectRecord& object = scene.objects[k];
        if (state[k] == CYCLIC) {
            diagnostics.warn(object.line, FindingKind::ParentCycle,
                             "object " + quoted(object.name.c_str()) +
                                 " is in a parent cycle, or below one (its parent " +
                                 quoted(object.parentName.c_str()) + " never leads to a root)",
                             "it is ordered before every root, in file order");
        } else if (object.parentIndex >= 0 && static_cast<std::size_t>(object.parentIndex) == k) {
            diagnostics.warn(object.line, FindingKind::ParentCycle,
                             "object " + quoted(object.name.c_str()) + " names itself as its parent",
                             "it is placed as a root");
        }
    }
}

// The host accepts a face material index in 0..materialCount-1, or -1 for none.
void checkFaceMaterials(SceneDocument& doc, Diagnostics* diagnostics) {
    const int32_t materialCount = countOf(doc.materials);
    for (std::size_t g = 0; g < doc.geometries.size(); ++g) {
        int64_t reset = 0;
        int32_t example = 0;
        for (FaceRecord& face : doc.geometries[g].faces) {
            if (face.materialIndex < -1 || face.materialIndex >= materialCount) {
                if (reset++ == 0) example = face.materialIndex;
                face.materialIndex = -1;
            }
        }
        if (reset > 0 && diagnostics != nullptr) {
            diagnostics->warn(doc.geometries[g].materialsLine, FindingKind::OutOfRange,
                              std::to_string(reset) + " face material " + (reset == 1 ? "index" : "indices") +
                                  " of geometry " + quoted(doc.geometries[g].name.c_str()) + " outside the file's " +
                                  std::to_string(materialCount) + " materials (the first: " + std::to_string(example) +
                                  ")",
                              "set to -1: those faces have no material", reset);
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
        // Moved, not copied: a move never allocates, so a long name cannot be
        // lost to exhausted memory here, and short ones move as plain bytes.
        SceneObjectRecord spare = std::move(element(objects, start));
        int32_t k = start;
        for (;;) {
            const int32_t next = element(from, k);
            element(from, k) = k;
            if (next == start) {
                element(objects, k) = std::move(spare);
                break;
            }
            element(objects, k) = std::move(element(objects, next));
            k = next;
        }
    }
}

// Which object places each light, camera, geometry and skeleton: the first
// whose target it is, scenes in order, objects parents first; later objects
// naming the same record place nothing. Reports the geometries none places.
void resolvePlacements(SceneDocument& doc, Diagnostics* diagnostics) {
    for (int32_t s = 0; s < countOf(doc.scenes); ++s) {
        const std::vector<SceneObjectRecord>& objects = element(doc.scenes, s).objects;
        for (int32_t k = 0; k < countOf(objects); ++k) {
            const SceneObjectRecord& object = element(objects, k);
            const int32_t t = object.targetIndex;
            ObjectRef* placedBy = nullptr;
            switch (targetKindOf(object)) {
            case TargetKind::None:
                break;
            case TargetKind::Light:
                if (LightRecord* light = elementOrNull(doc.lights, t)) placedBy = &light->placedBy;
                break;
            case TargetKind::Camera:
                if (CameraRecord* camera = elementOrNull(doc.cameras, t)) placedBy = &camera->placedBy;
                break;
            case TargetKind::Geometry:
                if (GeometryRecord* geometry = elementOrNull(doc.geometries, t)) placedBy = &geometry->placedBy;
                break;
            case TargetKind::Skeleton:
                if (SkeletonRecord* skeleton = elementOrNull(doc.skeletons, t)) placedBy = &skeleton->placedBy;
                break;
            }
            if (placedBy != nullptr && placedBy->scene < 0) *placedBy = ObjectRef{s, k};
        }
    }
    if (diagnostics == nullptr) return;
    for (const GeometryRecord& geometry : doc.geometries) {
        if (geometry.placedBy.scene >= 0) continue;
        diagnostics->warn(geometry.line, FindingKind::Unplaced,
                          "geometry " + quoted(geometry.name.c_str()) + " is placed by no scene object",
                          "dropped under \"Import scene meshes only\", the default");
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

    // Unreached objects keep -1 and come first, in file order; the reached
    // ones follow in their order numbers, which are 0..counter-1 each once.
    // (What a stable sort by order number gives, in one pass.)
    const int32_t unreached = count - counter;
    int32_t nextUnreached = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t number = element(orderNumber, i);
        element(from, number < 0 ? nextUnreached++ : unreached + number) = i;
    }
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

// The arrays whose records are found by name: a second record of a name is
// never found (diagnostics only).
void reportDuplicateRecordNames(const SceneDocument& doc, Diagnostics& diagnostics) {
    reportDuplicateNames(doc.lights, &LightRecord::name, "light", diagnostics);
    reportDuplicateNames(doc.cameras, &CameraRecord::name, "camera", diagnostics);
    reportDuplicateNames(doc.images, &ImageRecord::name, "image", diagnostics);
    reportDuplicateNames(doc.textures, &TextureRecord::name, "texture", diagnostics);
    reportDuplicateNames(doc.geometries, &GeometryRecord::name, "geometry", diagnostics);
    reportDuplicateNames(doc.skeletons, &SkeletonRecord::name, "skeleton", diagnostics);
}

TargetKind targetKindOf(const SceneObjectRecord& object) {
    const char* type = object.type.c_str();
    if (equalsIgnoreCase(type, "light")) return TargetKind::Light;
    if (equalsIgnoreCase(type, "camera")) return TargetKind::Camera;
    if (equalsIgnoreCase(type, "mesh") || equalsIgnoreCase(type, "font")) return TargetKind::Geometry;
    if (equalsIgnoreCase(type, "skeleton")) return TargetKind::Skeleton;
    return TargetKind::None;
}

void resolveReferences(SceneDocument& doc, Diagnostics* diagnostics) {
    if (diagnostics != nullptr) reportDuplicateRecordNames(doc, *diagnostics);
    resolveBoneParents(doc, diagnostics);
    resolveBoneNodeParents(doc);
    resolveTextureImages(doc, diagnostics);
    resolveMaterialTextures(doc, diagnostics);
    // Made after the bone parents are resolved: root bones are found by them.
    SkeletonLookups perSkeleton(doc);
    resolveSceneObjects(doc, perSkeleton, diagnostics);
    checkFaceMaterials(doc, diagnostics);
    if (diagnostics != nullptr) {
        for (const SceneRecord& scene : doc.scenes) reportParentCycles(scene, *diagnostics);
    }
    orderAllScenes(doc);
    resolvePlacements(doc, diagnostics);
    resolveBoneLinks(doc, perSkeleton, diagnostics);
    resolveAnimationTracks(doc, perSkeleton, diagnostics);
}

} // namespace bxml
