// The host application's plug-in interface as this plug-in sees it.
//
// These are our own declarations, written from what the plug-in passes to the
// host and relies on. Objects with operations are abstract classes whose
// virtual functions are declared in the host's slot order; the host implements
// them. Records the plug-in fills are plain fields. Everything the host returns
// belongs to the host: the plug-in fills fields and frees nothing.
//
// Choices of ours where the host's contract is silent:
// - Every list the plug-in walks is a signed 32-bit count and an array of
//   pointers to the host's objects (`HostVertex** vertices`); the host keeps
//   count and array in step with what it created. A null array goes with 0.
// - Arrays the host hands out for filling (vertex weights, key arrays,
//   polygons) are plain records, exactly as long as the count asked for.
// - HostString converts between its halves as UTF-8 when the 8-bit text is
//   valid UTF-8; otherwise through the ANSI code page (Windows) or byte by byte
//   as Latin-1 (elsewhere).

#pragma once

#include <cstdint>

#include <cstring>
#include <cwchar>

#include "contract/transform.h"
#include "math/vector_math.h"
#include "platform/text.h"

namespace bxml {

inline constexpr int HOST_STRING_CAPACITY = 260;

// 260 wide characters followed by 260 8-bit characters, both zero-terminated.
struct HostString {
    wchar_t wide[HOST_STRING_CAPACITY];
    char narrow[HOST_STRING_CAPACITY];

    HostString() { clear(); }
    explicit HostString(const char* s) { assign(s); }
    explicit HostString(const wchar_t* s) { assign(s); }
    HostString(const HostString& o) { copyFrom(o); }
    HostString& operator=(const HostString& o) {
        if (this != &o) copyFrom(o);
        return *this;
    }
    ~HostString() { clear(); }

    // Copies wide text (truncated to 259 characters) and converts it into the
    // 8-bit half (at most 259 bytes, never a partial UTF-8 sequence).
    void assign(const wchar_t* s);
    // Copies 8-bit text (truncated to 259 bytes) and converts it into the wide
    // half.
    void assign(const char* s);
    void clear() {
        wide[0] = L'\0';
        narrow[0] = '\0';
    }
    // Empty means the wide half is empty.
    bool empty() const { return wide[0] == L'\0'; }

private:
    void copyFrom(const HostString& o);
};

class HostScene;

// The callback whose address registration hands to the host. The fourth
// argument is never used.
using HostCallbackFunction = int32_t (*)(int32_t message, HostScene* scene, void* extra, int32_t unused);

// The registration record the host passes with PLUGIN_INIT.
class HostPluginInfo {
public:
    [[nodiscard]] virtual int32_t AddFileExtension(const HostString& extension) = 0; // non-zero: accepted

    uint8_t classId[16] = {};
    int32_t registrationValue1 = 0; // written as 1 (meaning is the host's)
    int32_t registrationValue2 = 0; // written as 2 (meaning is the host's)
    HostCallbackFunction callback = nullptr;
    HostString description;
    HostString version;
    HostString fileFilter;

protected:
    ~HostPluginInfo() = default;
};

// Bit values of HostTextureMap::flags.
inline constexpr int32_t TEXTURE_MAP_FILE_NAME_SET = 1;
inline constexpr int32_t TEXTURE_MAP_NORMAL = 2;
inline constexpr int32_t TEXTURE_MAP_ALPHA = 4;

struct HostTextureMap {
    int32_t flags = 0;
    HostString fileName;
};

struct HostColor {
    float r = 1.0f;
    float g = 1.0f;
    float b = 1.0f;
    float a = 1.0f;
};

// Kinds of texture map, the first argument of HostMaterial::AddTextureMap.
inline constexpr int32_t TEXTURE_KIND_DIFFUSE_COLOR = 0;
inline constexpr int32_t TEXTURE_KIND_ALPHA = 1;
inline constexpr int32_t TEXTURE_KIND_NORMAL = 2;

class HostMaterial {
public:
    // kind: one of TEXTURE_KIND_*; second argument 1.
    virtual HostTextureMap* AddTextureMap(int32_t kind, int32_t one) = 0;

    HostColor diffuse;
    HostColor specular;

protected:
    ~HostMaterial() = default;
};

// Values of HostLight::type.
inline constexpr int32_t LIGHT_OMNI = 0;
inline constexpr int32_t LIGHT_DIRECTIONAL = 1;
inline constexpr int32_t LIGHT_SPOT = 2;

struct HostLight {
    int32_t type = LIGHT_OMNI; // one of LIGHT_*
    Transform transform;
    float innerAngle = 0.0f; // spot inner angle
    float outerAngle = 0.0f; // spot outer angle
    float intensity = 1.0f;
    HostColor color;
    float distances[2] = {0.0f, 0.0f}; // only the scale pass touches them
};

struct HostCamera {
    Transform transform;
};

struct HostBone {
    int32_t parentIndex = -1;
    Transform transform;
    HostString name;
};

class HostVertex {
public:
    virtual void Update(float value) = 0;

