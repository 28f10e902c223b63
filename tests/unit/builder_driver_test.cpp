// The whole build, in order, through the reference host.
#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "builder/import_driver.h"
#include "builder/materials_builder.h"
#include "builder/prepare.h"
#include "document/resolve.h"
#include "document/storage.h"
#include "host/json_dump.h"
#include "host/reference_host.h"
#include "reader/file_reader.h"

using namespace bxml;
using namespace bxml::host;

namespace {

// The folder does not exist, so making it current changes nothing in the test
// process.
constexpr const wchar_t* SCENE_PATH = L"/nonexistent-bxml-test/scenes/house.xml";
constexpr const char* SCENE_FOLDER = "/nonexistent-bxml-test/scenes/";
constexpr const wchar_t* SCENE_FOLDER_WIDE = L"/nonexistent-bxml-test/scenes/";

// One of everything: a material, a geometry placed by a scene object (unless
// withScene is false), a light, a skeleton of two bones and an animation of its
// second bone; resolved and prepared for the build.
void makeDocument(SceneDocument& doc, bool withScene = true) {
    doc.filePath.assign(SCENE_PATH);
    ASSERT_EQ(allocate(doc.materials, 1), 1);
    doc.materials[0].name.assign("Wood");
    doc.materials[0].diffuse = {0.5f, 0.25f, 0.125f, 1};

    ASSERT_EQ(allocate(doc.geometries, 1), 1);
    GeometryRecord& g = doc.geometries[0];
    g.name.assign("Box");
    ASSERT_EQ(allocate(g.vertices, 3), 1);
    for (int i = 0; i < 3; ++i) g.vertices[static_cast<std::size_t>(i)].position = {1.0f * i, 1, 0};
    ASSERT_EQ(allocate(g.faces, 1), 1);
    g.faces[0].cornerCount = 3;
    g.faces[0].vertexIndices[0] = 0;
    g.faces[0].vertexIndices[1] = 1;
    g.faces[0].vertexIndices[2] = 2;
    g.faces[0].materialIndex = 0;

    ASSERT_EQ(allocate(doc.lights, 1), 1);
    doc.lights[0].name.assign("Lamp");
    doc.lights[0].type.assign("omni");
    doc.lights[0].position = {0, 0, 5};

    ASSERT_EQ(allocateSkeletons(doc.skeletons, 1), 1);
    SkeletonRecord& rig = doc.skeletons[0];
    rig.name.assign("Rig");
    ASSERT_EQ(allocate(rig.bones, 2), 1);
    rig.bones[0].name.assign("Rig");
    rig.bones[1].name.assign("Arm");
    ASSERT_EQ(allocate(doc.boneNodes, 2), 1);
    doc.boneNodes[0].path.assign("Rig::Rig");
    doc.boneNodes[1].path.assign("Rig::Arm");
    doc.boneNodes[1].parentNodeIndex = 0;
    doc.boneNodes[1].position = {0, 3, 0};
    for (int i = 0; i < 2; ++i) {
        doc.boneNodes[static_cast<std::size_t>(i)].skeletonIndex = 0;
        doc.boneNodes[static_cast<std::size_t>(i)].boneIndex = i;
        rig.bones[static_cast<std::size_t>(i)].nodeIndex = i;
    }

    ASSERT_EQ(allocate(doc.animations, 1), 1);
    AnimationRecord& a = doc.animations[0];
    a.name.assign("Wave");
    ASSERT_EQ(allocate(a.skeletonTracks, 1), 1);
    a.skeletonTracks[0].skeletonName.assign("Rig");
    ASSERT_EQ(allocate(a.skeletonTracks[0].nodes, 1), 1);
    AnimationNodeTrack& t = a.skeletonTracks[0].nodes[0];
    t.nodeName.assign("Arm");
    ASSERT_EQ(allocate(t.positionKeys, 1), 1);
    t.positionKeys[0].position = {0, 4, 0};

    if (withScene) {
        ASSERT_EQ(allocate(doc.scenes, 1), 1);
        ASSERT_EQ(allocate(doc.scenes[0].objects, 1), 1);
        doc.scenes[0].objects[0].type.assign("mesh");
        doc.scenes[0].objects[0].name.assign("Box");
    }
    resolveReferences(doc);
    prepareDocument(doc);
}

ImportOptions everything() {
    ImportOptions o;
    o.importLights = 1;
    o.swapModel = 1;
    o.pruneBones = 1;
    o.scale = 2.0f;
    return o;
}

// The log without the polygon and per-vertex detail.
std::vector<std::string> mainCalls(const ReferenceScene& scene) {
    std::vector<std::string> out;
    for (const std::string& c : scene.calls()) {
        if (c.rfind("GetPolygonBlock", 0) == 0 || c.rfind("SetPolygonC", 0) == 0) continue;
        if (!out.empty() && c == out.back() && c.rfind("Update", 0) == 0) continue;
        out.push_back(c);
    }
    return out;
}

} // namespace

