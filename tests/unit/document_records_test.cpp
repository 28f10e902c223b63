// Fixed-capacity text and the storage operations of the scene document.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

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

TEST(FixedText, NamesOfEveryLengthReadBackCutAt255Bytes) {
    // Around the inline limit, at the cut and beyond it; bytes of any value.
    for (std::size_t length :
         {std::size_t{1}, Name::INLINE_CAPACITY - 1, Name::INLINE_CAPACITY, Name::INLINE_CAPACITY + 1, std::size_t{254},
          std::size_t{255}, std::size_t{256}, std::size_t{1000}}) {
        std::string text;
        for (std::size_t i = 0; i < length; ++i) text += static_cast<char>(0x41 + (i * 7) % 180);
        Name name;
        name.assign(text.c_str());
        const std::string kept = text.substr(0, 255);
        EXPECT_EQ(std::string(name.c_str()), kept) << "length " << length;
        EXPECT_FALSE(name.empty());
        EXPECT_TRUE(name.equals(kept.c_str()));
        std::string other = kept;
        other.back() = static_cast<char>(other.back() + 1);
        EXPECT_FALSE(name.equals(other.c_str())) << "the last byte counts, length " << length;
        EXPECT_FALSE(name.equals((kept + "x").c_str()));
        Name counted;
        counted.assign(text.c_str(), length - 1);
        EXPECT_EQ(std::string(counted.c_str()), text.substr(0, std::min<std::size_t>(length - 1, 255)));
    }
    Name cutInside;
    const std::string euros = std::string(254, 'a') + "\xe2\x82\xac";
    cutInside.assign(euros.c_str());
    EXPECT_EQ(std::string(cutInside.c_str()), euros.substr(0, 255)) << "byte-wise, as the name rule says";
}

TEST(FixedText, NameCopiesAndMovesOwnTheirText) {
    const std::string longText(100, 'L');
    for (const std::string& text : {std::string("short"), longText}) {
        Name original;
        original.assign(text.c_str());
        Name copy = original;
        Name assigned;
        assigned.assign(std::string(50, 'q').c_str());
        assigned = original;
        original.assign("changed");
        EXPECT_STREQ(copy.c_str(), text.c_str());
        EXPECT_STREQ(assigned.c_str(), text.c_str());
        Name moved = std::move(copy);
        EXPECT_STREQ(moved.c_str(), text.c_str());
        EXPECT_TRUE(copy.empty()); // NOLINT(bugprone-use-after-move): a moved-from name is empty
        assigned = std::move(moved);
        EXPECT_STREQ(assigned.c_str(), text.c_str());
        const Name& same = assigned;
        assigned = same;
        EXPECT_STREQ(assigned.c_str(), text.c_str()) << "self-assignment keeps the text";
        EXPECT_FALSE(assigned.equals(original));
    }
}

TEST(FixedText, NameTakesPartOfItsOwnText) {
    for (const std::string& text : {std::string("abcdef"), std::string(60, 'x') + "tail"}) {
        Name name;
        name.assign(text.c_str());
        name.assign(name.c_str() + 2);
        EXPECT_EQ(std::string(name.c_str()), text.substr(2));
        name.assign(name.c_str(), 3);
        EXPECT_EQ(std::string(name.c_str()), text.substr(2, 3));
    }
}

TEST(FixedText, RecordsKeepLongNamesWhileTheirArrayGrows) {
    std::vector<BoneNodeRecord> nodes;
    for (int i = 0; i < 100; ++i) {
        BoneNodeRecord* node = append(nodes);
        ASSERT_NE(node, nullptr);
        node->path.assign(("Armature_with_a_long_name::bone_" + std::to_string(i)).c_str());
    }
    std::vector<BoneNodeRecord> copy = nodes;
    release(nodes);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(std::string(copy[static_cast<std::size_t>(i)].path.c_str()),
                  "Armature_with_a_long_name::bone_" + std::to_string(i));
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
