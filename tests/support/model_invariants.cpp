#include "tests/support/model_invariants.h"

#include <cmath>
#include <cstddef>

#include "tests/support/violation_report.h"

namespace bxml::testing {

namespace {

using Report = ViolationReport;

bool inside(int32_t index, int32_t count) { return index >= 0 && index < count; }

template <class Pointer, class Store>
void checkList(Report& report, const char* what, int32_t count, Pointer* const* array, const Store& store) {
    if (count < 0 || static_cast<std::size_t>(count) != store.size())
        report.add(what, ": count ", count, " but ", store.size(), " objects");
    if (count > 0 && array == nullptr) report.add(what, ": count ", count, " with a null array");
    if (count <= 0 || array == nullptr) return;
    for (std::size_t i = 0; i < store.size() && i < static_cast<std::size_t>(count); ++i)
        if (array[i] == nullptr) report.add(what, " ", i, ": null entry");
}

bool complete(const HostPolygon& polygon, const host::ReferenceScene& scene) {
    if (polygon.cornerCount != 3 && polygon.cornerCount != 4) return false;
    if (!inside(polygon.meshIndex, scene.meshCount)) return false;
    if (polygon.materialIndex != -1 && !inside(polygon.materialIndex, scene.materialCount)) return false;
    for (int c = 0; c < polygon.cornerCount; ++c)
        if (!inside(polygon.vertexIndices[c], scene.vertexCount)) return false;
    return true;
}

void reportPolygon(Report& report, std::size_t m, std::size_t p, const HostPolygon& polygon,
                   const host::ReferenceScene& scene) {
    if (polygon.cornerCount != 3 && polygon.cornerCount != 4) {
        report.add("mesh ", m, " polygon ", p, ": ", polygon.cornerCount, " corners");
        return;
    }
    if (!inside(polygon.meshIndex, scene.meshCount))
        report.add("mesh ", m, " polygon ", p, ": mesh index ", polygon.meshIndex, " of ", scene.meshCount);
    if (polygon.materialIndex != -1 && !inside(polygon.materialIndex, scene.materialCount))
        report.add("mesh ", m, " polygon ", p, ": material index ", polygon.materialIndex, " of ", scene.materialCount);
    for (int c = 0; c < polygon.cornerCount; ++c)
        if (!inside(polygon.vertexIndices[c], scene.vertexCount))
            report.add("mesh ", m, " polygon ", p, " corner ", c, ": vertex index ", polygon.vertexIndices[c], " of ",
                       scene.vertexCount);
}

void checkPolygons(Report& report, const host::ReferenceScene& scene) {
    // m counts the host's polygon blocks (one per GetPolygonBlock call).
    for (std::size_t m = 0; m < scene.polygonBlocks.size(); ++m) {
        const host::RefPolygonBlock* block = scene.polygonBlocks[m].get();
        if (static_cast<std::size_t>(block->polygonCount) != block->storage.size() ||
            (block->polygonCount > 0 && block->polygons != block->storage.data()))
            report.add("mesh ", m, ": polygon count ", block->polygonCount, " does not match its array");
        const std::vector<HostPolygon>& polygons = block->storage;
        for (std::size_t p = 0; p < polygons.size(); ++p)
            if (!complete(polygons[p], scene)) reportPolygon(report, m, p, polygons[p], scene);
    }
}

void checkWeights(Report& report, const host::ReferenceScene& scene, const InvariantOptions& options) {
    for (std::size_t v = 0; v < scene.vertexStore.size(); ++v) {
        const auto& weights = scene.vertexStore[v].weights;
        for (std::size_t w = 0; w < weights.size(); ++w) {
            if (weights[w].boneIndex != -1 && !inside(weights[w].boneIndex, scene.boneCount))
                report.add("vertex ", v, " weight ", w, ": bone index ", weights[w].boneIndex, " of ", scene.boneCount);
            if (options.requireFiniteWeights && !std::isfinite(weights[w].weight))
                report.add("vertex ", v, " weight ", w, ": not finite");
        }
    }
}

void checkBones(Report& report, const host::ReferenceScene& scene) {
    for (std::size_t b = 0; b < scene.boneStore.size(); ++b) {
        const int32_t parent = scene.boneStore[b]->parentIndex;
        if (parent != -1 && !(parent >= 0 && static_cast<std::size_t>(parent) < b))
            report.add("bone ", b, ": parent ", parent, " is not a bone before it");
    }
}

template <class Key>
void checkKeys(Report& report, std::size_t a, std::size_t t, const char* kind, int32_t count, const Key* keys,
               const std::vector<Key>& storage) {
    if (count == 0 && keys == nullptr) return;
    if (count < 0 || static_cast<std::size_t>(count) != storage.size() || keys != storage.data())
        report.add("animation ", a, " track ", t, ": ", count, " ", kind, " keys but an array of ", storage.size());
}

void checkAnimations(Report& report, const host::ReferenceScene& scene) {
    for (std::size_t a = 0; a < scene.animationStore.size(); ++a) {
        const host::RefAnimation& animation = *scene.animationStore[a];
        if (animation.trackCount != scene.boneCount)
            report.add("animation ", a, ": ", animation.trackCount, " tracks for ", scene.boneCount, " bones");
        if (static_cast<std::size_t>(animation.trackCount) != animation.trackRecords.size() ||
            animation.trackStorage.size() != animation.trackRecords.size()) {
            report.add("animation ", a, ": track count ", animation.trackCount, " does not match its array");
            continue;
        }
        for (std::size_t t = 0; t < animation.trackRecords.size(); ++t) {
            const HostAnimationTrack& track = animation.trackRecords[t];
            const host::RefTrackStorage& storage = animation.trackStorage[t];
            checkKeys(report, a, t, "position", track.positionKeyCount, track.positionKeys, storage.positionKeys);
            checkKeys(report, a, t, "rotation", track.rotationKeyCount, track.rotationKeys, storage.rotationKeys);
            checkKeys(report, a, t, "scale", track.scaleKeyCount, track.scaleKeys, storage.scaleKeys);
        }
    }
}

} // namespace

std::vector<std::string> checkModelInvariants(const host::ReferenceScene& scene, InvariantOptions options) {
    std::vector<std::string> violations;
    Report report(violations);
    checkList(report, "vertices", scene.vertexCount, scene.vertices, scene.vertexStore);
    checkList(report, "lights", scene.lightCount, scene.lights, scene.lightStore);
    checkList(report, "cameras", scene.cameraCount, scene.cameras, scene.cameraStore);
    checkList(report, "bones", scene.boneCount, scene.bones, scene.boneStore);
    checkList(report, "animations", scene.animationCount, scene.animations, scene.animationStore);
    checkList(report, "meshes", scene.meshCount, scene.meshes, scene.meshStore);
    checkList(report, "materials", scene.materialCount, scene.materials, scene.materialStore);
    checkPolygons(report, scene);
    checkWeights(report, scene, options);
    checkBones(report, scene);
    checkAnimations(report, scene);
    return violations;
}

} // namespace bxml::testing
