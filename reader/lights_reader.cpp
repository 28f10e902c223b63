// Readers of the lights and cameras sections.
#include <tinyxml2.h>

#include "reader/each_child.h"
#include "reader/section_readers.h"
#include "reader/xml_helpers.h"

namespace bxml {

using tinyxml2::XMLElement;

namespace {

void fillLight(const XMLElement* e, LightRecord& light) {
    copyAttribute(e, "name", light.name);
    copyAttribute(e, "type", light.type);
    readColorChild(e, "color", light.color);
    if (readFloatAttribute(e->FirstChildElement("spot"), "angle", light.spotAngle)) {
        light.spotInnerAngle = light.spotAngle - 10.0f;
        if (light.spotInnerAngle < 0.0f) light.spotInnerAngle = 0.0f;
    }
    readFloatText(e, "radius", light.radius);
    readFloatText(e, "intensity", light.intensity);
}

void fillCamera(const XMLElement* e, CameraRecord& camera, Diagnostics* diagnostics) {
    copyAttribute(e, "name", camera.name);
    copyAttribute(e, "type", camera.type);
    if (const XMLElement* clip = e->FirstChildElement("clip")) {
        auto report = [&](const char* what, const char* instead) {
            if (diagnostics != nullptr) diagnostics->warn(clip->GetLineNum(), FindingKind::OutOfRange, what, instead);
        };
        readFloatAttribute(clip, "near", camera.nearClip);
        readFloatAttribute(clip, "far", camera.farClip);
        if (camera.nearClip < 0.0f) {
            report("a negative near clip", "set to 0");
            camera.nearClip = 0.0f;
        }
        if (camera.farClip < 0.0f) {
            report("a negative far clip", "set to 0");
            camera.farClip = 0.0f;
        }
        if (camera.nearClip > camera.farClip) {
            report("the near clip lies beyond the far clip", "near is set to far - 1, or 0");
            camera.nearClip = camera.farClip - 1.0f;
            if (camera.nearClip < 0.0f) camera.nearClip = 0.0f;
        }
    }
    (void)readClampedFloatText(e, "fov", camera.fov, 0.0f, 180.0f, diagnostics);
}

} // namespace

int readLights(const XMLElement* section, SceneDocument& doc, Diagnostics*) {
    return readSectionItems(section, "light", doc.lights, doc.lightsInFile, fillLight);
}

int readCameras(const XMLElement* section, SceneDocument& doc, Diagnostics* diagnostics) {
    return readSectionItems(
        section, "camera", doc.cameras, doc.camerasInFile,
        [diagnostics](const XMLElement* e, CameraRecord& camera) { fillCamera(e, camera, diagnostics); });
}

} // namespace bxml
