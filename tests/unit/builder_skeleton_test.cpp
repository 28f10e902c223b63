// Bind-relative key frames and the aiming of lights and cameras.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder/bones_builder.h"
#include "builder/lights_builder.h"
#include "document/resolve_bones.h"
#include "document/storage.h"
#include "host/reference_host.h"

using namespace bxml;
using namespace bxml::host;

namespace {

constexpr float H = 0.70710677f; // sin 45 degrees

// `rigs` skeletons named "Rig", each with bones "Rig" (its root) and "Arm",
// one bone node each (rig r's bones are nodes 2r and 2r + 1); node 1 carries
// the given bind pose.
void makeRig(SceneDocument& doc, Vector3 position, Quaternion rotation, Vector3 scale, int rigs = 1) {
    ASSERT_EQ(allocateSkeletons(doc.skeletons, rigs), 1);
    ASSERT_EQ(allocate(doc.boneNodes, 2 * rigs), 1);
    for (int r = 0; r < rigs; ++r) {
        SkeletonRecord& rig = doc.skeletons[static_cast<std::size_t>(r)];
        rig.name.assign("Rig");
        ASSERT_EQ(allocate(rig.bones, 2), 1);
        rig.bones[0].name.assign("Rig");
        rig.bones[1].name.assign("Arm");
        for (int i = 0; i < 2; ++i) {
            BoneNodeRecord& node = doc.boneNodes[static_cast<std::size_t>(2 * r + i)];
            node.skeletonIndex = r;
            node.boneIndex = i;
            rig.bones[static_cast<std::size_t>(i)].nodeIndex = 2 * r + i;
        }
    }
    doc.boneNodes[1].position = position;
    doc.boneNodes[1].rotation = rotation;
    doc.boneNodes[1].scale = scale;
}

// Animation "Walk" with one skeleton track and one node track of `frames`
// frames, every frame holding the given pose; its names resolved.
AnimationNodeTrack& makeAnimation(SceneDocument& doc, const char* skeleton, const char* node, int frames,
                                  Vector3 position, Quaternion rotation, Vector3 scale) {
    EXPECT_EQ(allocate(doc.animations, 1), 1);
    AnimationRecord& a = doc.animations[0];
    a.name.assign("Walk");
    EXPECT_EQ(allocate(a.skeletonTracks, 1), 1);
    a.skeletonTracks[0].skeletonName.assign(skeleton);
    EXPECT_EQ(allocate(a.skeletonTracks[0].nodes, 1), 1);
    AnimationNodeTrack& t = a.skeletonTracks[0].nodes[0];
    t.nodeName.assign(node);
    EXPECT_EQ(allocate(t.positionKeys, frames), 1);
    EXPECT_EQ(allocate(t.rotationKeys, frames), 1);
    EXPECT_EQ(allocate(t.scaleKeys, frames), 1);
    for (int k = 0; k < frames; ++k) {
        const float time = static_cast<float>(k) / 4.0f;
        t.positionKeys[static_cast<std::size_t>(k)] = {time, position};
        t.rotationKeys[static_cast<std::size_t>(k)] = {time, rotation};
        t.scaleKeys[static_cast<std::size_t>(k)] = {time, scale};
    }
    SkeletonLookups bones(doc);
    resolveAnimationTracks(doc, bones, nullptr);
    return t;
}

const HostAnimationTrack& trackOf(const ReferenceScene& scene, int i) {
    return scene.animationStore.at(0)->trackRecords.at(static_cast<std::size_t>(i));
}

void expectVector(const Vector3& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-6f);
    EXPECT_NEAR(v.y, y, 1e-6f);
    EXPECT_NEAR(v.z, z, 1e-6f);
}

} // namespace

TEST(ConvertAnimations, KeyEqualToTheBindPoseGivesTheIdentity) {
    SceneDocument doc;
    const Quaternion turn{0, 0, H, H};
    makeRig(doc, {1, 2, 3}, turn, {2, 2, 2});
    makeAnimation(doc, "Rig", "Arm", 2, {1, 2, 3}, turn, {2, 2, 2});
    ReferenceScene scene;
    ASSERT_TRUE(convertAnimations(doc, &scene));
    const HostAnimationTrack& t = trackOf(scene, 1);
    ASSERT_EQ(t.positionKeyCount, 2);
    ASSERT_EQ(t.rotationKeyCount, 2);
    ASSERT_EQ(t.scaleKeyCount, 2);
    EXPECT_EQ(t.positionKeys[1].time, 0.25f);
    expectVector(t.positionKeys[1].position, 0, 0, 0);
    EXPECT_NEAR(t.rotationKeys[1].rotation.x, 0.0f, 1e-6f);
    EXPECT_NEAR(t.rotationKeys[1].rotation.z, 0.0f, 1e-6f);
    EXPECT_NEAR(t.rotationKeys[1].rotation.w, 1.0f, 1e-6f);
    expectVector(t.scaleKeys[1].scale, 1, 1, 1);
    EXPECT_EQ(trackOf(scene, 0).positionKeyCount, 0) << "the root node has no track in the file";
}

