#include "builder/mesh_builder.h"

#include <vector>

#include "builder/build_common.h"
#include "document/lookup.h"
#include "math/vector_math.h"

namespace bxml {

namespace {

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
