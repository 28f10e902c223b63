// The top-level reader: the orvk root, the section order, the version, the two
// failure messages, and whole files read through a reference host.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "document/lookup.h"
#include "document/storage.h"
#include "host/reference_host.h"
#include "platform/files.h"
#include "platform/text.h"
#include "plugin/import_request.h"
#include "reader/file_reader.h"

#ifndef BXML_TEST_DATA_DIR
#error "BXML_TEST_DATA_DIR must name tests/data"
#endif

namespace bxml {
namespace {

namespace fs = std::filesystem;

std::wstring dataFile(const char* name) { return utf8ToWide((std::string(BXML_TEST_DATA_DIR) + "/" + name).c_str()); }

// A named file in the temporary folder, removed again at the end of the test.
// stem is UTF-8.
class TempFile {
public:
    explicit TempFile(const std::string& content, const std::string& stem = "scene") {
        static int counter = 0;
        const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
        const std::string name = stem + "_" + std::to_string(tick) + "_" + std::to_string(++counter) + ".xml";
        path_ = fs::temp_directory_path() / fs::path(std::u8string(name.begin(), name.end()));
        std::ofstream(path_, std::ios::binary) << content;
    }
    ~TempFile() {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    std::wstring widePath() const {
        const std::u8string u8 = path_.u8string();
        return utf8ToWide(std::string(u8.begin(), u8.end()).c_str());
    }

private:
    fs::path path_;
};

// Reads text as a scene file.
int readText(SceneDocument& doc, const std::string& text) {
    TempFile file(text);
    std::FILE* f = openFileForReading(file.widePath().c_str());
    if (f == nullptr) {
        ADD_FAILURE() << "cannot open the temporary file";
        return -2;
    }
    const int result = readSceneFile(doc, f);
    std::fclose(f);
    return result;
}

std::string errorText(const host::ReferenceScene& scene) { return scene.errorMessage.narrow; }

// --- readSceneFile ---------------------------------------------------------------

TEST(ReadSceneFile, NoFileGivesZero) {
    SceneDocument doc;
    EXPECT_EQ(readSceneFile(doc, nullptr), 0);
}

TEST(ReadSceneFile, RootMustBeTopLevelOrvkWithExactCase) {
    SceneDocument doc;
    EXPECT_EQ(readText(doc, "<ORVK><lights><light/></lights></ORVK>"), -1);
    EXPECT_EQ(readText(doc, "<Orvk/>"), -1);
    EXPECT_EQ(readText(doc, "<wrapper><orvk><lights><light/></lights></orvk></wrapper>"), -1);
    EXPECT_TRUE(doc.lights.empty());
    EXPECT_EQ(readText(doc, "<?xml version='1.0'?><!-- c --><orvk><lights><light/></lights></orvk>"), 1);
    EXPECT_EQ(doc.lights.size(), 1u);
}

TEST(ReadSceneFile, MalformedOrEmptyFilesGiveZero) {
    SceneDocument doc;
    EXPECT_EQ(readText(doc, ""), 0);
    EXPECT_EQ(readText(doc, "not xml at all"), 0);
    EXPECT_EQ(readText(doc, "<orvk><lights></orvk>"), 0);
    EXPECT_EQ(readText(doc, "<orvk><lights><light name='a'/></lights>"), 0);
}

TEST(ReadSceneFile, EmptyOrvkGivesAnEmptyDocument) {
    SceneDocument doc;
    EXPECT_EQ(readText(doc, "<orvk/>"), 1);
    EXPECT_TRUE(isDocumentEmpty(doc));
    EXPECT_EQ(readText(doc, "<orvk>\n  <unknown><light/></unknown>\n</orvk>"), 1);
    EXPECT_TRUE(isDocumentEmpty(doc));
}

TEST(ReadSceneFile, SectionsInAnyOrderAndOnlyTheFirstOfEachCounts) {
    SceneDocument doc;
    ASSERT_EQ(readText(doc,
                       "<orvk>"
                       "<scenes><scene name='S'><object name='L1' type='light'/></scene></scenes>"
                       "<lights><light name='L1'/><light name='L2'/></lights>"
                       "<comments><version>2</version></comments>"
                       "<lights><light name='X1'/><light name='X2'/><light name='X3'/></lights>"
                       "<comments><version>9</version></comments>"
                       "</orvk>"),
              1);
    ASSERT_EQ(doc.lights.size(), 2u);
    EXPECT_EQ(doc.lightsInFile, 2);
    EXPECT_STREQ(doc.lights[1].name.c_str(), "L2");
    EXPECT_EQ(doc.version, 2);
    // Resolution ran after every section, whatever the file's order.
    ASSERT_EQ(doc.scenes.size(), 1u);
    EXPECT_EQ(doc.scenes[0].objects[0].targetIndex, 0);
}

TEST(ReadSceneFile, VersionIsTheLeadingInteger) {
    struct Case {
        const char* comments;
        int32_t version;
    };
    const Case cases[] = {
        {"<comments><version>3.5</version></comments>", 3},
        {"<comments><version>12abc</version></comments>", 12},
        {"<comments><version>  -7</version></comments>", -7},
        {"<comments><version>v3</version></comments>", 0},
        {"<comments><version/></comments>", 0},
        {"<comments><author>x</author></comments>", 0},
        {"<comments><version>4</version><version>5</version></comments>", 4},
        {"<comments><version>99999999999</version></comments>", 2147483647},
        {"", 0},
    };
    for (const Case& c : cases) {
        SceneDocument doc;
        ASSERT_EQ(readText(doc, std::string("<orvk>") + c.comments + "</orvk>"), 1) << c.comments;
        EXPECT_EQ(doc.version, c.version) << c.comments;
    }
}

TEST(ReadSceneFile, ClearsTheDocumentButKeepsItsPath) {
    SceneDocument doc;
    doc.filePath.assign(L"/scenes/current.xml");
    ASSERT_EQ(readText(doc, "<orvk><lights><light/><light/></lights><comments><version>3</version></comments></orvk>"),
              1);
    ASSERT_EQ(doc.lights.size(), 2u);
    ASSERT_EQ(readText(doc, "<orvk><cameras><camera/></cameras></orvk>"), 1);
    EXPECT_TRUE(doc.lights.empty());
    EXPECT_EQ(doc.lightsInFile, 0);
    EXPECT_EQ(doc.version, 0);
    EXPECT_EQ(doc.cameras.size(), 1u);
    EXPECT_EQ(std::wstring(doc.filePath.c_str()), L"/scenes/current.xml");
}

// What a file leaves unsaid: one bare element of every kind reads as the
// format's defaults.
TEST(ReadSceneFile, BareElementsReadAsTheFormatsDefaults) {
    SceneDocument doc;
    ASSERT_EQ(readText(doc,
                       "<orvk><lights><light/></lights><cameras><camera/></cameras>"
                       "<materials><material/></materials><textures><texture/></textures>"
                       "<geometries><geometry><vertices count='3'>0 0 0 1 0 0 0 1 0</vertices>"
                       "<indices count='1'>0 1 2 -1</indices></geometry></geometries>"
                       "<skeletons><skeleton name='S'><bone name='b'/></skeleton></skeletons>"
                       "<scenes><scene><object/></scene></scenes></orvk>"),
              1);
    ASSERT_EQ(doc.lights.size(), 1u);
    const LightRecord& light = doc.lights[0];
    EXPECT_EQ(light.intensity, 1.0f);
    EXPECT_EQ(light.radius, 1.0f);
    EXPECT_EQ(light.color.r, 1.0f);
    EXPECT_EQ(light.color.a, 1.0f);
    EXPECT_EQ(light.spotAngle, 20.0f);
    EXPECT_EQ(light.spotInnerAngle, 10.0f);
    EXPECT_EQ(light.rotation.w, 1.0f);
    EXPECT_EQ(light.scale.x, 1.0f);

    ASSERT_EQ(doc.cameras.size(), 1u);
    EXPECT_EQ(doc.cameras[0].nearClip, 1.0f);
    EXPECT_EQ(doc.cameras[0].farClip, 1000.0f);
    EXPECT_EQ(doc.cameras[0].fov, 45.0f);

    ASSERT_EQ(doc.materials.size(), 1u);
    const MaterialRecord& material = doc.materials[0];
    EXPECT_EQ(material.diffuse.g, 1.0f);
    EXPECT_EQ(material.specular.g, 0.0f);
    EXPECT_EQ(material.specular.a, 1.0f);
    EXPECT_EQ(material.shininess, 128.0f);
    EXPECT_EQ(material.alpha, 1.0f);
    for (const MaterialTextureSlot& slot : material.slots) EXPECT_EQ(slot.textureIndex, -1);
    ASSERT_EQ(doc.textures.size(), 1u);
    EXPECT_EQ(doc.textures[0].imageIndex, -1);

    ASSERT_EQ(doc.geometries.size(), 1u);
    ASSERT_EQ(doc.geometries[0].faces.size(), 1u);
    const FaceRecord& face = doc.geometries[0].faces[0];
    EXPECT_EQ(face.cornerCount, 3);
    EXPECT_EQ(face.materialIndex, -1);
    for (int corner = 0; corner < 3; ++corner) {
        EXPECT_EQ(face.colors[corner].r, 1.0f) << corner;
        EXPECT_EQ(face.colors[corner].a, 1.0f) << corner;
        EXPECT_EQ(face.uv[0][corner].u, 0.0f) << corner;
        EXPECT_EQ(face.uv[1][corner].v, 0.0f) << corner;
    }
    EXPECT_EQ(doc.geometries[0].rootNodeIndex, -1);
    EXPECT_EQ(doc.geometries[0].placement.at(0, 0), 1.0f);
    EXPECT_EQ(doc.geometries[0].placement.at(0, 3), 0.0f);

    ASSERT_EQ(doc.boneNodes.size(), 2u);
    const BoneNodeRecord& bone = doc.boneNodes[1];
    EXPECT_EQ(bone.position.x, 0.0f);
    EXPECT_EQ(bone.scale.y, 1.0f);
    EXPECT_EQ(bone.rotation.w, 1.0f);

    ASSERT_EQ(doc.scenes.size(), 1u);
    ASSERT_EQ(doc.scenes[0].objects.size(), 1u);
    const SceneObjectRecord& object = doc.scenes[0].objects[0];
    EXPECT_EQ(object.parentIndex, -1);
    EXPECT_EQ(object.targetIndex, -1);
    EXPECT_EQ(object.skeletonIndex, -1);
    EXPECT_EQ(object.fileIndex, -1) << "a lone object is not ordered";
    EXPECT_EQ(object.scale.z, 1.0f);
    EXPECT_EQ(object.rotation.w, 1.0f);
    EXPECT_EQ(object.matrix.at(3, 3), 1.0f);
}

TEST(ReadSceneFile, EntitiesAreProcessedAndWhitespaceKept) {
    SceneDocument doc;
    ASSERT_EQ(readText(doc, "<orvk><lights><light name='R&amp;D  &#x41;' type=' omni'/></lights></orvk>"), 1);
    EXPECT_STREQ(doc.lights[0].name.c_str(), "R&D  A");
    EXPECT_STREQ(doc.lights[0].type.c_str(), " omni");
}

// --- importFile ------------------------------------------------------------------

TEST(ImportFile, NoSceneOrUnopenableFileFailsWithoutMessage) {
    SceneDocument doc;
    EXPECT_EQ(importFile(doc, nullptr), 0);
    host::ReferenceScene scene;
    scene.setFileName(L"/nonexistent/folder/scene.xml");
    EXPECT_EQ(importFile(doc, &scene), 0);
    EXPECT_EQ(errorText(scene), "");
    EXPECT_EQ(std::wstring(doc.filePath.c_str()), L"/nonexistent/folder/scene.xml");
}

TEST(ImportFile, OtherRootGivesNotOrvkMessage) {
    SceneDocument doc;
    host::ReferenceScene scene;
    scene.setFileName(dataFile("not_orvk.xml"));
    EXPECT_EQ(importFile(doc, &scene), 0);
    EXPECT_EQ(errorText(scene), "Not a ORVK XML file.");
    EXPECT_EQ(std::wstring(scene.errorMessage.wide), L"Not a ORVK XML file.");
    EXPECT_TRUE(doc.lights.empty());
}

TEST(ImportFile, GarbageGivesParseMessage) {
    SceneDocument doc;
    host::ReferenceScene scene;
    scene.setFileName(dataFile("not_xml.xml"));
    EXPECT_EQ(importFile(doc, &scene), 0);
    EXPECT_EQ(errorText(scene), "Unable to parse XML file.");
}

TEST(ImportFile, EmptyOrvkSucceedsWithNothingButThePath) {
    SceneDocument doc;
    host::ReferenceScene scene;
    scene.setFileName(dataFile("empty_orvk.xml"));
    EXPECT_EQ(importFile(doc, &scene), 1);
    EXPECT_EQ(errorText(scene), "");
    EXPECT_EQ(std::wstring(doc.filePath.c_str()), dataFile("empty_orvk.xml"));
    doc.filePath.clear();
    EXPECT_TRUE(isDocumentEmpty(doc));
}

TEST(ImportFile, SecondImportDoesNotMixFiles) {
    SceneDocument doc;
    host::ReferenceScene first;
    first.setFileName(dataFile("all_sections.xml"));
    ASSERT_EQ(importFile(doc, &first), 1);
    ASSERT_EQ(doc.lights.size(), 2u);

    TempFile second("<orvk><cameras><camera name='Only'/></cameras></orvk>");
    host::ReferenceScene other;
    other.setFileName(second.widePath());
    ASSERT_EQ(importFile(doc, &other), 1);
    EXPECT_TRUE(doc.lights.empty());
    EXPECT_EQ(doc.lightsInFile, 0);
    EXPECT_TRUE(doc.skeletons.empty());
    EXPECT_TRUE(doc.boneNodes.empty());
    EXPECT_TRUE(doc.geometries.empty());
    EXPECT_EQ(doc.version, 0);
    ASSERT_EQ(doc.cameras.size(), 1u);
    EXPECT_STREQ(doc.cameras[0].name.c_str(), "Only");
    EXPECT_EQ(std::wstring(doc.filePath.c_str()), second.widePath());
}

TEST(ImportFile, FailedImportLeavesNothingOfThePreviousFile) {
    SceneDocument doc;
    host::ReferenceScene first;
    first.setFileName(dataFile("all_sections.xml"));
    ASSERT_EQ(importFile(doc, &first), 1);
    host::ReferenceScene broken;
    broken.setFileName(dataFile("not_xml.xml"));
    EXPECT_EQ(importFile(doc, &broken), 0);
    EXPECT_TRUE(doc.lights.empty());
    EXPECT_TRUE(doc.scenes.empty());
}

TEST(ImportFile, NonAsciiPathIsOpened) {
    TempFile file("<orvk><lights><light name='x'/></lights></orvk>", "Szene_\xC3\xA4\xE6\x96\x87");
    SceneDocument doc;
    host::ReferenceScene scene;
    scene.setFileName(file.widePath());
    EXPECT_EQ(importFile(doc, &scene), 1);
    EXPECT_EQ(doc.lights.size(), 1u);
}

// --- a whole file through the reference host --------------------------------------

class AllSections : public ::testing::Test {
protected:
    void SetUp() override {
        scene.setFileName(dataFile("all_sections.xml"));
        ASSERT_EQ(importFile(doc, &scene), 1);
    }
    host::ReferenceScene scene;
    SceneDocument doc;
};

TEST_F(AllSections, CommentsLightsAndCameras) {
    EXPECT_EQ(doc.version, 3);
    ASSERT_EQ(doc.lights.size(), 2u);
    EXPECT_EQ(doc.lightsInFile, 2);
    EXPECT_STREQ(doc.lights[0].name.c_str(), "Lamp");
    EXPECT_FLOAT_EQ(doc.lights[0].color.b, 0.8f);
    EXPECT_FLOAT_EQ(doc.lights[0].radius, 2.5f);
    EXPECT_STREQ(doc.lights[1].type.c_str(), "SPOT");
    EXPECT_FLOAT_EQ(doc.lights[1].spotAngle, 45.0f);
    EXPECT_FLOAT_EQ(doc.lights[1].spotInnerAngle, 35.0f);
    ASSERT_EQ(doc.cameras.size(), 1u);
    EXPECT_FLOAT_EQ(doc.cameras[0].nearClip, 0.1f);
    EXPECT_FLOAT_EQ(doc.cameras[0].farClip, 100.0f);
    EXPECT_FLOAT_EQ(doc.cameras[0].fov, 49.1f);
}

TEST_F(AllSections, ImagesTexturesAndMaterialsAreLinked) {
    ASSERT_EQ(doc.images.size(), 2u);
    EXPECT_EQ(std::wstring(doc.images[0].path.c_str()), L"wood.png");
    EXPECT_EQ(std::wstring(doc.images[1].path.c_str()), L"mask.tga");
    ASSERT_EQ(doc.textures.size(), 2u);
    EXPECT_EQ(doc.textures[0].imageIndex, 0);
    EXPECT_EQ(doc.textures[1].imageIndex, 1);
    ASSERT_EQ(doc.materials.size(), 2u);
    const MaterialRecord& wood = doc.materials[0];
    EXPECT_EQ(wood.slots[0].textureIndex, 0);
    EXPECT_STREQ(wood.slots[0].uvSetName.c_str(), "UVMap");
    EXPECT_EQ(wood.slots[1].textureIndex, 1);
    EXPECT_STREQ(wood.slots[1].uvSetName.c_str(), "UVMask");
    EXPECT_EQ(wood.slots[2].textureIndex, -1);
    EXPECT_FLOAT_EQ(wood.shininess, 50.0f);
    EXPECT_FLOAT_EQ(wood.alpha, 0.5f);
    EXPECT_FLOAT_EQ(wood.specular.g, 0.2f);
    EXPECT_FLOAT_EQ(doc.materials[1].diffuse.b, 1.0f);
    EXPECT_FLOAT_EQ(doc.materials[1].diffuse.r, 0.0f);
    EXPECT_EQ(materialUsesUvSet(doc, 0, "UVMap"), 1);
}

TEST_F(AllSections, GeometryIsACubeOfQuads) {
    ASSERT_EQ(doc.geometries.size(), 1u);
    const GeometryRecord& cube = doc.geometries[0];
    EXPECT_STREQ(cube.name.c_str(), "Cube");
    ASSERT_EQ(cube.vertices.size(), 8u);
    EXPECT_FLOAT_EQ(cube.vertices[6].position.x, 1.0f);
    EXPECT_FLOAT_EQ(cube.vertices[6].position.z, 1.0f);
    ASSERT_EQ(cube.faces.size(), 6u);
    for (const FaceRecord& f : cube.faces) EXPECT_EQ(f.cornerCount, 4);
    EXPECT_EQ(cube.faces[1].vertexIndices[1], 7);
    EXPECT_EQ(cube.faces[2].materialIndex, 1);
    EXPECT_EQ(cube.faces[5].materialIndex, 1);
    EXPECT_STREQ(cube.uvSetNames[1].c_str(), "UVMask");
    EXPECT_FLOAT_EQ(cube.faces[0].uv[0][2].u, 1.0f);
    EXPECT_FLOAT_EQ(cube.faces[0].uv[1][0].u, 0.5f);
    EXPECT_FLOAT_EQ(cube.faces[1].colors[0].g, 1.0f);
    EXPECT_FLOAT_EQ(cube.faces[1].colors[0].r, 0.0f);
    ASSERT_EQ(cube.links.size(), 2u);
    EXPECT_STREQ(cube.links[1].name.c_str(), "spine");
    ASSERT_EQ(cube.vertices[2].weights.size(), 2u);
    EXPECT_EQ(cube.vertices[2].weights[1].linkIndex, 1);
    EXPECT_FLOAT_EQ(cube.vertices[2].weights[1].weight, 0.5f);
    EXPECT_EQ(cube.vertices[0].weights.size(), 1u);
}

TEST_F(AllSections, SkeletonAndAnimation) {
    ASSERT_EQ(doc.skeletons.size(), 1u);
    const SkeletonRecord& rig = doc.skeletons[0];
    ASSERT_EQ(rig.bones.size(), 5u);
    ASSERT_EQ(doc.boneNodes.size(), 5u);
    EXPECT_EQ(doc.boneNodesInFile, 5);
    const char* paths[] = {"Rig::Rig", "Rig::hip", "Rig::spine", "Rig::head", "Rig::leg"};
    const int32_t parentNodes[] = {-1, 0, 1, 2, 0};
    const int32_t parentBones[] = {-1, 0, 1, 2, 0};
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(doc.boneNodes[i].path.c_str(), paths[i]);
        EXPECT_EQ(doc.boneNodes[i].parentNodeIndex, parentNodes[i]) << paths[i];
        EXPECT_EQ(rig.bones[i].parentIndex, parentBones[i]) << paths[i];
    }
    EXPECT_FLOAT_EQ(rig.bones[1].rotation.w, 1.0f); // (0, 0, 0, 2) normalised

