// The glTF document the reference host writes: models built through the host
// operations, the document read back value by value.
#include <gtest/gtest.h>

#include <tiny_gltf.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <stb_image.h>

#include "host/gltf_writer.h"
#include "platform/text.h"
#include "tests/support/gltf_structure.h"

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

using bxml::HostColor;
using bxml::HostPolygon;
using bxml::HostString;
using bxml::Quaternion;
using bxml::Vector3;
using bxml::host::ReferenceScene;

namespace {

constexpr double PI = 3.14159265358979323846;

struct Built {
    tinygltf::Model model;
    std::vector<std::string> warnings;

    std::string allWarnings() const {
        std::string s;
        for (const auto& w : warnings) s += w + "\n";
        return s;
    }
};

Built build(const ReferenceScene& scene, const bxml::host::GltfSettings& settings = {}) {
    Built b;
    bxml::host::buildGltf(scene, settings, b.model, b.warnings);
    EXPECT_EQ(bxml::testing::gltfStructureProblem(b.model), "");
    EXPECT_EQ(bxml::testing::glbStructureProblem(bxml::host::glbBytes(b.model)), "");
    return b;
}

// Element values of an accessor as doubles, component by component.
std::vector<double> values(const tinygltf::Model& m, int accessor) {
    const tinygltf::Accessor& a = m.accessors.at(static_cast<std::size_t>(accessor));
    const tinygltf::BufferView& v = m.bufferViews.at(static_cast<std::size_t>(a.bufferView));
    const unsigned char* p = m.buffers.at(0).data.data() + v.byteOffset + a.byteOffset;
    const int n = tinygltf::GetNumComponentsInType(static_cast<uint32_t>(a.type)) * static_cast<int>(a.count);
    std::vector<double> out;
    for (int i = 0; i < n; ++i) {
        if (a.componentType == TINYGLTF_COMPONENT_TYPE_FLOAT) {
            float f;
            std::memcpy(&f, p + 4 * i, 4);
            out.push_back(f);
        } else if (a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE) {
            out.push_back(p[i]);
        } else if (a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT) {
            uint16_t u;
            std::memcpy(&u, p + 2 * i, 2);
            out.push_back(u);
        } else {
            uint32_t u;
            std::memcpy(&u, p + 4 * i, 4);
            out.push_back(u);
        }
    }
    return out;
}

std::vector<double> attribute(const tinygltf::Model& m, const tinygltf::Primitive& p, const char* name) {
    auto it = p.attributes.find(name);
    return it == p.attributes.end() ? std::vector<double>{} : values(m, it->second);
}

// Host vertices at the given positions, one mesh, and its polygon block.
bxml::HostPolygonBlock* meshWithVertices(ReferenceScene& scene, const std::vector<Vector3>& positions, int polygons) {
    scene.SetVertexCount(static_cast<int32_t>(positions.size()));
    for (std::size_t i = 0; i < positions.size(); ++i) scene.vertices[i]->position = positions[i];
    scene.AddMesh(HostString("Mesh"), -1);
    bxml::HostPolygonBlock* block = scene.GetPolygonBlock();
    block->SetPolygonCount(polygons);
    return block;
}

void setPolygon(bxml::HostPolygonBlock* block, int j, std::vector<int32_t> corners, int32_t material,
                std::vector<bxml::Vector2> uv0 = {}) {
    block->SetPolygonCornerCount(j, static_cast<int32_t>(corners.size()));
    HostPolygon& p = block->polygons[j];
    p.meshIndex = 0;
    p.materialIndex = material;
    for (std::size_t c = 0; c < corners.size(); ++c) {
        p.vertexIndices[c] = corners[c];
        if (c < uv0.size()) p.channels[0][c] = uv0[c];
    }
}

// A rotation by angle radians about z.
Quaternion aboutZ(double angle) {
    return {0, 0, static_cast<float>(std::sin(angle / 2)), static_cast<float>(std::cos(angle / 2))};
}

// A bone with its bind pose (parent index -1).
bxml::HostBone* addBone(ReferenceScene& scene, const char* name, Vector3 position, Quaternion rotation = {},
                        Vector3 scale = {1, 1, 1}) {
    bxml::HostBone* bone = scene.AddBone(HostString(name), -1);
    bone->transform.position = position;
    bone->transform.rotation = rotation;
    bone->transform.scale = scale;
    return bone;
}

} // namespace

