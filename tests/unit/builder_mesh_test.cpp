// The prepare pass and mesh building, observed through the reference host.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "builder/mesh_builder.h"
#include "builder/prepare.h"
#include "document/resolve.h"
#include "document/storage.h"
#include "host/reference_host.h"

using namespace bxml;
using namespace bxml::host;

namespace {

FaceRecord makeFace(int32_t a, int32_t b, int32_t c, int32_t d = -1) {
    FaceRecord f;
    f.vertexIndices[0] = a;
    f.vertexIndices[1] = b;
    f.vertexIndices[2] = c;
    f.vertexIndices[3] = d;
    f.cornerCount = d < 0 ? 3 : 4;
    return f;
}

// Vertex i sits at (first + i, 0, 0) so that every vertex is recognisable.
void setGeometry(GeometryRecord& g, const char* name, int vertexCount, const std::vector<FaceRecord>& faces,
                 float first = 0.0f) {
    g.name.assign(name);
    ASSERT_EQ(allocate(g.vertices, vertexCount), 1);
    for (int i = 0; i < vertexCount; ++i) g.vertices[static_cast<std::size_t>(i)].position = {first + i, 0, 0};
    if (faces.empty()) return;
    ASSERT_EQ(allocate(g.faces, static_cast<int64_t>(faces.size())), 1);
    for (std::size_t i = 0; i < faces.size(); ++i) g.faces[i] = faces[i];
}

Matrix4 translation(float x, float y, float z) {
    Matrix4 m;
    m.at(0, 3) = x;
    m.at(1, 3) = y;
    m.at(2, 3) = z;
    return m;
}

// An object places the record named like itself.
SceneObjectRecord& addObject(SceneRecord& scene, std::size_t i, const char* type, const char* name) {
    SceneObjectRecord& o = scene.objects[i];
    o.type.assign(type);
    o.name.assign(name);
    return o;
}

const std::vector<HostPolygon>& lastPolygons(const ReferenceScene& scene) {
    return scene.polygonBlocks.back()->storage;
}

// Resolution, the prepare pass, then the meshes, as the import runs them.
int prepareAndBuild(SceneDocument& doc, const ImportOptions& options, ReferenceScene& scene) {
    resolveReferences(doc);
    prepareDocument(doc);
    return buildMeshes(doc, options, &scene);
}

ImportOptions allGeometries() {
    ImportOptions o;
    o.sceneMeshesOnly = 0;
    return o;
}

} // namespace

TEST(PrepareDocument, FirstObjectToPlaceARecordWins) {
    SceneDocument doc;
    ASSERT_EQ(allocate(doc.geometries, 1), 1);
    setGeometry(doc.geometries[0], "Box", 3, {makeFace(0, 1, 2)});
    ASSERT_EQ(allocate(doc.lights, 1), 1);
    doc.lights[0].name.assign("Lamp");
    ASSERT_EQ(allocateSkeletons(doc.skeletons, 1), 1);
    doc.skeletons[0].name.assign("Rig");
    ASSERT_EQ(allocate(doc.scenes, 1), 1);
    ASSERT_EQ(allocate(doc.scenes[0].objects, 4), 1);
    addObject(doc.scenes[0], 0, "MESH", "Box").matrix = translation(10, 0, 0);
    SceneObjectRecord& second = addObject(doc.scenes[0], 1, "mesh", "Box");
    second.matrix = translation(50, 0, 0);
    second.scale = {-1, 1, 1};
    second.skeletonName.assign("Rig");
    addObject(doc.scenes[0], 2, "light", "Lamp").matrix = translation(1, 2, 3);
    addObject(doc.scenes[0], 3, "Light", "Lamp").matrix = translation(7, 8, 9);

    ReferenceScene scene;
    ImportOptions options;
    EXPECT_EQ(prepareAndBuild(doc, options, scene), 1);

    const GeometryRecord& g = doc.geometries[0];
    EXPECT_EQ(g.placed, 1);
    EXPECT_EQ(g.placement.at(0, 3), 10.0f);
    EXPECT_EQ(g.skeletonIndex, -1) << "the second object's skeleton must not be taken";
    EXPECT_EQ(g.faces[0].vertexIndices[0], 0) << "the second object's mirror must not reverse";
    ASSERT_EQ(scene.vertexCount, 3);
    EXPECT_EQ(scene.vertices[2]->position.x, 12.0f) << "vertices move by the first placement only";
    EXPECT_EQ(doc.lights[0].placed, 1);
    EXPECT_EQ(doc.lights[0].position.x, 1.0f);
    EXPECT_EQ(doc.lights[0].position.z, 3.0f);
}

