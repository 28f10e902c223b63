#include "host/reference_host.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/text.h"

namespace bxml::host {

namespace {

std::string narrowOf(const HostString& s) { return wideToUtf8(s.wide); }

std::string args(std::initializer_list<long long> values) {
    std::string out;
    for (long long v : values) {
        if (!out.empty()) out += ',';
        out += std::to_string(v);
    }
    return out;
}

} // namespace

std::string formatFloat(float value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

// --- ReferenceScene -------------------------------------------------------------

ReferenceScene::ReferenceScene() = default;
ReferenceScene::~ReferenceScene() = default;

bool ReferenceScene::record(std::string_view operation, std::string_view arguments) {
    // Calls mostly repeat the last operation (one per vertex, per polygon):
    // its counter is kept at hand. The view is of the map's own key, which
    // stays put as long as the map does.
    if (lastCount_ == nullptr || operation != lastOperation_) {
        auto count = callCounts_.find(operation);
        if (count == callCounts_.end()) count = callCounts_.emplace(std::string(operation), 0).first;
        lastOperation_ = count->first;
        lastCount_ = &count->second;
    }
    const int n = ++*lastCount_;
    if (logging_) calls_.push_back(std::string(operation).append("(").append(arguments).append(")"));
    if (refusals_.fromCall.empty()) return true;
    auto it = refusals_.fromCall.find(operation);
    return !(it != refusals_.fromCall.end() && n >= it->second);
}

bool ReferenceScene::record(std::string_view operation, std::initializer_list<long long> arguments) {
    return record(operation, logging_ ? args(arguments) : std::string());
}

int ReferenceScene::countCalls(const std::string& operation) const {
    auto it = callCounts_.find(operation);
    return it == callCounts_.end() ? 0 : it->second;
}

void ReferenceScene::refuse(const std::string& operation, int fromCall) {
    refusals_.fromCall[operation] = fromCall < 1 ? 1 : fromCall;
}

void ReferenceScene::setFileName(const std::wstring& path) { fileName.assign(path.c_str()); }

namespace {

// Appends one object to a host list, keeping count and array in step.
template <class Pointer, class Object>
void appendToList(std::vector<Pointer>& pointers, Pointer*& array, int32_t& count, Object* object) {
    pointers.push_back(object);
    array = pointers.data();
    count = static_cast<int32_t>(pointers.size());
}

} // namespace

void ReferenceScene::syncVertexList() {
    vertexPointers_.clear();
    vertexPointers_.reserve(vertexStore.size());
    for (auto& v : vertexStore) vertexPointers_.push_back(&v);
    vertices = vertexPointers_.empty() ? nullptr : vertexPointers_.data();
    vertexCount = static_cast<int32_t>(vertexPointers_.size());
}

void* ReferenceScene::GetMainWindow() {
    record("GetMainWindow", "");
    return mainWindow_;
}

void ReferenceScene::SetAxisSwap(int32_t on) {
    record("SetAxisSwap", {on});
    axisSwap = on;
}

int32_t ReferenceScene::SetVertexCount(int32_t count) {
    if (!record("SetVertexCount", {count}) || count < 0) return 0;
    while (vertexStore.size() > static_cast<std::size_t>(count)) vertexStore.pop_back();
    while (vertexStore.size() < static_cast<std::size_t>(count)) vertexStore.emplace_back(*this);
    syncVertexList();
    return 1;
}

void ReferenceScene::EndMeshes(int32_t value) { record("EndMeshes", {value}); }

void ReferenceScene::PruneBones() { record("PruneBones", ""); }

void ReferenceScene::EndSkeletons() { record("EndSkeletons", ""); }

void ReferenceScene::EndImport() { record("EndImport", ""); }

HostVertexWeight* ReferenceScene::takeWeights(std::size_t count) {
    constexpr std::size_t CHUNK = 1 << 16;
    if (count > weightChunkFree_) {
        const std::size_t size = count > CHUNK ? count : CHUNK;
        weightChunks_.push_back(std::make_unique<HostVertexWeight[]>(size));
        weightChunkNext_ = weightChunks_.back().get();
        weightChunkFree_ = size;
    }
    HostVertexWeight* taken = weightChunkNext_;
    weightChunkNext_ += count;
    weightChunkFree_ -= count;
    return taken;
}

HostVertexWeight* ReferenceScene::AddVertexWeights(int32_t vertex, int32_t count) {
    if (!record("AddVertexWeights", {vertex, count})) return nullptr;
    if (vertex < 0 || static_cast<std::size_t>(vertex) >= vertexStore.size() || count <= 0) return nullptr;
    HostVertexWeight* weights = takeWeights(static_cast<std::size_t>(count));
    vertexStore[static_cast<std::size_t>(vertex)].weights = RefVertexWeights(weights, static_cast<std::size_t>(count));
    return weights;
}

HostLight* ReferenceScene::AddLight(const HostString& name) {
    if (!record("AddLight", narrowOf(name))) return nullptr;
    auto light = std::make_unique<RefLight>();
    light->name = narrowOf(name);
    RefLight* result = light.get();
    lightStore.push_back(std::move(light));
    appendToList(lightPointers_, lights, lightCount, result);
    return result;
}

HostMaterial* ReferenceScene::AddMaterial(const HostString& name) {
    if (!record("AddMaterial", narrowOf(name))) return nullptr;
    materialStore.push_back(std::make_unique<RefMaterial>(*this, narrowOf(name)));
    appendToList(materialPointers_, materials, materialCount, materialStore.back().get());
    return materialStore.back().get();
}

HostMesh* ReferenceScene::AddMesh(const HostString& name, int32_t minusOne) {
    if (!record("AddMesh", narrowOf(name) + "," + std::to_string(minusOne))) return nullptr;
    auto mesh = std::make_unique<RefMesh>();
    mesh->name = name;
    mesh->addedAs = narrowOf(name);
    meshStore.push_back(std::move(mesh));
    appendToList(meshPointers_, meshes, meshCount, meshStore.back().get());
    return meshStore.back().get();
}

HostBone* ReferenceScene::AddBone(const HostString& name, int32_t minusOne) {
    if (!record("AddBone", narrowOf(name) + "," + std::to_string(minusOne))) return nullptr;
    auto bone = std::make_unique<RefBone>();
    bone->addedAs = narrowOf(name);
    bone->name = name;
    boneStore.push_back(std::move(bone));
    appendToList(bonePointers_, bones, boneCount, boneStore.back().get());
    return boneStore.back().get();
}

HostAnimation* ReferenceScene::AddAnimation(const HostString& name) {
    if (!record("AddAnimation", narrowOf(name))) return nullptr;
    animationStore.push_back(std::make_unique<RefAnimation>(*this, narrowOf(name)));
    appendToList(animationPointers_, animations, animationCount, animationStore.back().get());
    return animationStore.back().get();
}

HostPolygonBlock* ReferenceScene::GetPolygonBlock() {
    if (!record("GetPolygonBlock", "") || meshStore.empty()) return nullptr;
    polygonBlocks.push_back(std::make_unique<RefPolygonBlock>(*this));
    return polygonBlocks.back().get();
}

std::vector<const HostPolygon*> ReferenceScene::polygonsOfMesh(int32_t mesh) const {
    std::vector<const HostPolygon*> out;
    for (const auto& block : polygonBlocks)
        for (const HostPolygon& p : block->storage)
            if (p.meshIndex == mesh) out.push_back(&p);
    return out;
}

RefCamera& ReferenceScene::seedCamera() {
    cameraStore.push_back(std::make_unique<RefCamera>());
    appendToList(cameraPointers_, cameras, cameraCount, cameraStore.back().get());
    return *cameraStore.back();
}

RefLight& ReferenceScene::seedLight(const std::string& name) {
    auto light = std::make_unique<RefLight>();
    light->name = name;
    light->seeded = true;
    lightStore.push_back(std::move(light));
    appendToList(lightPointers_, lights, lightCount, lightStore.back().get());
    return *lightStore.back();
}

RefMaterial& ReferenceScene::seedMaterial(const std::string& name) {
    materialStore.push_back(std::make_unique<RefMaterial>(*this, name));
    materialStore.back()->seeded = true;
    appendToList(materialPointers_, materials, materialCount, materialStore.back().get());
    return *materialStore.back();
}

// --- the other host objects ---------------------------------------------------------

HostTextureMap* RefMaterial::AddTextureMap(int32_t kind, int32_t one) {
    if (!owner_.record("AddTextureMap", name + "," + args({kind, one}))) return nullptr;
    maps.emplace_back();
    maps.back().kind = kind;
    return &maps.back();
}

void RefVertex::Update(float value) {
    ++updateCalls;
    if (owner_->loggingOn()) owner_->record("Update", formatFloat(value));
}

int32_t RefAnimation::SetTrackCount(int32_t count) {
    if (!owner_.record("SetTrackCount", name + "," + args({count})) || count < 0) return 0;
    trackRecords.assign(static_cast<std::size_t>(count), HostAnimationTrack{});
    trackStorage.assign(static_cast<std::size_t>(count), RefTrackStorage{});
    tracks = trackRecords.empty() ? nullptr : trackRecords.data();
    trackCount = count;
    return 1;
}

HostAnimationTrack* RefAnimation::track(int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= trackRecords.size()) return nullptr;
    return &trackRecords[static_cast<std::size_t>(index)];
}

HostAnimationTrack* RefAnimation::AddPositionKeys(int32_t index, int32_t count, int32_t zero) {
    if (!owner_.record("AddPositionKeys", name + "," + args({index, count, zero}))) return nullptr;
    HostAnimationTrack* t = track(index);
    if (t == nullptr || count <= 0) return nullptr;
    auto& keys = trackStorage[static_cast<std::size_t>(index)].positionKeys;
    keys.assign(static_cast<std::size_t>(count), HostPositionKey{});
    t->positionKeys = keys.data();
    t->positionKeyCount = count;
    return t;
}

HostAnimationTrack* RefAnimation::AddRotationKeys(int32_t index, int32_t count) {
    if (!owner_.record("AddRotationKeys", name + "," + args({index, count}))) return nullptr;
    HostAnimationTrack* t = track(index);
    if (t == nullptr || count <= 0) return nullptr;
    auto& keys = trackStorage[static_cast<std::size_t>(index)].rotationKeys;
    keys.assign(static_cast<std::size_t>(count), HostRotationKey{});
    t->rotationKeys = keys.data();
    t->rotationKeyCount = count;
    return t;
}

HostAnimationTrack* RefAnimation::AddScaleKeys(int32_t index, int32_t count) {
    if (!owner_.record("AddScaleKeys", name + "," + args({index, count}))) return nullptr;
    HostAnimationTrack* t = track(index);
    if (t == nullptr || count <= 0) return nullptr;
    auto& keys = trackStorage[static_cast<std::size_t>(index)].scaleKeys;
    keys.assign(static_cast<std::size_t>(count), HostScaleKey{});
    t->scaleKeys = keys.data();
    t->scaleKeyCount = count;
    return t;
}

int32_t RefPolygonBlock::SetPolygonCount(int32_t count) {
    if (!owner_.record("SetPolygonCount", {count}) || count < 0) return 0;
    storage.assign(static_cast<std::size_t>(count), HostPolygon{});
    polygons = storage.empty() ? nullptr : storage.data();
    polygonCount = count;
    return 1;
}

int32_t RefPolygonBlock::SetPolygonCornerCount(int32_t polygon, int32_t corners) {
    if (!owner_.record("SetPolygonCornerCount", {polygon, corners})) return 0;
    if (polygon < 0 || polygon >= polygonCount || (corners != 3 && corners != 4)) return 0;
    storage[static_cast<std::size_t>(polygon)].cornerCount = corners;
    return 1;
}

} // namespace bxml::host
