// Synthetic scene files for the benchmarks, written the way the exporter
// writes them: one line per number list, positions and texture coordinates
// with up to six decimals (trailing zeros trimmed), colours with three,
// integers plain.
//
// Each kind is made of whole units, and a file at scale K holds
// max(1, llround(K x units per scale)) of them, so that doubling K doubles the
// work without changing its shape:
//   mesh   grid rows of MESH_COLUMNS quads, split into geometries of at most
//          MESH_MAX_ROWS rows, each with two uv sets, corner colours, face
//          materials (three materials, whose textures name either uv set) and
//          two weights per vertex on a small skeleton; about 100 MB at K = 1.
//   rig    pairs of bone chains (RIG_CHAIN_LENGTH bones each, side by side
//          under the skeleton, so the XML nests only that deep), one bone of
//          every pair animated over RIG_FRAMES frames, and a skinned grid one
//          row per unit whose links name bones across the skeleton; 10,000
//          bones at K = 1.
//   scene  scene objects in trees of SCENE_TREE_SIZE (the last one smaller),
//          nested up to SCENE_MAX_DEPTH deep, written in shuffled order so
//          that parents stand both before and after their children, of mixed
//          types, the first few named like the file's geometries, lights and
//          cameras; 100,000 objects at K = 1.
// The output depends only on kind and scale (fixed seed, own random numbers
// and number formatting).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace bxml::bench {

enum class SceneKind { Mesh, Rig, Scene };

// "mesh", "rig" or "scene"; false for anything else.
bool sceneKindFromName(const char* name, SceneKind& kind);
const char* sceneKindName(SceneKind kind);

inline constexpr int MESH_COLUMNS = 256;
inline constexpr int MESH_ROWS_PER_SCALE = 1340;
inline constexpr int MESH_MAX_ROWS = 512;
inline constexpr int MESH_SKELETON_BONES = 8;

inline constexpr int RIG_UNITS_PER_SCALE = 250;
inline constexpr int RIG_CHAIN_LENGTH = 20;
inline constexpr int RIG_CHAINS_PER_UNIT = 2;
inline constexpr int RIG_FRAMES = 1000;
inline constexpr int RIG_MESH_COLUMNS = 32;
inline constexpr int RIG_LINKS = 16;

inline constexpr int SCENE_OBJECTS_PER_SCALE = 100000;
inline constexpr int SCENE_TREE_SIZE = 1000;
inline constexpr int SCENE_MAX_DEPTH = 50; // a root has depth 0

// A scale as given on a command line: a number above 0 and at most
// MAX_SCALE, nothing after it. False (scale unchanged) otherwise.
inline constexpr double MAX_SCALE = 1000.0;
bool parseScale(const char* text, double& scale);

// The number of units a file of the kind holds at the scale.
int64_t unitsAtScale(SceneKind kind, double scale);

// What a generated file holds, counted while it was written.
struct GeneratedScene {
    uint64_t bytes = 0;
    int64_t units = 0;
    int64_t materials = 0;
    int64_t geometries = 0;
    int64_t vertices = 0;         // over all geometries
    int64_t faces = 0;            // quads, over all geometries
    int64_t corners = 0;          // face corners: the count of every uv set and of the colours
    int64_t weightedVertices = 0; // vertices with weights (two each)
    int64_t bones = 0;            // bone elements over all skeletons
    int64_t maxBoneNesting = 0;   // bone elements inside one another at the deepest
    int64_t animatedNodes = 0;
    int64_t framesPerNode = 0;
    int64_t lights = 0;
    int64_t cameras = 0;
    int64_t objects = 0;
    int64_t parentedObjects = 0;   // objects with a parent element
    int64_t parentsAfterChild = 0; // of those, whose parent stands later in the file
    int64_t maxObjectDepth = 0;
};

// Writes the file of the kind at the scale (scale > 0) to out. False when a
// write failed.
bool generateScene(SceneKind kind, double scale, std::FILE* out, GeneratedScene& stats);

// The same into a new file at path; on failure error says why.
bool generateSceneFile(SceneKind kind, double scale, const std::string& path, GeneratedScene& stats,
                       std::string& error);

} // namespace bxml::bench