TEST(PrepareDocument, MirroredScaleFlipsWindingOnceAndKeepsATrianglesFourthCorner) {
    SceneDocument doc;
    ASSERT_EQ(allocate(doc.geometries, 1), 1);
    FaceRecord tri = makeFace(0, 1, 2);
    FaceRecord quad = makeFace(0, 1, 2, 3);
    for (int k = 0; k < 4; ++k) {
        tri.uv[0][k] = {0.1f * k, 0.0f};
        tri.uv[1][k] = {0.0f, 0.2f * k};
        tri.colors[k] = {0.25f * k, 0, 0, 1};
        quad.uv[0][k] = {0.1f * k, 0.0f};
    }
    setGeometry(doc.geometries[0], "Mirror", 4, {tri, quad});
    ASSERT_EQ(allocate(doc.scenes, 1), 1);
    ASSERT_EQ(allocate(doc.scenes[0].objects, 2), 1);
    // Both objects mirror; a second reversal would restore the original order.
    addObject(doc.scenes[0], 0, "mesh", "Mirror").scale = {1, -1, 1};
    addObject(doc.scenes[0], 1, "mesh", "Mirror").scale = {1, -1, 1};

    ReferenceScene scene;
    ImportOptions options;
    ASSERT_EQ(prepareAndBuild(doc, options, scene), 1);

    const FaceRecord& t = doc.geometries[0].faces[0];
    EXPECT_EQ(t.vertexIndices[0], 2);
    EXPECT_EQ(t.vertexIndices[1], 1);
    EXPECT_EQ(t.vertexIndices[2], 0);
    EXPECT_EQ(t.vertexIndices[3], -1);
    EXPECT_FLOAT_EQ(t.uv[0][0].u, 0.2f);
    EXPECT_FLOAT_EQ(t.uv[1][2].v, 0.0f);
    EXPECT_FLOAT_EQ(t.colors[0].r, 0.5f);
    EXPECT_FLOAT_EQ(t.uv[0][3].u, 0.3f) << "the unused fourth corner stays";
    EXPECT_FLOAT_EQ(t.colors[3].r, 0.75f);
    const FaceRecord& q = doc.geometries[0].faces[1];
    EXPECT_EQ(q.vertexIndices[0], 3);
    EXPECT_EQ(q.vertexIndices[3], 0);
    EXPECT_FLOAT_EQ(q.uv[0][0].u, 0.3f);

    const std::vector<HostPolygon>& polygons = lastPolygons(scene);
    ASSERT_EQ(polygons.size(), 2u);
    EXPECT_EQ(polygons[0].vertexIndices[0], 2);
    EXPECT_EQ(polygons[1].vertexIndices[0], 3);
}

TEST(PrepareDocument, WeightsFollowLinksToBoneNodesNormalisedLargestFirst) {
    SceneDocument doc;
    ASSERT_EQ(allocateSkeletons(doc.skeletons, 1), 1);
    SkeletonRecord& rig = doc.skeletons[0];
    rig.name.assign("Rig");
    ASSERT_EQ(allocate(rig.bones, 3), 1);
    rig.bones[0].name.assign("Rig");
    rig.bones[1].name.assign("Arm");
    rig.bones[1].nodeIndex = 1;
    rig.bones[2].name.assign("Leg");
    rig.bones[2].nodeIndex = 2;
    ASSERT_EQ(allocate(doc.boneNodes, 3), 1);

    ASSERT_EQ(allocate(doc.geometries, 1), 1);
    GeometryRecord& g = doc.geometries[0];
    setGeometry(g, "Body", 1, {});
    ASSERT_EQ(allocate(g.links, 3), 1);
    // Stored out of index order, so the links are found by their index field.
    g.links[0].name.assign("Leg");
    g.links[0].index = 7;
    g.links[1].name.assign("Arm");
    g.links[1].index = 3;
    g.links[2].name.assign("arm"); // differs in case: names no bone
    g.links[2].index = 4;
    ASSERT_EQ(allocate(g.vertices[0].weights, 3), 1);
    g.vertices[0].weights[0] = {3, -1, 0.2f};
    g.vertices[0].weights[1] = {4, -1, 0.5f};
    g.vertices[0].weights[2] = {7, -1, 0.6f};

    ASSERT_EQ(allocate(doc.scenes, 1), 1);
    ASSERT_EQ(allocate(doc.scenes[0].objects, 1), 1);
    addObject(doc.scenes[0], 0, "mesh", "Body").skeletonName.assign("Rig");

    ReferenceScene scene;
    ImportOptions options;
    ASSERT_EQ(prepareAndBuild(doc, options, scene), 1);
    ASSERT_EQ(scene.vertexStore.size(), 1u);
    const RefVertexWeights& w = scene.vertexStore[0].weights;
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[0].boneIndex, 2);
    EXPECT_FLOAT_EQ(w[0].weight, 0.75f);
    EXPECT_EQ(w[1].boneIndex, 1);
    EXPECT_FLOAT_EQ(w[1].weight, 0.25f);
    EXPECT_EQ(w[2].boneIndex, -1);
    EXPECT_EQ(w[2].weight, 0.0f);
}

