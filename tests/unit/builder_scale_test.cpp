// The axis option and the scale pass over the finished host model.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "builder/scale_pass.h"
#include "host/reference_host.h"

using namespace bxml;
using namespace bxml::host;

TEST(AxisOption, SwapModelOneSwapsTheHostAndTurnsUpToY) {
    ReferenceScene scene;
    ImportOptions options;
    options.swapModel = 1;
    Vector3 up = applyAxisOption(options, &scene);
    EXPECT_EQ(scene.countCalls("SetAxisSwap"), 1);
    EXPECT_EQ(scene.axisSwap, 1);
    EXPECT_EQ(up.y, 1.0f);
    EXPECT_EQ(up.z, 0.0f);

    for (int32_t off : {0, 2, -1}) {
        ReferenceScene other;
        options.swapModel = off;
        up = applyAxisOption(options, &other);
        EXPECT_EQ(other.countCalls("SetAxisSwap"), 0) << off;
        EXPECT_EQ(up.z, 1.0f) << off;
        EXPECT_EQ(up.y, 0.0f) << off;
    }
}

TEST(ScalePass, RunsForEveryScaleButExactlyOne) {
    EXPECT_FALSE(needsScalePass(1.0f));
    EXPECT_TRUE(needsScalePass(std::nextafter(1.0f, 2.0f)));
    EXPECT_TRUE(needsScalePass(2.0f));
    EXPECT_TRUE(needsScalePass(std::numeric_limits<float>::quiet_NaN()));
}

TEST(ScalePass, ScalesEveryPositionAndNothingElse) {
    ReferenceScene scene;
    HostAnimation* animation = scene.AddAnimation(HostString("Walk"));
    ASSERT_NE(animation, nullptr);
    ASSERT_EQ(animation->SetTrackCount(2), 1);
    HostAnimationTrack* track = animation->AddPositionKeys(1, 2, 0);
    ASSERT_NE(track, nullptr);
    track->positionKeys[1] = {0.5f, {1, 2, 3}};
    ASSERT_NE(animation->AddScaleKeys(1, 1), nullptr);
    track->scaleKeys[0].scale = {3, 3, 3};
    ASSERT_NE(animation->AddRotationKeys(1, 1), nullptr);
    track->rotationKeys[0].rotation = {0, 0, 0.6f, 0.8f};

    HostBone* root = scene.AddBone(HostString("root"), -1);
    HostBone* child = scene.AddBone(HostString("child"), -1);
    root->transform.position = {1, 0, 0};
    child->parentIndex = 0;
    child->transform.position = {0, -2, 0};
    child->transform.scale = {5, 5, 5};
    ASSERT_EQ(scene.SetVertexCount(2), 1);
    scene.vertices[1]->position = {0, 0, 4};
    RefLight& light = scene.seedLight("lamp");
    light.transform.position = {1, 1, 1};
    light.distances[0] = 10.0f;
    light.distances[1] = 20.0f;
    light.intensity = 3.0f;
    light.outerAngle = 45.0f;
    RefCamera& camera = scene.seedCamera();
    camera.transform.position = {-3, 0, 0};
    camera.transform.rotation = {0, 0.6f, 0, 0.8f};

    scaleModel(&scene, 2.0f);

    EXPECT_EQ(track->positionKeys[1].position.x, 2.0f);
    EXPECT_EQ(track->positionKeys[1].position.z, 6.0f);
    EXPECT_EQ(track->positionKeys[1].time, 0.5f);
    EXPECT_EQ(track->scaleKeys[0].scale.x, 3.0f);
    EXPECT_EQ(track->rotationKeys[0].rotation.z, 0.6f);
    EXPECT_EQ(root->transform.position.x, 2.0f);
    EXPECT_EQ(child->transform.position.y, -4.0f);
    EXPECT_EQ(child->transform.scale.x, 5.0f);
    EXPECT_EQ(scene.vertices[1]->position.z, 8.0f);
    EXPECT_EQ(light.transform.position.y, 2.0f);
    EXPECT_EQ(light.distances[0], 20.0f);
    EXPECT_EQ(light.distances[1], 40.0f);
    EXPECT_EQ(light.intensity, 3.0f);
    EXPECT_EQ(light.outerAngle, 45.0f);
    EXPECT_EQ(camera.transform.position.x, -6.0f);
    EXPECT_EQ(camera.transform.rotation.y, 0.6f);
}

TEST(ScalePass, EmptyOrMissingListsAreSkipped) {
    ReferenceScene scene;
    ASSERT_NE(scene.AddAnimation(HostString("NoTracks")), nullptr);
    scaleModel(&scene, 3.0f);
    scaleModel(nullptr, 3.0f);
    EXPECT_EQ(scene.animationStore.at(0)->trackCount, 0);
}
