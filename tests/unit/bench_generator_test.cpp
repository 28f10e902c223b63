// The benchmarks' scene generator: its files hold what it says they hold, in
// the exporter's number forms, the reader takes all of it (lists whose counts
// match, resolved names), doubling the scale doubles the work, and the output
// depends on nothing but kind and scale.
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "bench/scene_generator.h"
#include "document/lookup.h"
#include "document/records.h"
#include "reader/file_reader.h"

namespace bxml::bench {
namespace {

namespace fs = std::filesystem;
using tinyxml2::XMLElement;

// A generated file in the temporary folder (removed at the end of the test),
// its generator statistics and the document the reader made of it.
class Generated {
public:
    Generated(SceneKind kind, double scale) {
        static int counter = 0;
        const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = fs::temp_directory_path() / (std::string("bxml_bench_") + sceneKindName(kind) + "_" +
                                             std::to_string(tick) + "_" + std::to_string(++counter) + ".xml");
        std::string error;
        generated_ = generateSceneFile(kind, scale, path_.string(), stats, error);
        EXPECT_TRUE(generated_) << error;
        std::FILE* file = std::fopen(path_.string().c_str(), "rb");
        if (file != nullptr) {
            readResult_ = readSceneFile(*doc, file);
            std::fclose(file);
        }
    }
    ~Generated() {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    Generated(const Generated&) = delete;
    Generated& operator=(const Generated&) = delete;

    bool ok() const { return generated_ && readResult_ == 1; }
    std::string path() const { return path_.string(); }
    std::string bytes() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    GeneratedScene stats;
    std::unique_ptr<SceneDocument> doc = std::make_unique<SceneDocument>();

private:
    fs::path path_;
    bool generated_ = false;
    int readResult_ = -100;
};

// Tokens of a flat list: runs of spaces and commas separate them.
std::vector<std::string> tokensOf(const char* text) {
    std::vector<std::string> tokens;
    std::string current;
    for (const char* p = text != nullptr ? text : "";; ++p) {
        if (*p == ' ' || *p == ',' || *p == '\0') {
            if (!current.empty()) tokens.push_back(current);
            current.clear();
            if (*p == '\0') break;
        } else {
            current += *p;
        }
    }
    return tokens;
}

// Number of tokens in each comma-separated group.
std::vector<std::size_t> groupSizes(const char* text) {
    std::vector<std::size_t> sizes;
    std::string s = text != nullptr ? text : "";
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = s.find(',', start);
        sizes.push_back(tokensOf(s.substr(start, comma - start).c_str()).size());
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return sizes;
}

int64_t countOfElement(const XMLElement* e) { return e != nullptr ? e->Int64Attribute("count", -1) : -1; }

// A number as the exporter writes it: optional minus, digits, and at most
// `decimals` decimals without trailing zeros; never "-0".
bool isExporterNumber(const std::string& token, int decimals) {
    std::size_t i = token[0] == '-' ? 1 : 0;
    const std::size_t digitsStart = i;
    while (i < token.size() && std::isdigit(static_cast<unsigned char>(token[i]))) ++i;
    if (i == digitsStart) return false;
    if (i == token.size()) return token != "-0";
    if (token[i] != '.') return false;
    const std::size_t fraction = token.size() - i - 1;
    if (fraction == 0 || fraction > static_cast<std::size_t>(decimals) || token.back() == '0') return false;
    return std::all_of(token.begin() + static_cast<std::ptrdiff_t>(i) + 1, token.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

void expectExporterNumbers(const std::vector<std::string>& tokens, int decimals, const char* what) {
    const auto bad = std::find_if(tokens.begin(), tokens.end(),
                                  [decimals](const std::string& t) { return !isExporterNumber(t, decimals); });
    EXPECT_TRUE(bad == tokens.end()) << what << ": " << *bad;
}

// Scales at which each kind holds exactly `units` units.
double meshScale(int rows) { return static_cast<double>(rows) / MESH_ROWS_PER_SCALE; }
double rigScale(int units) { return static_cast<double>(units) / RIG_UNITS_PER_SCALE; }
double sceneScale(int objects) { return static_cast<double>(objects) / SCENE_OBJECTS_PER_SCALE; }

int64_t verticesOf(const SceneDocument& doc) {
    int64_t n = 0;
    for (const GeometryRecord& g : doc.geometries) n += countOf(g.vertices);
    return n;
}

int64_t facesOf(const SceneDocument& doc) {
    int64_t n = 0;
    for (const GeometryRecord& g : doc.geometries) n += countOf(g.faces);
    return n;
}

// Every bone of the document's skeletons apart from the skeletons' own roots.
int64_t boneElementsOf(const SceneDocument& doc) {
    int64_t n = 0;
    for (const SkeletonRecord& s : doc.skeletons) n += countOf(s.bones) - 1;
    return n;
}

int64_t objectsOf(const SceneDocument& doc) { return doc.scenes.empty() ? 0 : countOf(doc.scenes[0].objects); }

TEST(BenchGenerator, MeshListsMatchTheirCountsInExporterNumbers) {
    Generated file(SceneKind::Mesh, meshScale(12));
    ASSERT_TRUE(file.ok());
    tinyxml2::XMLDocument xml;
    ASSERT_EQ(xml.LoadFile(file.path().c_str()), tinyxml2::XML_SUCCESS);
    const XMLElement* geometries = xml.FirstChildElement("orvk")->FirstChildElement("geometries");
    ASSERT_NE(geometries, nullptr);
    int64_t vertexTotal = 0;
    int64_t faceTotal = 0;
    bool negative = false;
    bool positive = false;
    for (const XMLElement* g = geometries->FirstChildElement("geometry"); g != nullptr;
         g = g->NextSiblingElement("geometry")) {
        SCOPED_TRACE(g->Attribute("name"));
        const XMLElement* vertices = g->FirstChildElement("vertices");
        const std::vector<std::string> positions = tokensOf(vertices->GetText());
        const int64_t vertexCount = countOfElement(vertices);
        EXPECT_EQ(static_cast<int64_t>(positions.size()), 3 * vertexCount);
        expectExporterNumbers(positions, 6, "vertices");
        for (const std::string& t : positions) (t[0] == '-' ? negative : positive) = true;

        const XMLElement* indices = g->FirstChildElement("indices");
        const std::vector<std::size_t> faces = groupSizes(indices->GetText());
        const int64_t faceCount = countOfElement(indices);
        EXPECT_EQ(static_cast<int64_t>(faces.size()), faceCount);
        EXPECT_TRUE(std::all_of(faces.begin(), faces.end(), [](std::size_t n) { return n == 4; }));

        int sets = 0;
        for (const XMLElement* uv = g->FirstChildElement("uvset"); uv != nullptr;
             uv = uv->NextSiblingElement("uvset")) {
            ++sets;
            EXPECT_EQ(countOfElement(uv), 4 * faceCount);
            const std::vector<std::string> values = tokensOf(uv->GetText());
            EXPECT_EQ(static_cast<int64_t>(values.size()), 2 * countOfElement(uv));
            expectExporterNumbers(values, 6, "uvset");
        }
        EXPECT_EQ(sets, 2);
        const XMLElement* colors = g->FirstChildElement("colors");
        EXPECT_EQ(countOfElement(colors), 4 * faceCount);
        const std::vector<std::string> colorValues = tokensOf(colors->GetText());
        EXPECT_EQ(static_cast<int64_t>(colorValues.size()), 3 * countOfElement(colors));
        expectExporterNumbers(colorValues, 3, "colors");
        const XMLElement* materials = g->FirstChildElement("materials");
        EXPECT_EQ(countOfElement(materials), faceCount);
        EXPECT_EQ(static_cast<int64_t>(tokensOf(materials->GetText()).size()), faceCount);
        const XMLElement* weights = g->FirstChildElement("weights");
        EXPECT_EQ(countOfElement(weights), vertexCount);
        EXPECT_EQ(weights->IntAttribute("maxBonePerVertex"), 2);
        const std::vector<std::size_t> pairs = groupSizes(weights->GetText());
        EXPECT_EQ(static_cast<int64_t>(pairs.size()), vertexCount);
        EXPECT_TRUE(std::all_of(pairs.begin(), pairs.end(), [](std::size_t n) { return n == 4; }));
        vertexTotal += vertexCount;
        faceTotal += faceCount;
    }
    EXPECT_TRUE(negative && positive);
    EXPECT_EQ(vertexTotal, file.stats.vertices);
    EXPECT_EQ(faceTotal, file.stats.faces);
    EXPECT_EQ(file.stats.corners, 4 * faceTotal);
    EXPECT_EQ(file.stats.faces, int64_t{12} * MESH_COLUMNS);
    EXPECT_EQ(static_cast<uint64_t>(file.bytes().size()), file.stats.bytes);
}

TEST(BenchGenerator, MeshIsReadWholeWithWeightsOnTheSkeletonAndBothUvChannelChoices) {
    Generated file(SceneKind::Mesh, meshScale(12));
    ASSERT_TRUE(file.ok());
    const SceneDocument& doc = *file.doc;
    ASSERT_EQ(countOf(doc.geometries), file.stats.geometries);
    EXPECT_EQ(verticesOf(doc), file.stats.vertices);
    EXPECT_EQ(facesOf(doc), file.stats.faces);
    ASSERT_EQ(countOf(doc.skeletons), 1);
    const SkeletonRecord& skeleton = doc.skeletons[0];
    EXPECT_EQ(boneElementsOf(doc), MESH_SKELETON_BONES);

    // The uv sets and colours were taken (their counts matched the corners):
    // the second set runs below zero, colours leave white.
    ASSERT_EQ(countOf(doc.materials), 3);
    std::set<int32_t> materialsUsed;
    bool secondSetNegative = false;
    bool coloured = false;
    int64_t weighted = 0;
    for (const GeometryRecord& g : doc.geometries) {
        SCOPED_TRACE(g.name.c_str());
        for (const FaceRecord& f : g.faces) {
            EXPECT_EQ(f.cornerCount, 4);
            materialsUsed.insert(f.materialIndex);
            for (int c = 0; c < 4; ++c) {
                secondSetNegative = secondSetNegative || f.uv[1][c].u < 0.0f;
                coloured = coloured || f.colors[c].r != 1.0f || f.colors[c].g != 1.0f || f.colors[c].b != 1.0f;
            }
        }
        for (const VertexRecord& v : g.vertices) {
            ASSERT_EQ(v.weights.size(), 2u);
            for (const VertexWeight& w : v.weights) {
                const BoneLinkRecord* link = findBoneLinkByIndex(g, w.linkIndex);
                ASSERT_NE(link, nullptr);
                EXPECT_GE(findBoneByName(skeleton, link->name.c_str()), 1) << link->name.c_str();
            }
            EXPECT_NEAR(v.weights[0].weight + v.weights[1].weight, 1.0f, 2e-6f);
            ++weighted;
        }
        // Each material names one of the geometry's sets for its colour map
        // (or none): the build takes either channel order.
        std::set<int> channelChoices;
        for (const MaterialRecord& m : doc.materials) {
            if (m.slots[0].uvSetName.equals(g.uvSetNames[0])) channelChoices.insert(0);
            if (m.slots[0].uvSetName.equals(g.uvSetNames[1])) channelChoices.insert(1);
        }
        EXPECT_EQ(channelChoices.size(), 2u);
    }
    EXPECT_EQ(weighted, file.stats.weightedVertices);
    EXPECT_EQ(materialsUsed, (std::set<int32_t>{0, 1, 2}));
    EXPECT_TRUE(secondSetNegative);
    EXPECT_TRUE(coloured);

    // Every geometry is placed by a mesh object under the skeleton object.
    std::set<int32_t> placed;
    for (const SceneObjectRecord& o : doc.scenes.at(0).objects) {
        if (!o.type.equals("mesh")) continue;
        placed.insert(o.targetIndex);
        EXPECT_EQ(o.skeletonIndex, 0);
    }
    EXPECT_EQ(static_cast<int64_t>(placed.size()), file.stats.geometries);
    EXPECT_EQ(placed.count(-1), 0u);
}

TEST(BenchGenerator, RigIsAWideShallowSkeletonWithAnimatedBonesAndASkinnedMesh) {
    Generated file(SceneKind::Rig, rigScale(3));
    ASSERT_TRUE(file.ok());
    const SceneDocument& doc = *file.doc;
    ASSERT_EQ(countOf(doc.skeletons), 1);
    const SkeletonRecord& skeleton = doc.skeletons[0];
    EXPECT_EQ(boneElementsOf(doc), file.stats.bones);
    EXPECT_EQ(file.stats.bones, 3 * RIG_CHAINS_PER_UNIT * RIG_CHAIN_LENGTH);
    EXPECT_EQ(countOf(doc.boneNodes), countOf(skeleton.bones));

    // Bones are numbered parents first, so depths come in one pass.
    std::vector<int> depth(skeleton.bones.size(), 0);
    int deepest = 0;
    int underRoot = 0;
    for (std::size_t b = 1; b < skeleton.bones.size(); ++b) {
        const int32_t parent = skeleton.bones[b].parentIndex;
        ASSERT_GE(parent, 0) << skeleton.bones[b].name.c_str();
        ASSERT_LT(static_cast<std::size_t>(parent), b);
        depth[b] = depth[static_cast<std::size_t>(parent)] + 1;
        deepest = std::max(deepest, depth[b]);
        if (parent == 0) ++underRoot;
    }
    EXPECT_EQ(deepest, RIG_CHAIN_LENGTH);
    EXPECT_EQ(deepest, file.stats.maxBoneNesting);
    EXPECT_EQ(underRoot, 3 * RIG_CHAINS_PER_UNIT);
    for (std::size_t n = 1; n < doc.boneNodes.size(); ++n) EXPECT_GE(doc.boneNodes[n].parentNodeIndex, 0);

    ASSERT_EQ(countOf(doc.animations), 1);
    ASSERT_EQ(countOf(doc.animations[0].skeletonTracks), 1);
    const AnimationSkeletonTrack& track = doc.animations[0].skeletonTracks[0];
    EXPECT_TRUE(track.skeletonName.equals(skeleton.name));
    ASSERT_EQ(countOf(track.nodes), file.stats.animatedNodes);
    EXPECT_EQ(file.stats.animatedNodes, 3);
    std::set<std::string> animated;
    for (const AnimationNodeTrack& node : track.nodes) {
        EXPECT_GE(findBoneByName(skeleton, node.nodeName.c_str()), 1) << node.nodeName.c_str();
        animated.insert(node.nodeName.c_str());
        ASSERT_EQ(countOf(node.positionKeys), RIG_FRAMES);
        EXPECT_EQ(countOf(node.rotationKeys), RIG_FRAMES);
        EXPECT_EQ(node.positionKeys.back().time, static_cast<float>(RIG_FRAMES - 1));
    }
    EXPECT_EQ(animated.size(), track.nodes.size());

    ASSERT_EQ(countOf(doc.geometries), 1);
    const GeometryRecord& body = doc.geometries[0];
    EXPECT_EQ(countOf(body.vertices), file.stats.vertices);
    EXPECT_EQ(countOf(body.links), RIG_LINKS);
    for (const BoneLinkRecord& link : body.links) EXPECT_GE(findBoneByName(skeleton, link.name.c_str()), 1);
    for (const VertexRecord& v : body.vertices) EXPECT_EQ(v.weights.size(), 2u);

    const SceneRecord& scene = doc.scenes.at(0);
    const int32_t rig = findObjectByName(scene, "Rig");
    const int32_t mesh = findObjectByName(scene, "Body");
    ASSERT_GE(rig, 0);
    ASSERT_GE(mesh, 0);
    EXPECT_EQ(scene.objects[static_cast<std::size_t>(rig)].targetIndex, 0);
    EXPECT_EQ(scene.objects[static_cast<std::size_t>(mesh)].targetIndex, 0);
    EXPECT_EQ(scene.objects[static_cast<std::size_t>(mesh)].skeletonIndex, 0);
}

TEST(BenchGenerator, SceneIsAForestWhoseParentsResolveBeforeAndAfterTheChild) {
    constexpr int OBJECTS = SCENE_TREE_SIZE + SCENE_TREE_SIZE / 2;
    Generated file(SceneKind::Scene, sceneScale(OBJECTS));
    ASSERT_TRUE(file.ok());
    const SceneDocument& doc = *file.doc;
    ASSERT_EQ(countOf(doc.scenes), 1);
    const std::vector<SceneObjectRecord>& objects = doc.scenes[0].objects;
    ASSERT_EQ(countOf(objects), OBJECTS);
    EXPECT_EQ(file.stats.objects, OBJECTS);

    // The reader orders parents first; fileIndex keeps the order of the file.
    std::vector<int> depth(objects.size(), 0);
    int roots = 0;
    int deepest = 0;
    int64_t parented = 0;
    int64_t parentLater = 0;
    std::map<std::string, int> types;
    for (std::size_t k = 0; k < objects.size(); ++k) {
        const SceneObjectRecord& o = objects[k];
        ++types[o.type.c_str()];
        if (o.parentName.empty()) {
            ++roots;
            continue;
        }
        ASSERT_GE(o.parentIndex, 0) << o.name.c_str() << " under " << o.parentName.c_str();
        ASSERT_LT(static_cast<std::size_t>(o.parentIndex), k);
        const SceneObjectRecord& parent = objects[static_cast<std::size_t>(o.parentIndex)];
        EXPECT_TRUE(parent.name.equals(o.parentName));
        depth[k] = depth[static_cast<std::size_t>(o.parentIndex)] + 1;
        deepest = std::max(deepest, depth[k]);
        ++parented;
        if (parent.fileIndex > o.fileIndex) ++parentLater;
    }
    EXPECT_EQ(roots, 2);
    EXPECT_EQ(parented, file.stats.parentedObjects);
    EXPECT_EQ(parentLater, file.stats.parentsAfterChild);
    EXPECT_GT(parentLater, parented / 4);
    EXPECT_LT(parentLater, parented * 3 / 4);
    EXPECT_EQ(deepest, file.stats.maxObjectDepth);
    EXPECT_LE(deepest, SCENE_MAX_DEPTH);
    EXPECT_GT(deepest, SCENE_MAX_DEPTH * 4 / 5);
    for (const char* type : {"mesh", "light", "camera", "empty", "font"}) EXPECT_GT(types[type], 0) << type;

    // A few objects place the file's geometries, lights and cameras.
    for (const GeometryRecord& g : doc.geometries) {
        const int32_t o = findObjectByName(doc.scenes[0], g.name.c_str());
        ASSERT_GE(o, 0) << g.name.c_str();
        EXPECT_GE(objects[static_cast<std::size_t>(o)].targetIndex, 0);
    }
    EXPECT_EQ(countOf(doc.lights), file.stats.lights);
    EXPECT_EQ(countOf(doc.cameras), file.stats.cameras);
    for (const LightRecord& l : doc.lights) {
        const int32_t o = findObjectByName(doc.scenes[0], l.name.c_str());
        ASSERT_GE(o, 0) << l.name.c_str();
        EXPECT_GE(objects[static_cast<std::size_t>(o)].targetIndex, 0);
    }
    for (const CameraRecord& c : doc.cameras) {
        const int32_t o = findObjectByName(doc.scenes[0], c.name.c_str());
        ASSERT_GE(o, 0) << c.name.c_str();
        EXPECT_GE(objects[static_cast<std::size_t>(o)].targetIndex, 0);
    }
}

TEST(BenchGenerator, DoublingTheScaleDoublesWhatIsRead) {
    {
        Generated one(SceneKind::Mesh, meshScale(10));
        Generated two(SceneKind::Mesh, meshScale(20));
        ASSERT_TRUE(one.ok() && two.ok());
        EXPECT_EQ(facesOf(*two.doc), 2 * facesOf(*one.doc));
        EXPECT_EQ(two.stats.corners, 2 * one.stats.corners);
        // A grid has one row of vertices more than rows of quads.
        EXPECT_EQ(verticesOf(*two.doc) - 2 * verticesOf(*one.doc), -(MESH_COLUMNS + 1));
        EXPECT_NEAR(static_cast<double>(two.stats.bytes) / static_cast<double>(one.stats.bytes), 2.0, 0.1);
    }
    {
        Generated one(SceneKind::Rig, rigScale(2));
        Generated two(SceneKind::Rig, rigScale(4));
        ASSERT_TRUE(one.ok() && two.ok());
        EXPECT_EQ(boneElementsOf(*two.doc), 2 * boneElementsOf(*one.doc));
        EXPECT_EQ(countOf(two.doc->animations.at(0).skeletonTracks.at(0).nodes),
                  2 * countOf(one.doc->animations.at(0).skeletonTracks.at(0).nodes));
        EXPECT_EQ(facesOf(*two.doc), 2 * facesOf(*one.doc));
        EXPECT_NEAR(static_cast<double>(two.stats.bytes) / static_cast<double>(one.stats.bytes), 2.0, 0.1);
    }
    {
        Generated one(SceneKind::Scene, sceneScale(1200));
        Generated two(SceneKind::Scene, sceneScale(2400));
        ASSERT_TRUE(one.ok() && two.ok());
        EXPECT_EQ(objectsOf(*two.doc), 2 * objectsOf(*one.doc));
        EXPECT_NEAR(static_cast<double>(two.stats.bytes) / static_cast<double>(one.stats.bytes), 2.0, 0.1);
    }
}

TEST(BenchGenerator, OutputDependsOnlyOnKindAndScale) {
    for (SceneKind kind : {SceneKind::Mesh, SceneKind::Rig, SceneKind::Scene}) {
        SCOPED_TRACE(sceneKindName(kind));
        const double scale = 0.002;
        Generated first(kind, scale);
        Generated second(kind, scale);
        ASSERT_TRUE(first.ok() && second.ok());
        const std::string bytes = first.bytes();
        EXPECT_FALSE(bytes.empty());
        EXPECT_TRUE(bytes == second.bytes());
        EXPECT_EQ(first.stats.units, unitsAtScale(kind, scale));
    }
}

} // namespace
} // namespace bxml::bench