TEST(PrepareDocument, WeightsFindTheirLinkAsTheLinkLookupDoes) {
    // Link indices 2, 0, 2: index 2 sits at its own position, so the lookup
    // takes that link (C) although A comes first; 0 is found by scanning; 5
    // and -1 name no link.
    SceneDocument doc;
    ASSERT_EQ(allocateSkeletons(doc.skeletons, 1), 1);
    SkeletonRecord& rig = doc.skeletons[0];
    rig.name.assign("Rig");
    ASSERT_EQ(allocate(rig.bones, 4), 1);
    const char* names[] = {"Rig", "A", "B", "C"};
    for (int k = 0; k < 4; ++k) {
        rig.bones[static_cast<std::size_t>(k)].name.assign(names[k]);
        rig.bones[static_cast<std::size_t>(k)].nodeIndex = k;
    }
    ASSERT_EQ(allocate(doc.boneNodes, 4), 1);
    ASSERT_EQ(allocate(doc.geometries, 1), 1);
    GeometryRecord& g = doc.geometries[0];
    setGeometry(g, "Body", 4, {});
    ASSERT_EQ(allocate(doc.scenes, 1), 1);
    ASSERT_EQ(allocate(doc.scenes[0].objects, 1), 1);
    addObject(doc.scenes[0], 0, "mesh", "Body").skeletonName.assign("Rig");
    ASSERT_EQ(allocate(g.links, 3), 1);
    const int32_t linkIndices[] = {2, 0, 2};
    for (int k = 0; k < 3; ++k) {
        g.links[static_cast<std::size_t>(k)].name.assign(names[k + 1]);
        g.links[static_cast<std::size_t>(k)].index = linkIndices[k];
    }
    const int32_t weightLinks[] = {2, 0, 5, -1};
    for (int v = 0; v < 4; ++v) {
        ASSERT_EQ(allocate(g.vertices[static_cast<std::size_t>(v)].weights, 1), 1);
        g.vertices[static_cast<std::size_t>(v)].weights[0] = {weightLinks[v], -1, 1.0f};
    }

    ReferenceScene scene;
    ASSERT_EQ(prepareAndBuild(doc, allGeometries(), scene), 1);
    ASSERT_EQ(scene.vertexStore.size(), 4u);
    const int32_t expectedBones[] = {3, 2, -1, -1};
    for (int v = 0; v < 4; ++v) {
        const RefVertexWeights& w = scene.vertexStore[static_cast<std::size_t>(v)].weights;
        ASSERT_EQ(w.size(), 1u) << "vertex " << v;
        EXPECT_EQ(w[0].boneIndex, expectedBones[v]) << "vertex " << v;
    }
}

