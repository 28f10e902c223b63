#include "builder/mesh_builder.h"

#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

#include "builder/build_common.h"
#include "document/lookup.h"
#include "document/name_index.h"
#include "document/storage.h"
#include "document/weights.h"
#include "math/decompose.h"
#include "math/vector_math.h"
#include "platform/text.h"

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
    const char* type = object.type.c_str();
    const int32_t t = object.targetIndex;
    if (equalsIgnoreCase(type, "light")) {
        if (LightRecord* light = elementOrNull(doc.lights, t)) placeOnce(*light, object);
    } else if (equalsIgnoreCase(type, "camera")) {
        if (CameraRecord* camera = elementOrNull(doc.cameras, t)) placeOnce(*camera, object);
    } else if (equalsIgnoreCase(type, "mesh") || equalsIgnoreCase(type, "font")) {
        if (GeometryRecord* geometry = elementOrNull(doc.geometries, t)) placeGeometry(*geometry, object);
    } else if (equalsIgnoreCase(type, "skeleton")) {
        if (const SkeletonRecord* skeleton = elementOrNull(doc.skeletons, t)) placeSkeletonRoot(doc, *skeleton, object);
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

bool isIncluded(const GeometryRecord& geometry, const ImportOptions& options) {
    return options.sceneMeshesOnly != 1 || geometry.placed != 0;
}

int fillVertices(const SceneDocument& doc, const ImportOptions& options, HostScene& scene) {
    int64_t v = 0;
    for (const GeometryRecord& geometry : doc.geometries) {
        if (!isIncluded(geometry, options)) continue;
        for (const VertexRecord& vertex : geometry.vertices) {
            HostVertex* hostVertex = hostListEntry(scene.vertices, scene.vertexCount, v);
            if (hostVertex == nullptr) return 0;
            hostVertex->position = vertex.position;
            if (!vertex.weights.empty()) {
                const int32_t count = countOf(vertex.weights);
                HostVertexWeight* w = scene.AddVertexWeights(static_cast<int32_t>(v), count);
                if (w != nullptr) {
                    for (int32_t k = 0; k < count; ++k) {
                        w[k].boneIndex = element(vertex.weights, k).boneNodeIndex;
                        w[k].weight = element(vertex.weights, k).weight;
                    }
                }
            }
            ++v;
        }
    }
    return 1;
}

// Which uv set feeds the host's first channel: the geometry's second set when
// the face's material names it for its first texture slot (and does not name
// the first set), else the first. A geometry's faces mostly share a few
// materials, so each material's answer is kept (per geometry, by generation)
// instead of comparing names on every face. Without memory for that it
// compares on every face.
class ChannelChooser {
public:
    explicit ChannelChooser(const SceneDocument& doc) : doc_(doc) {
        try {
            generationOf_.assign(doc.materials.size(), 0);
            swapped_.assign(doc.materials.size(), 0);
        } catch (const std::bad_alloc&) {
            std::vector<uint64_t>().swap(generationOf_);
            std::vector<uint8_t>().swap(swapped_);
        }
    }

    void startGeometry(const GeometryRecord& geometry) {
        geometry_ = &geometry;
        ++generation_;
    }

    // Sets a to the uv set of channel 0 and b to that of channel 1.
    void choose(int32_t materialIndex, int& a, int& b) {
        a = 0;
        b = 1;
        if (!isIndexOf(materialIndex, doc_.materials)) return;
        bool swap = false;
        if (swapped_.empty()) {
            swap = swaps(materialIndex);
        } else {
            if (element(generationOf_, materialIndex) != generation_) {
                element(generationOf_, materialIndex) = generation_;
                element(swapped_, materialIndex) = swaps(materialIndex) ? 1 : 0;
            }
            swap = element(swapped_, materialIndex) != 0;
        }
        if (swap) {
            a = 1;
            b = 0;
        }
    }

private:
    bool swaps(int32_t materialIndex) const {
        return materialUsesUvSet(doc_, materialIndex, geometry_->uvSetNames[0].c_str()) == 0 &&
               materialUsesUvSet(doc_, materialIndex, geometry_->uvSetNames[1].c_str()) != 0;
    }

    const SceneDocument& doc_;
    const GeometryRecord* geometry_ = nullptr;
    uint64_t generation_ = 0;
    std::vector<uint64_t> generationOf_;
    std::vector<uint8_t> swapped_;
};

// Number of leading faces whose mesh, material and vertex indices all lie
// inside the host's lists. The build stops at the first face that does not;
// sizing the block only to the faces before it keeps the host from holding
// polygons that were never filled in.
int32_t writableFaces(const GeometryRecord& geometry, int64_t base, int32_t meshIndex, const HostScene& scene) {
    if (scene.meshes != nullptr && meshIndex >= scene.meshCount) return 0;
    const int32_t faceCount = countOf(geometry.faces);
    for (int32_t j = 0; j < faceCount; ++j) {
        const FaceRecord& face = element(geometry.faces, j);
        if (face.cornerCount != 3 && face.cornerCount != 4) return j;
        if (scene.materials != nullptr && face.materialIndex >= scene.materialCount) return j;
        for (int32_t l = 0; l < face.cornerCount; ++l) {
            const int64_t c = static_cast<int64_t>(face.vertexIndices[l]) + base;
            if (c < 0 || c >= scene.vertexCount) return j;
        }
    }
    return faceCount;
}

int fillPolygons(ChannelChooser& channels, const GeometryRecord& geometry, int64_t base, int32_t meshIndex,
                 HostScene& scene) {
    HostPolygonBlock* block = scene.GetPolygonBlock();
    if (block == nullptr) return 0;
    const int32_t faceCount = writableFaces(geometry, base, meshIndex, scene);
    if (faceCount == 0) return 0;
    if (block->SetPolygonCount(faceCount) == 0) return 0;
    channels.startGeometry(geometry);
    for (int32_t j = 0; j < faceCount; ++j) {
        const FaceRecord& face = element(geometry.faces, j);
        if (block->SetPolygonCornerCount(j, face.cornerCount) == 0) return 0;
        if (scene.meshes != nullptr && meshIndex >= scene.meshCount) return 0;
        if (scene.materials != nullptr && face.materialIndex >= scene.materialCount) return 0;
        // Read the block's list after each call: it is the host's to move.
        if (block->polygons == nullptr || j >= block->polygonCount) return 0;
        HostPolygon& polygon = block->polygons[j];
        polygon.meshIndex = meshIndex;
        polygon.materialIndex = face.materialIndex;
        int a = 0;
        int b = 1;
        channels.choose(face.materialIndex, a, b);
        const int32_t corners = face.cornerCount < 0 ? 0 : (face.cornerCount > 4 ? 4 : face.cornerCount);
        for (int32_t l = 0; l < corners; ++l) {
            const int64_t c = static_cast<int64_t>(face.vertexIndices[l]) + base;
            HostVertex* vertex = hostListEntry(scene.vertices, scene.vertexCount, c);
            if (vertex == nullptr) return 0;
            polygon.vertexIndices[l] = static_cast<int32_t>(c);
            // The host's v axis runs the other way.
            polygon.channels[0][l] = Vector2{face.uv[a][l].u, 1.0f - face.uv[a][l].v};
            polygon.channels[1][l] = Vector2{face.uv[b][l].u, 1.0f - face.uv[b][l].v};
            vertex->color = toHostColor(face.colors[l]);
        }
    }
    return faceCount == countOf(geometry.faces) ? 1 : 0;
}

} // namespace

