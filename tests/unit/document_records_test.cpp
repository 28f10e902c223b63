// Fixed-capacity text and the storage operations of the scene document.
#include <gtest/gtest.h>

#include <string>

#include "document/element.h"
#include "document/storage.h"

namespace bxml {
namespace {

TEST(FixedText, NameKeepsAtMost255Characters) {
    Name name;
    const std::string longText(300, 'x');
    name.assign(longText.c_str());
    EXPECT_EQ(std::string(name.c_str()), std::string(255, 'x'));
    name.assign(nullptr);
    EXPECT_TRUE(name.empty());
}

TEST(FixedText, WidePathKeepsAtMost259Characters) {
    WidePath path;
    const std::wstring longPath(400, L'p');
    path.assign(longPath.c_str());
    EXPECT_EQ(std::wstring(path.c_str()), std::wstring(259, L'p'));
}

TEST(DocumentStorage, AllocateWithNoCountFailsAndKeepsTheArray) {
    std::vector<LightRecord> lights;
    ASSERT_EQ(allocate(lights, 2), 1);
    lights[1].name.assign("kept");
    EXPECT_EQ(allocate(lights, 0), 0);
    EXPECT_EQ(allocate(lights, -5), 0);
    ASSERT_EQ(countOf(lights), 2);
    EXPECT_STREQ(lights[1].name.c_str(), "kept");
}

TEST(DocumentStorage, AllocateReplacesWithFreshDefaults) {
    std::vector<MaterialRecord> materials;
    ASSERT_EQ(allocate(materials, 2), 1);
    materials[0].shininess = 3.0f;
    materials[0].name.assign("old");
    ASSERT_EQ(allocate(materials, 3), 1);
    ASSERT_EQ(countOf(materials), 3);
    for (const MaterialRecord& m : materials) {
        EXPECT_TRUE(m.name.empty());
        EXPECT_EQ(m.shininess, 128.0f);
        EXPECT_EQ(m.diffuse.g, 1.0f);
        EXPECT_EQ(m.alpha, 1.0f);
    }
}

TEST(DocumentStorage, AllocateBeyondTheCountRangeFailsWithTheArrayEmpty) {
    std::vector<FaceRecord> faces;
    ASSERT_EQ(allocate(faces, 4), 1);
    EXPECT_EQ(allocate(faces, MAX_ARRAY_COUNT + 1), 0);
    EXPECT_TRUE(faces.empty());
}

TEST(DocumentStorage, AllocatedFacesHaveNoMaterial) {
    std::vector<FaceRecord> faces;
    ASSERT_EQ(allocate(faces, 3), 1);
    for (const FaceRecord& f : faces) EXPECT_EQ(f.materialIndex, -1);
}

TEST(DocumentStorage, AllocatedSkeletonsKnowTheirPositionAndOwnNoBones) {
    std::vector<SkeletonRecord> skeletons;
    ASSERT_EQ(allocateSkeletons(skeletons, 2), 1);
    ASSERT_NE(append(skeletons[1].bones), nullptr);
    ASSERT_EQ(allocateSkeletons(skeletons, 3), 1);
    ASSERT_EQ(countOf(skeletons), 3);
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(skeletons[static_cast<std::size_t>(i)].index, i);
        EXPECT_TRUE(skeletons[static_cast<std::size_t>(i)].bones.empty());
    }
    EXPECT_EQ(allocateSkeletons(skeletons, 0), 0);
    EXPECT_EQ(countOf(skeletons), 3);
}

TEST(DocumentStorage, AppendAddsOneDefaultRecordAndKeepsTheOthers) {
    std::vector<BoneNodeRecord> nodes;
    BoneNodeRecord* first = append(nodes);
    ASSERT_NE(first, nullptr);
    first->path.assign("S::S");
    first->parentNodeIndex = 4;
    first->scale = {2, 2, 2};

    BoneNodeRecord* second = append(nodes);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(countOf(nodes), 2);
    EXPECT_EQ(second, &nodes.back());
    EXPECT_TRUE(second->path.empty());
    EXPECT_EQ(second->parentNodeIndex, -1);
    EXPECT_EQ(second->scale.x, 1.0f);
    EXPECT_EQ(second->rotation.w, 1.0f);
    EXPECT_STREQ(nodes[0].path.c_str(), "S::S");
    EXPECT_EQ(nodes[0].parentNodeIndex, 4);

    SkeletonRecord skeleton;
    BoneRecord* bone = append(skeleton.bones);
    ASSERT_NE(bone, nullptr);
    EXPECT_EQ(bone->parentIndex, -1);
    EXPECT_EQ(bone->nodeIndex, -1);
    EXPECT_EQ(bone->scale.y, 1.0f);
}

TEST(DocumentStorage, ReleaseEmptiesTheArrayAndFreesItsMemory) {
    std::vector<GeometryRecord> geometries;
    ASSERT_EQ(allocate(geometries, 2), 1);
    ASSERT_EQ(allocate(geometries[0].vertices, 3), 1);
    ASSERT_EQ(allocate(geometries[0].vertices[0].weights, 2), 1);
    release(geometries);
    EXPECT_TRUE(geometries.empty());
    EXPECT_EQ(geometries.capacity(), 0u);
    release(geometries);
    EXPECT_TRUE(geometries.empty());
}

SceneDocument filledDocument() {
    SceneDocument doc;
    doc.version = 3;
    EXPECT_EQ(allocate(doc.lights, 1), 1);
    EXPECT_EQ(allocate(doc.cameras, 1), 1);
    EXPECT_EQ(allocate(doc.images, 1), 1);
    EXPECT_EQ(allocate(doc.textures, 1), 1);
    EXPECT_EQ(allocate(doc.materials, 1), 1);
    EXPECT_EQ(allocate(doc.geometries, 1), 1);
    EXPECT_EQ(allocate(doc.geometries[0].faces, 2), 1);
    EXPECT_NE(append(doc.boneNodes), nullptr);
    EXPECT_EQ(allocateSkeletons(doc.skeletons, 1), 1);
    EXPECT_NE(append(doc.skeletons[0].bones), nullptr);
    EXPECT_EQ(allocate(doc.animations, 1), 1);
    EXPECT_EQ(allocate(doc.animations[0].skeletonTracks, 1), 1);
    EXPECT_EQ(allocate(doc.scenes, 1), 1);
    EXPECT_EQ(allocate(doc.scenes[0].objects, 2), 1);
    doc.lightsInFile = 1;
    doc.camerasInFile = 1;
    doc.imagesInFile = 1;
    doc.texturesInFile = 1;
    doc.materialsInFile = 1;
    doc.geometriesInFile = 1;
    doc.boneNodesInFile = 1;
    doc.skeletonsInFile = 1;
    doc.animationsInFile = 1;
    doc.scenesInFile = 1;
    doc.filePath.assign(L"C:\\scenes\\a.xml");
    return doc;
}

TEST(DocumentStorage, ClearDocumentReleasesEverythingAndZeroesTotals) {
    SceneDocument doc = filledDocument();
    ASSERT_FALSE(isDocumentEmpty(doc));
    clearDocument(doc);
    EXPECT_TRUE(isDocumentEmpty(doc));
    EXPECT_EQ(doc.scenes.capacity(), 0u);
    EXPECT_EQ(doc.boneNodes.capacity(), 0u);
    EXPECT_EQ(doc.filePath.text[0], L'\0');
    clearDocument(doc);
    EXPECT_TRUE(isDocumentEmpty(doc));
}

TEST(DocumentStorage, DocumentWithOnlyATotalOrAPathIsNotEmpty) {
    SceneDocument withTotal;
    withTotal.scenesInFile = 1;
    EXPECT_FALSE(isDocumentEmpty(withTotal));

    SceneDocument withPath;
    withPath.filePath.assign(L"a.xml");
    EXPECT_FALSE(isDocumentEmpty(withPath));

    SceneDocument withVersion;
    withVersion.version = 1;
    EXPECT_FALSE(isDocumentEmpty(withVersion));
}

// The one conversion between document indices and vector positions: -1 and
// anything past the end name no element, whatever the width of the index.
TEST(DocumentElement, IndicesOutsideTheArrayNameNothing) {
    std::vector<int32_t> values{7, 8, 9};
    EXPECT_TRUE(isIndexOf(0, values));
    EXPECT_TRUE(isIndexOf(2, values));
    EXPECT_FALSE(isIndexOf(3, values));
    EXPECT_FALSE(isIndexOf(-1, values));
    EXPECT_FALSE(isIndexOf(int64_t{1} << 40, values));
    EXPECT_EQ(elementOrNull(values, -1), nullptr);
    EXPECT_EQ(elementOrNull(values, 3), nullptr);
    ASSERT_NE(elementOrNull(values, 1), nullptr);
    EXPECT_EQ(*elementOrNull(values, 1), 8);
    element(values, 2) = 10;
    EXPECT_EQ(values[2], 10);
    EXPECT_DEBUG_DEATH((void)element(values, 3), "isIndexOf");
}

} // namespace
} // namespace bxml