    ASSERT_EQ(doc.animations.size(), 1u);
    const AnimationRecord& walk = doc.animations[0];
    EXPECT_FLOAT_EQ(walk.fps, 24.0f);
    ASSERT_EQ(walk.skeletonTracks.size(), 1u);
    ASSERT_EQ(std::string(walk.skeletonTracks[0].skeletonName.c_str()), "Rig");
    const AnimationSkeletonTrack& track = walk.skeletonTracks[0];
    ASSERT_EQ(track.nodes.size(), 2u);
    ASSERT_EQ(std::string(track.nodes[1].nodeName.c_str()), "leg");
    const AnimationNodeTrack& legTrack = track.nodes[1];
    ASSERT_EQ(legTrack.rotationKeys.size(), 1u);
    EXPECT_FLOAT_EQ(legTrack.rotationKeys[0].time, 0.5f);
    EXPECT_FLOAT_EQ(legTrack.positionKeys[0].time, 0.0f);
    EXPECT_FLOAT_EQ(legTrack.scaleKeys[0].time, 0.5f);
    const AnimationNodeTrack& hip = track.nodes[0];
    ASSERT_EQ(hip.positionKeys.size(), 2u);
    EXPECT_FLOAT_EQ(hip.positionKeys[1].position.y, 0.5f);
    EXPECT_NEAR(hip.rotationKeys[1].rotation.z, 0.70710677f, 1e-6f);
    EXPECT_FLOAT_EQ(hip.scaleKeys[1].time, 1.0f);
}

TEST_F(AllSections, SceneObjectsComeParentsFirstWithResolvedReferences) {
    ASSERT_EQ(doc.scenes.size(), 1u);
    const SceneRecord& s = doc.scenes[0];
    ASSERT_EQ(s.objects.size(), 5u);
    const int32_t rig = findObjectByName(s, "Rig");
    const int32_t cube = findObjectByName(s, "Cube");
    ASSERT_GE(rig, 0);
    ASSERT_GE(cube, 0);
    EXPECT_LT(rig, cube);
    const SceneObjectRecord& c = s.objects[cube];
    EXPECT_EQ(c.fileIndex, 0);
    EXPECT_EQ(c.parentIndex, rig);
    EXPECT_EQ(c.skeletonIndex, 0);
    EXPECT_EQ(c.rootNodeIndex, 0);
    EXPECT_EQ(c.boneNodeIndex, 2);
    EXPECT_EQ(c.targetIndex, 0);
    EXPECT_FLOAT_EQ(c.position.x, 2.0f); // from the matrix, not the position child
    EXPECT_FLOAT_EQ(c.position.y, 3.0f);
    EXPECT_FLOAT_EQ(c.position.z, 4.0f);
    EXPECT_EQ(s.objects[rig].targetIndex, 0);
    EXPECT_EQ(s.objects[findObjectByName(s, "Spot")].targetIndex, 1); // type "Light"
    EXPECT_EQ(s.objects[findObjectByName(s, "Camera")].targetIndex, 0);
    EXPECT_FLOAT_EQ(s.objects[findObjectByName(s, "Camera")].rotation.x, 0.5f);
}

} // namespace
} // namespace bxml