TEST(GltfMeshes, OnePrimitivePerMaterialAndVerticesSplitWhereUvsDiffer) {
    ReferenceScene scene;
    scene.AddMaterial(HostString("Wood"));
    // Two quads sharing the edge 1-2: the first with uvs, the second with
    // the same uv on vertex 1 and another on vertex 2; a triangle without
    // material.
    auto* block = meshWithVertices(scene, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}}, 3);
    setPolygon(block, 0, {0, 1, 2, 3}, 0, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    setPolygon(block, 1, {1, 4, 5, 2}, 0, {{1, 0}, {2, 0}, {2, 1}, {0.5f, 1}});
    setPolygon(block, 2, {0, 1, 3}, -1);
    Built b = build(scene);
    ASSERT_EQ(b.model.meshes.size(), 1u);
    const auto& primitives = b.model.meshes[0].primitives;
    ASSERT_EQ(primitives.size(), 2u);
    EXPECT_EQ(primitives[0].material, -1);
    EXPECT_EQ(primitives[1].material, 0);
    EXPECT_EQ(values(b.model, primitives[0].indices).size(), 3u);
    // Six host vertices, vertex 2 twice: seven glTF vertices, four triangles.
    EXPECT_EQ(attribute(b.model, primitives[1], "POSITION").size(), 7u * 3);
    EXPECT_EQ(values(b.model, primitives[1].indices), (std::vector<double>{0, 1, 2, 0, 2, 3, 1, 4, 5, 1, 5, 6}));
    EXPECT_EQ(attribute(b.model, primitives[1], "TEXCOORD_0"),
              (std::vector<double>{0, 0, 1, 0, 1, 1, 0, 1, 2, 0, 2, 1, 0.5, 1}));
    EXPECT_TRUE(attribute(b.model, primitives[1], "TEXCOORD_1").empty()) << "channel 1 holds only zeros";
    EXPECT_TRUE(attribute(b.model, primitives[1], "NORMAL").empty());
    EXPECT_EQ(b.model.accessors[static_cast<std::size_t>(primitives[1].attributes.at("POSITION"))].maxValues,
              (std::vector<double>{2, 1, 0}));
}

TEST(GltfMeshes, BadPolygonsAndMaterialsAreLeftOutWithAWarning) {
    ReferenceScene scene;
    auto* block = meshWithVertices(scene, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, 3);
    setPolygon(block, 0, {0, 1, 2}, 5);  // no such material: written without one
    setPolygon(block, 1, {0, 1, 7}, -1); // vertex out of range
    block->polygons[2].meshIndex = 0;    // corner count 0
    Built b = build(scene);
    ASSERT_EQ(b.model.meshes.at(0).primitives.size(), 1u);
    EXPECT_EQ(b.model.meshes[0].primitives[0].material, -1);
    EXPECT_NE(b.allWarnings().find("2 polygons with a corner count"), std::string::npos) << b.allWarnings();
    EXPECT_NE(b.allWarnings().find("1 polygons named a material"), std::string::npos) << b.allWarnings();
}

TEST(GltfColours, DisplayColoursBecomeLinear) {
    ReferenceScene scene;
    bxml::HostMaterial* material = scene.AddMaterial(HostString("Paint"));
    material->diffuse = {0.5f, 1.0f, 0.04f, 1.0f};
    auto* block = meshWithVertices(scene, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, 1);
    setPolygon(block, 0, {0, 1, 2}, 0);
    scene.vertices[1]->color = {0.5f, 0.0f, 2.0f, 0.25f};
    Built b = build(scene);
    const auto& factor = b.model.materials.at(0).pbrMetallicRoughness.baseColorFactor;
    EXPECT_NEAR(factor[0], 0.2140411, 1e-6);
    EXPECT_EQ(factor[1], 1.0);
    EXPECT_NEAR(factor[2], 0.04 / 12.92, 1e-7);
    EXPECT_EQ(b.model.materials[0].pbrMetallicRoughness.metallicFactor, 0.0);
    const std::vector<double> colours = attribute(b.model, b.model.meshes[0].primitives[0], "COLOR_0");
    ASSERT_EQ(colours.size(), 12u);
    EXPECT_NEAR(colours[4], 0.2140411, 1e-6);
    EXPECT_EQ(colours[6], 1.0) << "clamped";
    EXPECT_EQ(colours[7], 0.25) << "alpha is not a colour";
}