TEST(BuildModel, RunsEveryStepInOrder) {
    SceneDocument doc;
    makeDocument(doc);
    ReferenceScene scene;
    ASSERT_EQ(buildModel(doc, everything(), &scene), 1);
    const std::vector<std::string> expected = {"AddMaterial(Wood)",
                                               "SetVertexCount(3)",
                                               "AddMesh(Box,-1)",
                                               "EndMeshes(1)",
                                               "AddLight(Lamp)",
                                               "AddBone(Rig::Rig,-1)",
                                               "AddBone(Rig::Arm,-1)",
                                               "AddAnimation(Wave)",
                                               "SetTrackCount(Wave,2)",
                                               "AddPositionKeys(Wave,1,1,0)",
                                               "EndSkeletons()",
                                               "SetAxisSwap(1)",
                                               "Update(0)",
                                               "EndImport()",
                                               "PruneBones()"};
    EXPECT_EQ(mainCalls(scene), expected);
    EXPECT_EQ(scene.countCalls("Update"), 3) << "one Update per host vertex";
    EXPECT_EQ(scene.materialStore[0]->diffuse.g, 0.25f);
    EXPECT_EQ(scene.lightStore[0]->transform.position.z, 10.0f) << "scaled after placement";
    EXPECT_EQ(scene.vertices[2]->position.x, 4.0f);
    EXPECT_EQ(scene.boneStore[1]->transform.position.y, 6.0f);
    const HostAnimationTrack& arm = scene.animationStore[0]->trackRecords[1];
    EXPECT_EQ(arm.positionKeys[0].position.y, 2.0f) << "bind-relative first, then scaled";
}

TEST(BuildModel, OptionsSwitchOffLightsAxisScaleAndPruning) {
    SceneDocument doc;
    makeDocument(doc);
    ReferenceScene scene;
    ImportOptions options;
    options.importLights = 0;
    options.swapModel = 0;
    options.pruneBones = 0;
    options.scale = 1.0f;
    ASSERT_EQ(buildModel(doc, options, &scene), 1);
    EXPECT_EQ(scene.countCalls("AddLight"), 0);
    EXPECT_EQ(scene.countCalls("SetAxisSwap"), 0);
    EXPECT_EQ(scene.countCalls("PruneBones"), 0);
    EXPECT_EQ(scene.calls().back(), "EndImport()");
    EXPECT_EQ(scene.vertices[2]->position.x, 2.0f) << "scale 1.0 leaves positions alone";
    EXPECT_EQ(scene.boneStore[1]->transform.position.y, 3.0f);
}

TEST(BuildModel, WithoutScenesMeshesDependOnSceneMeshesOnly) {
    SceneDocument doc;
    makeDocument(doc, false);
    ImportOptions options;
    options.sceneMeshesOnly = 1;
    ReferenceScene sceneOnly;
    ASSERT_EQ(buildModel(doc, options, &sceneOnly), 1);
    EXPECT_EQ(sceneOnly.countCalls("AddMesh"), 0);
    EXPECT_EQ(sceneOnly.countCalls("EndMeshes"), 1) << "the document still has geometries";
    EXPECT_EQ(sceneOnly.countCalls("AddBone"), 2);
    EXPECT_EQ(sceneOnly.countCalls("AddAnimation"), 1);

    options.sceneMeshesOnly = 0;
    ReferenceScene all;
    ASSERT_EQ(buildModel(doc, options, &all), 1);
    EXPECT_EQ(all.countCalls("AddMesh"), 1);

    release(doc.geometries);
    ReferenceScene none;
    ASSERT_EQ(buildModel(doc, options, &none), 1);
    EXPECT_EQ(none.countCalls("EndMeshes"), 0);
}

TEST(BuildModel, ARefusedMaterialLightOrBoneEndsTheBuild) {
    for (const char* op : {"AddMaterial", "AddLight", "AddBone"}) {
        SceneDocument doc;
        makeDocument(doc);
        ReferenceScene scene;
        scene.refuse(op);
        EXPECT_EQ(buildModel(doc, everything(), &scene), 0) << op;
        EXPECT_EQ(scene.calls().back().rfind(op, 0), 0u) << op << ": nothing after the refusal";
    }
    SceneDocument doc;
    EXPECT_EQ(buildModel(doc, everything(), nullptr), 0);
}