    Vector3 position;
    HostColor color;

protected:
    ~HostVertex() = default;
};

struct HostVertexWeight {
    int32_t boneIndex = -1;
    float weight = 0.0f;
};

struct HostPositionKey {
    float time = 0.0f;
    Vector3 position;
};

struct HostRotationKey {
    float time = 0.0f;
    Quaternion rotation;
};

struct HostScaleKey {
    float time = 0.0f;
    Vector3 scale{1, 1, 1};
};

struct HostAnimationTrack {
    int32_t positionKeyCount = 0;
    HostPositionKey* positionKeys = nullptr;
    int32_t rotationKeyCount = 0;
    HostRotationKey* rotationKeys = nullptr;
    int32_t scaleKeyCount = 0;
    HostScaleKey* scaleKeys = nullptr;
};

class HostAnimation {
public:
    [[nodiscard]] virtual int32_t SetTrackCount(int32_t count) = 0; // non-zero: success
    // The third argument is 0.
    virtual HostAnimationTrack* AddPositionKeys(int32_t track, int32_t count, int32_t zero) = 0;
    virtual HostAnimationTrack* AddRotationKeys(int32_t track, int32_t count) = 0;
    virtual HostAnimationTrack* AddScaleKeys(int32_t track, int32_t count) = 0;

    float framesPerSecond = 0.0f;
    float frameCount = 0.0f;
    int32_t trackCount = 0;
    HostAnimationTrack* tracks = nullptr; // trackCount records

protected:
    ~HostAnimation() = default;
};

struct HostMesh {
    HostString name;
};

// One polygon of a mesh: up to four corners, two texture-coordinate channels.
struct HostPolygon {
    int32_t cornerCount = 0;
    int32_t meshIndex = -1;
    int32_t materialIndex = -1;
    int32_t vertexIndices[4] = {-1, -1, -1, -1};
    Vector2 channels[2][4] = {}; // [channel][corner]
};

// The polygons of the mesh being filled (the last one added).
class HostPolygonBlock {
public:
    [[nodiscard]] virtual int32_t SetPolygonCount(int32_t count) = 0;                          // non-zero: success
    [[nodiscard]] virtual int32_t SetPolygonCornerCount(int32_t polygon, int32_t corners) = 0; // non-zero: success

    int32_t polygonCount = 0;
    HostPolygon* polygons = nullptr; // polygonCount records

protected:
    ~HostPolygonBlock() = default;
};

// The host's model object, passed with every callback message.
class HostScene {
public:
    virtual void* GetMainWindow() = 0; // dialog owner (HWND on Windows)
    virtual void SetAxisSwap(int32_t on) = 0;
    [[nodiscard]] virtual int32_t SetVertexCount(int32_t count) = 0; // non-zero: success
    virtual void EndMeshes(int32_t value) = 0;
    virtual void PruneBones() = 0;
    virtual void EndSkeletons() = 0;
    virtual void EndImport() = 0;
    virtual HostVertexWeight* AddVertexWeights(int32_t vertex, int32_t count) = 0;
    virtual HostLight* AddLight(const HostString& name) = 0;
    virtual HostMaterial* AddMaterial(const HostString& name) = 0;
    virtual HostMesh* AddMesh(const HostString& name, int32_t minusOne) = 0;
    virtual HostBone* AddBone(const HostString& name, int32_t minusOne) = 0;
    virtual HostAnimation* AddAnimation(const HostString& name) = 0;
    virtual HostPolygonBlock* GetPolygonBlock() = 0;

    HostString fileName;
    HostString errorMessage;

    int32_t vertexCount = 0;
    HostVertex** vertices = nullptr;
    int32_t lightCount = 0;
    HostLight** lights = nullptr;
    int32_t cameraCount = 0;
    HostCamera** cameras = nullptr;
    int32_t boneCount = 0;
    HostBone** bones = nullptr;
    int32_t animationCount = 0;
    HostAnimation** animations = nullptr;
    int32_t meshCount = 0;
    HostMesh** meshes = nullptr;
    int32_t materialCount = 0;
    HostMaterial** materials = nullptr;

protected:
    ~HostScene() = default;
};

// Message codes.
inline constexpr int32_t PLUGIN_INIT = 0x10016;
inline constexpr int32_t PLUGIN_QUERY_VERSION = 0x10017;
inline constexpr int32_t IMPORT_REQUEST = 0x10018;
inline constexpr int32_t EXPORT_REQUEST = 0x10019;
inline constexpr int32_t IMPORT_OPTIONS_REQUEST = 0x1001F;
inline constexpr int32_t EXPORT_OPTIONS_REQUEST = 0x10020;
inline constexpr int32_t PLUGIN_INTERFACE_VERSION = 3606;

// Result codes towards the host.
inline constexpr int32_t RESULT_FAILED = 0;
inline constexpr int32_t RESULT_DONE = 1;
inline constexpr int32_t RESULT_CANCELLED = 2;

inline void HostString::assign(const wchar_t* s) {
    std::size_t n = 0;
    if (s != nullptr) {
        while (n + 1 < HOST_STRING_CAPACITY && s[n] != L'\0') ++n;
        std::wmemmove(wide, s, n);
    }
    wide[n] = L'\0';
    wideToNarrow(wide, narrow, HOST_STRING_CAPACITY);
}

inline void HostString::assign(const char* s) {
    const std::size_t n = utf8CutLength(s, HOST_STRING_CAPACITY - 1);
    if (n > 0) std::memmove(narrow, s, n);
    narrow[n] = '\0';
    narrowToWide(narrow, wide, HOST_STRING_CAPACITY);
}

inline void HostString::copyFrom(const HostString& o) {
    std::wmemcpy(wide, o.wide, HOST_STRING_CAPACITY);
    std::memcpy(narrow, o.narrow, HOST_STRING_CAPACITY);
    wide[HOST_STRING_CAPACITY - 1] = L'\0';
    narrow[HOST_STRING_CAPACITY - 1] = '\0';
}

// Signatures of the two exports.
using PluginProcFunction = int32_t (*)(int32_t message, HostPluginInfo* info, uint64_t value, int32_t unused);
using PluginVersionFunction = int32_t (*)();

} // namespace bxml
