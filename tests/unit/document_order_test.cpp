// Parents-first ordering of a scene's objects.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "document/lookup.h"
#include "document/resolve.h"
#include "tests/support/scene_documents.h"

namespace bxml {
namespace {

using testing::sceneOf;

std::string namesOf(const SceneRecord& scene) {
    std::string result;
    for (const SceneObjectRecord& o : scene.objects) {
        if (!result.empty()) result += ' ';
        result += o.name.c_str();
    }
    return result;
}

std::vector<int32_t> parentsOf(const SceneRecord& scene) {
    std::vector<int32_t> result;
    for (const SceneObjectRecord& o : scene.objects) result.push_back(o.parentIndex);
    return result;
}

std::vector<int32_t> fileIndicesOf(const SceneRecord& scene) {
    std::vector<int32_t> result;
    for (const SceneObjectRecord& o : scene.objects) result.push_back(o.fileIndex);
    return result;
}

TEST(OrderSceneObjects, ChildListedFirstComesAfterItsParent) {
    SceneDocument doc = sceneOf({{"child", "parent"}, {"parent", ""}});
    resolveReferences(doc);
    EXPECT_EQ(namesOf(doc.scenes[0]), "parent child");
    EXPECT_EQ(parentsOf(doc.scenes[0]), (std::vector<int32_t>{-1, 0}));
    EXPECT_EQ(fileIndicesOf(doc.scenes[0]), (std::vector<int32_t>{1, 0}));
}

TEST(OrderSceneObjects, RootsInFileOrderThenDepthFirstWithSiblingsInFileOrder) {
    // Trees: R1 -> {b, a}, b -> {c}; R2 alone. R2 is the first root in the file.
    SceneDocument doc = sceneOf({{"c", "b"}, {"b", "R1"}, {"R2", ""}, {"a", "R1"}, {"R1", ""}});
    resolveReferences(doc);
    const SceneRecord& scene = doc.scenes[0];
    EXPECT_EQ(namesOf(scene), "R2 R1 b c a");
    EXPECT_EQ(parentsOf(scene), (std::vector<int32_t>{-1, -1, 1, 2, 1}));
    EXPECT_EQ(fileIndicesOf(scene), (std::vector<int32_t>{2, 4, 1, 0, 3}));
}

TEST(OrderSceneObjects, SelfParentIsARootAndPointsAtItselfAgain) {
    SceneDocument doc = sceneOf({{"kid", "me"}, {"me", "me"}});
    resolveReferences(doc);
    EXPECT_EQ(namesOf(doc.scenes[0]), "me kid");
    EXPECT_EQ(parentsOf(doc.scenes[0]), (std::vector<int32_t>{0, 0}));
}

TEST(OrderSceneObjects, ParentCyclesComeFirstInFileOrder) {
    SceneDocument doc = sceneOf({{"R", ""}, {"A", "B"}, {"C", "R"}, {"B", "A"}, {"D", "B"}});
    resolveReferences(doc);
    const SceneRecord& scene = doc.scenes[0];
    EXPECT_EQ(namesOf(scene), "A B D R C");
    EXPECT_EQ(parentsOf(scene), (std::vector<int32_t>{1, 0, 1, -1, 3}));
}

TEST(OrderSceneObjects, SingleObjectIsNotTouched) {
    SceneRecord scene;
    scene.objects.resize(1);
    scene.objects[0].name.assign("only");
    scene.objects[0].parentName.assign("only");
    scene.objects[0].parentIndex = 0;
    orderSceneObjects(scene);
    EXPECT_EQ(scene.objects[0].fileIndex, -1);
    EXPECT_EQ(scene.objects[0].parentIndex, 0);

    SceneRecord empty;
    orderSceneObjects(empty);
    EXPECT_TRUE(empty.objects.empty());
}

TEST(OrderSceneObjects, EmptyParentNameKeepsItsIndexAndOutOfRangeParentIsUnreached) {
    SceneRecord scene;
    scene.objects.resize(3);
    scene.objects[0].name.assign("root");
    scene.objects[1].name.assign("far");
    scene.objects[1].parentIndex = 99;
    scene.objects[2].name.assign("kid");
    scene.objects[2].parentIndex = 0;
    orderSceneObjects(scene);
    EXPECT_EQ(namesOf(scene), "far root kid");
    // Without a parent name nothing is re-resolved: the indices are the old ones.
    EXPECT_EQ(parentsOf(scene), (std::vector<int32_t>{99, -1, 0}));
}

TEST(OrderSceneObjects, ParentsAreReResolvedByNameInTheNewOrder) {
    // Two objects are called "P". The child's tree parent is the first of them in
    // file order, but after ordering the other one comes first and the name
    // lookup finds that one.
    SceneDocument doc = sceneOf({{"P", "Q"}, {"P", ""}, {"Q", ""}, {"child", "P"}});
    resolveReferences(doc);
    const SceneRecord& scene = doc.scenes[0];
    EXPECT_EQ(fileIndicesOf(scene), (std::vector<int32_t>{1, 2, 0, 3}));
    EXPECT_EQ(parentsOf(scene), (std::vector<int32_t>{-1, -1, 1, 0}));
}

TEST(OrderSceneObjects, OtherResolvedFieldsTravelWithTheirObject) {
    SceneRecord scene;
    scene.objects.resize(2);
    scene.objects[0].name.assign("child");
    scene.objects[0].parentName.assign("parent");
    scene.objects[0].parentIndex = 1;
    scene.objects[0].targetIndex = 5;
    scene.objects[0].skeletonIndex = 6;
    scene.objects[0].rootNodeIndex = 7;
    scene.objects[0].boneNodeIndex = 8;
    scene.objects[0].position = {1, 2, 3};
    scene.objects[1].name.assign("parent");
    orderSceneObjects(scene);
    const SceneObjectRecord& moved = scene.objects[1];
    EXPECT_STREQ(moved.name.c_str(), "child");
    EXPECT_EQ(moved.targetIndex, 5);
    EXPECT_EQ(moved.skeletonIndex, 6);
    EXPECT_EQ(moved.rootNodeIndex, 7);
    EXPECT_EQ(moved.boneNodeIndex, 8);
    EXPECT_EQ(moved.position.z, 3.0f);
}

TEST(OrderSceneObjects, HundredThousandDeepChainOrdersWithoutRecursion) {
    // Listed deepest first, so every object moves: n{i} is the parent of n{i+1}.
    constexpr int DEPTH = 100000;
    SceneDocument doc;
    doc.scenes.resize(1);
    std::vector<SceneObjectRecord>& objects = doc.scenes[0].objects;
    objects.resize(DEPTH);
    for (int i = 0; i < DEPTH; ++i) {
        const int level = DEPTH - 1 - i;
        objects[static_cast<std::size_t>(i)].name.assign(("n" + std::to_string(level)).c_str());
        if (level > 0)
            objects[static_cast<std::size_t>(i)].parentName.assign(("n" + std::to_string(level - 1)).c_str());
    }
    resolveReferences(doc);
    for (int k = 0; k < DEPTH; ++k) {
        const SceneObjectRecord& o = objects[static_cast<std::size_t>(k)];
        ASSERT_STREQ(o.name.c_str(), ("n" + std::to_string(k)).c_str());
        ASSERT_EQ(o.parentIndex, k - 1);
        ASSERT_EQ(o.fileIndex, DEPTH - 1 - k);
    }
}

TEST(OrderAllScenes, EveryScenePutsParentsFirst) {
    SceneDocument doc;
    doc.scenes.resize(2);
    for (SceneRecord& scene : doc.scenes) {
        scene.objects.resize(2);
        scene.objects[0].name.assign("b");
        scene.objects[0].parentIndex = 1;
        scene.objects[1].name.assign("a");
    }
    orderAllScenes(doc);
    EXPECT_EQ(namesOf(doc.scenes[0]), "a b");
    EXPECT_EQ(namesOf(doc.scenes[1]), "a b");
}

} // namespace
} // namespace bxml