TEST(BuildModel, TextureMapsCarryKindFlagsAndTheFilesFolder) {
    SceneDocument doc;
    makeDocument(doc);
    ASSERT_EQ(allocate(doc.images, 2), 1);
    doc.images[0].path.assign(L"bark.png");
    doc.images[1].path.assign(L"bump.png");
    ASSERT_EQ(allocate(doc.textures, 2), 1);
    doc.textures[0].imageIndex = 0;
    doc.textures[1].imageIndex = 1;
    MaterialRecord& m = doc.materials[0];
    m.slots[0].textureIndex = 0;
    m.slots[1].textureIndex = 0;
    m.slots[2].textureIndex = 1;

    ReferenceScene scene;
    ASSERT_EQ(buildModel(doc, everything(), &scene), 1);
    const RefMaterial& host = *scene.materialStore[0];
    ASSERT_EQ(host.maps.size(), 3u);
    const std::string folder = SCENE_FOLDER;
    EXPECT_EQ(scene.calls()[1], "AddTextureMap(Wood,0,1)");
    EXPECT_EQ(scene.calls()[3], "AddTextureMap(Wood,2,1)");
    EXPECT_EQ(host.maps[0].flags, TEXTURE_MAP_FILE_NAME_SET);
    EXPECT_EQ(host.maps[1].flags, TEXTURE_MAP_FILE_NAME_SET | TEXTURE_MAP_ALPHA);
    EXPECT_EQ(host.maps[2].flags, TEXTURE_MAP_FILE_NAME_SET | TEXTURE_MAP_NORMAL);
    EXPECT_EQ(std::string(host.maps[0].fileName.narrow), folder + "bark.png");
    EXPECT_EQ(std::string(host.maps[2].fileName.narrow), folder + "bump.png");
}

TEST(BuildModel, UnresolvedOrOverlongTexturesAreSkipped) {
    SceneDocument doc;
    makeDocument(doc);
    ASSERT_EQ(allocate(doc.images, 2), 1);
    const std::size_t folderLength = std::wcslen(SCENE_FOLDER_WIDE);
    // Folder plus name exactly fills the host's 259 characters; one more does not fit.
    doc.images[0].path.assign(std::wstring(259 - folderLength, L'a').c_str());
    doc.images[1].path.assign(std::wstring(260 - folderLength, L'b').c_str());
    ASSERT_EQ(allocate(doc.textures, 3), 1);
    doc.textures[0].imageIndex = 0;
    doc.textures[1].imageIndex = 1;
    doc.textures[2].imageIndex = 2; // no such image
    MaterialRecord& m = doc.materials[0];
    m.slots[0].textureIndex = 0;
    m.slots[1].textureIndex = 1;
    m.slots[2].textureIndex = 2;

    ReferenceScene scene;
    ASSERT_EQ(buildModel(doc, everything(), &scene), 1);
    ASSERT_EQ(scene.countCalls("AddTextureMap"), 1);
    const RefMaterial& host = *scene.materialStore[0];
    EXPECT_EQ(host.maps[0].kind, 0);
    EXPECT_EQ(std::wcslen(host.maps[0].fileName.wide), 259u);

    m.slots[0].textureIndex = 3; // no such texture
    ReferenceScene none;
    ASSERT_EQ(buildModel(doc, everything(), &none), 1);
    EXPECT_EQ(none.countCalls("AddTextureMap"), 0);

    wchar_t out[HOST_STRING_CAPACITY];
    EXPECT_FALSE(composeTextureFileName(L"dir/", std::wstring(256, L'x').c_str(), out));
    EXPECT_EQ(out[0], L'\0');
    ASSERT_TRUE(composeTextureFileName(L"", L"plain.png", out));
    EXPECT_EQ(std::wstring(out), L"plain.png");
}

TEST(BuildModel, ARefusedTextureMapIsNoFailure) {
    SceneDocument doc;
    makeDocument(doc);
    ASSERT_EQ(allocate(doc.images, 1), 1);
    ASSERT_EQ(allocate(doc.textures, 1), 1);
    doc.textures[0].imageIndex = 0;
    doc.materials[0].slots[0].textureIndex = 0;
    doc.materials[0].slots[2].textureIndex = 0;
    ReferenceScene scene;
    scene.refuse("AddTextureMap", 1);
    ASSERT_EQ(buildModel(doc, everything(), &scene), 1);
    EXPECT_EQ(scene.countCalls("AddTextureMap"), 2);
}