TEST(PrepareDocument, MeshOnABoneGetsOneFullWeightPerVertex) {
    SceneDocument doc;
    ASSERT_EQ(allocateSkeletons(doc.skeletons, 1), 1);
    doc.skeletons[0].name.assign("Rig");
    ASSERT_EQ(allocate(doc.skeletons[0].bones, 2), 1);
    doc.skeletons[0].bones[0].name.assign("Rig");
    doc.skeletons[0].bones[1].name.assign("Hand");
    doc.skeletons[0].bones[1].nodeIndex = 1;
    ASSERT_EQ(allocate(doc.boneNodes, 2), 1);
    ASSERT_EQ(allocate(doc.geometries, 1), 1);
    GeometryRecord& g = doc.geometries[0];
    setGeometry(g, "Sword", 2, {});
    ASSERT_EQ(allocate(g.vertices[0].weights, 2), 1);
    g.vertices[0].weights[0] = {0, 0, 0.5f};
    g.vertices[0].weights[1] = {1, 0, 0.5f};
    ASSERT_EQ(allocate(doc.scenes, 1), 1);
    ASSERT_EQ(allocate(doc.scenes[0].objects, 1), 1);
    SceneObjectRecord& sword = addObject(doc.scenes[0], 0, "mesh", "Sword");
    sword.skeletonName.assign("Rig");
    sword.boneName.assign("Hand");

    ReferenceScene scene;
    ImportOptions options;
    ASSERT_EQ(prepareAndBuild(doc, options, scene), 1);
    ASSERT_EQ(scene.vertexStore.size(), 2u);
    for (const RefVertex& v : scene.vertexStore) {
        ASSERT_EQ(v.weights.size(), 1u);
        EXPECT_EQ(v.weights[0].boneIndex, 1);
        EXPECT_EQ(v.weights[0].weight, 1.0f);
    }
}

TEST(PrepareDocument, PlacementsOutsideTheirArraysAreSkipped) {
    SceneDocument doc;
    ASSERT_EQ(allocate(doc.lights, 2), 1);
    ASSERT_EQ(allocate(doc.geometries, 1), 1);
    setGeometry(doc.geometries[0], "G", 1, {});
    ASSERT_EQ(allocateSkeletons(doc.skeletons, 1), 1);
    doc.skeletons[0].rootNodeIndex = 5; // no such bone node
    doc.skeletons[0].placedBy = {0, 0};
    ASSERT_EQ(allocate(doc.scenes, 1), 1);
    ASSERT_EQ(allocate(doc.scenes[0].objects, 1), 1);
    doc.scenes[0].objects[0].boneNodeIndex = 9; // no such bone node either
    doc.lights[0].placedBy = {0, 1};            // no such object
    doc.lights[1].placedBy = {1, 0};            // no such scene
    doc.geometries[0].placedBy = {0, 0};

    ReferenceScene scene;
    prepareDocument(doc);
    ASSERT_EQ(buildMeshes(doc, ImportOptions{}, &scene), 1);
    EXPECT_EQ(doc.lights[0].placed + doc.lights[1].placed, 0);
    EXPECT_EQ(doc.geometries[0].placed, 1);
    EXPECT_TRUE(scene.vertexStore[0].weights.empty()) << "a bone node that does not exist is no attachment";
}

TEST(BuildMeshes, SceneMeshesOnlyLeavesOutUnplacedGeometriesAndTheirOffsets) {
    SceneDocument doc;
    ASSERT_EQ(allocate(doc.geometries, 3), 1);
    setGeometry(doc.geometries[0], "Loose", 3, {makeFace(0, 1, 2)}, 100.0f);
    setGeometry(doc.geometries[1], "B", 3, {makeFace(0, 1, 2)}, 10.0f);
    setGeometry(doc.geometries[2], "C", 3, {makeFace(2, 1, 0)}, 20.0f);
    doc.geometries[1].placed = 1;
    doc.geometries[2].placed = 1;

    ReferenceScene scene;
    ImportOptions options;
    options.sceneMeshesOnly = 1;
    ASSERT_EQ(buildMeshes(doc, options, &scene), 1);
    const std::vector<std::string> expected = {"SetVertexCount(6)", "AddMesh(B,-1)",      "AddMesh(C,-1)",
                                               "GetPolygonBlock()", "SetPolygonCount(1)", "SetPolygonCornerCount(0,3)",
                                               "GetPolygonBlock()", "SetPolygonCount(1)", "SetPolygonCornerCount(0,3)"};
    EXPECT_EQ(scene.calls(), expected);
    EXPECT_EQ(scene.vertices[0]->position.x, 10.0f);
    EXPECT_EQ(scene.vertices[5]->position.x, 22.0f);
    const HostPolygon& p = lastPolygons(scene)[0];
    EXPECT_EQ(p.meshIndex, 1);
    EXPECT_EQ(p.vertexIndices[0], 5);
    EXPECT_EQ(p.vertexIndices[2], 3);
}