TEST(ConvertAnimations, KeysAreExpressedInTheBindFrame) {
    SceneDocument doc;
    // Bind: 90 degrees about Z at (1, 0, 0). A key one unit further along world
    // +Y lies along the bone's own +X.
    makeRig(doc, {1, 0, 0}, {0, 0, H, H}, {1, 1, 1});
    // The key turns 90 degrees about X; turns about different axes do not
    // commute, so the order of the product shows.
    makeAnimation(doc, "Rig", "Arm", 1, {1, 1, 0}, {H, 0, 0, H}, {1, 1, 1});
    ReferenceScene scene;
    ASSERT_TRUE(convertAnimations(doc, &scene));
    const HostAnimationTrack& t = trackOf(scene, 1);
    expectVector(t.positionKeys[0].position, 1, 0, 0);
    const Quaternion r = t.rotationKeys[0].rotation; // inverse(bind) * key
    EXPECT_NEAR(r.x, 0.5f, 1e-6f);
    EXPECT_NEAR(r.y, -0.5f, 1e-6f);
    EXPECT_NEAR(r.z, -0.5f, 1e-6f);
    EXPECT_NEAR(r.w, 0.5f, 1e-6f);
}

TEST(ConvertAnimations, ZeroBindScaleComponentsLeaveTheKeyAlone) {
    SceneDocument doc;
    makeRig(doc, {0, 0, 0}, {0, 0, 0, 1}, {2, 0, 4});
    makeAnimation(doc, "Rig", "Arm", 1, {0, 0, 0}, {0, 0, 0, 1}, {4, 3, 8});
    ReferenceScene scene;
    ASSERT_TRUE(convertAnimations(doc, &scene));
    expectVector(trackOf(scene, 1).scaleKeys[0].scale, 2, 3, 2);
}

TEST(ConvertAnimations, SkeletonAndBoneNamesMatchOnlyExactly) {
    for (auto [skeleton, node] : {std::pair{"rig", "Arm"}, std::pair{"Rig", "arm"}, std::pair{"Rig ", "Arm"}}) {
        SceneDocument doc;
        makeRig(doc, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1});
        makeAnimation(doc, skeleton, node, 3, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1});
        ReferenceScene scene;
        ASSERT_TRUE(convertAnimations(doc, &scene));
        ASSERT_EQ(scene.animationStore.size(), 1u) << "the animation itself is still made";
        EXPECT_EQ(trackOf(scene, 1).positionKeyCount, 0) << skeleton << "/" << node;
        EXPECT_EQ(scene.countCalls("AddPositionKeys") + scene.countCalls("AddRotationKeys") +
                      scene.countCalls("AddScaleKeys"),
                  0);
    }
}

TEST(ConvertAnimations, OnlyTheFirstSkeletonOfANameIsAnimated) {
    SceneDocument doc;
    makeRig(doc, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, 2);
    makeAnimation(doc, "Rig", "Arm", 2, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1});
    ReferenceScene scene;
    ASSERT_TRUE(convertAnimations(doc, &scene));
    EXPECT_EQ(trackOf(scene, 1).positionKeyCount, 2);
    EXPECT_EQ(trackOf(scene, 3).positionKeyCount, 0) << "the second \"Rig\" finds no track";
}

TEST(ConvertAnimations, FrameCountIsTheLongestKeyListAndFpsDefaultsTo30) {
    SceneDocument doc;
    makeRig(doc, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1});
    AnimationNodeTrack& t = makeAnimation(doc, "Rig", "Arm", 2, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1});
    ASSERT_EQ(allocate(t.rotationKeys, 5), 1);
    doc.animations[0].length = 99.0f;
    ReferenceScene scene;
    ASSERT_TRUE(convertAnimations(doc, &scene));
    const RefAnimation& h = *scene.animationStore.at(0);
    EXPECT_EQ(h.frameCount, 5.0f);
    EXPECT_EQ(h.framesPerSecond, 30.0f);
    const std::vector<std::string> expected = {"AddAnimation(Walk)", "SetTrackCount(Walk,2)",
                                               "AddPositionKeys(Walk,1,2,0)", "AddRotationKeys(Walk,1,5)",
                                               "AddScaleKeys(Walk,1,2)"};
    EXPECT_EQ(scene.calls(), expected);

    doc.animations[0].fps = 24.0f;
    ReferenceScene again;
    ASSERT_TRUE(convertAnimations(doc, &again));
    EXPECT_EQ(again.animationStore.at(0)->framesPerSecond, 24.0f);
}

