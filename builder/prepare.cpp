#include "builder/prepare.h"

#include <utility>

#include "contract/transform.h"
#include "document/element.h"
#include "document/storage.h"
#include "document/weights.h"
#include "math/vector_math.h"

namespace bxml {

namespace {

// Lights, cameras and skeleton roots take the decomposed placement of the
// object that places them.
template <class Record>
void placeOnce(Record& record, const SceneObjectRecord& object) {
    if (record.placed != 0) return;
    Transform t;
    setTransformFromMatrix(object.matrix, t);
    record.position = t.position;
    record.scale = t.scale;
    record.rotation = t.rotation;
    record.placed = 1;
}

void placeGeometry(GeometryRecord& geometry, const SceneObjectRecord& object) {
    if (geometry.placed != 0) return;
    geometry.placement = object.matrix;
    geometry.skeletonIndex = object.skeletonIndex;
    geometry.rootNodeIndex = object.rootNodeIndex;
    geometry.boneNodeIndex = object.boneNodeIndex;
    geometry.placed = 1;
    // A mirroring placement turns the faces inside out; reversing the corners
    // keeps them facing outwards.
    if (hasNegativeComponent(object.scale)) {
        for (FaceRecord& face : geometry.faces) reverseFaceCorners(face);
    }
}

void placeSkeletonRoot(SceneDocument& doc, const SkeletonRecord& skeleton, const SceneObjectRecord& object) {
    const int32_t n = skeleton.rootNodeIndex;
    if (!isIndexOf(n, doc.boneNodes)) return;
    BoneNodeRecord& node = element(doc.boneNodes, n);
    placeOnce(node, object);
}

// The object the resolution pass chose to place a record, or null.
const SceneObjectRecord* placingObject(const SceneDocument& doc, ObjectRef at) {
    const SceneRecord* scene = elementOrNull(doc.scenes, at.scene);
    return scene == nullptr ? nullptr : elementOrNull(scene->objects, at.object);
}

// Every vertex of a mesh attached to a bone follows that bone alone.
void attachToBone(GeometryRecord& geometry, int32_t boneNodeIndex) {
    for (VertexRecord& vertex : geometry.vertices) {
        if (allocate(vertex.weights, 1) == 0) continue;
        vertex.weights[0].boneNodeIndex = boneNodeIndex;
        vertex.weights[0].weight = 1.0f;
    }
}

} // namespace

void reverseFaceCorners(FaceRecord& face) {
    const int n = face.vertexIndices[3] < 0 ? 3 : 4;
    for (int k = 0; k < n / 2; ++k) {
        const int o = n - 1 - k;
        std::swap(face.vertexIndices[k], face.vertexIndices[o]);
        std::swap(face.uv[0][k], face.uv[0][o]);
        std::swap(face.uv[1][k], face.uv[1][o]);
        std::swap(face.colors[k], face.colors[o]);
    }
}

void prepareDocument(SceneDocument& doc) {
    if (doc.scenes.empty()) return;
    for (LightRecord& light : doc.lights) {
        if (const SceneObjectRecord* object = placingObject(doc, light.placedBy)) placeOnce(light, *object);
    }
    for (CameraRecord& camera : doc.cameras) {
        if (const SceneObjectRecord* object = placingObject(doc, camera.placedBy)) placeOnce(camera, *object);
    }
    for (GeometryRecord& geometry : doc.geometries) {
        if (const SceneObjectRecord* object = placingObject(doc, geometry.placedBy)) placeGeometry(geometry, *object);
    }
    for (const SkeletonRecord& skeleton : doc.skeletons) {
        if (const SceneObjectRecord* object = placingObject(doc, skeleton.placedBy))
            placeSkeletonRoot(doc, skeleton, *object);
    }
    for (GeometryRecord& geometry : doc.geometries) {
        for (VertexRecord& vertex : geometry.vertices) {
            normalizeWeights(vertex);
            sortWeightsDescending(vertex);
        }
    }
    for (GeometryRecord& geometry : doc.geometries) {
        const Matrix4 placement = geometry.placement;
        for (VertexRecord& vertex : geometry.vertices) vertex.position = transformPoint(vertex.position, placement);
    }
    for (GeometryRecord& geometry : doc.geometries) {
        if (isIndexOf(geometry.boneNodeIndex, doc.boneNodes)) attachToBone(geometry, geometry.boneNodeIndex);
    }
}

} // namespace bxml
