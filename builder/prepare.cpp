#include "builder/prepare.h"

#include <new>
#include <unordered_map>
#include <vector>

#include "contract/transform.h"
#include "document/element.h"
#include "document/lookup.h"
#include "document/name_index.h"
#include "document/resolve.h"
#include "document/storage.h"
#include "document/weights.h"
#include "math/vector_math.h"

namespace bxml {

namespace {

// Lights and cameras take the decomposed placement of the first object that
// names them.
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

void placeObject(SceneDocument& doc, const SceneObjectRecord& object) {
    const int32_t t = object.targetIndex;
    switch (targetKindOf(object)) {
    case TargetKind::None:
        break;
    case TargetKind::Light:
        if (LightRecord* light = elementOrNull(doc.lights, t)) placeOnce(*light, object);
        break;
    case TargetKind::Camera:
        if (CameraRecord* camera = elementOrNull(doc.cameras, t)) placeOnce(*camera, object);
        break;
    case TargetKind::Geometry:
        if (GeometryRecord* geometry = elementOrNull(doc.geometries, t)) placeGeometry(*geometry, object);
        break;
    case TargetKind::Skeleton:
        if (const SkeletonRecord* skeleton = elementOrNull(doc.skeletons, t)) placeSkeletonRoot(doc, *skeleton, object);
        break;
    }
}

// Gives findBoneLinkByIndex's answer, as a position in the geometry's links
// (-1 for none), in constant expected time. When every link sits at the
// position of its own index (the usual case) the fast path is the answer;
// otherwise a table of the first position of each index stands in for the
// scan. Without memory for the table it asks findBoneLinkByIndex itself.
class LinkFinder {
public:
    explicit LinkFinder(const GeometryRecord& geometry) : geometry_(geometry) {
        const std::vector<BoneLinkRecord>& links = geometry.links;
        for (std::size_t k = 0; k < links.size() && inOrder_; ++k) inOrder_ = links[k].index == static_cast<int32_t>(k);
        if (inOrder_) return;
        try {
            firstWithIndex_.reserve(links.size());
            // emplace keeps an existing entry: the first link wins.
            for (std::size_t k = 0; k < links.size(); ++k)
                firstWithIndex_.emplace(links[k].index, static_cast<int32_t>(k));
            hashed_ = true;
        } catch (const std::bad_alloc&) {
            std::unordered_map<int32_t, int32_t>().swap(firstWithIndex_);
        }
    }

    int32_t find(int32_t linkIndex) const {
        const std::vector<BoneLinkRecord>& links = geometry_.links;
        if (linkIndex < 0) return -1;
        if (linkIndex < countOf(links) && element(links, linkIndex).index == linkIndex) return linkIndex;
        // In order, the links' indices are 0 .. count - 1: no other index is found.
        if (inOrder_) return -1;
        if (!hashed_) {
            const BoneLinkRecord* link = findBoneLinkByIndex(geometry_, linkIndex);
            return link == nullptr ? -1 : static_cast<int32_t>(link - links.data());
        }
        const auto it = firstWithIndex_.find(linkIndex);
        return it == firstWithIndex_.end() ? -1 : it->second;
    }

private:
    const GeometryRecord& geometry_;
    bool inOrder_ = true;
    bool hashed_ = false;
    std::unordered_map<int32_t, int32_t> firstWithIndex_;
};

// Each weight names a link by the link's `index`; the link names a bone of the
// geometry's skeleton (the first of that name), whose node becomes the
// weight's bone. The bone node of every link is found once, through a name
// index per skeleton that boneIndexes keeps for all geometries, and the link
// of each weight through a LinkFinder, so the pass costs time in proportion
// to weights plus links plus bones.
// Without memory for these tables (boneIndexes empty, or no room for the
// table of link nodes) the same answers come from the plain lookups.
void bindWeightsToBones(SceneDocument& doc, GeometryRecord& geometry, std::vector<NameIndex<BoneRecord>>& boneIndexes) {
    if (geometry.links.empty() || !isIndexOf(geometry.skeletonIndex, doc.skeletons)) return;
    const SkeletonRecord& skeleton = element(doc.skeletons, geometry.skeletonIndex);
    NameIndex<BoneRecord> unindexed; // when boneIndexes could not be made
    NameIndex<BoneRecord>& bones =
        isIndexOf(geometry.skeletonIndex, boneIndexes) ? element(boneIndexes, geometry.skeletonIndex) : unindexed;
    if (!bones.built()) bones.build(skeleton.bones, &BoneRecord::name);
    auto nodeOf = [&](int32_t link) -> int32_t {
        const int32_t b = bones.find(element(geometry.links, link).name.c_str());
        if (!isIndexOf(b, skeleton.bones)) return -1;
        const int32_t node = element(skeleton.bones, b).nodeIndex;
        return isIndexOf(node, doc.boneNodes) ? node : -1;
    };
    std::vector<int32_t> nodeOfLink;
    try {
        nodeOfLink.resize(geometry.links.size());
    } catch (const std::bad_alloc&) {
        nodeOfLink.clear();
    }
    const bool tabled = nodeOfLink.size() == geometry.links.size();
    if (tabled) {
        for (int32_t k = 0; k < countOf(geometry.links); ++k) element(nodeOfLink, k) = nodeOf(k);
    }
    const LinkFinder linkOf(geometry);
    for (VertexRecord& vertex : geometry.vertices) {
        for (VertexWeight& weight : vertex.weights) {
            const int32_t link = linkOf.find(weight.linkIndex);
            if (link < 0) continue;
            const int32_t node = tabled ? element(nodeOfLink, link) : nodeOf(link);
            if (node != -1) weight.boneNodeIndex = node;
        }
    }
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
    for (const SceneRecord& s : doc.scenes) {
        for (const SceneObjectRecord& object : s.objects) placeObject(doc, object);
    }
    std::vector<NameIndex<BoneRecord>> boneIndexes;
    try {
        boneIndexes.resize(doc.skeletons.size());
    } catch (const std::bad_alloc&) {
        boneIndexes.clear(); // the bones are looked up without an index
    }
    for (GeometryRecord& geometry : doc.geometries) bindWeightsToBones(doc, geometry, boneIndexes);
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