TEST(BuildModel, LightsTakeTypeColourAnglesAndPlacement) {
    SceneDocument doc;
    makeDocument(doc);
    ASSERT_EQ(allocate(doc.lights, 4), 1);
    const char* types[] = {"SPOT", "Directional", "omni", "lamp"};
    for (int i = 0; i < 4; ++i) {
        doc.lights[static_cast<std::size_t>(i)].name.assign(types[i]);
        doc.lights[static_cast<std::size_t>(i)].type.assign(types[i]);
    }
    LightRecord& omni = doc.lights[2];
    omni.color = {0.1f, 0.2f, 0.3f, 1};
    omni.intensity = 4.0f;
    omni.spotAngle = 30.0f;
    omni.spotInnerAngle = 20.0f;
    omni.position = {1, 2, 3};
    omni.rotation = {0, 0, 0.70710677f, 0.70710677f};
    ImportOptions options = everything();
    options.scale = 1.0f;
    ReferenceScene scene;
    ASSERT_EQ(buildModel(doc, options, &scene), 1);
    ASSERT_EQ(scene.lightStore.size(), 4u);
    EXPECT_EQ(scene.lightStore[0]->type, 2);
    EXPECT_EQ(scene.lightStore[1]->type, 1);
    EXPECT_EQ(scene.lightStore[2]->type, 0);
    EXPECT_EQ(scene.lightStore[3]->type, HostLight{}.type) << "unknown text keeps the host's type";
    const RefLight& host = *scene.lightStore[2];
    EXPECT_EQ(host.color.g, 0.2f);
    EXPECT_EQ(host.intensity, 4.0f);
    EXPECT_EQ(host.innerAngle, 20.0f);
    EXPECT_EQ(host.outerAngle, 30.0f);
    EXPECT_EQ(host.transform.position.z, 3.0f);
    EXPECT_NEAR(host.transform.matrix.at(1, 0), 1.0f, 1e-6f) << "matrix from the rotation";
    EXPECT_NEAR(host.transform.matrix.at(0, 1), -1.0f, 1e-6f);
    EXPECT_EQ(host.transform.rotation.w, 1.0f) << "only matrix and position carry the placement";
}

TEST(BuildModel, BonesTakeTheirNodesPoseAndTheBoneRecordsName) {
    SceneDocument doc;
    makeDocument(doc);
    doc.boneNodes[1].scale = {2, 2, 2};
    doc.boneNodes[1].rotation = {0, 1, 0, 0};
    doc.boneNodes[0].boneIndex = 7; // hostile: no such bone record
    ImportOptions options = everything();
    options.scale = 1.0f;
    ReferenceScene scene;
    ASSERT_EQ(buildModel(doc, options, &scene), 1);
    ASSERT_EQ(scene.boneStore.size(), 2u);
    const RefBone& arm = *scene.boneStore[1];
    EXPECT_EQ(std::string(arm.name.narrow), "Arm");
    EXPECT_EQ(arm.addedAs, "Rig::Arm");
    EXPECT_EQ(arm.parentIndex, 0);
    EXPECT_EQ(arm.transform.position.y, 3.0f);
    EXPECT_EQ(arm.transform.scale.x, 2.0f);
    EXPECT_EQ(arm.transform.rotation.y, 1.0f);
    EXPECT_EQ(std::string(scene.boneStore[0]->name.narrow), "Rig::Rig") << "name left as the host made it";
    EXPECT_EQ(scene.boneStore[0]->parentIndex, -1);
}

// The build only reads the document: one prepared document built twice gives
// the same model twice, while preparing it again moves its vertices again.
TEST(BuildModel, BuildingOneDocumentTwiceGivesTheSameModel) {
    SceneDocument doc;
    std::FILE* file = std::fopen(BXML_TEST_DATA_DIR "/all_sections.xml", "rb");
    ASSERT_NE(file, nullptr);
    const int read = readSceneFile(doc, file);
    std::fclose(file);
    ASSERT_EQ(read, 1);
    prepareDocument(doc);
    ReferenceScene scenes[3];
    std::string dumps[3];
    for (int i = 0; i < 3; ++i) {
        if (i == 2) prepareDocument(doc);
        ASSERT_EQ(buildModel(doc, everything(), &scenes[i]), 1);
        ImportRecord record;
        record.scene = &scenes[i];
        dumps[i] = dumpJson(record);
    }
    EXPECT_EQ(dumps[0], dumps[1]);
    EXPECT_NE(dumps[1], dumps[2]) << "the comparison sees vertices that moved";
}