TEST(BuildMeshes, UvChannelsFollowTheMaterialsUvSetAndVIsFlipped) {
    SceneDocument doc;
    ASSERT_EQ(allocate(doc.materials, 2), 1);
    doc.materials[0].slots[0].uvSetName.assign("Detail");
    doc.materials[1].slots[0].uvSetName.assign("detail"); // case differs: no match
    ASSERT_EQ(allocate(doc.geometries, 1), 1);
    std::vector<FaceRecord> faces(3, makeFace(0, 1, 2));
    for (FaceRecord& f : faces) {
        for (int k = 0; k < 3; ++k) {
            f.uv[0][k] = {0.125f, 0.25f};
            f.uv[1][k] = {0.5f, 0.75f};
        }
    }
    faces[0].materialIndex = 0;
    faces[1].materialIndex = 1;
    faces[2].materialIndex = -1;
    setGeometry(doc.geometries[0], "G", 3, faces);
    doc.geometries[0].uvSetNames[0].assign("Base");
    doc.geometries[0].uvSetNames[1].assign("Detail");

    ReferenceScene scene;
    ASSERT_EQ(buildMeshes(doc, allGeometries(), &scene), 1);
    const std::vector<HostPolygon>& p = lastPolygons(scene);
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].channels[0][1].u, 0.5f) << "second set moves to the first channel";
    EXPECT_EQ(p[0].channels[0][1].v, 0.25f);
    EXPECT_EQ(p[0].channels[1][1].u, 0.125f);
    EXPECT_EQ(p[0].channels[1][1].v, 0.75f);
    EXPECT_EQ(p[0].materialIndex, 0);
    for (int j = 1; j < 3; ++j) {
        EXPECT_EQ(p[j].channels[0][2].u, 0.125f);
        EXPECT_EQ(p[j].channels[0][2].v, 0.75f);
        EXPECT_EQ(p[j].channels[1][2].v, 0.25f);
    }
}

TEST(BuildMeshes, EachGeometryChoosesChannelsByItsOwnUvSetNames) {
    // One material naming "Detail", used by two geometries: the first has
    // Detail as its second set (the sets swap), the second as its first.
    SceneDocument doc;
    ASSERT_EQ(allocate(doc.materials, 1), 1);
    doc.materials[0].slots[0].uvSetName.assign("Detail");
    ASSERT_EQ(allocate(doc.geometries, 2), 1);
    FaceRecord face = makeFace(0, 1, 2);
    face.materialIndex = 0;
    for (int k = 0; k < 3; ++k) {
        face.uv[0][k] = {0.125f, 0.25f};
        face.uv[1][k] = {0.5f, 0.75f};
    }
    setGeometry(doc.geometries[0], "Swapped", 3, {face, face});
    doc.geometries[0].uvSetNames[0].assign("Base");
    doc.geometries[0].uvSetNames[1].assign("Detail");
    setGeometry(doc.geometries[1], "Kept", 3, {face, face});
    doc.geometries[1].uvSetNames[0].assign("Detail");
    doc.geometries[1].uvSetNames[1].assign("Base");

    ReferenceScene scene;
    ASSERT_EQ(buildMeshes(doc, allGeometries(), &scene), 1);
    ASSERT_EQ(scene.polygonBlocks.size(), 2u);
    for (int j = 0; j < 2; ++j) {
        EXPECT_EQ(scene.polygonBlocks[0]->storage[static_cast<std::size_t>(j)].channels[0][0].u, 0.5f);
        EXPECT_EQ(scene.polygonBlocks[1]->storage[static_cast<std::size_t>(j)].channels[0][0].u, 0.125f);
    }
}

TEST(BuildMeshes, CornerIndicesMayReachIntoLaterGeometriesButNotPastTheHostsVertices) {
    SceneDocument doc;
    ASSERT_EQ(allocate(doc.geometries, 2), 1);
    setGeometry(doc.geometries[0], "A", 3, {makeFace(0, 1, 4)});
    setGeometry(doc.geometries[1], "B", 3, {});
    ReferenceScene accepted;
    ASSERT_EQ(buildMeshes(doc, allGeometries(), &accepted), 1);
    ASSERT_EQ(lastPolygons(accepted).size(), 1u);
    EXPECT_EQ(lastPolygons(accepted)[0].vertexIndices[2], 4);

    doc.geometries[0].faces[0].vertexIndices[2] = 6;
    ReferenceScene past;
    EXPECT_EQ(buildMeshes(doc, allGeometries(), &past), 0);
    doc.geometries[0].faces[0].vertexIndices[2] = -1;
    doc.geometries[0].faces[0].vertexIndices[3] = 0;
    ReferenceScene negative;
    EXPECT_EQ(buildMeshes(doc, allGeometries(), &negative), 0);
}

