// The reference host's model written as glTF 2.0 (binary .glb, or .gltf with
// a .bin beside it), so that what an import builds can be opened in any viewer
// without the host application.
//
// What each part of the host model becomes is written down with the host
// contract (contract/host_api.h, "The host model as glTF"). In short: one mesh
// per host mesh, one primitive per material, vertices split where corners
// differ in uv; materials as metallic-roughness with the diffuse and normal
// maps; one node per host bone, one skin whose first joint is a neutral root;
// one animation per host animation with absolute local poses; lights through
// KHR_lights_punctual; cameras as perspective cameras. With the host's axis
// swap on, Z up is turned into glTF's Y up.
//
// The writer never fails on the model's content: values glTF cannot carry
// (non-finite numbers, keys out of order, weights beyond four, parents after
// their children) are mended or left out, and each kind of loss is reported
// once as a warning line.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "host/reference_host.h"

namespace tinygltf {
class Model;
}

namespace bxml::host {

struct GltfSettings {
    // Images that are not embedded are referenced relative to this folder
    // (the folder of the file being written).
    std::filesystem::path outputFolder;
    // Embed PNG and JPEG images that exist into the buffer; otherwise every
    // image is referenced.
    bool embedImages = true;
};

// Builds the glTF document of the scene's model into model (which is reset
// first). Warnings for a person are appended to warnings, one line each.
void buildGltf(const ReferenceScene& scene, const GltfSettings& settings, tinygltf::Model& model,
               std::vector<std::string>& warnings);

// The model as the bytes of a .glb file.
std::string glbBytes(const tinygltf::Model& model);

// Writes model to file: binary when its extension is .glb (any letter case),
// otherwise JSON with the buffer in a .bin of the same stem beside it.
// Returns false with error set when a file cannot be written.
bool writeGltfFile(const tinygltf::Model& model, const std::filesystem::path& file, std::string& error);

// buildGltf and writeGltfFile in one step, images not embedded referenced
// relative to the file's folder.
bool writeSceneAsGltf(const ReferenceScene& scene, const std::filesystem::path& file,
                      std::vector<std::string>& warnings, std::string& error);

// Structural soundness of a model: every accessor inside its buffer view and
// every view inside its buffer, indices below the vertex count of their
// primitive, joints below the joint count of the skin, every index between
// objects in range. Returns the first problem found, empty when none.
std::string gltfStructureProblem(const tinygltf::Model& model);

} // namespace bxml::host
