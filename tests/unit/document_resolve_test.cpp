// The resolution pass: names become indices, face materials are range-checked,
// and every scene's objects end parents first.
#include <gtest/gtest.h>

#include <string>

#include "document/lookup.h"
#include "document/resolve.h"
#include "document/storage.h"

namespace bxml {
namespace {

SceneObjectRecord makeObject(const char* name, const char* type = "", const char* parent = "") {
    SceneObjectRecord object;
    object.name.assign(name);
    object.type.assign(type);
    object.parentName.assign(parent);
    return object;
}

BoneRecord makeBone(const char* name, const char* parent, int32_t nodeIndex) {
    BoneRecord bone;
    bone.name.assign(name);
    bone.parentName.assign(parent);
    bone.nodeIndex = nodeIndex;
    return bone;
}

// Skeleton "Rig": root bone "Rig" (node 10), "hip" under it (node 11),
// "leg" under "hip" (node 12).
void addRig(SceneDocument& doc) {
    SkeletonRecord rig;
    rig.name.assign("Rig");
    rig.index = countOf(doc.skeletons);
    rig.bones.push_back(makeBone("Rig", "", 10));
    rig.bones.push_back(makeBone("hip", "Rig", 11));
    rig.bones.push_back(makeBone("leg", "hip", 12));
    doc.skeletons.push_back(rig);
}

const SceneObjectRecord& objectNamed(const SceneDocument& doc, const char* name) {
    const int32_t i = findObjectByName(doc.scenes[0], name);
    EXPECT_GE(i, 0) << name;
    return doc.scenes[0].objects[static_cast<std::size_t>(i < 0 ? 0 : i)];
}

TEST(ResolveReferences, BoneParentsAreFoundInTheSameSkeleton) {
    SceneDocument doc;
    addRig(doc);
    doc.skeletons[0].bones.push_back(makeBone("stray", "nowhere", 13));
    BoneRecord loose = makeBone("loose", "", 14);
    loose.parentIndex = 7;
    doc.skeletons[0].bones.push_back(loose);
    // A second skeleton with a bone named like one of Rig's must not be searched.
    SkeletonRecord other;
    other.name.assign("Other");
    other.bones.push_back(makeBone("Other", "", 20));
    other.bones.push_back(makeBone("tail", "hip", 21));
    doc.skeletons.push_back(other);

    resolveReferences(doc);
    const std::vector<BoneRecord>& bones = doc.skeletons[0].bones;
    EXPECT_EQ(bones[0].parentIndex, -1);
    EXPECT_EQ(bones[1].parentIndex, 0) << "parent named like the skeleton is its root bone";
    EXPECT_EQ(bones[2].parentIndex, 1);
    EXPECT_EQ(bones[3].parentIndex, -1);
    EXPECT_EQ(bones[4].parentIndex, 7) << "empty parent name leaves the index";
    EXPECT_EQ(doc.skeletons[1].bones[1].parentIndex, -1);
}

TEST(ResolveReferences, BoneNodeTextureAndMaterialSlotNamesBecomeIndices) {
    SceneDocument doc;
    doc.boneNodes.resize(3);
    doc.boneNodes[0].path.assign("Rig::Rig");
    doc.boneNodes[1].path.assign("Rig::hip");
    doc.boneNodes[1].parentPath.assign("Rig::Rig");
    doc.boneNodes[2].path.assign("Rig::leg");
    doc.boneNodes[2].parentPath.assign("Rig::HIP");
    doc.boneNodes[0].parentNodeIndex = 5;

    doc.images.resize(2);
    doc.images[0].name.assign("wood.png");
    doc.images[1].name.assign("rock.png");
    doc.textures.resize(3);
    doc.textures[0].name.assign("Wood");
    doc.textures[0].imageName.assign("rock.png");
    doc.textures[1].name.assign("Rock");
    doc.textures[1].imageName.assign("missing.png");
    doc.textures[2].name.assign("Bump");

    doc.materials.resize(1);
    doc.materials[0].slots[0].textureName.assign("Rock");
    doc.materials[0].slots[1].textureIndex = 9;
    doc.materials[0].slots[2].textureName.assign("Bump");

    resolveReferences(doc);
    EXPECT_EQ(doc.boneNodes[0].parentNodeIndex, 5);
    EXPECT_EQ(doc.boneNodes[1].parentNodeIndex, 0);
    EXPECT_EQ(doc.boneNodes[2].parentNodeIndex, -1) << "paths are case-sensitive";
    EXPECT_EQ(doc.textures[0].imageIndex, 1);
    EXPECT_EQ(doc.textures[1].imageIndex, -1);
    EXPECT_EQ(doc.textures[2].imageIndex, -1);
    EXPECT_EQ(doc.materials[0].slots[0].textureIndex, 1);
    EXPECT_EQ(doc.materials[0].slots[1].textureIndex, 9);
    EXPECT_EQ(doc.materials[0].slots[2].textureIndex, 2);
}

TEST(ResolveReferences, ObjectParentedToSkeletonObjectGetsSkeletonAndRootNode) {
    SceneDocument doc;
    addRig(doc);
    doc.geometries.resize(2);
    doc.geometries[1].name.assign("Body");
    doc.scenes.resize(1);
    doc.scenes[0].objects.push_back(makeObject("Rig", "skeleton"));
    SceneObjectRecord body = makeObject("Body", "mesh", "Rig");
    body.boneName.assign("leg");
    doc.scenes[0].objects.push_back(body);

    resolveReferences(doc);
    const SceneObjectRecord& rig = objectNamed(doc, "Rig");
    const SceneObjectRecord& mesh = objectNamed(doc, "Body");
    EXPECT_EQ(rig.targetIndex, 0);
    EXPECT_EQ(rig.skeletonIndex, -1) << "a skeleton object names no skeleton of its own";
    EXPECT_EQ(mesh.parentIndex, 0);
    EXPECT_EQ(mesh.skeletonIndex, 0);
    EXPECT_EQ(mesh.rootNodeIndex, 10);
    EXPECT_EQ(mesh.boneNodeIndex, 12);
    EXPECT_EQ(mesh.targetIndex, 1);
}

TEST(ResolveReferences, SkeletonNameWinsOverParentName) {
    SceneDocument doc;
    addRig(doc);
    SkeletonRecord second;
    second.name.assign("Second");
    second.bones.push_back(makeBone("Second", "", 30));
    doc.skeletons.push_back(second);
    doc.scenes.resize(1);
    SceneObjectRecord object = makeObject("Thing", "empty", "Rig");
    object.skeletonName.assign("Second");
    object.boneName.assign("hip");
    doc.scenes[0].objects.push_back(object);

    resolveReferences(doc);
    const SceneObjectRecord& thing = doc.scenes[0].objects[0];
    EXPECT_EQ(thing.skeletonIndex, 1);
    EXPECT_EQ(thing.rootNodeIndex, 30);
    EXPECT_EQ(thing.boneNodeIndex, -1) << "bone is looked up in the chosen skeleton only";
    EXPECT_EQ(thing.parentIndex, -1);
}

TEST(ResolveReferences, RootNodeNeedsARootBoneNamedLikeTheSkeleton) {
    SceneDocument doc;
    SkeletonRecord skeleton;
    skeleton.name.assign("S");
    skeleton.bones.push_back(makeBone("S", "x", 40)); // named like the skeleton, but has a parent
    skeleton.bones.push_back(makeBone("x", "", 41));
    doc.skeletons.push_back(skeleton);
    doc.scenes.resize(1);
    SceneObjectRecord object = makeObject("o", "", "");
    object.skeletonName.assign("S");
    object.boneName.assign("x");
    doc.scenes[0].objects.push_back(object);

    resolveReferences(doc);
    const SceneObjectRecord& o = doc.scenes[0].objects[0];
    EXPECT_EQ(o.skeletonIndex, 0);
    EXPECT_EQ(o.rootNodeIndex, -1);
    EXPECT_EQ(o.boneNodeIndex, 41);
}

TEST(ResolveReferences, SkeletonIndexIsOverwrittenEvenWhenNothingIsFound) {
    SceneDocument doc;
    doc.scenes.resize(1);
    SceneObjectRecord object = makeObject("o", "", "");
    object.skeletonIndex = 3;
    object.boneName.assign("hip");
    object.boneNodeIndex = 8;
    object.rootNodeIndex = 9;
    doc.scenes[0].objects.push_back(object);

    resolveReferences(doc);
    const SceneObjectRecord& o = doc.scenes[0].objects[0];
    EXPECT_EQ(o.skeletonIndex, -1);
    EXPECT_EQ(o.boneNodeIndex, 8);
    EXPECT_EQ(o.rootNodeIndex, 9);
}

TEST(ResolveReferences, TargetIsFoundByObjectNameAndCaseInsensitiveType) {
    SceneDocument doc;
    doc.lights.resize(2);
    doc.lights[1].name.assign("Lamp");
    doc.cameras.resize(1);
    doc.cameras[0].name.assign("Cam");
    doc.geometries.resize(3);
    doc.geometries[1].name.assign("Text");
    doc.geometries[2].name.assign("Cube");
    addRig(doc);
    doc.scenes.resize(1);
    std::vector<SceneObjectRecord>& objects = doc.scenes[0].objects;
    objects.push_back(makeObject("Lamp", "LIGHT"));
    objects.push_back(makeObject("Cam", "Camera"));
    objects.push_back(makeObject("Text", "fOnT"));
    objects.push_back(makeObject("Cube", "Mesh"));
    objects.push_back(makeObject("Rig", "SKELETON"));
    SceneObjectRecord other = makeObject("Cube", "empty");
    other.targetIndex = 42;
    objects.push_back(other);
    objects.push_back(makeObject("Lamp", "lamp"));
    objects.push_back(makeObject("lamp", "light"));

    resolveReferences(doc);
    EXPECT_EQ(objects[0].targetIndex, 1);
    EXPECT_EQ(objects[1].targetIndex, 0);
    EXPECT_EQ(objects[2].targetIndex, 1);
    EXPECT_EQ(objects[3].targetIndex, 2);
    EXPECT_EQ(objects[4].targetIndex, 0);
    EXPECT_EQ(objects[5].targetIndex, 42) << "unknown type keeps its index";
    EXPECT_EQ(objects[6].targetIndex, -1) << "\"lamp\" is not a type word";
    EXPECT_EQ(objects[7].targetIndex, -1) << "object names stay case-sensitive";
}

TEST(ResolveReferences, DuplicateNamesResolveToTheFirstInLargeArrays) {
    SceneDocument doc;
    doc.lights.resize(30);
    for (std::size_t i = 0; i < doc.lights.size(); ++i) {
        doc.lights[i].name.assign(("L" + std::to_string(i)).c_str());
    }
    doc.lights[12].name.assign("dup");
    doc.lights[25].name.assign("dup");
    doc.scenes.resize(1);
    std::vector<SceneObjectRecord>& objects = doc.scenes[0].objects;
    for (int i = 0; i < 20; ++i) objects.push_back(makeObject(("O" + std::to_string(i)).c_str()));
    objects[3].name.assign("P");
    objects[15].name.assign("P");
    objects.push_back(makeObject("dup", "light", "P"));

    resolveReferences(doc);
    const SceneObjectRecord& dup = objectNamed(doc, "dup");
    EXPECT_EQ(dup.targetIndex, 12);
    ASSERT_GE(dup.parentIndex, 0);
    EXPECT_EQ(objects[static_cast<std::size_t>(dup.parentIndex)].fileIndex, 3);
}

TEST(ResolveReferences, ObjectWithEmptyNameKeepsItsTarget) {
    SceneDocument doc;
    doc.lights.resize(1); // a light with an empty name
    doc.scenes.resize(1);
    doc.scenes[0].objects.push_back(makeObject("", "light"));
    doc.scenes[0].objects[0].targetIndex = 7;
    resolveReferences(doc);
    EXPECT_EQ(doc.scenes[0].objects[0].targetIndex, 7);
}

std::vector<int32_t> faceMaterials(const GeometryRecord& g) {
    std::vector<int32_t> result;
    for (const FaceRecord& f : g.faces) result.push_back(f.materialIndex);
    return result;
}

GeometryRecord geometryWithFaceMaterials(std::initializer_list<int32_t> indices) {
    GeometryRecord geometry;
    for (int32_t index : indices) {
        FaceRecord face;
        face.materialIndex = index;
        geometry.faces.push_back(face);
    }
    return geometry;
}

TEST(ResolveReferences, WithoutMaterialsEveryFaceHasNone) {
    SceneDocument doc;
    doc.geometries.push_back(geometryWithFaceMaterials({0, 3, -1, -5}));
    doc.geometries.push_back(geometryWithFaceMaterials({1}));
    resolveReferences(doc);
    EXPECT_EQ(faceMaterials(doc.geometries[0]), (std::vector<int32_t>{-1, -1, -1, -1}));
    EXPECT_EQ(faceMaterials(doc.geometries[1]), (std::vector<int32_t>{-1}));
}

TEST(ResolveReferences, FaceMaterialsOutsideTheMaterialsBecomeNone) {
    SceneDocument doc;
    doc.materials.resize(2);
    doc.geometries.push_back(geometryWithFaceMaterials({0, 1, 2, -1, -2, 7, INT32_MIN, INT32_MAX}));
    resolveReferences(doc);
    EXPECT_EQ(faceMaterials(doc.geometries[0]), (std::vector<int32_t>{0, 1, -1, -1, -1, -1, -1, -1}));
}

TEST(ResolveReferences, EmptyDocumentStaysEmpty) {
    SceneDocument doc;
    resolveReferences(doc);
    EXPECT_TRUE(isDocumentEmpty(doc));
}

TEST(ResolveReferences, ScenesAreResolvedAndOrderedIndependently) {
    SceneDocument doc;
    doc.scenes.resize(2);
    doc.scenes[0].objects.push_back(makeObject("child", "", "parent"));
    doc.scenes[0].objects.push_back(makeObject("parent"));
    // The second scene has no "parent": its child finds nothing.
    doc.scenes[1].objects.push_back(makeObject("child", "", "parent"));
    doc.scenes[1].objects.push_back(makeObject("other"));

    resolveReferences(doc);
    EXPECT_STREQ(doc.scenes[0].objects[0].name.c_str(), "parent");
    EXPECT_EQ(doc.scenes[0].objects[1].parentIndex, 0);
    EXPECT_STREQ(doc.scenes[1].objects[0].name.c_str(), "child");
    EXPECT_EQ(doc.scenes[1].objects[0].parentIndex, -1);
}

} // namespace
} // namespace bxml

TEST(ResolveBoneNodes, ParentPathFoundAtOrAfterTheNodeStaysNone) {
    using namespace bxml;
    SceneDocument doc;
    ASSERT_EQ(allocate(doc.boneNodes, 3), 1);
    doc.boneNodes[0].path.assign("S::S");
    doc.boneNodes[1].path.assign("::");
    doc.boneNodes[1].parentPath.assign("::"); // itself: an unnamed bone of an unnamed skeleton
    doc.boneNodes[2].path.assign("S::A");
    doc.boneNodes[2].parentPath.assign("S::S");
    resolveReferences(doc);
    EXPECT_EQ(doc.boneNodes[1].parentNodeIndex, -1);
    EXPECT_EQ(doc.boneNodes[2].parentNodeIndex, 0);
}
