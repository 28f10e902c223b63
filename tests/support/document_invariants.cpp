#include "tests/support/document_invariants.h"

#include <cstddef>
#include <cstdint>

#include "platform/text.h"

namespace bxml::testing {

namespace {

template <class T>
bool noneOrIndexOf(int32_t index, const std::vector<T>& a) {
    return index == -1 || (index >= 0 && static_cast<std::size_t>(index) < a.size());
}

void checkTexturesAndMaterials(ViolationReport& report, const SceneDocument& doc) {
    for (std::size_t t = 0; t < doc.textures.size(); ++t) {
        if (!noneOrIndexOf(doc.textures[t].imageIndex, doc.images))
            report.add("texture ", t, ": image ", doc.textures[t].imageIndex, " of ", doc.images.size());
    }
    for (std::size_t m = 0; m < doc.materials.size(); ++m) {
        for (int s = 0; s < MATERIAL_SLOT_COUNT; ++s) {
            const int32_t texture = doc.materials[m].slots[s].textureIndex;
            if (!noneOrIndexOf(texture, doc.textures))
                report.add("material ", m, " slot ", s, ": texture ", texture, " of ", doc.textures.size());
        }
    }
}

// No object, or an object of the document.
bool noneOrObjectOf(ObjectRef at, const SceneDocument& doc) {
    if (at.scene == -1 && at.object == -1) return true;
    return at.scene >= 0 && static_cast<std::size_t>(at.scene) < doc.scenes.size() &&
           noneOrIndexOf(at.object, doc.scenes[static_cast<std::size_t>(at.scene)].objects) && at.object >= 0;
}

template <class Record>
void checkPlacedBy(ViolationReport& report, const SceneDocument& doc, const std::vector<Record>& records,
                   const char* noun) {
    for (std::size_t k = 0; k < records.size(); ++k) {
        if (!noneOrObjectOf(records[k].placedBy, doc))
            report.add(noun, " ", k, ": placed by object ", records[k].placedBy.object, " of scene ",
                       records[k].placedBy.scene);
    }
}

void checkGeometries(ViolationReport& report, const SceneDocument& doc) {
    checkPlacedBy(report, doc, doc.lights, "light");
    checkPlacedBy(report, doc, doc.cameras, "camera");
    checkPlacedBy(report, doc, doc.geometries, "geometry");
    checkPlacedBy(report, doc, doc.skeletons, "skeleton");
    for (std::size_t g = 0; g < doc.geometries.size(); ++g) {
        const GeometryRecord& geometry = doc.geometries[g];
        for (std::size_t k = 0; k < geometry.links.size(); ++k) {
            if (!noneOrIndexOf(geometry.links[k].boneNodeIndex, doc.boneNodes))
                report.add("geometry ", g, " link ", k, ": bone node ", geometry.links[k].boneNodeIndex);
        }
        if (!noneOrIndexOf(geometry.rootNodeIndex, doc.boneNodes) ||
            !noneOrIndexOf(geometry.boneNodeIndex, doc.boneNodes) ||
            !noneOrIndexOf(geometry.skeletonIndex, doc.skeletons))
            report.add("geometry ", g, ": root node ", geometry.rootNodeIndex, ", bone node ", geometry.boneNodeIndex,
                       ", skeleton ", geometry.skeletonIndex);
        for (std::size_t f = 0; f < geometry.faces.size(); ++f) {
            if (!noneOrIndexOf(geometry.faces[f].materialIndex, doc.materials))
                report.add("geometry ", g, " face ", f, ": material ", geometry.faces[f].materialIndex, " of ",
                           doc.materials.size());
        }
        for (std::size_t v = 0; v < geometry.vertices.size(); ++v) {
            for (const VertexWeight& weight : geometry.vertices[v].weights) {
                if (!noneOrIndexOf(weight.boneNodeIndex, doc.boneNodes))
                    report.add("geometry ", g, " vertex ", v, ": weight on bone node ", weight.boneNodeIndex, " of ",
                               doc.boneNodes.size());
            }
        }
    }
}

void checkSkeletons(ViolationReport& report, const SceneDocument& doc) {
    for (std::size_t n = 0; n < doc.boneNodes.size(); ++n) {
        const BoneNodeRecord& node = doc.boneNodes[n];
        const int32_t parent = node.parentNodeIndex;
        if (parent != -1 && !(parent >= 0 && static_cast<std::size_t>(parent) < n))
            report.add("bone node ", n, ": parent ", parent, " is not a node before it");
        if (!noneOrIndexOf(node.skeletonIndex, doc.skeletons)) {
            report.add("bone node ", n, ": skeleton ", node.skeletonIndex, " of ", doc.skeletons.size());
        } else if (node.skeletonIndex >= 0 &&
                   !noneOrIndexOf(node.boneIndex, doc.skeletons[static_cast<std::size_t>(node.skeletonIndex)].bones)) {
            report.add("bone node ", n, ": bone ", node.boneIndex, " outside its skeleton");
        }
    }
    for (std::size_t s = 0; s < doc.skeletons.size(); ++s) {
        const SkeletonRecord& skeleton = doc.skeletons[s];
        if (skeleton.index != static_cast<int32_t>(s)) report.add("skeleton ", s, ": index ", skeleton.index);
        if (!noneOrIndexOf(skeleton.rootNodeIndex, doc.boneNodes))
            report.add("skeleton ", s, ": root node ", skeleton.rootNodeIndex, " of ", doc.boneNodes.size());
        for (std::size_t b = 0; b < skeleton.bones.size(); ++b) {
            const BoneRecord& bone = skeleton.bones[b];
            if (!noneOrIndexOf(bone.parentIndex, skeleton.bones) || !noneOrIndexOf(bone.nodeIndex, doc.boneNodes))
                report.add("skeleton ", s, " bone ", b, ": parent ", bone.parentIndex, ", node ", bone.nodeIndex);
        }
    }
    for (std::size_t a = 0; a < doc.animations.size(); ++a) {
        for (const AnimationSkeletonTrack& track : doc.animations[a].skeletonTracks) {
            const bool resolved = track.skeletonIndex >= 0 && noneOrIndexOf(track.skeletonIndex, doc.skeletons);
            if (!resolved && track.skeletonIndex != -1)
                report.add("animation ", a, ": track of skeleton ", track.skeletonIndex);
            for (const AnimationNodeTrack& node : track.nodes) {
                const bool bone =
                    resolved ? noneOrIndexOf(node.boneIndex,
                                             doc.skeletons[static_cast<std::size_t>(track.skeletonIndex)].bones)
                             : node.boneIndex == -1;
                if (!bone) report.add("animation ", a, ": node track of bone ", node.boneIndex);
            }
        }
    }
}

// -1 for object types that place nothing.
int64_t targetCount(const SceneDocument& doc, const char* type) {
    if (equalsIgnoreCase(type, "light")) return static_cast<int64_t>(doc.lights.size());
    if (equalsIgnoreCase(type, "camera")) return static_cast<int64_t>(doc.cameras.size());
    if (equalsIgnoreCase(type, "mesh") || equalsIgnoreCase(type, "font"))
        return static_cast<int64_t>(doc.geometries.size());
    if (equalsIgnoreCase(type, "skeleton")) return static_cast<int64_t>(doc.skeletons.size());
    return -1;
}

// fileIndex: a permutation of 0..n-1 once a scene of two or more objects was
// ordered; -1 for a lone object. False when the scene was left unordered
// (allowed only with allowUnordered).
bool checkFileIndices(ViolationReport& report, std::size_t s, const std::vector<SceneObjectRecord>& objects,
                      bool allowUnordered) {
    bool allUnset = true;
    for (const SceneObjectRecord& object : objects) allUnset = allUnset && object.fileIndex == -1;
    if (objects.size() < 2) {
        if (!allUnset) report.add("scene ", s, ": a lone object with file index ", objects[0].fileIndex);
        return true;
    }
    if (allUnset) {
        if (!allowUnordered) report.add("scene ", s, ": ", objects.size(), " objects never ordered");
        return false;
    }
    std::vector<bool> seen(objects.size(), false);
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const int32_t k = objects[i].fileIndex;
        if (k < 0 || static_cast<std::size_t>(k) >= objects.size() || seen[static_cast<std::size_t>(k)]) {
            report.add("scene ", s, " object ", i, ": file index ", k, " is not part of a permutation");
            return true;
        }
        seen[static_cast<std::size_t>(k)] = true;
    }
    return true;
}

// For each object: does its chain of parents end at a root (parent -1 or the
// object itself), rather than run into a cycle? Iterative, for deep chains.
std::vector<bool> endsAtRoot(const std::vector<SceneObjectRecord>& objects) {
    enum : char { UNKNOWN, ON_PATH, ROOTED, CYCLIC };
    std::vector<char> state(objects.size(), UNKNOWN);
    std::vector<std::size_t> path;
    for (std::size_t start = 0; start < objects.size(); ++start) {
        std::size_t i = start;
        char outcome = CYCLIC;
        while (true) {
            if (state[i] == ROOTED || state[i] == CYCLIC) {
                outcome = state[i];
                break;
            }
            if (state[i] == ON_PATH) break; // a cycle
            state[i] = ON_PATH;
            path.push_back(i);
            const int32_t parent = objects[i].parentIndex;
            if (parent < 0 || static_cast<std::size_t>(parent) == i ||
                static_cast<std::size_t>(parent) >= objects.size()) {
                outcome = ROOTED;
                break;
            }
            i = static_cast<std::size_t>(parent);
        }
        for (std::size_t k : path) state[k] = outcome;
        path.clear();
    }
    std::vector<bool> rooted(objects.size());
    for (std::size_t i = 0; i < objects.size(); ++i) rooted[i] = state[i] == ROOTED;
    return rooted;
}

// Parents first. Objects in or below a parent cycle cannot be ordered; they
// come before all others. Every other object's parent is found by name in the
// new order no later than where the parent was put, so a parent after its
// child is allowed only for an object whose chain runs into a cycle and that
// stands before every object whose chain ends at a root.
void checkParentsFirst(ViolationReport& report, std::size_t s, const std::vector<SceneObjectRecord>& objects) {
    const std::vector<bool> rooted = endsAtRoot(objects);
    std::size_t firstRooted = objects.size();
    for (std::size_t i = 0; i < objects.size() && firstRooted == objects.size(); ++i)
        if (rooted[i]) firstRooted = i;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const int32_t parent = objects[i].parentIndex;
        if (parent < 0 || static_cast<std::size_t>(parent) <= i) continue;
        if (rooted[i] || i > firstRooted)
            report.add("scene ", s, " object ", i, ": parent ", parent, " comes after it");
    }
}

