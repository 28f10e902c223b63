// Name lookups, bone-link lookup, the material uv-set test and the name index.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "document/lookup.h"
#include "document/name_index.h"
#include "document/storage.h"

namespace bxml {
namespace {

// The first position whose name equals name, by a plain scan: what a name
// index must answer. An empty name is never looked up.
template <class T>
int32_t scanFor(const std::vector<T>& records, const std::string& name) {
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!name.empty() && name == records[i].name.c_str()) return static_cast<int32_t>(i);
    }
    return -1;
}

// Fills the array with records named "", "alpha", "dup", "Dup", "dup" and checks
// the lookup rules every lookup shares.
template <class T>
void expectLookupRules(std::vector<T>& records, Name T::*field, const std::function<int32_t(const char*)>& lookup) {
    const char* names[] = {"", "alpha", "dup", "Dup", "dup"};
    records.assign(5, T{});
    for (std::size_t i = 0; i < 5; ++i) (records[i].*field).assign(names[i]);

    EXPECT_EQ(lookup("alpha"), 1);
    EXPECT_EQ(lookup("dup"), 2) << "first match wins";
    EXPECT_EQ(lookup("Dup"), 3) << "case-sensitive";
    EXPECT_EQ(lookup("DUP"), -1);
    EXPECT_EQ(lookup("alph"), -1);
    EXPECT_EQ(lookup("alphabet"), -1);
    EXPECT_EQ(lookup(""), -1) << "an empty name is never looked up";
    EXPECT_EQ(lookup(nullptr), -1);
    records.clear();
    EXPECT_EQ(lookup("alpha"), -1);
}

TEST(DocumentLookup, NestedArraysFindFirstExactMatch) {
    SkeletonRecord skeleton;
    expectLookupRules<BoneRecord>(skeleton.bones, &BoneRecord::name,
                                  [&](const char* n) { return findBoneByName(skeleton, n); });
    SceneRecord scene;
    expectLookupRules<SceneObjectRecord>(scene.objects, &SceneObjectRecord::name,
                                         [&](const char* n) { return findObjectByName(scene, n); });
}

TEST(DocumentLookup, LookupDoesNotMatchOnPrefixOfLongName) {
    SkeletonRecord skeleton;
    ASSERT_EQ(allocate(skeleton.bones, 1), 1);
    const std::string longName(300, 'n');
    skeleton.bones[0].name.assign(longName.c_str());
    EXPECT_EQ(findBoneByName(skeleton, longName.c_str()), -1) << "stored name is cut at 255";
    EXPECT_EQ(findBoneByName(skeleton, std::string(255, 'n').c_str()), 0);
}

TEST(DocumentLookup, RootBoneLookupSkipsBonesWithParents) {
    SkeletonRecord skeleton;
    skeleton.bones.resize(3);
    skeleton.bones[0].name.assign("S");
    skeleton.bones[0].parentIndex = 1;
    skeleton.bones[1].name.assign("x");
    skeleton.bones[2].name.assign("S");
    EXPECT_EQ(findRootBoneByName(skeleton, "S"), 2);
    EXPECT_EQ(findBoneByName(skeleton, "S"), 0);
    skeleton.bones[2].parentIndex = 0;
    EXPECT_EQ(findRootBoneByName(skeleton, "S"), -1);
    EXPECT_EQ(findRootBoneByName(skeleton, "x"), 1);
    EXPECT_EQ(findRootBoneByName(skeleton, ""), -1);
}

GeometryRecord geometryWithLinkIndices(std::initializer_list<int32_t> indices) {
    GeometryRecord geometry;
    for (int32_t index : indices) {
        BoneLinkRecord link;
        link.index = index;
        link.name.assign(("bone" + std::to_string(index)).c_str());
        geometry.links.push_back(link);
    }
    return geometry;
}

TEST(DocumentLookup, BoneLinkInIndexOrderIsFoundAtItsPosition) {
    GeometryRecord geometry = geometryWithLinkIndices({0, 1, 2});
    for (int32_t i = 0; i < 3; ++i)
        EXPECT_EQ(findBoneLinkByIndex(geometry, i), &geometry.links[static_cast<std::size_t>(i)]);
    EXPECT_EQ(findBoneLinkByIndex(geometry, 3), nullptr);
    EXPECT_EQ(findBoneLinkByIndex(geometry, -1), nullptr);
}

