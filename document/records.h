// The scene document: everything read from one scene file, as plain records.
//
// Conventions: names hold at most 255 bytes (Name: short ones inline, longer
// ones in a block of their own); integers are signed 32-bit; an index field
// holds -1 for "none". Every array is a std::vector that its holder owns; an
// empty vector is the "null array with count 0". Records
// have no behaviour: construction gives the defaults, and the storage
// operations (storage.h) create, grow, release and clear the arrays.
#pragma once

#include <cstdint>
#include <vector>

#include "document/fixed_text.h"
#include "math/vector_math.h"

namespace bxml {

struct Color {
    float r = 1.0f;
    float g = 1.0f;
    float b = 1.0f;
    float a = 1.0f;
};

// A scene object as the resolution pass found it: its scene's position in the
// document and its position in that scene's objects (parents first).
struct ObjectRef {
    int32_t scene = -1;
    int32_t object = -1;
};

struct LightRecord {
    Name type; // "omni", "directional", "spot" (case-insensitive)
    Name name;
    int32_t line = 0;   // the line of the element it was read from (0: not read from a file)
    int32_t placed = 0; // 1 once the prepare pass has placed this light
    ObjectRef placedBy; // the scene object that places it (set by the resolution pass)
    float radius = 1.0f;
    float intensity = 1.0f;
    Color color{1, 1, 1, 1};
    float spotAngle = 20.0f;
    float spotInnerAngle = 10.0f;
    Vector3 position{0, 0, 0};
    Vector3 scale{1, 1, 1};
    Quaternion rotation{0, 0, 0, 1};
};

struct CameraRecord {
    float nearClip = 1.0f;
    float farClip = 1000.0f;
    float fov = 45.0f;
    Name type;
    Name name;
    int32_t line = 0; // the line of the element it was read from (0: not read from a file)
    int32_t placed = 0;
    ObjectRef placedBy;
    Vector3 position{0, 0, 0};
    Vector3 scale{1, 1, 1};
    Quaternion rotation{0, 0, 0, 1};
};

struct ImageRecord {
    WidePath path; // bare file name and extension of the url
    Name name;
    int32_t line = 0; // the line of the element it was read from (0: not read from a file)
};

struct TextureRecord {
    int32_t imageIndex = -1;
    Name imageName;
    Name type;
    Name name;
    int32_t line = 0; // the line of the element it was read from (0: not read from a file)
};

// Slot 0: diffuse colour map, 1: alpha map, 2: normal map.
struct MaterialTextureSlot {
    int32_t textureIndex = -1;
    Name textureName;
    Name uvSetName;
    int32_t line = 0; // the line of the texture element that filled the slot
};

inline constexpr int MATERIAL_SLOT_COUNT = 3;

struct MaterialRecord {
    Color diffuse{1, 1, 1, 1};
    Color specular{0, 0, 0, 1};
    float shininess = 128.0f;
    float alpha = 1.0f;
    MaterialTextureSlot slots[MATERIAL_SLOT_COUNT];
    Name name;
};

struct VertexWeight {
    int32_t linkIndex = -1;     // index into the geometry's links (by link `index`)
    int32_t boneNodeIndex = -1; // through its link, set by the resolution pass
    float weight = 0.0f;
};

struct VertexRecord {
    std::vector<VertexWeight> weights;
    Vector3 position{0, 0, 0};
};

struct FaceRecord {
    int32_t cornerCount = 0; // 3 when vertexIndices[3] == -1, else 4
    int32_t vertexIndices[4] = {-1, -1, -1, -1};
    Vector2 uv[2][4] = {}; // [uv set][corner]
    Color colors[4] = {};  // each (1, 1, 1, 1)
    int32_t materialIndex = -1;
};

struct BoneLinkRecord {
    Name name;                  // a bone name
    int32_t index = -1;         // the file's `index` attribute (0 when absent)
    int32_t line = 0;           // the line of the element it was read from (0: not read from a file)
    int32_t boneNodeIndex = -1; // the node of the bone it names (set by the resolution pass)
};

struct GeometryRecord {
    std::vector<VertexRecord> vertices;
    std::vector<FaceRecord> faces;
    std::vector<BoneLinkRecord> links;
    Name uvSetNames[2];
    Name name;
    int32_t placed = 0;
    ObjectRef placedBy;
    Matrix4 placement{};
    int32_t rootNodeIndex = -1;
    int32_t boneNodeIndex = -1;
    int32_t skeletonIndex = -1;
    int32_t line = 0;          // the line of the element it was read from (0: not read from a file)
    int32_t materialsLine = 0; // the line of its `materials` list (0: none)
    int32_t weightsLine = 0;   // the line of its `weights` list (0: none)
};

// One bone of a skeleton; element 0 is the skeleton's own root bone.
struct BoneRecord {
    int32_t parentIndex = -1; // in the same skeleton's bones
    int32_t nodeIndex = -1;   // in the document's boneNodes
    Vector3 position{0, 0, 0};
    Vector3 scale{1, 1, 1};
    Quaternion rotation{0, 0, 0, 1};
    Name parentName;
    Name name;
    int32_t line = 0; // the line of its element; the root bone has its skeleton's
};

struct SkeletonRecord {
    std::vector<BoneRecord> bones;
    Name name;
    int32_t rootNodeIndex = -1;
    int32_t index = -1; // own position in the skeletons array
    ObjectRef placedBy; // the scene object that places its root bone
    int32_t line = 0;   // the line of the element it was read from (0: not read from a file)
};

// One entry of the flat bone-node list; path is "skeleton::bone".
struct BoneNodeRecord {
    int32_t parentNodeIndex = -1;
    int32_t skeletonIndex = -1;
    int32_t boneIndex = -1;
    Vector3 position{0, 0, 0};
    Vector3 scale{1, 1, 1};
    Quaternion rotation{0, 0, 0, 1};
    Name parentPath;
    Name path;
    int32_t placed = 0;
};

struct PositionKey {
    float time = 0.0f;
    Vector3 position{0, 0, 0};
};

struct RotationKey {
    float time = 0.0f;
    Quaternion rotation{0, 0, 0, 1};
};

struct ScaleKey {
    float time = 0.0f;
    Vector3 scale{1, 1, 1};
};

// The three key arrays always have the same length: the node's frame count.
struct AnimationNodeTrack {
    Name nodeName;
    int32_t line = 0;       // the line of the element it was read from (0: not read from a file)
    int32_t boneIndex = -1; // in its track's skeleton; -1 also for a bone an earlier node track has
    std::vector<PositionKey> positionKeys;
    std::vector<RotationKey> rotationKeys;
    std::vector<ScaleKey> scaleKeys;
};

struct AnimationSkeletonTrack {
    Name skeletonName;
    int32_t line = 0;           // the line of the element it was read from (0: not read from a file)
    int32_t skeletonIndex = -1; // -1 also for a skeleton an earlier track of the animation has
    std::vector<AnimationNodeTrack> nodes;
};

struct AnimationRecord {
    float length = 0.0f;
    float fps = 0.0f;
    Name name;
    std::vector<AnimationSkeletonTrack> skeletonTracks;
};

struct SceneObjectRecord {
    int32_t fileIndex = -1; // position in file order, kept through reordering
    int32_t boneNodeIndex = -1;
    Name boneName;
    int32_t parentIndex = -1;
    Name parentName;
    Name name;
    Name type; // "light", "camera", "mesh", "font", "skeleton", ...
    Name skeletonName;
    int32_t targetIndex = -1;
    int32_t rootNodeIndex = -1;
    int32_t skeletonIndex = -1;
    Matrix4 matrix{};
    Vector3 position{0, 0, 0};
    Vector3 scale{1, 1, 1};
    Quaternion rotation{0, 0, 0, 1};
    Vector3 euler{0, 0, 0};
    int32_t line = 0; // the line of the element it was read from (0: not read from a file)
};

struct SceneRecord {
    std::vector<SceneObjectRecord> objects;
    Name name;
};

struct SceneDocument {
    int32_t version = 0;
    std::vector<LightRecord> lights;
    std::vector<CameraRecord> cameras;
    std::vector<ImageRecord> images;
    std::vector<TextureRecord> textures;
    std::vector<MaterialRecord> materials;
    std::vector<GeometryRecord> geometries;
    std::vector<BoneNodeRecord> boneNodes;
    std::vector<SkeletonRecord> skeletons;
    std::vector<AnimationRecord> animations;
    std::vector<SceneRecord> scenes;
    int32_t lightsInFile = 0;
    int32_t camerasInFile = 0;
    int32_t imagesInFile = 0;
    int32_t texturesInFile = 0;
    int32_t materialsInFile = 0;
    int32_t geometriesInFile = 0;
    int32_t boneNodesInFile = 0;
    int32_t skeletonsInFile = 0;
    int32_t animationsInFile = 0;
    int32_t scenesInFile = 0;
    WidePath filePath;
};

// The count of an array as the document's contract states it: a signed 32-bit
// integer (arrays never exceed that; the storage operations refuse larger ones).
template <class T>
inline int32_t countOf(const std::vector<T>& a) {
    return static_cast<int32_t>(a.size());
}

} // namespace bxml
