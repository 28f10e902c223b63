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

void fillCamera(const XMLElement* e, CameraRecord& camera) {
    copyAttribute(e, "name", camera.name);
    copyAttribute(e, "type", camera.type);
    if (const XMLElement* clip = e->FirstChildElement("clip")) {
        readFloatAttribute(clip, "near", camera.nearClip);
        readFloatAttribute(clip, "far", camera.farClip);
        if (camera.nearClip < 0.0f) camera.nearClip = 0.0f;
        if (camera.farClip < 0.0f) camera.farClip = 0.0f;
        if (camera.nearClip > camera.farClip) {
            camera.nearClip = camera.farClip - 1.0f;
            if (camera.nearClip < 0.0f) camera.nearClip = 0.0f;
        }
    }
    if (readFloatText(e, "fov", camera.fov)) camera.fov = clamped(camera.fov, 0.0f, 180.0f);
}

} // namespace

int readLights(const XMLElement* section, SceneDocument& doc) {
    return readSectionItems(section, "light", doc.lights, doc.lightsInFile, fillLight);
}

int readCameras(const XMLElement* section, SceneDocument& doc) {
    return readSectionItems(section, "camera", doc.cameras, doc.camerasInFile, fillCamera);
}

} // namespace bxml