// Taken in 32 bits the sum would overflow, which the sanitizer build stops on.
TEST(BuildMeshes, BaseOffsetAndCornerIndexAddWithoutWrapping) {
    SceneDocument doc;
    ASSERT_EQ(allocate(doc.geometries, 2), 1);
    setGeometry(doc.geometries[0], "A", 3, {});
    setGeometry(doc.geometries[1], "B", 3, {makeFace(0, 1, INT32_MAX)});
    ReferenceScene scene;
    EXPECT_EQ(buildMeshes(doc, allGeometries(), &scene), 0);
}

TEST(BuildMeshes, TheLastCornerWrittenGivesASharedVertexItsColour) {
    SceneDocument doc;
    ASSERT_EQ(allocate(doc.geometries, 1), 1);
    FaceRecord first = makeFace(0, 1, 2);
    FaceRecord second = makeFace(3, 0, 2);
    first.colors[0] = {1, 0, 0, 1};
    second.colors[1] = {0, 0, 1, 1};
    setGeometry(doc.geometries[0], "G", 4, {first, second});
    ReferenceScene scene;
    ASSERT_EQ(buildMeshes(doc, allGeometries(), &scene), 1);
    EXPECT_EQ(scene.vertices[0]->color.r, 0.0f);
    EXPECT_EQ(scene.vertices[0]->color.b, 1.0f);
    EXPECT_EQ(scene.vertices[3]->color.r, 1.0f) << "corners default to white";
}

TEST(BuildMeshes, EveryRefusalEndsTheBuild) {
    SceneDocument doc;
    ASSERT_EQ(allocate(doc.geometries, 1), 1);
    setGeometry(doc.geometries[0], "G", 3, {makeFace(0, 1, 2)});
    for (const char* op :
         {"SetVertexCount", "AddMesh", "GetPolygonBlock", "SetPolygonCount", "SetPolygonCornerCount"}) {
        ReferenceScene scene;
        scene.refuse(op);
        EXPECT_EQ(buildMeshes(doc, allGeometries(), &scene), 0) << op;
        EXPECT_EQ(scene.calls().back().rfind(op, 0), 0u) << op << ": nothing after the refusal";
    }

    ReferenceScene seeded;
    seeded.seedMaterial("only");
    doc.geometries[0].faces[0].materialIndex = 1;
    EXPECT_EQ(buildMeshes(doc, allGeometries(), &seeded), 0) << "material index past the host's list";
    EXPECT_EQ(buildMeshes(doc, allGeometries(), nullptr), 0);
}

TEST(BuildMeshes, ARefusedWeightListIsNoFailure) {
    SceneDocument doc;
    ASSERT_EQ(allocate(doc.geometries, 1), 1);
    setGeometry(doc.geometries[0], "G", 2, {});
    for (VertexRecord& v : doc.geometries[0].vertices) {
        ASSERT_EQ(allocate(v.weights, 1), 1);
        v.weights[0] = {0, 0, 1.0f};
    }
    ReferenceScene scene;
    scene.refuse("AddVertexWeights");
    EXPECT_EQ(buildMeshes(doc, allGeometries(), &scene), 1);
    EXPECT_EQ(scene.countCalls("AddVertexWeights"), 2);
    EXPECT_EQ(scene.countCalls("AddMesh"), 1);
}

TEST(AddVertexCount, StaysInsideTheHostsRange) {
    EXPECT_EQ(addVertexCount(0, 5), 5);
    EXPECT_EQ(addVertexCount(INT32_MAX - 1, 1), INT32_MAX);
    EXPECT_EQ(addVertexCount(INT32_MAX, 1), -1);
    EXPECT_EQ(addVertexCount(3, static_cast<std::size_t>(UINT32_MAX)), -1);
    EXPECT_EQ(addVertexCount(1, SIZE_MAX), -1) << "must not wrap round";
    EXPECT_EQ(addVertexCount(-1, 0), -1) << "once over, stays over";
}

