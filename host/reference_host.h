// The reference host: an in-memory implementation of every host object the
// plug-in talks to. It owns all storage, keeps the count + array lists the
// plug-in walks in step with what it created, records every operation call in
// order, can be told to refuse any operation, and can be seeded with existing
// cameras, lights and materials.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "contract/host_api.h"

namespace bxml::host {

class ReferenceScene;

// Operations that can be refused, by the names used in the call log.
// Refusing makes the operation return null or 0 (void operations are only
// logged).
struct Refusals {
    // operation name -> first call (1-based, counted per operation) that is refused
    std::map<std::string, int, std::less<>> fromCall;
};

class RefTextureMap : public HostTextureMap {
public:
    int32_t kind = 0;
};

class RefMaterial final : public HostMaterial {
public:
    RefMaterial(ReferenceScene& owner, std::string name) : name(std::move(name)), owner_(owner) {}
    HostTextureMap* AddTextureMap(int32_t kind, int32_t one) override;

    std::string name;
    std::deque<RefTextureMap> maps;
    bool seeded = false;

private:
    ReferenceScene& owner_;
};

// A vertex's bone weights: the array AddVertexWeights handed out, which the
// scene keeps in its weight pool.
class RefVertexWeights {
public:
    RefVertexWeights() = default;
    RefVertexWeights(HostVertexWeight* items, std::size_t count) : items_(items), count_(count) {}

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    const HostVertexWeight& operator[](std::size_t k) const { return items_[k]; }
    const HostVertexWeight* begin() const { return items_; }
    const HostVertexWeight* end() const { return items_ + count_; }

private:
    HostVertexWeight* items_ = nullptr;
    std::size_t count_ = 0;
};

class RefVertex final : public HostVertex {
public:
    explicit RefVertex(ReferenceScene& owner) : owner_(&owner) {}
    void Update(float value) override;

    RefVertexWeights weights;
    int32_t updateCalls = 0;

private:
    ReferenceScene* owner_;
};

struct RefLight : HostLight {
    std::string name;
    bool seeded = false;
};

struct RefCamera : HostCamera {};

struct RefBone : HostBone {
    std::string addedAs; // the name passed to AddBone
};

struct RefTrackStorage {
    std::vector<HostPositionKey> positionKeys;
    std::vector<HostRotationKey> rotationKeys;
    std::vector<HostScaleKey> scaleKeys;
};

class RefAnimation final : public HostAnimation {
public:
    RefAnimation(ReferenceScene& owner, std::string name) : name(std::move(name)), owner_(owner) {}
    int32_t SetTrackCount(int32_t count) override;
    HostAnimationTrack* AddPositionKeys(int32_t track, int32_t count, int32_t zero) override;
    HostAnimationTrack* AddRotationKeys(int32_t track, int32_t count) override;
    HostAnimationTrack* AddScaleKeys(int32_t track, int32_t count) override;

    std::string name;
    std::vector<HostAnimationTrack> trackRecords;
    std::vector<RefTrackStorage> trackStorage;

private:
    HostAnimationTrack* track(int32_t index);
    ReferenceScene& owner_;
};

class RefPolygonBlock final : public HostPolygonBlock {
public:
    explicit RefPolygonBlock(ReferenceScene& owner) : owner_(owner) {}
    int32_t SetPolygonCount(int32_t count) override;
    int32_t SetPolygonCornerCount(int32_t polygon, int32_t corners) override;

    std::vector<HostPolygon> storage;

private:
    ReferenceScene& owner_;
};

struct RefMesh : HostMesh {
    std::string addedAs;
};

class ReferenceScene final : public HostScene {
public:
    ReferenceScene();
    ~ReferenceScene();
    ReferenceScene(const ReferenceScene&) = delete;
    ReferenceScene& operator=(const ReferenceScene&) = delete;

