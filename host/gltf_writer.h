// The reference host's model written as glTF 2.0 (binary .glb, or .gltf with
// a .bin beside it), so that what an import builds can be opened in any viewer
// without the host application. The file is drawn as Blender draws the scene
// it came from, and is self-contained: every image it uses is inside it.
//
// The host model as glTF:
// - Each host mesh is a glTF mesh and a root node, with one primitive per
//   material index (-1: none); polygons become triangles (0, 1, 2) and
//   (0, 2, 3). A host vertex is split where its corners differ in uv.
//   POSITION; TEXCOORD_0/1 from the two channels as they stand (v already runs
//   downwards); COLOR_0 from the vertex colour, a display colour, turned
//   linear; no NORMAL (the host model holds none).
// - Vertex weights: summed per bone, the four largest kept and renormalised;
//   a vertex without weights in a skinned mesh goes to a neutral root joint.
// - One node per HostBone with its parent-relative position, rotation and
//   scale, under the neutral root ("skeleton root") when a mesh is skinned;
//   joint i + 1 is bone i; a bone without a name is called "bone I" by its
//   index. Inverse bind matrices come from the composed bind pose: vertices
//   are already in world space.
// - Materials: the diffuse colour tints the diffuse map (the exporter writes
//   the colour Blender multiplies the image by, white for an image drawn as it
//   is): the base colour texture from the diffuse map and baseColorFactor from
//   the diffuse colour (linear), with or without a map. The normal map is left
//   out (without normals and tangents each viewer would make up its own tangent
//   space), and so are the alpha map and the specular colour; each left-out
//   map is a warning.
// - Images are embedded: PNG and JPEG as they are, any other format
//   stb_image reads (TGA, BMP, GIF, PSD, HDR, PIC, PNM) converted to PNG. An
//   image that is missing or does not decode is left out with its texture
//   and the slot that uses it, with a warning naming the file.
// - Animations: a bind-relative key k of a bone with bind pose P, R, S gives
//   the local pose P + R*k, R*k, S*k (per component) at time key time /
//   framesPerSecond.
// - Lights (KHR_lights_punctual): omni point, directional, spot with
//   half-angles in radians from the full-cone degrees; intensity is Blender's
//   energy: W/m² * 683 lux for directional, W / 4pi * 683 candela otherwise.
//   Lights and cameras look down their forward column (matrix column 2).
// - With the axis swap on the model is Z up and is turned into glTF's Y up:
//   (x, y, z) -> (x, z, -y).
//
// The writer never fails on the model's content: values glTF cannot carry
// (non-finite numbers, keys out of order, weights beyond four, parents after
// their children, images it cannot hold) are mended or left out, and each kind
// of loss is reported once as a warning line. No member is written as null:
// an object without members is {}.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "host/reference_host.h"

namespace tinygltf {
class Model;
}

namespace bxml::host {

// Mistakes the writer makes on purpose when a test asks for one, so that
// comparisons with another writer's glTF can be shown to catch them. The
// shipped tool never sets one.
enum class GltfFault {
    none,
    noAxisTurn,       // the host's axis swap is ignored
    noSrgbConversion, // colours are written as the file's display colours
    bindRelativeKeys, // animation keys are written without the bind pose
};

struct GltfSettings {
    GltfFault fault = GltfFault::none; // set by tests only
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

// buildGltf and writeGltfFile in one step.
bool writeSceneAsGltf(const ReferenceScene& scene, const std::filesystem::path& file,
                      std::vector<std::string>& warnings, std::string& error, GltfFault fault = GltfFault::none);

} // namespace bxml::host
