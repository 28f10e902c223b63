#include "host/gltf_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <type_traits>
#include <unordered_map>

#include "host/gltf_math.h"
#include "host/host_paths.h"
#include "platform/files.h"
#include "platform/text.h"

// stb_image decodes images that glTF cannot hold as they are, stb_image_write
// encodes them as PNG; tinygltf writes the document and is built without its
// own image handling.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_WRITE_NO_STDIO
#include <stb_image.h>
#include <stb_image_write.h>

#define TINYGLTF_IMPLEMENTATION
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <tiny_gltf.h>

namespace bxml::host {

namespace {

constexpr double PI = 3.14159265358979323846;
// Luminous efficacy used to turn watts into lumens, as Blender's own glTF
// exporter does.
constexpr double LUMENS_PER_WATT = 683.0;
// Host cameras carry a placement only; these make them perspective cameras.
constexpr double CAMERA_YFOV = 45.0 * PI / 180.0;
constexpr double CAMERA_ZNEAR = 0.1;
constexpr double CAMERA_ZFAR = 1000.0;
constexpr float DEFAULT_FRAMES_PER_SECOND = 30.0f;

// The shortest decimal that reads back as the float, as a double: the JSON
// then says 0.8 where the float holds 0.8f, not 0.800000011920929.
double decimal(float value) {
    char text[32];
    auto end = std::to_chars(text, text + sizeof text, value).ptr;
    double result = 0.0;
    std::from_chars(text, end, result);
    return result;
}

std::vector<double> decimals(std::initializer_list<float> values) {
    std::vector<double> out;
    for (float v : values) out.push_back(decimal(v));
    return out;
}

// Counts of what had to be mended or left out, reported once each.
struct Losses {
    long long nonFinite = 0;        // numbers that were not finite, written as 0 (or 1 for scales)
    long long badPolygons = 0;      // polygons with a corner count other than 3 or 4 or a vertex out of range
    long long badMaterialIndex = 0; // polygons naming a material that does not exist
    long long lostInfluences = 0;   // vertices with more than four bone influences
    long long droppedKeys = 0;      // keys out of order, at a repeated or negative time
    long long detachedBones = 0;    // bones whose parent index does not come before them
};

float finite(float v, Losses& losses, float fallback = 0.0f) {
    if (std::isfinite(v)) return v;
    ++losses.nonFinite;
    return fallback;
}

Vector3 finite(const Vector3& v, Losses& losses, float fallback = 0.0f) {
    return {finite(v.x, losses, fallback), finite(v.y, losses, fallback), finite(v.z, losses, fallback)};
}

// The host model is Z up when its axis swap is on; glTF is Y up. The turn
// (x, y, z) -> (x, z, -y) is a rotation, so it maps rotations by conjugation
// and permutes the components of scales.
struct AxisTurn {
    bool on = false;

    Vector3 point(const Vector3& p) const { return on ? Vector3{p.x, p.z, -p.y} : p; }
    Vec3d point(const Vec3d& p) const { return on ? Vec3d{p.x, p.z, -p.y} : p; }
    Vector3 scale(const Vector3& s) const { return on ? Vector3{s.x, s.z, s.y} : s; }
    UnitQuaternion rotation(const UnitQuaternion& q) const { return on ? UnitQuaternion{q.x, q.z, -q.y, q.w} : q; }
};

// The file's colours are display colours; glTF's are linear.
struct ColourSpace {
    bool convert = true;

    float linear(float c) const {
        if (!convert) return c;
        if (!(c > 0.0f)) return 0.0f;
        if (c >= 1.0f) return 1.0f;
        const double v = c;
        return static_cast<float>(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
    }
};

float clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

// --- the binary buffer -----------------------------------------------------------

class BufferBuilder {
public:
    explicit BufferBuilder(tinygltf::Model& model) : model_(model) { model_.buffers.emplace_back(); }

    // A view of the bytes, 4-byte aligned; target 0 for none.
    int view(const void* bytes, std::size_t size, int target) {
        std::vector<unsigned char>& data = model_.buffers[0].data;
        while (data.size() % 4 != 0) data.push_back(0);
        tinygltf::BufferView v;
        v.buffer = 0;
        v.byteOffset = data.size();
        v.byteLength = size;
        v.target = target;
        const auto* p = static_cast<const unsigned char*>(bytes);
        data.insert(data.end(), p, p + size);
        model_.bufferViews.push_back(v);
        return static_cast<int>(model_.bufferViews.size()) - 1;
    }

    template <class T>
    int accessor(const std::vector<T>& values, int componentType, int type, int components, int target,
                 bool withBounds) {
        tinygltf::Accessor a;
        a.bufferView = view(values.data(), values.size() * sizeof(T), target);
        a.componentType = componentType;
        a.type = type;
        a.count = values.size() / static_cast<std::size_t>(components);
        if (withBounds && a.count > 0) {
            a.minValues.assign(static_cast<std::size_t>(components), 0.0);
            a.maxValues.assign(static_cast<std::size_t>(components), 0.0);
            for (int c = 0; c < components; ++c) {
                T lo = values[static_cast<std::size_t>(c)], hi = lo;
                for (std::size_t i = static_cast<std::size_t>(c); i < values.size();
                     i += static_cast<std::size_t>(components)) {
                    lo = std::min(lo, values[i]);
                    hi = std::max(hi, values[i]);
                }
                a.minValues[static_cast<std::size_t>(c)] = exact(lo);
                a.maxValues[static_cast<std::size_t>(c)] = exact(hi);
            }
        }
        model_.accessors.push_back(a);
        return static_cast<int>(model_.accessors.size()) - 1;
    }

private:
    // Bounds must equal the stored values exactly.
    template <class T>
    static double exact(T v) {
        if constexpr (std::is_same_v<T, float>) return decimal(v);
        else return static_cast<double>(v);
    }

