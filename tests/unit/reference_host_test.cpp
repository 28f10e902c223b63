// The reference host keeps its lists in step, logs calls and refuses on demand.
#include <gtest/gtest.h>

#include "host/reference_host.h"

using namespace bxml;
using namespace bxml::host;

TEST(ReferenceHost, ListsFollowWhatWasCreated) {
    ReferenceScene scene;
    scene.seedCamera();
    HostBone* a = scene.AddBone(HostString("A"), -1);
    HostBone* b = scene.AddBone(HostString("B"), -1);
    ASSERT_EQ(scene.boneCount, 2);
    EXPECT_EQ(scene.bones[0], a);
    EXPECT_EQ(scene.bones[1], b);
    EXPECT_EQ(scene.cameraCount, 1);
    ASSERT_EQ(scene.SetVertexCount(3), 1);
    EXPECT_EQ(scene.vertexCount, 3);
    ASSERT_NE(scene.vertices, nullptr);
    scene.vertices[2]->Update(0.0f);
    EXPECT_EQ(scene.vertexStore[2].updateCalls, 1);
}

TEST(ReferenceHost, LogsCallsInOrder) {
    ReferenceScene scene;
    scene.AddMaterial(HostString("Wood"));
    scene.EndMeshes(1);
    scene.SetAxisSwap(1);
    ASSERT_EQ(scene.calls().size(), 3u);
    EXPECT_EQ(scene.calls()[0], "AddMaterial(Wood)");
    EXPECT_EQ(scene.calls()[1], "EndMeshes(1)");
    EXPECT_EQ(scene.calls()[2], "SetAxisSwap(1)");
    EXPECT_EQ(scene.axisSwap, 1);
}

TEST(ReferenceHost, RefusesFromTheGivenCallOn) {
    ReferenceScene scene;
    scene.refuse("AddLight", 2);
    EXPECT_NE(scene.AddLight(HostString("one")), nullptr);
    EXPECT_EQ(scene.AddLight(HostString("two")), nullptr);
    EXPECT_EQ(scene.lightCount, 1);
    scene.refuse("SetVertexCount");
    EXPECT_EQ(scene.SetVertexCount(4), 0);
    EXPECT_EQ(scene.vertexCount, 0);
}

TEST(ReferenceHost, ArraysHandedOutHaveExactlyTheRequestedLength) {
    ReferenceScene scene;
    ASSERT_NE(scene.AddMesh(HostString("m"), -1), nullptr);
    HostPolygonBlock* block = scene.GetPolygonBlock();
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(block->SetPolygonCount(2), 1);
    EXPECT_EQ(block->polygonCount, 2);
    EXPECT_EQ(block->SetPolygonCornerCount(2, 3), 0) << "outside the block";
    EXPECT_EQ(block->SetPolygonCornerCount(1, 5), 0) << "only 3 or 4 corners";
    EXPECT_EQ(block->SetPolygonCornerCount(1, 4), 1);
    HostAnimation* anim = scene.AddAnimation(HostString("walk"));
    ASSERT_NE(anim, nullptr);
    ASSERT_EQ(anim->SetTrackCount(2), 1);
    EXPECT_EQ(anim->AddPositionKeys(2, 1, 0), nullptr);
    HostAnimationTrack* track = anim->AddRotationKeys(1, 5);
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->rotationKeyCount, 5);
}

TEST(ReferenceHost, VertexWeightArraysStayPutAndALaterCallReplacesAVertexsWeights) {
    // Small arrays share pooled chunks, one array is larger than a chunk; all
    // must stay where they were handed out while more are taken.
    ReferenceScene scene;
    ASSERT_EQ(scene.SetVertexCount(3), 1);
    const int32_t counts[] = {2, 100000, 3};
    HostVertexWeight* arrays[3] = {};
    for (int32_t v = 0; v < 3; ++v) {
        arrays[v] = scene.AddVertexWeights(v, counts[v]);
        ASSERT_NE(arrays[v], nullptr);
        for (int32_t k = 0; k < counts[v]; ++k) {
            EXPECT_EQ(arrays[v][k].boneIndex, -1) << "fresh weights have no bone";
            arrays[v][k] = {v, static_cast<float>(k)};
        }
    }
    for (int32_t v = 0; v < 3; ++v) {
        const RefVertexWeights& w = scene.vertexStore[static_cast<std::size_t>(v)].weights;
        ASSERT_EQ(w.size(), static_cast<std::size_t>(counts[v]));
        EXPECT_EQ(w.begin(), arrays[v]);
        EXPECT_EQ(w[w.size() - 1].boneIndex, v) << "no array overlaps another";
        EXPECT_EQ(w[w.size() - 1].weight, static_cast<float>(counts[v] - 1));
    }
    HostVertexWeight* again = scene.AddVertexWeights(0, 1);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(scene.vertexStore[0].weights.size(), 1u);
    EXPECT_EQ(scene.vertexStore[0].weights[0].boneIndex, -1);
    EXPECT_EQ(scene.AddVertexWeights(3, 1), nullptr) << "no such vertex";
    EXPECT_EQ(scene.AddVertexWeights(1, 0), nullptr);
}

TEST(ReferenceHost, EveryPolygonBlockIsANewBatchAndPolygonsNameTheirMesh) {
    ReferenceScene scene;
    EXPECT_EQ(scene.GetPolygonBlock(), nullptr) << "no mesh yet";
    scene.AddMesh(HostString("a"), -1);
    scene.AddMesh(HostString("b"), -1);
    HostPolygonBlock* first = scene.GetPolygonBlock();
    HostPolygonBlock* second = scene.GetPolygonBlock();
    ASSERT_NE(first, second);
    ASSERT_EQ(first->SetPolygonCount(1), 1);
    ASSERT_EQ(second->SetPolygonCount(2), 1);
    first->polygons[0].meshIndex = 0;
    second->polygons[0].meshIndex = 1;
    second->polygons[1].meshIndex = 1;
    EXPECT_EQ(scene.polygonsOfMesh(0).size(), 1u);
    EXPECT_EQ(scene.polygonsOfMesh(1).size(), 2u);
    EXPECT_EQ(first->polygonCount, 1) << "a later block does not overwrite an earlier one";
}

TEST(ReferenceHost, FloatsAreWrittenShortestRoundTrip) {
    EXPECT_EQ(formatFloat(0.1f), "0.1");
    EXPECT_EQ(formatFloat(1.0f), "1");
    EXPECT_EQ(formatFloat(-2.5f), "-2.5");
    EXPECT_EQ(formatFloat(0.70710677f), "0.70710677");
}
