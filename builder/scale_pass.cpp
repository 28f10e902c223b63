#include "builder/scale_pass.h"

#include <cstdint>

#include "builder/build_common.h"

namespace bxml {

Vector3 applyAxisOption(const ImportOptions& options, HostScene* scene) {
    if (options.swapModel != 1) return Vector3{0.0f, 0.0f, 1.0f};
    if (scene != nullptr) scene->SetAxisSwap(1);
    return Vector3{0.0f, 1.0f, 0.0f};
}

bool needsScalePass(float scale) { return !(scale == 1.0f); }

void scaleModel(HostScene* scene, float factor) {
    if (scene == nullptr) return;
    for (int32_t i = 0; i < scene->animationCount; ++i) {
        HostAnimation* animation = hostListEntry(scene->animations, scene->animationCount, i);
        if (animation == nullptr || animation->tracks == nullptr) continue;
        for (int32_t t = 0; t < animation->trackCount; ++t) {
            HostAnimationTrack& track = animation->tracks[t];
            if (track.positionKeys == nullptr) continue;
            for (int32_t k = 0; k < track.positionKeyCount; ++k) scaleInPlace(track.positionKeys[k].position, factor);
        }
    }
    for (int32_t i = 0; i < scene->boneCount; ++i) {
        HostBone* bone = hostListEntry(scene->bones, scene->boneCount, i);
        if (bone != nullptr) scaleInPlace(bone->transform.position, factor);
    }
    for (int32_t i = 0; i < scene->vertexCount; ++i) {
        HostVertex* vertex = hostListEntry(scene->vertices, scene->vertexCount, i);
        if (vertex != nullptr) scaleInPlace(vertex->position, factor);
    }
    for (int32_t i = 0; i < scene->lightCount; ++i) {
        HostLight* light = hostListEntry(scene->lights, scene->lightCount, i);
        if (light == nullptr) continue;
        scaleInPlace(light->transform.position, factor);
        light->distances[0] *= factor;
        light->distances[1] *= factor;
    }
    for (int32_t i = 0; i < scene->cameraCount; ++i) {
        HostCamera* camera = hostListEntry(scene->cameras, scene->cameraCount, i);
        if (camera != nullptr) scaleInPlace(camera->transform.position, factor);
    }
}

} // namespace bxml
