#include "builder/lights_builder.h"

#include <cstdint>

#include "builder/build_common.h"
#include "math/decompose.h"
#include "platform/text.h"

namespace bxml {

namespace {

void setLightType(HostLight& light, const char* type) {
    if (equalsIgnoreCase(type, "omni")) {
        light.type = LIGHT_OMNI;
    } else if (equalsIgnoreCase(type, "directional")) {
        light.type = LIGHT_DIRECTIONAL;
    } else if (equalsIgnoreCase(type, "spot")) {
        light.type = LIGHT_SPOT;
    }
}

// Turns t to look along the opposite of its Z axis from where it stands.
void aim(Transform& t, const Vector3& up) {
    axesFromMatrix(t);
    t.axisZ = negate(t.axisZ);
    const Vector3 eye = t.position;
    const Vector3 target = add(eye, scaled(1.0f, t.axisZ));
    t.matrix = lookAtMatrix(eye, target, up);
    t.position = eye;
    axesFromMatrix(t);
}

} // namespace

int buildLights(const SceneDocument& doc, HostScene& scene) {
    for (const LightRecord& record : doc.lights) {
        HostString name(record.name.c_str());
        HostLight* light = scene.AddLight(name);
        if (light == nullptr) return 0;
        setLightType(*light, record.type.c_str());
        light->color = toHostColor(record.color);
        light->intensity = record.intensity;
        light->innerAngle = record.spotInnerAngle;
        light->outerAngle = record.spotAngle;
        // Only matrix and position carry the placement; the axes follow from
        // the matrix when the lights are aimed.
        Transform t;
        resetTransform(t);
        t.matrix = matrixFromQuaternion(record.rotation);
        t.position = record.position;
        light->transform = t;
    }
    return 1;
}

bool aimLights(HostScene* scene, const Vector3& up) {
    if (scene == nullptr) return false;
    for (int32_t i = 0; i < scene->lightCount; ++i) {
        HostLight* light = hostListEntry(scene->lights, scene->lightCount, i);
        if (light == nullptr || light->type == LIGHT_OMNI) continue;
        aim(light->transform, up);
    }
    return true;
}

bool aimCameras(HostScene* scene, const Vector3& up) {
    if (scene == nullptr) return false;
    for (int32_t i = 0; i < scene->cameraCount; ++i) {
        HostCamera* camera = hostListEntry(scene->cameras, scene->cameraCount, i);
        if (camera != nullptr) aim(camera->transform, up);
    }
    return true;
}

} // namespace bxml