    // --- the host operations ---
    void* GetMainWindow() override;
    void SetAxisSwap(int32_t on) override;
    int32_t SetVertexCount(int32_t count) override;
    void EndMeshes(int32_t value) override;
    void PruneBones() override;
    void EndSkeletons() override;
    void EndImport() override;
    HostVertexWeight* AddVertexWeights(int32_t vertex, int32_t count) override;
    HostLight* AddLight(const HostString& name) override;
    HostMaterial* AddMaterial(const HostString& name) override;
    HostMesh* AddMesh(const HostString& name, int32_t minusOne) override;
    HostBone* AddBone(const HostString& name, int32_t minusOne) override;
    HostAnimation* AddAnimation(const HostString& name) override;
    HostPolygonBlock* GetPolygonBlock() override;

    // --- set-up by tests and tools ---
    void setFileName(const std::wstring& path);
    void setMainWindow(void* window) { mainWindow_ = window; }
    // Refuse `operation` from its `fromCall`-th call on (1 = every call).
    void refuse(const std::string& operation, int fromCall = 1);
    // Whether calls are recorded in the log (on by default; benchmarks switch
    // it off to measure the plug-in rather than the log).
    void setLogging(bool on) { logging_ = on; }
    RefCamera& seedCamera();
    RefLight& seedLight(const std::string& name);
    RefMaterial& seedMaterial(const std::string& name);

    // --- what happened ---
    const std::vector<std::string>& calls() const { return calls_; }
    int countCalls(const std::string& prefix) const;
    int32_t axisSwap = 0;

    std::deque<RefVertex> vertexStore;
    std::deque<std::unique_ptr<RefLight>> lightStore;
    std::deque<std::unique_ptr<RefCamera>> cameraStore;
    std::deque<std::unique_ptr<RefBone>> boneStore;
    std::deque<std::unique_ptr<RefAnimation>> animationStore;
    std::deque<std::unique_ptr<RefMesh>> meshStore;
    std::deque<std::unique_ptr<RefMaterial>> materialStore;
    // The model's polygons, in batches: every GetPolygonBlock hands out a new
    // block, and each polygon names its mesh by its meshIndex.
    std::deque<std::unique_ptr<RefPolygonBlock>> polygonBlocks;

    // Every polygon whose meshIndex is mesh, in the order written.
    std::vector<const HostPolygon*> polygonsOfMesh(int32_t mesh) const;

    // Records a call; returns false when the operation is to be refused.
    // With logging off only the count is kept, so the numeric form formats
    // its arguments only while logging is on.
    bool record(std::string_view operation, std::string_view arguments);
    bool record(std::string_view operation, std::initializer_list<long long> arguments);
    bool loggingOn() const { return logging_; }

private:
    void syncVertexList();
    // count value-initialised weights from the pool, valid as long as the
    // scene: chunks are never moved or freed before it.
    HostVertexWeight* takeWeights(std::size_t count);

    std::vector<HostVertex*> vertexPointers_;
    std::vector<HostLight*> lightPointers_;
    std::vector<HostCamera*> cameraPointers_;
    std::vector<HostBone*> bonePointers_;
    std::vector<HostAnimation*> animationPointers_;
    std::vector<HostMesh*> meshPointers_;
    std::vector<HostMaterial*> materialPointers_;

    // Vertex weights in chunks, so that a weight array per vertex costs no
    // allocation of its own. Arrays replaced by a later AddVertexWeights stay
    // until the scene goes.
    std::vector<std::unique_ptr<HostVertexWeight[]>> weightChunks_;
    std::size_t weightChunkFree_ = 0; // unused weights at the end of the last chunk
    HostVertexWeight* weightChunkNext_ = nullptr;

    std::vector<std::string> calls_;
    Refusals refusals_;
    std::map<std::string, int, std::less<>> callCounts_;
    std::string_view lastOperation_; // the operation last counted and its counter
    int* lastCount_ = nullptr;
    bool logging_ = true;
    void* mainWindow_ = nullptr;
};

// Formats a float in the shortest form that reads back to the same float.
std::string formatFloat(float value);

} // namespace bxml::host