TEST(DocumentLookup, BoneLinkOutOfOrderIsFoundByScanning) {
    GeometryRecord geometry = geometryWithLinkIndices({7, 2, 0, 2});
    EXPECT_EQ(findBoneLinkByIndex(geometry, 7), &geometry.links[0]);
    EXPECT_EQ(findBoneLinkByIndex(geometry, 0), &geometry.links[2]);
    EXPECT_EQ(findBoneLinkByIndex(geometry, 2), &geometry.links[1]) << "first link with that index";
    EXPECT_EQ(findBoneLinkByIndex(geometry, 1), nullptr);
}

TEST(DocumentLookup, BoneLinkFastPathNeedsMatchingIndex) {
    // Position 1 holds index 5, so link index 1 must not be taken from there.
    GeometryRecord geometry = geometryWithLinkIndices({0, 5, 1});
    EXPECT_EQ(findBoneLinkByIndex(geometry, 1), &geometry.links[2]);
    EXPECT_EQ(findBoneLinkByIndex(GeometryRecord{}, 0), nullptr);
}

TEST(DocumentLookup, MaterialUsesUvSetComparesFirstSlotExactly) {
    SceneDocument doc;
    EXPECT_EQ(materialUsesUvSet(doc, 0, "UVMap"), 0) << "no materials";
    ASSERT_EQ(allocate(doc.materials, 2), 1);
    doc.materials[0].slots[0].uvSetName.assign("UVMap");
    doc.materials[1].slots[1].uvSetName.assign("Other");

    EXPECT_EQ(materialUsesUvSet(doc, 0, "UVMap"), 1);
    EXPECT_EQ(materialUsesUvSet(doc, 0, "uvmap"), 0);
    EXPECT_EQ(materialUsesUvSet(doc, 0, "UVMap2"), 0);
    EXPECT_EQ(materialUsesUvSet(doc, 0, ""), 0);
    EXPECT_EQ(materialUsesUvSet(doc, 0, nullptr), 0);
    EXPECT_EQ(materialUsesUvSet(doc, -1, "UVMap"), 0);
    EXPECT_EQ(materialUsesUvSet(doc, 2, "UVMap"), 0);
    EXPECT_EQ(materialUsesUvSet(doc, 1, "Other"), 0) << "only the first slot counts";
    EXPECT_EQ(materialUsesUvSet(doc, 1, ""), 0) << "empty first slot never matches";
}

TEST(NameIndex, LargeArrayGivesFirstMatchLikeAScan) {
    std::vector<LightRecord> lights(40);
    for (std::size_t i = 0; i < lights.size(); ++i) {
        lights[i].name.assign(("light" + std::to_string(i % 13)).c_str());
    }
    lights[5].name.assign("");
    lights[20].name.assign("");
    const NameIndex<LightRecord> index(lights, &LightRecord::name);
    for (int k = 0; k < 15; ++k) {
        const std::string name = "light" + std::to_string(k);
        EXPECT_EQ(index.find(name.c_str()), scanFor(lights, name)) << name;
    }
    EXPECT_EQ(index.find("light5"), 18) << "position 5 is empty, so 5 + 13";
    EXPECT_EQ(index.find(""), -1);
    EXPECT_EQ(index.find(nullptr), -1);
    EXPECT_EQ(index.find("LIGHT1"), -1);
}

TEST(NameIndex, ManyNamesWithRepeatsAndGapsGiveTheScansAnswer) {
    // 20,000 records over 6,000 names (so most names repeat), one in ten
    // empty; looked up: every name, names that differ by one character or in
    // case, and absent ones.
    std::mt19937 random(11);
    std::vector<BoneRecord> bones(20000);
    for (BoneRecord& bone : bones) {
        const unsigned k = random() % 6000;
        bone.name.assign(k % 10 == 0 ? "" : ("Bone_" + std::to_string(k)).c_str());
    }
    const NameIndex<BoneRecord> index(bones, &BoneRecord::name);
    for (unsigned k = 0; k < 6500; ++k) {
        for (const std::string& name :
             {"Bone_" + std::to_string(k), "bone_" + std::to_string(k), "Bone_" + std::to_string(k) + "x"}) {
            ASSERT_EQ(index.find(name.c_str()), scanFor(bones, name)) << name;
        }
    }
}

TEST(NameIndex, SmallArrayAndUnbuiltIndexFollowTheSameRules) {
    std::vector<BoneRecord> bones(3);
    bones[0].name.assign("a");
    bones[2].name.assign("a");
    const NameIndex<BoneRecord> index(bones, &BoneRecord::name);
    EXPECT_EQ(index.find("a"), 0);
    EXPECT_EQ(index.find(""), -1);
    EXPECT_EQ(NameIndex<BoneRecord>().find("a"), -1);
}

} // namespace
} // namespace bxml