TEST(ConvertAnimations, AnimationsWithoutNodeTracksOrBoneNodesMakeNothing) {
    SceneDocument doc;
    makeRig(doc, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1});
    ASSERT_EQ(allocate(doc.animations, 1), 1);
    ASSERT_EQ(allocate(doc.animations[0].skeletonTracks, 2), 1);
    ReferenceScene scene;
    EXPECT_TRUE(convertAnimations(doc, &scene));
    EXPECT_TRUE(scene.calls().empty());

    SceneDocument noNodes;
    makeAnimation(noNodes, "Rig", "Arm", 1, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1});
    EXPECT_TRUE(convertAnimations(noNodes, &scene));
    EXPECT_TRUE(scene.calls().empty());
}

TEST(ConvertAnimations, IndicesPointingOutsideTheDocumentGiveNoKeys) {
    for (int broken = 0; broken < 3; ++broken) {
        SceneDocument doc;
        makeRig(doc, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1});
        makeAnimation(doc, "Rig", "Arm", 1, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1});
        AnimationSkeletonTrack& track = doc.animations[0].skeletonTracks[0];
        if (broken == 0) track.skeletonIndex = 1;
        if (broken == 1) track.nodes[0].boneIndex = 2;
        if (broken == 2) doc.skeletons[0].bones[1].nodeIndex = 2;
        ReferenceScene scene;
        ASSERT_TRUE(convertAnimations(doc, &scene));
        EXPECT_EQ(scene.countCalls("AddPositionKeys"), 0) << broken;
    }
}

TEST(ConvertAnimations, AHostRefusalEndsTheConversion) {
    for (const char* op : {"AddAnimation", "SetTrackCount", "AddPositionKeys", "AddRotationKeys", "AddScaleKeys"}) {
        SceneDocument doc;
        makeRig(doc, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1});
        makeAnimation(doc, "Rig", "Arm", 1, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1});
        ReferenceScene scene;
        scene.refuse(op);
        EXPECT_FALSE(convertAnimations(doc, &scene)) << op;
        EXPECT_EQ(scene.calls().back().rfind(op, 0), 0u) << op << ": nothing after the refusal";
    }
}

TEST(AimLights, SpotAndDirectionalLightsTurnRoundOmniLightsStay) {
    ReferenceScene scene;
    RefLight& spot = scene.seedLight("spot");
    spot.type = 2;
    spot.transform.position = {4, 5, 6};
    RefLight& directional = scene.seedLight("sun");
    directional.type = 1;
    directional.transform.matrix.at(0, 0) = 3.0f; // a scaled X column still aims along -Z
    RefLight& omni = scene.seedLight("bulb");
    omni.type = 0;
    omni.transform.matrix.at(0, 1) = 0.5f;
    omni.transform.axisX = {9, 9, 9};

    ASSERT_TRUE(aimLights(&scene, {0, 0, 1}));
    for (RefLight* light : {&spot, &directional}) {
        expectVector(light->transform.axisX, 1, 0, 0);
        expectVector(light->transform.axisY, 0, -1, 0);
        expectVector(light->transform.axisZ, 0, 0, -1);
        EXPECT_EQ(light->transform.matrix.at(2, 2), -1.0f);
        EXPECT_EQ(light->transform.matrix.at(0, 3), 0.0f) << "the look-at matrix holds no translation";
    }
    expectVector(spot.transform.position, 4, 5, 6);
    EXPECT_EQ(omni.transform.matrix.at(0, 1), 0.5f);
    expectVector(omni.transform.axisX, 9, 9, 9);
}

TEST(AimCameras, EveryCameraTurnsRoundWithTheGivenUp) {
    ReferenceScene scene;
    RefCamera& camera = scene.seedCamera();
    camera.transform.position = {1, 2, 3};
    ASSERT_TRUE(aimCameras(&scene, {0, 1, 0}));
    expectVector(camera.transform.axisX, -1, 0, 0);
    expectVector(camera.transform.axisY, 0, 1, 0);
    expectVector(camera.transform.axisZ, 0, 0, -1);
    expectVector(camera.transform.position, 1, 2, 3);
}

TEST(AimCameras, OnlyAMissingModelFails) {
    ReferenceScene empty;
    EXPECT_TRUE(aimCameras(&empty, {0, 0, 1}));
    EXPECT_TRUE(aimLights(&empty, {0, 0, 1}));
    EXPECT_FALSE(aimCameras(nullptr, {0, 0, 1}));
    EXPECT_FALSE(aimLights(nullptr, {0, 0, 1}));
}