    tinygltf::Model& model_;
};

int floats(BufferBuilder& b, const std::vector<float>& v, int type, int components, int target, bool bounds = false) {
    return b.accessor(v, TINYGLTF_COMPONENT_TYPE_FLOAT, type, components, target, bounds);
}

// --- images and materials ------------------------------------------------------------

std::string mimeTypeOf(const std::vector<unsigned char>& bytes) {
    static const unsigned char PNG[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), PNG, 8) == 0) return "image/png";
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) return "image/jpeg";
    return {};
}

bool readFile(const std::wstring& path, std::vector<unsigned char>& bytes) {
    std::FILE* f = openFileForReading(path.c_str());
    if (f == nullptr) return false;
    unsigned char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

// A relative URI reference: '/' between segments, everything outside the
// unreserved characters percent-encoded.
std::string uriOf(const std::filesystem::path& relative) {
    std::string out;
    for (const auto& part : relative) {
        if (!out.empty()) out += '/';
        const std::string bytes = utf8Of(part);
        for (unsigned char c : bytes) {
            if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
                out += static_cast<char>(c);
            } else {
                char buf[4];
                std::snprintf(buf, sizeof buf, "%%%02X", static_cast<unsigned>(c));
                out += buf;
            }
        }
    }
    return out;
}

void appendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    const auto* p = static_cast<const unsigned char*>(data);
    out->insert(out->end(), p, p + size);
}

// The image as glTF can hold it: PNG and JPEG files as they are, once they
// decode; anything else stb_image reads (TGA, BMP, GIF, PSD, HDR, PIC, PNM)
// decoded and encoded as PNG. Empty when the bytes do not decode.
std::vector<unsigned char> embeddable(std::vector<unsigned char> bytes, std::string& mime) {
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return {};
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels =
        stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels, 0);
    if (pixels == nullptr) return {};
    mime = mimeTypeOf(bytes);
    if (mime.empty()) {
        mime = "image/png";
        bytes.clear();
        if (stbi_write_png_to_func(appendBytes, &bytes, width, height, channels, pixels, width * channels) == 0)
            bytes.clear();
    }
    stbi_image_free(pixels);
    return bytes;
}

// The images of the model, each embedded once in the buffer with its texture.
class ImageTable {
public:
    ImageTable(tinygltf::Model& model, BufferBuilder& buffer, std::vector<std::string>& warnings)
        : model_(model), buffer_(buffer), warnings_(warnings) {}

    // The texture of the image file, made on first use; -1 (with a warning
    // the first time) when the file is missing or does not decode.
    int texture(const std::wstring& file) {
        auto it = textures_.find(file);
        if (it != textures_.end()) return it->second;
        int index = -1;
        std::vector<unsigned char> bytes;
        std::string mime;
        const std::string shown = wideToUtf8(file.c_str());
        if (!readFile(file, bytes)) {
            warnings_.push_back("image " + shown + " not found: its texture is left out");
        } else if (bytes = embeddable(std::move(bytes), mime); bytes.empty()) {
            warnings_.push_back("image " + shown + " cannot be decoded: its texture is left out");
        } else {
            tinygltf::Image image;
            image.name = utf8Of(pathFromWide(file).stem());
            image.bufferView = buffer_.view(bytes.data(), bytes.size(), 0);
            image.mimeType = mime;
            model_.images.push_back(std::move(image));
            tinygltf::Texture texture;
            texture.source = static_cast<int>(model_.images.size()) - 1;
            model_.textures.push_back(texture);
            index = static_cast<int>(model_.textures.size()) - 1;
        }
        textures_.emplace(file, index);
        return index;
    }

private:
    tinygltf::Model& model_;
    BufferBuilder& buffer_;
    std::vector<std::string>& warnings_;
    std::map<std::wstring, int> textures_;
};

// The diffuse colour tints the diffuse map, as the exporter writes them: the
// colour Blender multiplies the image by (white for an image drawn as it is).
// So baseColorFactor is the diffuse colour (linear) with or without a map.
void buildMaterials(const ReferenceScene& scene, const ColourSpace& colours, ImageTable& images, tinygltf::Model& model,
                    std::vector<std::string>& warnings) {
    for (const auto& m : scene.materialStore) {
        tinygltf::Material material;
        material.name = m->name;
        auto& pbr = material.pbrMetallicRoughness;
        pbr.metallicFactor = 0.0;
        // Blender shows both sides of a face unless told otherwise.
        material.doubleSided = true;
        for (const RefTextureMap& map : m->maps) {
            if ((map.flags & TEXTURE_MAP_FILE_NAME_SET) == 0 || map.fileName.empty()) continue;
            const std::wstring file = map.fileName.wide;
            if (map.kind == TEXTURE_KIND_DIFFUSE_COLOR && pbr.baseColorTexture.index < 0) {
                pbr.baseColorTexture.index = images.texture(file);
            } else if (map.kind == TEXTURE_KIND_NORMAL) {
                // The host model holds no normals, and a normal map without
                // them and their tangents would be drawn in a tangent space
                // each viewer makes up.
                warnings.push_back("material " + m->name + ": the normal map " + wideToUtf8(file.c_str()) +
                                   " is left out (the model has no normals)");
            } else if (map.kind == TEXTURE_KIND_ALPHA) {
                warnings.push_back("material " + m->name + ": the alpha map " + wideToUtf8(file.c_str()) +
                                   " has no glTF slot and is left out");
            }
        }
        const HostColor& d = m->diffuse;
        const float alpha = clamp01(d.a);
        pbr.baseColorFactor = {decimal(colours.linear(d.r)), decimal(colours.linear(d.g)), decimal(colours.linear(d.b)),
                               decimal(alpha)};
        if (alpha < 1.0f) material.alphaMode = "BLEND";
        model.materials.push_back(std::move(material));
    }
}