TEST(GltfSkins, FourLargestInfluencesRenormalisedAndUnweightedVerticesOnTheNeutralRoot) {
    ReferenceScene scene;
    for (int i = 0; i < 5; ++i) scene.AddBone(HostString(("b" + std::to_string(i)).c_str()), -1);
    auto* block = meshWithVertices(scene, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, 1);
    setPolygon(block, 0, {0, 1, 2}, -1);
    const float five[5] = {0.1f, 0.3f, 0.15f, 0.25f, 0.2f};
    bxml::HostVertexWeight* w = scene.AddVertexWeights(0, 5);
    for (int k = 0; k < 5; ++k) w[k] = {k, five[k]};
    // Two entries for bone 3 count as one influence.
    w = scene.AddVertexWeights(1, 3);
    w[0] = {3, 0.5f};
    w[1] = {3, 0.25f};
    w[2] = {9, 0.25f}; // no such bone
    Built b = build(scene);
    ASSERT_EQ(b.model.skins.size(), 1u);
    const tinygltf::Skin& skin = b.model.skins[0];
    ASSERT_EQ(skin.joints.size(), 6u);
    EXPECT_EQ(b.model.nodes[static_cast<std::size_t>(skin.joints[0])].name, "skeleton root");
    EXPECT_EQ(b.model.nodes[static_cast<std::size_t>(skin.joints[2])].name, "b1");
    const auto& p = b.model.meshes.at(0).primitives.at(0);
    const std::vector<double> joints = attribute(b.model, p, "JOINTS_0");
    const std::vector<double> weights = attribute(b.model, p, "WEIGHTS_0");
    EXPECT_EQ(joints, (std::vector<double>{2, 4, 5, 3, 4, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_NEAR(weights[1], 0.25 / 0.9, 1e-6);
    EXPECT_NEAR(weights[3], 0.15 / 0.9, 1e-6);
    EXPECT_EQ(static_cast<float>(weights[0]) + static_cast<float>(weights[1]) + static_cast<float>(weights[2]) +
                  static_cast<float>(weights[3]),
              1.0f);
    EXPECT_EQ(std::vector<double>(weights.begin() + 4, weights.end()), (std::vector<double>{1, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_NE(b.allWarnings().find("1 vertices had more than four bone influences"), std::string::npos)
        << b.allWarnings();
}

TEST(GltfSkins, BoneNodesKeepParentRelativePosesAndInverseBindMatricesUndoTheChain) {
    ReferenceScene scene;
    addBone(scene, "root", {1, 2, 3}, aboutZ(PI / 2), {2, 2, 2});
    addBone(scene, "child", {1, 0, 0})->parentIndex = 0;
    bxml::HostBone* orphan = scene.AddBone(HostString("orphan"), -1);
    orphan->parentIndex = 2; // itself: made a root
    auto* block = meshWithVertices(scene, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, 1);
    setPolygon(block, 0, {0, 1, 2}, -1);
    scene.AddVertexWeights(0, 1)[0] = {1, 1.0f};
    Built b = build(scene);
    const tinygltf::Skin& skin = b.model.skins.at(0);
    const tinygltf::Node& rootNode = b.model.nodes[static_cast<std::size_t>(skin.joints[1])];
    EXPECT_EQ(rootNode.translation, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(rootNode.scale, (std::vector<double>{2, 2, 2}));
    ASSERT_EQ(rootNode.children, (std::vector<int>{skin.joints[2]}));
    EXPECT_EQ(b.model.nodes[static_cast<std::size_t>(skin.joints[0])].children,
              (std::vector<int>{skin.joints[1], skin.joints[3]}));
    // The child's bind: world position root + R*S*(1,0,0) = (1, 4, 3); the
    // inverse bind matrix takes it back to the origin.
    const std::vector<double> ibm = values(b.model, skin.inverseBindMatrices);
    const double* m = &ibm[16 * 2];
    const double p[3] = {1, 4, 3};
    for (int r = 0; r < 3; ++r)
        EXPECT_NEAR(m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r], 0.0, 1e-5) << "row " << r;
    EXPECT_NEAR(m[1], -0.5, 1e-6) << "inverse of a quarter turn scaled by 2";
    EXPECT_NE(b.allWarnings().find("1 bones named a parent"), std::string::npos) << b.allWarnings();
}

TEST(GltfAnimations, KeysRecomposedFromTheBindPoseAtSecondTimes) {
    ReferenceScene scene;
    addBone(scene, "arm", {1, 0, 0}, aboutZ(PI / 2), {2, 2, 2});
    bxml::HostAnimation* a = scene.AddAnimation(HostString("Wave"));
    a->framesPerSecond = 30;
    a->SetTrackCount(1);
    bxml::HostAnimationTrack* t = a->AddPositionKeys(0, 3, 0);
    t->positionKeys[0] = {15, {1, 0, 0}};
    t->positionKeys[1] = {0, {0, 0, 0}};
    t->positionKeys[2] = {15, {5, 5, 5}}; // a repeated time
    t = a->AddRotationKeys(0, 1);
    t->rotationKeys[0] = {30, aboutZ(PI / 2)};
    t = a->AddScaleKeys(0, 2); // the file's "no value" marks: both at time 0
    t->scaleKeys[0] = {0, {1, 1, 1}};
    t->scaleKeys[1] = {0, {3, 3, 3}};
    Built b = build(scene);
    ASSERT_EQ(b.model.animations.size(), 1u);
    const tinygltf::Animation& anim = b.model.animations[0];
    ASSERT_EQ(anim.channels.size(), 2u) << "no scale channel";
    EXPECT_EQ(anim.channels[0].target_path, "translation");
    const auto& translation = anim.samplers[static_cast<std::size_t>(anim.channels[0].sampler)];
    EXPECT_EQ(values(b.model, translation.input), (std::vector<double>{0, 0.5}));
    const std::vector<double> positions = values(b.model, translation.output);
    ASSERT_EQ(positions.size(), 6u);
    EXPECT_NEAR(positions[0], 1, 1e-6); // P + R*(0,0,0)
    EXPECT_NEAR(positions[3], 1, 1e-6); // P + R*(1,0,0) = (1, 1, 0)
    EXPECT_NEAR(positions[4], 1, 1e-6);
    const auto& rotation = anim.samplers[static_cast<std::size_t>(anim.channels[1].sampler)];
    EXPECT_EQ(values(b.model, rotation.input), (std::vector<double>{1}));
    const std::vector<double> q = values(b.model, rotation.output);
    EXPECT_NEAR(q[2], 1.0, 1e-6) << "a half turn about z: R*k";
    EXPECT_NE(b.allWarnings().find("1 animation keys"), std::string::npos) << b.allWarnings();
}

TEST(GltfAxes, SwapOnTurnsZUpIntoYUp) {
    ReferenceScene scene;
    scene.SetAxisSwap(1);
    auto* block = meshWithVertices(scene, {{1, 2, 3}, {1, 0, 0}, {0, 1, 0}}, 1);
    setPolygon(block, 0, {0, 1, 2}, -1);
    addBone(scene, "b", {0, 0, 5}, aboutZ(PI / 2), {1, 2, 3});
    Built b = build(scene);
    const std::vector<double> p = attribute(b.model, b.model.meshes.at(0).primitives.at(0), "POSITION");
    EXPECT_EQ(std::vector<double>(p.begin(), p.begin() + 3), (std::vector<double>{1, 3, -2}));
    const tinygltf::Node& node = b.model.nodes.at(1);
    EXPECT_EQ(node.translation, (std::vector<double>{0, 5, 0}));
    EXPECT_EQ(node.scale, (std::vector<double>{1, 3, 2}));
    ASSERT_EQ(node.rotation.size(), 4u);
    EXPECT_NEAR(node.rotation[1], std::sin(PI / 4), 1e-6) << "about z becomes about y";

    ReferenceScene unswapped;
    auto* block2 = meshWithVertices(unswapped, {{1, 2, 3}, {1, 0, 0}, {0, 1, 0}}, 1);
    setPolygon(block2, 0, {0, 1, 2}, -1);
    Built c = build(unswapped);
    const std::vector<double> q = attribute(c.model, c.model.meshes.at(0).primitives.at(0), "POSITION");
    EXPECT_EQ(std::vector<double>(q.begin(), q.begin() + 3), (std::vector<double>{1, 2, 3}));
}

TEST(GltfLights, WattsBecomeCandelaAndLuxAndConesHalfAnglesInRadians) {
    ReferenceScene scene;
    bxml::HostLight* point = scene.AddLight(HostString("Lamp"));
    point->type = 0;
    point->intensity = 100;
    point->color = {0.5f, 1, 1, 1};
    bxml::HostLight* sun = scene.AddLight(HostString("Sun"));
    sun->type = 1;
    sun->intensity = 2;
    bxml::HostLight* spot = scene.AddLight(HostString("Spot"));
    spot->type = 2;
    spot->intensity = 10;
    spot->innerAngle = 30;
    spot->outerAngle = 40;
    // Aimed along +x (the columns right, up, forward).
    const float aim[16] = {0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1};
    std::memcpy(spot->transform.matrix.m, aim, sizeof aim);
    spot->transform.position = {4, 5, 6};
    Built b = build(scene);
    ASSERT_EQ(b.model.lights.size(), 3u);
    EXPECT_EQ(b.model.lights[0].type, "point");
    EXPECT_NEAR(b.model.lights[0].intensity, 100 / (4 * PI) * 683, 1e-3);
    EXPECT_NEAR(b.model.lights[0].color[0], 0.2140411, 1e-6);
    EXPECT_EQ(b.model.lights[1].type, "directional");
    EXPECT_NEAR(b.model.lights[1].intensity, 1366, 1e-3);
    EXPECT_EQ(b.model.lights[2].type, "spot");
    EXPECT_NEAR(b.model.lights[2].spot.outerConeAngle, 20 * PI / 180, 1e-6);
    EXPECT_NEAR(b.model.lights[2].spot.innerConeAngle, 15 * PI / 180, 1e-6);
    // The spot's node looks down its -z: that must be +x.
    const tinygltf::Node& node = b.model.nodes.at(2);
    EXPECT_EQ(node.translation, (std::vector<double>{4, 5, 6}));
    ASSERT_EQ(node.rotation.size(), 4u);
    const double x = node.rotation[0], y = node.rotation[1], z = node.rotation[2], w = node.rotation[3];
    // Third column of the rotation matrix, negated.
    const double forward[3] = {-2 * (x * z + w * y), -2 * (y * z - w * x), -(1 - 2 * (x * x + y * y))};
    EXPECT_NEAR(forward[0], 1, 1e-6);
    EXPECT_NEAR(forward[1], 0, 1e-6);
    EXPECT_NEAR(forward[2], 0, 1e-6);
    EXPECT_EQ(node.extensions.at("KHR_lights_punctual").Get("light").GetNumberAsInt(), 2);
}

TEST(GltfLights, AZUpModelsLightLooksAlongItsTurnedForwardColumn) {
    ReferenceScene scene;
    scene.SetAxisSwap(1);
    bxml::HostLight* spot = scene.AddLight(HostString("Spot"));
    spot->type = 2;
    // Z up: looks along +x with +z up (the columns right, up, forward).
    const float aim[16] = {0, 0, 1, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1};
    std::memcpy(spot->transform.matrix.m, aim, sizeof aim);
    Built b = build(scene);
    const tinygltf::Node& node = b.model.nodes.at(0);
    ASSERT_EQ(node.rotation.size(), 4u);
    const double x = node.rotation[0], y = node.rotation[1], z = node.rotation[2], w = node.rotation[3];
    // In Y up the light must still look along +x, with its +y column up.
    const double forward[3] = {-2 * (x * z + w * y), -2 * (y * z - w * x), -(1 - 2 * (x * x + y * y))};
    const double up[3] = {2 * (x * y - w * z), 1 - 2 * (x * x + z * z), 2 * (y * z + w * x)};
    EXPECT_NEAR(forward[0], 1, 1e-6);
    EXPECT_NEAR(forward[1], 0, 1e-6);
    EXPECT_NEAR(up[1], 1, 1e-6);
}

// A material of the scene with texture maps of the given (kind, file) pairs.
static bxml::host::RefMaterial* materialWithMaps(ReferenceScene& scene, HostColor diffuse,
                                                 const std::vector<std::pair<int, std::filesystem::path>>& maps) {
    auto* material = static_cast<bxml::host::RefMaterial*>(scene.AddMaterial(HostString("M")));
    material->diffuse = diffuse;
    for (const auto& [kind, file] : maps) {
        bxml::HostTextureMap* map = material->AddTextureMap(kind, 1);
        map->fileName.assign(bxml::utf8ToWide(file.string().c_str()).c_str());
        map->flags = bxml::TEXTURE_MAP_FILE_NAME_SET;
    }
    return material;
}

static std::filesystem::path scratchFolder(const char* name) {
    const auto folder = std::filesystem::path(::testing::TempDir()) / (name + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    return folder;
}

TEST(GltfImages, ATgaIsEmbeddedAsPngOfItsPixels) {
    const auto folder = scratchFolder("gltf_tga_");
    // An uncompressed 24-bit TGA of 3 x 2 pixels, rows from the top, BGR.
    const unsigned char pixels[2][3][3] = {{{0, 0, 255}, {0, 255, 0}, {255, 0, 0}},
                                           {{0, 0, 0}, {255, 255, 255}, {128, 128, 128}}};
    const unsigned char header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0x20};
    {
        std::ofstream tga(folder / "red.tga", std::ios::binary);
        tga.write(reinterpret_cast<const char*>(header), sizeof header);
        tga.write(reinterpret_cast<const char*>(pixels), sizeof pixels);
    }
    ReferenceScene scene;
    materialWithMaps(scene, {}, {{bxml::TEXTURE_KIND_DIFFUSE_COLOR, folder / "red.tga"}});
    Built b = build(scene);
    ASSERT_EQ(b.model.images.size(), 1u);
    EXPECT_EQ(b.model.images[0].mimeType, "image/png");
    const auto& view = b.model.bufferViews.at(static_cast<std::size_t>(b.model.images[0].bufferView));
    int width = 0, height = 0, channels = 0;
    unsigned char* png = stbi_load_from_memory(b.model.buffers[0].data.data() + view.byteOffset,
                                               static_cast<int>(view.byteLength), &width, &height, &channels, 3);
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 2);
    for (int p = 0; p < 6; ++p)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(png[3 * p + c], pixels[p / 3][p % 3][2 - c]) << p << " " << c;
    stbi_image_free(png);
    EXPECT_EQ(b.model.materials.at(0).pbrMetallicRoughness.baseColorTexture.index, 0);
    std::filesystem::remove_all(folder);
}

TEST(GltfImages, MissingAndUndecodableImagesAreLeftOutWithTheirSlotAndAWarning) {
    const auto folder = scratchFolder("gltf_missing_");
    const unsigned char signatureOnly[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 0};
    std::ofstream(folder / "broken.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(signatureOnly), sizeof signatureOnly);
    for (const char* file : {"absent.png", "broken.png"}) {
        ReferenceScene scene;
        materialWithMaps(scene, {}, {{bxml::TEXTURE_KIND_DIFFUSE_COLOR, folder / file}});
        Built b = build(scene);
        EXPECT_TRUE(b.model.images.empty()) << file;
        EXPECT_TRUE(b.model.textures.empty()) << file;
        EXPECT_EQ(b.model.materials.at(0).pbrMetallicRoughness.baseColorTexture.index, -1) << file;
        ASSERT_EQ(b.warnings.size(), 1u) << b.allWarnings();
        EXPECT_NE(b.warnings[0].find(file), std::string::npos) << b.warnings[0];
    }
    std::filesystem::remove_all(folder);
}

TEST(GltfMaterials, TheDiffuseColourTintsTheDiffuseMap) {
    // The exporter writes the colour Blender multiplies the image by: a grey
    // tints the map as it colours a material without one.
    const HostColor grey{0.8f, 0.8f, 0.8f, 1.0f};
    ReferenceScene scene;
    materialWithMaps(scene, grey, {{bxml::TEXTURE_KIND_DIFFUSE_COLOR, BXML_TEST_DATA_DIR "/wood.png"}});
    materialWithMaps(scene, grey, {});
    Built b = build(scene);
    ASSERT_EQ(b.model.materials.size(), 2u);
    EXPECT_EQ(b.model.materials[0].pbrMetallicRoughness.baseColorTexture.index, 0);
    EXPECT_EQ(b.model.materials[1].pbrMetallicRoughness.baseColorTexture.index, -1);
    // 0.8 in sRGB is 0.6038 linear (IEC 61966-2-1).
    for (const tinygltf::Material& m : b.model.materials) {
        const std::vector<double>& factor = m.pbrMetallicRoughness.baseColorFactor;
        ASSERT_EQ(factor.size(), 4u);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(factor[static_cast<std::size_t>(c)], 0.6038, 1e-4);
        EXPECT_EQ(factor[3], 1.0);
    }
}

TEST(GltfMaterials, NormalAndAlphaMapsAreLeftOutWithAWarning) {
    ReferenceScene scene;
    materialWithMaps(scene, {},
                     {{bxml::TEXTURE_KIND_NORMAL, BXML_TEST_DATA_DIR "/wood.png"},
                      {bxml::TEXTURE_KIND_ALPHA, BXML_TEST_DATA_DIR "/wood.png"}});
    Built b = build(scene);
    EXPECT_EQ(b.model.materials.at(0).normalTexture.index, -1);
    EXPECT_TRUE(b.model.images.empty());
    const std::string w = b.allWarnings();
    EXPECT_NE(w.find("the normal map"), std::string::npos) << w;
    EXPECT_NE(w.find("the alpha map"), std::string::npos) << w;
}

TEST(GltfStructure, TheCheckFindsIndicesAndJointsOutOfRange) {
    ReferenceScene scene;
    scene.AddBone(HostString("b"), -1);
    auto* block = meshWithVertices(scene, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, 1);
    setPolygon(block, 0, {0, 1, 2}, -1);
    scene.AddVertexWeights(0, 1)[0] = {0, 1.0f};
    Built b = build(scene);
    const tinygltf::Primitive& p = b.model.meshes.at(0).primitives.at(0);
    tinygltf::Model broken = b.model;
    const auto& indexView =
        broken.bufferViews[static_cast<std::size_t>(broken.accessors[static_cast<std::size_t>(p.indices)].bufferView)];
    broken.buffers[0].data[indexView.byteOffset] = 3;
    EXPECT_EQ(bxml::testing::gltfStructureProblem(broken), "index beyond the vertex count");
    broken = b.model;
    const auto& jointView = broken.bufferViews[static_cast<std::size_t>(
        broken.accessors[static_cast<std::size_t>(p.attributes.at("JOINTS_0"))].bufferView)];
    broken.buffers[0].data[jointView.byteOffset + 1] = 2;
    EXPECT_EQ(bxml::testing::gltfStructureProblem(broken), "joint beyond the skin's joints");
    broken = b.model;
    broken.accessors[0].count += 1;
    EXPECT_EQ(bxml::testing::gltfStructureProblem(broken), "accessor outside its buffer view");
}

TEST(GltfStructure, AnUnnamedIdentityBoneAndAnEmptyMeshAreWrittenAsObjects) {
    ReferenceScene scene;
    scene.AddMesh(HostString(""), -1); // no polygons: a node with nothing to say
    scene.AddBone(HostString(""), -1); // no name, identity pose
    Built b = build(scene);            // checks the written bytes
    ASSERT_EQ(b.model.nodes.size(), 2u);
    EXPECT_FALSE(b.model.nodes[1].name.empty());
}

TEST(GltfStructure, TheByteCheckFindsANullNode) {
    std::string json = R"({"asset":{"version":"2.0"},"nodes":[{},null]})";
    json.append((4 - json.size() % 4) % 4, ' ');
    std::string glb = "glTF";
    for (uint32_t word : {2u, static_cast<uint32_t>(20 + json.size()), static_cast<uint32_t>(json.size()), 0x4E4F534Au})
        for (int shift = 0; shift < 32; shift += 8) glb += static_cast<char>((word >> shift) & 0xFF);
    EXPECT_EQ(bxml::testing::glbStructureProblem(glb + json), "nodes[1] is not an object");
}