namespace {

// A host that reports shorter lists than it was asked for: the plug-in must
// stop instead of writing past them.
class ShortHost final : public HostScene {
public:
    explicit ShortHost(int32_t shortBy) : shortBy_(shortBy) {}
    void* GetMainWindow() override { return nullptr; }
    void SetAxisSwap(int32_t) override {}
    int32_t SetVertexCount(int32_t count) override {
        const int32_t n = count - shortBy_;
        store_.assign(static_cast<std::size_t>(n < 0 ? 0 : n), Vertex{});
        pointers_.clear();
        for (Vertex& v : store_) pointers_.push_back(&v);
        vertices = pointers_.data();
        vertexCount = static_cast<int32_t>(pointers_.size());
        return 1;
    }
    void EndMeshes(int32_t) override {}
    void PruneBones() override {}
    void EndSkeletons() override {}
    void EndImport() override {}
    HostVertexWeight* AddVertexWeights(int32_t, int32_t) override { return nullptr; }
    HostLight* AddLight(const HostString&) override { return nullptr; }
    HostMaterial* AddMaterial(const HostString&) override { return nullptr; }
    HostMesh* AddMesh(const HostString&, int32_t) override { return &mesh_; }
    HostBone* AddBone(const HostString&, int32_t) override { return nullptr; }
    HostAnimation* AddAnimation(const HostString&) override { return nullptr; }
    HostPolygonBlock* GetPolygonBlock() override { return &block_; }

    int32_t meshesAdded = 0;

private:
    struct Vertex final : HostVertex {
        void Update(float) override {}
    };
    struct Block final : HostPolygonBlock {
        int32_t SetPolygonCount(int32_t count) override {
            storage.assign(static_cast<std::size_t>(count > 1 ? count - 1 : 0), HostPolygon{});
            polygons = storage.data();
            polygonCount = static_cast<int32_t>(storage.size());
            return 1;
        }
        int32_t SetPolygonCornerCount(int32_t, int32_t) override { return 1; }
        std::vector<HostPolygon> storage;
    };
    int32_t shortBy_;
    std::vector<Vertex> store_;
    std::vector<HostVertex*> pointers_;
    HostMesh mesh_;
    Block block_;
};

} // namespace

TEST(BuildMeshes, HostListsShorterThanAskedStopTheBuild) {
    SceneDocument doc;
    ASSERT_EQ(allocate(doc.geometries, 1), 1);
    setGeometry(doc.geometries[0], "G", 3, {makeFace(0, 1, 2), makeFace(2, 1, 0)});
    ShortHost fewerVertices(1);
    EXPECT_EQ(buildMeshes(doc, allGeometries(), &fewerVertices), 0);
    ShortHost fewerPolygons(0);
    EXPECT_EQ(buildMeshes(doc, allGeometries(), &fewerPolygons), 0);
}

// The build stops at the first face with an index outside the host's lists;
// the host then holds only whole polygons: the block is sized to the faces
// before the bad one, and a bad first face leaves the block unsized.
TEST(BuildMeshes, AFaceWithABadIndexEndsTheBuildWithOnlyWholePolygonsInTheHost) {
    SceneDocument doc;
    ASSERT_EQ(allocate(doc.geometries, 2), 1);
    setGeometry(doc.geometries[0], "A", 4,
                {makeFace(0, 1, 2), makeFace(1, 2, 3, 0), makeFace(0, 9, 1), makeFace(0, 1, 2)});
    setGeometry(doc.geometries[1], "B", 3, {makeFace(0, 1, 2)});
    ReferenceScene scene;
    EXPECT_EQ(buildMeshes(doc, allGeometries(), &scene), 0);
    ASSERT_EQ(scene.polygonBlocks.size(), 1u) << "nothing after the bad face";
    const std::vector<HostPolygon>& p = lastPolygons(scene);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].cornerCount, 3);
    EXPECT_EQ(p[1].cornerCount, 4);
    EXPECT_EQ(p[1].vertexIndices[3], 0);
    EXPECT_EQ(scene.meshCount, 2) << "meshes made before the polygons stay";

    ReferenceScene seeded;
    seeded.seedMaterial("only");
    doc.geometries[0].faces[0].materialIndex = 1;
    EXPECT_EQ(buildMeshes(doc, allGeometries(), &seeded), 0);
    ASSERT_EQ(seeded.polygonBlocks.size(), 1u);
    EXPECT_TRUE(seeded.polygonBlocks[0]->storage.empty());
    for (const std::string& call : seeded.calls()) EXPECT_NE(call.rfind("SetPolygonCount", 0), 0u) << call;
}