// --- meshes and skins --------------------------------------------------------------

struct VertexKey {
    int32_t vertex;
    uint32_t uv[4];
    bool operator==(const VertexKey& o) const { return vertex == o.vertex && std::memcmp(uv, o.uv, sizeof uv) == 0; }
};

struct VertexKeyHash {
    std::size_t operator()(const VertexKey& k) const {
        std::size_t h = static_cast<std::size_t>(static_cast<uint32_t>(k.vertex));
        for (uint32_t u : k.uv) h = h * 1000003u ^ u;
        return h;
    }
};

uint32_t bitsOf(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// The glTF vertices and triangles of one material's polygons in one mesh.
struct PrimitiveBuilder {
    int32_t material = -1;
    std::unordered_map<VertexKey, uint32_t, VertexKeyHash> index;
    std::vector<int32_t> hostVertex;
    std::vector<float> uv0, uv1;
    std::vector<uint32_t> triangles;
    bool anyUv0 = false, anyUv1 = false;

    uint32_t corner(const HostPolygon& p, int c, Losses& losses) {
        VertexKey key{p.vertexIndices[c], {}};
        float uv[4] = {finite(p.channels[0][c].u, losses), finite(p.channels[0][c].v, losses),
                       finite(p.channels[1][c].u, losses), finite(p.channels[1][c].v, losses)};
        for (int i = 0; i < 4; ++i) key.uv[i] = bitsOf(uv[i]);
        auto [it, added] = index.emplace(key, static_cast<uint32_t>(hostVertex.size()));
        if (added) {
            hostVertex.push_back(key.vertex);
            uv0.insert(uv0.end(), {uv[0], uv[1]});
            uv1.insert(uv1.end(), {uv[2], uv[3]});
            anyUv0 = anyUv0 || uv[0] != 0.0f || uv[1] != 0.0f;
            anyUv1 = anyUv1 || uv[2] != 0.0f || uv[3] != 0.0f;
        }
        return it->second;
    }
};

// Joint 0 of the skin is the neutral root; host bone i is joint i + 1.
struct Influences {
    uint16_t joints[4] = {0, 0, 0, 0};
    float weights[4] = {1.0f, 0.0f, 0.0f, 0.0f};
};

Influences influencesOf(const RefVertex& v, int32_t boneCount, Losses& losses) {
    std::vector<std::pair<int, float>> items; // (joint, weight)
    for (const HostVertexWeight& w : v.weights)
        if (w.boneIndex >= 0 && w.boneIndex < boneCount && std::isfinite(w.weight) && w.weight > 0.0f)
            items.emplace_back(w.boneIndex + 1, w.weight);
    // One influence per joint, the largest first (ties by joint).
    std::sort(items.begin(), items.end());
    std::vector<std::pair<int, float>> merged;
    for (const auto& item : items) {
        if (!merged.empty() && merged.back().first == item.first) merged.back().second += item.second;
        else merged.push_back(item);
    }
    std::stable_sort(merged.begin(), merged.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    Influences out;
    if (merged.empty()) return out; // the neutral root, fully
    if (merged.size() > 4) {
        ++losses.lostInfluences;
        merged.resize(4);
    }
    float sum = 0.0f;
    for (const auto& m : merged) sum += m.second;
    if (!(sum > 0.0f) || !std::isfinite(sum)) return out;
    float rest = 0.0f;
    for (std::size_t k = 0; k < merged.size(); ++k) {
        out.joints[k] = static_cast<uint16_t>(merged[k].first);
        out.weights[k] = merged[k].second / sum;
        if (k > 0) rest += out.weights[k];
    }
    // The largest takes what the others leave, so that the four sum to 1.
    out.weights[0] = 1.0f - rest;
    return out;
}

struct SkinPlan {
    bool made = false;
    std::vector<bool> skinnedMeshes; // per host mesh
    int rootNode = -1;
    int jointCount = 0;
    std::vector<Influences> influences; // per host vertex, filled when made
};

void writePrimitive(const ReferenceScene& scene, PrimitiveBuilder& p, const SkinPlan& skin, bool skinned,
                    const tinygltf::Model& model, BufferBuilder& buffer, const AxisTurn& turn,
                    const ColourSpace& colours, Losses& losses, tinygltf::Mesh& mesh) {
    if (p.triangles.empty()) return;
    tinygltf::Primitive primitive;
    primitive.mode = TINYGLTF_MODE_TRIANGLES;
    primitive.material = p.material;
    std::vector<float> positions, colors;
    positions.reserve(p.hostVertex.size() * 3);
    colors.reserve(p.hostVertex.size() * 4);
    for (int32_t h : p.hostVertex) {
        const HostVertex& v = *scene.vertices[h];
        const Vector3 q = turn.point(finite(v.position, losses));
        positions.insert(positions.end(), {q.x, q.y, q.z});
        colors.insert(colors.end(), {colours.linear(v.color.r), colours.linear(v.color.g), colours.linear(v.color.b),
                                     clamp01(v.color.a)});
    }
    primitive.attributes["POSITION"] =
        floats(buffer, positions, TINYGLTF_TYPE_VEC3, 3, TINYGLTF_TARGET_ARRAY_BUFFER, true);
    bool textured = false;
    if (p.material >= 0) {
        const tinygltf::Material& m = model.materials[static_cast<std::size_t>(p.material)];
        textured = m.pbrMetallicRoughness.baseColorTexture.index >= 0 || m.normalTexture.index >= 0;
    }
    if (p.anyUv0 || p.anyUv1 || textured)
        primitive.attributes["TEXCOORD_0"] = floats(buffer, p.uv0, TINYGLTF_TYPE_VEC2, 2, TINYGLTF_TARGET_ARRAY_BUFFER);
    if (p.anyUv1)
        primitive.attributes["TEXCOORD_1"] = floats(buffer, p.uv1, TINYGLTF_TYPE_VEC2, 2, TINYGLTF_TARGET_ARRAY_BUFFER);
    primitive.attributes["COLOR_0"] = floats(buffer, colors, TINYGLTF_TYPE_VEC4, 4, TINYGLTF_TARGET_ARRAY_BUFFER);
    if (skinned) {
        std::vector<float> weights;
        std::vector<uint8_t> joints8;
        std::vector<uint16_t> joints16;
        const bool small = skin.jointCount <= 256;
        for (int32_t h : p.hostVertex) {
            const Influences& inf = skin.influences[static_cast<std::size_t>(h)];
            for (int k = 0; k < 4; ++k) {
                weights.push_back(inf.weights[k]);
                if (small) joints8.push_back(static_cast<uint8_t>(inf.joints[k]));
                else joints16.push_back(inf.joints[k]);
            }
        }
        primitive.attributes["JOINTS_0"] =
            small ? buffer.accessor(joints8, TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE, TINYGLTF_TYPE_VEC4, 4,
                                    TINYGLTF_TARGET_ARRAY_BUFFER, false)
                  : buffer.accessor(joints16, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, TINYGLTF_TYPE_VEC4, 4,
                                    TINYGLTF_TARGET_ARRAY_BUFFER, false);
        primitive.attributes["WEIGHTS_0"] =
            floats(buffer, weights, TINYGLTF_TYPE_VEC4, 4, TINYGLTF_TARGET_ARRAY_BUFFER);
    }
    if (p.hostVertex.size() <= 65535) {
        std::vector<uint16_t> indices(p.triangles.begin(), p.triangles.end());
        primitive.indices = buffer.accessor(indices, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, TINYGLTF_TYPE_SCALAR, 1,
                                            TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER, false);
    } else {
        primitive.indices = buffer.accessor(p.triangles, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, TINYGLTF_TYPE_SCALAR, 1,
                                            TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER, false);
    }
    mesh.primitives.push_back(std::move(primitive));
}

// The polygons of each host mesh grouped by material, in material order (no
// material first).
std::vector<std::map<int32_t, PrimitiveBuilder>> gatherPrimitives(const ReferenceScene& scene, Losses& losses) {
    std::vector<std::map<int32_t, PrimitiveBuilder>> meshes(scene.meshStore.size());
    for (std::size_t m = 0; m < meshes.size(); ++m) {
        for (const HostPolygon* polygon : scene.polygonsOfMesh(static_cast<int32_t>(m))) {
            const HostPolygon& p = *polygon;
            bool sound = p.cornerCount == 3 || p.cornerCount == 4;
            for (int c = 0; sound && c < p.cornerCount; ++c)
                sound = p.vertexIndices[c] >= 0 && p.vertexIndices[c] < scene.vertexCount;
            if (!sound) {
                ++losses.badPolygons;
                continue;
            }
            int32_t material = p.materialIndex;
            if (material >= scene.materialCount || material < -1) {
                ++losses.badMaterialIndex;
                material = -1;
            }
            PrimitiveBuilder& builder = meshes[m][material];
            builder.material = material;
            uint32_t corners[4];
            for (int c = 0; c < p.cornerCount; ++c) corners[c] = builder.corner(p, c, losses);
            builder.triangles.insert(builder.triangles.end(), {corners[0], corners[1], corners[2]});
            if (p.cornerCount == 4)
                builder.triangles.insert(builder.triangles.end(), {corners[0], corners[2], corners[3]});
        }
    }
    return meshes;
}

// Local transform of a host bone in glTF space.
struct LocalPose {
    Vector3 translation;
    UnitQuaternion rotation;
    Vector3 scale{1, 1, 1};
};

LocalPose bonePose(const HostBone& bone, const AxisTurn& turn, Losses& losses) {
    const Transform& t = bone.transform;
    return {turn.point(finite(t.position, losses)), turn.rotation(unit(t.rotation, losses.nonFinite)),
            turn.scale(finite(t.scale, losses, 1.0f))};
}

void setTrs(tinygltf::Node& node, const Vector3& t, const UnitQuaternion& r, const Vector3& s) {
    if (t.x != 0.0f || t.y != 0.0f || t.z != 0.0f) node.translation = decimals({t.x, t.y, t.z});
    const float q[4] = {static_cast<float>(r.x), static_cast<float>(r.y), static_cast<float>(r.z),
                        static_cast<float>(r.w)};
    if (q[0] != 0.0f || q[1] != 0.0f || q[2] != 0.0f || q[3] != 1.0f)
        node.rotation = {static_cast<double>(q[0]), static_cast<double>(q[1]), static_cast<double>(q[2]),
                         static_cast<double>(q[3])};
    if (s.x != 1.0f || s.y != 1.0f || s.z != 1.0f) node.scale = decimals({s.x, s.y, s.z});
}

// --- animations ------------------------------------------------------------------

template <class Key>
std::vector<const Key*> orderedKeys(const Key* keys, int32_t count, Losses& losses) {
    std::vector<const Key*> out;
    for (int32_t k = 0; k < count; ++k) {
        if (std::isfinite(keys[k].time) && keys[k].time >= 0.0f) out.push_back(&keys[k]);
        else ++losses.droppedKeys;
    }
    std::stable_sort(out.begin(), out.end(), [](const Key* a, const Key* b) { return a->time < b->time; });
    return out;
}

class AnimationWriter {
public:
    AnimationWriter(BufferBuilder& buffer, Losses& losses) : buffer_(buffer), losses_(losses) {}

    // One sampler and channel; values per key already in glTF space.
    template <class Key, class Value>
    void channel(tinygltf::Animation& animation, int node, const char* path, const Key* keys, int32_t count,
                 float framesPerSecond, int components, int type, Value value) {
        if (keys == nullptr || count <= 0) return;
        // The file marks a frame without this value by a key at time 0; a
        // track made only of such keys carries no motion, and the bone keeps
        // its bind value.
        bool allAtZero = count > 1;
        for (int32_t k = 0; allAtZero && k < count; ++k) allAtZero = keys[k].time == 0.0f;
        if (allAtZero) return;
        std::vector<float> times, values;
        for (const Key* k : orderedKeys(keys, count, losses_)) {
            const float t = static_cast<float>(static_cast<double>(k->time) / framesPerSecond);
            if (!times.empty() && !(t > times.back())) {
                ++losses_.droppedKeys;
                continue;
            }
            times.push_back(t);
            value(*k, values);
        }
        if (times.empty()) return;
        tinygltf::AnimationSampler sampler;
        sampler.input = floats(buffer_, times, TINYGLTF_TYPE_SCALAR, 1, 0, true);
        sampler.output = floats(buffer_, values, type, components, 0);
        sampler.interpolation = "LINEAR";
        animation.samplers.push_back(sampler);
        tinygltf::AnimationChannel c;
        c.sampler = static_cast<int>(animation.samplers.size()) - 1;
        c.target_node = node;
        c.target_path = path;
        animation.channels.push_back(c);
    }

private:
    BufferBuilder& buffer_;
    Losses& losses_;
};

void buildAnimations(const ReferenceScene& scene, const std::vector<int>& boneNodes, const AxisTurn& turn,
                     bool recompose, BufferBuilder& buffer, Losses& losses, tinygltf::Model& model) {
    AnimationWriter writer(buffer, losses);
    for (const auto& a : scene.animationStore) {
        tinygltf::Animation animation;
        animation.name = a->name;
        float fps = a->framesPerSecond;
        if (!std::isfinite(fps) || !(fps > 0.0f)) fps = DEFAULT_FRAMES_PER_SECOND;
        const int32_t tracks = std::min(a->trackCount, scene.boneCount);
        for (int32_t i = 0; i < tracks && a->tracks != nullptr; ++i) {
            const HostAnimationTrack& track = a->tracks[i];
            const Transform& bind = scene.bones[i]->transform;
            const Vector3 p = recompose ? finite(bind.position, losses) : Vector3{0, 0, 0};
            const Vector3 s = recompose ? finite(bind.scale, losses, 1.0f) : Vector3{1, 1, 1};
            const UnitQuaternion r = recompose ? unit(bind.rotation, losses.nonFinite) : UnitQuaternion{};
            const int node = boneNodes[static_cast<std::size_t>(i)];
            // Keys are relative to the bind pose: position P + R*k, rotation
            // R*k, scale S*k per component.
            writer.channel(animation, node, "translation", track.positionKeys, track.positionKeyCount, fps, 3,
                           TINYGLTF_TYPE_VEC3, [&](const HostPositionKey& k, std::vector<float>& out) {
                               const Vector3 kp = finite(k.position, losses);
                               const Vec3d moved = rotate(r, {kp.x, kp.y, kp.z});
                               const Vec3d world = turn.point(Vec3d{p.x + moved.x, p.y + moved.y, p.z + moved.z});
                               out.insert(out.end(), {static_cast<float>(world.x), static_cast<float>(world.y),
                                                      static_cast<float>(world.z)});
                           });
            writer.channel(animation, node, "rotation", track.rotationKeys, track.rotationKeyCount, fps, 4,
                           TINYGLTF_TYPE_VEC4, [&](const HostRotationKey& k, std::vector<float>& out) {
                               const UnitQuaternion q =
                                   turn.rotation(multiply(r, unit(k.rotation, losses.nonFinite), losses.nonFinite));
                               const UnitQuaternion f =
                                   unit(static_cast<float>(q.x), static_cast<float>(q.y), static_cast<float>(q.z),
                                        static_cast<float>(q.w), losses.nonFinite);
                               out.insert(out.end(), {static_cast<float>(f.x), static_cast<float>(f.y),
                                                      static_cast<float>(f.z), static_cast<float>(f.w)});
                           });
            writer.channel(animation, node, "scale", track.scaleKeys, track.scaleKeyCount, fps, 3, TINYGLTF_TYPE_VEC3,
                           [&](const HostScaleKey& k, std::vector<float>& out) {
                               const Vector3 ks = finite(k.scale, losses, 1.0f);
                               const Vector3 v = turn.scale({s.x * ks.x, s.y * ks.y, s.z * ks.z});
                               out.insert(out.end(), {finite(v.x, losses, 1.0f), finite(v.y, losses, 1.0f),
                                                      finite(v.z, losses, 1.0f)});
                           });
        }
        if (!animation.channels.empty()) model.animations.push_back(std::move(animation));
    }
}

// --- lights and cameras ------------------------------------------------------------

// A light or camera node: glTF's look down local -Z with +Y up. The host's
// aimed matrix has the columns right, up and forward. The axis turn applies to
// those directions themselves: the node's own axes keep glTF's meaning (a
// conjugated rotation would turn the local -Z as well and aim the node along
// the host's up column).
void placeAimed(tinygltf::Node& node, const Transform& t, const AxisTurn& turn, Losses& losses) {
    auto column = [&](int c) {
        return turn.point(Vec3d{finite(t.matrix.at(0, c), losses), finite(t.matrix.at(1, c), losses),
                                finite(t.matrix.at(2, c), losses)});
    };
    auto normalised = [](Vec3d v) {
        const double n = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        return n > 1e-12 ? Vec3d{v.x / n, v.y / n, v.z / n} : Vec3d{};
    };
    const Vec3d up = normalised(column(1));
    const Vec3d forward = normalised(column(2));
    UnitQuaternion r;
    // Rebuild an orthonormal frame: x = up x back, y = back x x.
    const Vec3d back{-forward.x, -forward.y, -forward.z};
    const Vec3d x =
        normalised({up.y * back.z - up.z * back.y, up.z * back.x - up.x * back.z, up.x * back.y - up.y * back.x});
    if (x.x != 0 || x.y != 0 || x.z != 0) {
        const Vec3d y{back.y * x.z - back.z * x.y, back.z * x.x - back.x * x.z, back.x * x.y - back.y * x.x};
        r = quaternionFromColumns(x, y, back, losses.nonFinite);
    }
    setTrs(node, turn.point(finite(t.position, losses)), r, {1, 1, 1});
}

void buildLights(const ReferenceScene& scene, const AxisTurn& turn, const ColourSpace& colours, Losses& losses,
                 tinygltf::Model& model, std::vector<int>& roots) {
    for (const auto& l : scene.lightStore) {
        tinygltf::Light light;
        light.name = l->name;
        light.color = {decimal(colours.linear(l->color.r)), decimal(colours.linear(l->color.g)),
                       decimal(colours.linear(l->color.b))};
        const double watts = finite(l->intensity, losses);
        if (l->type == LIGHT_DIRECTIONAL) {
            light.type = "directional";
            light.intensity = watts * LUMENS_PER_WATT; // W/m² -> lux
        } else {
            light.type = l->type == LIGHT_SPOT ? "spot" : "point";
            light.intensity = watts / (4.0 * PI) * LUMENS_PER_WATT; // W -> candela
        }
        light.intensity = decimal(static_cast<float>(light.intensity < 0.0 ? 0.0 : light.intensity));
        if (l->type == LIGHT_SPOT) {
            // Full-cone degrees to half-angles in radians, inside (0, pi/2]
            // with the inner one below the outer one.
            const double outer = std::clamp(finite(l->outerAngle, losses) * PI / 360.0, 1e-4, PI / 2.0);
            const double inner = std::clamp(finite(l->innerAngle, losses) * PI / 360.0, 0.0, outer * 0.999);
            light.spot.outerConeAngle = decimal(static_cast<float>(outer));
            light.spot.innerConeAngle = decimal(static_cast<float>(inner));
        }
        model.lights.push_back(std::move(light));
        tinygltf::Node node;
        node.name = l->name;
        placeAimed(node, l->transform, turn, losses);
        tinygltf::Value::Object ref;
        ref["light"] = tinygltf::Value(static_cast<int>(model.lights.size()) - 1);
        node.extensions["KHR_lights_punctual"] = tinygltf::Value(ref);
        model.nodes.push_back(std::move(node));
        roots.push_back(static_cast<int>(model.nodes.size()) - 1);
    }
}

void buildCameras(const ReferenceScene& scene, const AxisTurn& turn, Losses& losses, tinygltf::Model& model,
                  std::vector<int>& roots) {
    for (std::size_t i = 0; i < scene.cameraStore.size(); ++i) {
        tinygltf::Camera camera;
        camera.type = "perspective";
        camera.perspective.yfov = CAMERA_YFOV;
        camera.perspective.znear = CAMERA_ZNEAR;
        camera.perspective.zfar = CAMERA_ZFAR;
        model.cameras.push_back(camera);
        tinygltf::Node node;
        node.name = "Camera " + std::to_string(i + 1);
        node.camera = static_cast<int>(model.cameras.size()) - 1;
        placeAimed(node, scene.cameraStore[i]->transform, turn, losses);
        model.nodes.push_back(std::move(node));
        roots.push_back(static_cast<int>(model.nodes.size()) - 1);
    }
}

void reportLosses(const Losses& l, std::vector<std::string>& warnings) {
    auto say = [&](long long n, const std::string& text) {
        if (n > 0) warnings.push_back(std::to_string(n) + " " + text);
    };
    say(l.lostInfluences, "vertices had more than four bone influences: the four largest were kept, renormalised");
    say(l.badPolygons, "polygons with a corner count other than 3 or 4 or a vertex out of range were left out");
    say(l.badMaterialIndex, "polygons named a material that does not exist and were written without one");
    say(l.droppedKeys, "animation keys at a negative, repeated or non-finite time were left out");
    say(l.nonFinite, "numbers that were not finite were written as 0 (1 for scales)");
    say(l.detachedBones, "bones named a parent that does not come before them and were made roots");
}

// --- the skin and the bone nodes ------------------------------------------------------

// Which meshes are skinned (any vertex with weights) and, when one is and the
// joints fit, every host vertex's four influences.
SkinPlan planSkin(const ReferenceScene& scene, const std::vector<std::map<int32_t, PrimitiveBuilder>>& primitives,
                  Losses& losses, std::vector<std::string>& warnings) {
    SkinPlan skin;
    skin.skinnedMeshes.assign(primitives.size(), false);
    for (std::size_t m = 0; m < primitives.size(); ++m)
        for (const auto& entry : primitives[m])
            for (int32_t h : entry.second.hostVertex)
                if (!static_cast<const RefVertex*>(scene.vertices[h])->weights.empty()) skin.skinnedMeshes[m] = true;
    const bool anySkinned =
        std::find(skin.skinnedMeshes.begin(), skin.skinnedMeshes.end(), true) != skin.skinnedMeshes.end();
    if (anySkinned && scene.boneCount < 65535) {
        skin.made = true;
        skin.jointCount = scene.boneCount + 1;
        skin.influences.reserve(static_cast<std::size_t>(scene.vertexCount));
        for (int32_t h = 0; h < scene.vertexCount; ++h)
            skin.influences.push_back(
                influencesOf(*static_cast<const RefVertex*>(scene.vertices[h]), scene.boneCount, losses));
    } else if (anySkinned) {
        warnings.push_back("too many bones for one skin: the meshes are written unskinned");
    }
    return skin;
}

// One glTF mesh and root node per host mesh: node i is host mesh i.
void buildMeshes(const ReferenceScene& scene, std::vector<std::map<int32_t, PrimitiveBuilder>>& primitives,
                 const SkinPlan& skin, const AxisTurn& turn, const ColourSpace& colours, BufferBuilder& buffer,
                 Losses& losses, tinygltf::Model& model, std::vector<int>& roots) {
    for (std::size_t m = 0; m < primitives.size(); ++m) {
        tinygltf::Node node;
        node.name = wideToUtf8(scene.meshStore[m]->name.wide);
        tinygltf::Mesh mesh;
        mesh.name = node.name;
        const bool skinMesh = skin.made && skin.skinnedMeshes[m];
        for (auto& entry : primitives[m])
            writePrimitive(scene, entry.second, skin, skinMesh, model, buffer, turn, colours, losses, mesh);
        if (!mesh.primitives.empty()) {
            model.meshes.push_back(std::move(mesh));
            node.mesh = static_cast<int>(model.meshes.size()) - 1;
            if (skinMesh) node.skin = 0;
        }
        model.nodes.push_back(std::move(node));
        roots.push_back(static_cast<int>(model.nodes.size()) - 1);
    }
}

// The bone nodes, under the skin's neutral root when there is a skin.
struct BoneNodes {
    std::vector<int> nodes;  // per host bone
    std::vector<Mat4d> bind; // per host bone: its world bind matrix
};

BoneNodes buildBoneNodes(const ReferenceScene& scene, SkinPlan& skin, const AxisTurn& turn, Losses& losses,
                         tinygltf::Model& model, std::vector<int>& roots) {
    if (skin.made) {
        tinygltf::Node root;
        root.name = "skeleton root";
        model.nodes.push_back(root);
        skin.rootNode = static_cast<int>(model.nodes.size()) - 1;
        roots.push_back(skin.rootNode);
    }
    BoneNodes bones;
    for (int32_t i = 0; i < scene.boneCount; ++i) {
        const auto* bone = static_cast<const RefBone*>(scene.bones[i]);
        tinygltf::Node node;
        node.name = wideToUtf8(bone->name.wide);
        if (node.name.empty()) node.name = "bone " + std::to_string(i);
        const LocalPose pose = bonePose(*bone, turn, losses);
        setTrs(node, pose.translation, pose.rotation, pose.scale);
        model.nodes.push_back(std::move(node));
        const int index = static_cast<int>(model.nodes.size()) - 1;
        bones.nodes.push_back(index);
        const Mat4d local = composeTrs(pose.translation, pose.rotation, pose.scale);
        const int32_t parent = bone->parentIndex;
        if (parent >= 0 && parent < i) {
            const auto p = static_cast<std::size_t>(parent);
            model.nodes[static_cast<std::size_t>(bones.nodes[p])].children.push_back(index);
            bones.bind.push_back(multiply(bones.bind[p], local));
        } else {
            if (parent >= 0) ++losses.detachedBones;
            if (skin.made) model.nodes[static_cast<std::size_t>(skin.rootNode)].children.push_back(index);
            else roots.push_back(index);
            bones.bind.push_back(local);
        }
    }
    return bones;
}

// The skin: joint 0 the neutral root, joint i + 1 bone i, with the inverse
// bind matrices of the bones' world bind matrices.
void buildSkin(const SkinPlan& skin, const BoneNodes& bones, BufferBuilder& buffer, tinygltf::Model& model) {
    if (!skin.made) return;
    tinygltf::Skin s;
    s.name = "skin";
    s.skeleton = skin.rootNode;
    s.joints.push_back(skin.rootNode);
    const Mat4d identity;
    std::vector<float> inverseBind(identity.m, identity.m + 16);
    for (std::size_t i = 0; i < bones.nodes.size(); ++i) {
        s.joints.push_back(bones.nodes[i]);
        const Mat4d inv = inverseAffine(bones.bind[i]);
        for (int k = 0; k < 16; ++k)
            inverseBind.push_back(k % 4 == 3 ? (k == 15 ? 1.0f : 0.0f) : static_cast<float>(inv.m[k]));
    }
    s.inverseBindMatrices = floats(buffer, inverseBind, TINYGLTF_TYPE_MAT4, 16, 0);
    model.skins.push_back(s);
}

// --- the scene -----------------------------------------------------------------------

// The buffer padded to whole words (or none when empty) and the one scene of
// the root nodes (glTF has no empty scene: an empty model has none).
void finishModel(const std::vector<int>& roots, tinygltf::Model& model) {
    if (model.buffers[0].data.empty()) {
        model.buffers.clear();
    } else {
        while (model.buffers[0].data.size() % 4 != 0) model.buffers[0].data.push_back(0);
    }
    if (!roots.empty()) {
        tinygltf::Scene gltfScene;
        gltfScene.nodes = roots;
        model.scenes.push_back(gltfScene);
        model.defaultScene = 0;
    }
}

} // namespace

void buildGltf(const ReferenceScene& scene, const GltfSettings& settings, tinygltf::Model& model,
               std::vector<std::string>& warnings) {
    model = tinygltf::Model();
    model.asset.version = "2.0";
    model.asset.generator = "bxml-host";
    Losses losses;
    const AxisTurn turn{scene.axisSwap == 1 && settings.fault != GltfFault::noAxisTurn};
    const ColourSpace colours{settings.fault != GltfFault::noSrgbConversion};
    BufferBuilder buffer(model);
    ImageTable images(model, buffer, warnings);
    buildMaterials(scene, colours, images, model, warnings);
    std::vector<std::map<int32_t, PrimitiveBuilder>> primitives = gatherPrimitives(scene, losses);
    SkinPlan skin = planSkin(scene, primitives, losses, warnings);
    std::vector<int> roots;
    buildMeshes(scene, primitives, skin, turn, colours, buffer, losses, model, roots);
    const BoneNodes bones = buildBoneNodes(scene, skin, turn, losses, model, roots);
    buildSkin(skin, bones, buffer, model);
    buildLights(scene, turn, colours, losses, model, roots);
    buildCameras(scene, turn, losses, model, roots);
    buildAnimations(scene, bones.nodes, turn, settings.fault != GltfFault::bindRelativeKeys, buffer, losses, model);
    finishModel(roots, model);
    reportLosses(losses, warnings);
}

namespace {

// The JSON document of the model. tinygltf writes an object without members
// as null, which glTF does not allow: every such element of a top-level array
// becomes {}.
nlohmann::json documentOf(const tinygltf::Model& model) {
    tinygltf::TinyGLTF writer;
    writer.SetImageWriter(nullptr, nullptr);
    std::ostringstream out(std::ios::binary);
    writer.WriteGltfSceneToStream(&model, out, false, true);
    const std::string glb = out.str();
    uint32_t jsonLength = 0;
    std::memcpy(&jsonLength, glb.data() + 12, sizeof jsonLength);
    nlohmann::json document = nlohmann::json::parse(glb.begin() + 20, glb.begin() + 20 + jsonLength);
    for (auto& member : document.items())
        if (member.value().is_array())
            for (nlohmann::json& element : member.value())
                if (element.is_null()) element = nlohmann::json::object();
    return document;
}

void appendWord(std::string& out, uint32_t word) {
    for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((word >> shift) & 0xFF);
}

} // namespace

std::string glbBytes(const tinygltf::Model& model) {
    std::string json = documentOf(model).dump();
    json.append((4 - json.size() % 4) % 4, ' ');
    const std::vector<unsigned char> empty;
    const std::vector<unsigned char>& bin = model.buffers.empty() ? empty : model.buffers[0].data;
    const std::size_t binPadding = (4 - bin.size() % 4) % 4;
    const std::size_t binChunk = bin.empty() ? 0 : 8 + bin.size() + binPadding;
    std::string out = "glTF";
    appendWord(out, 2);
    appendWord(out, static_cast<uint32_t>(12 + 8 + json.size() + binChunk));
    appendWord(out, static_cast<uint32_t>(json.size()));
    appendWord(out, 0x4E4F534A); // "JSON"
    out += json;
    if (!bin.empty()) {
        appendWord(out, static_cast<uint32_t>(bin.size() + binPadding));
        appendWord(out, 0x004E4942); // "BIN"
        out.append(bin.begin(), bin.end());
        out.append(binPadding, '\0');
    }
    return out;
}

bool writeGltfFile(const tinygltf::Model& model, const std::filesystem::path& file, std::string& error) {
    std::string extension = utf8Of(file.extension());
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool binary = extension == ".glb";
    std::string text;
    const std::filesystem::path bin = file.parent_path() / pathFromUtf8(utf8Of(file.stem()) + ".bin");
    if (binary) {
        text = glbBytes(model);
    } else {
        nlohmann::json document = documentOf(model);
        if (!model.buffers.empty()) document["buffers"][0]["uri"] = uriOf(bin.filename());
        text = document.dump(2) + "\n";
    }
    std::ofstream out(file, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        error = "cannot write " + utf8Of(file);
        return false;
    }
    if (binary || model.buffers.empty()) return true;
    const std::vector<unsigned char>& data = model.buffers[0].data;
    std::ofstream binOut(bin, std::ios::binary);
    binOut.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    binOut.close();
    if (!binOut) {
        error = "cannot write " + utf8Of(bin);
        return false;
    }
    return true;
}

bool writeSceneAsGltf(const ReferenceScene& scene, const std::filesystem::path& file,
                      std::vector<std::string>& warnings, std::string& error, GltfFault fault) {
    GltfSettings settings;
    settings.fault = fault;
    tinygltf::Model model;
    buildGltf(scene, settings, model, warnings);
    return writeGltfFile(model, file, error);
}

} // namespace bxml::host