int64_t addVertexCount(int64_t total, std::size_t count) {
    if (total < 0 || total > HOST_VERTEX_LIMIT) return -1;
    if (count > static_cast<uint64_t>(HOST_VERTEX_LIMIT - total)) return -1;
    return total + static_cast<int64_t>(count);
}

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

int placeSceneObjects(SceneDocument& doc, const ImportOptions& options, HostScene* scene) {
    if (scene == nullptr) return 0;
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
    // Placement succeeded whatever the host made of the meshes (see above).
    (void)buildMeshes(doc, options, scene);
    return 1;
}

int buildMeshes(const SceneDocument& doc, const ImportOptions& options, HostScene* scene) {
    if (scene == nullptr) return 0;

    int64_t total = 0;
    for (const GeometryRecord& geometry : doc.geometries) {
        if (isIncluded(geometry, options)) total = addVertexCount(total, geometry.vertices.size());
    }
    if (total < 0) return 0;
    if (total >= 1) {
        if (scene->SetVertexCount(static_cast<int32_t>(total)) == 0) return 0;
        if (scene->vertices == nullptr || scene->vertexCount < total) return 0;
    }

    if (fillVertices(doc, options, *scene) == 0) return 0;

    for (const GeometryRecord& geometry : doc.geometries) {
        if (!isIncluded(geometry, options)) continue;
        HostString name(geometry.name.c_str());
        if (scene->AddMesh(name, -1) == nullptr) return 0;
    }

    ChannelChooser channels(doc);
    int64_t base = 0;
    int32_t meshIndex = 0;
    for (const GeometryRecord& geometry : doc.geometries) {
        if (!isIncluded(geometry, options)) continue;
        if (!geometry.faces.empty() && fillPolygons(channels, geometry, base, meshIndex, *scene) == 0) return 0;
        base += static_cast<int64_t>(geometry.vertices.size());
        ++meshIndex;
    }
    return 1;
}

} // namespace bxml