void checkScenes(ViolationReport& report, const SceneDocument& doc, const DocumentInvariantOptions& options) {
    for (std::size_t s = 0; s < doc.scenes.size(); ++s) {
        const std::vector<SceneObjectRecord>& objects = doc.scenes[s].objects;
        for (std::size_t i = 0; i < objects.size(); ++i) {
            const SceneObjectRecord& object = objects[i];
            if (!noneOrIndexOf(object.parentIndex, objects) || !noneOrIndexOf(object.skeletonIndex, doc.skeletons) ||
                !noneOrIndexOf(object.rootNodeIndex, doc.boneNodes) ||
                !noneOrIndexOf(object.boneNodeIndex, doc.boneNodes))
                report.add("scene ", s, " object ", i, ": parent ", object.parentIndex, ", skeleton ",
                           object.skeletonIndex, ", root node ", object.rootNodeIndex, ", bone node ",
                           object.boneNodeIndex);
            const int64_t targets = targetCount(doc, object.type.c_str());
            if (object.targetIndex != -1 && !(object.targetIndex >= 0 && object.targetIndex < targets))
                report.add("scene ", s, " object ", i, " (", object.type.c_str(), "): target ", object.targetIndex,
                           " of ", targets);
        }
        if (objects.empty()) continue;
        if (checkFileIndices(report, s, objects, options.allowUnorderedScenes)) checkParentsFirst(report, s, objects);
    }
}

} // namespace

std::vector<std::string> checkDocumentInvariants(const SceneDocument& doc, DocumentInvariantOptions options) {
    std::vector<std::string> violations;
    ViolationReport report(violations);
    checkTexturesAndMaterials(report, doc);
    checkGeometries(report, doc);
    checkSkeletons(report, doc);
    checkScenes(report, doc, options);
    return violations;
}

} // namespace bxml::testing
