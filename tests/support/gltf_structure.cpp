#include "tests/support/gltf_structure.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include <nlohmann/json.hpp>

// As in the writer: tinygltf without its own image handling.
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <tiny_gltf.h>

namespace bxml::testing {

namespace {

bool inRange(int index, std::size_t size) { return index >= 0 && static_cast<std::size_t>(index) < size; }

// Integer element values of an accessor that passed the bounds checks.
uint32_t integerAt(const tinygltf::Model& m, const tinygltf::Accessor& a, std::size_t element, int component) {
    const tinygltf::BufferView& v = m.bufferViews[static_cast<std::size_t>(a.bufferView)];
    const int size = tinygltf::GetComponentSizeInBytes(static_cast<uint32_t>(a.componentType));
    const int components = tinygltf::GetNumComponentsInType(static_cast<uint32_t>(a.type));
    const std::size_t stride = v.byteStride != 0 ? v.byteStride : static_cast<std::size_t>(size * components);
    const unsigned char* p = m.buffers[static_cast<std::size_t>(v.buffer)].data.data() + v.byteOffset + a.byteOffset +
                             element * stride + static_cast<std::size_t>(component * size);
    if (size == 1) return *p;
    if (size == 2) {
        uint16_t u;
        std::memcpy(&u, p, 2);
        return u;
    }
    uint32_t u;
    std::memcpy(&u, p, 4);
    return u;
}

std::string accessorProblem(const tinygltf::Model& m, const tinygltf::Accessor& a) {
    if (!inRange(a.bufferView, m.bufferViews.size())) return "accessor without a valid buffer view";
    const tinygltf::BufferView& v = m.bufferViews[static_cast<std::size_t>(a.bufferView)];
    const int size = tinygltf::GetComponentSizeInBytes(static_cast<uint32_t>(a.componentType));
    const int components = tinygltf::GetNumComponentsInType(static_cast<uint32_t>(a.type));
    if (size <= 0 || components <= 0) return "accessor of unknown type";
    const std::size_t element = static_cast<std::size_t>(size * components);
    const std::size_t stride = v.byteStride != 0 ? v.byteStride : element;
    if ((v.byteOffset + a.byteOffset) % static_cast<std::size_t>(size) != 0) return "accessor not aligned";
    if (a.count == 0) return "accessor with no elements";
    if (a.byteOffset + (a.count - 1) * stride + element > v.byteLength) return "accessor outside its buffer view";
    return {};
}

} // namespace

std::string gltfStructureProblem(const tinygltf::Model& m) {
    for (const tinygltf::BufferView& v : m.bufferViews) {
        if (!inRange(v.buffer, m.buffers.size())) return "buffer view without a valid buffer";
        if (v.byteOffset + v.byteLength > m.buffers[static_cast<std::size_t>(v.buffer)].data.size())
            return "buffer view outside its buffer";
    }
    for (const tinygltf::Accessor& a : m.accessors) {
        const std::string problem = accessorProblem(m, a);
        if (!problem.empty()) return problem;
    }
    for (const tinygltf::Image& image : m.images)
        if (image.uri.empty() && !inRange(image.bufferView, m.bufferViews.size())) return "image without data";
    for (const tinygltf::Texture& t : m.textures)
        if (!inRange(t.source, m.images.size())) return "texture without an image";
    for (const tinygltf::Material& material : m.materials) {
        const int base = material.pbrMetallicRoughness.baseColorTexture.index;
        const int normal = material.normalTexture.index;
        if ((base != -1 && !inRange(base, m.textures.size())) || (normal != -1 && !inRange(normal, m.textures.size())))
            return "material names a texture that does not exist";
    }
    for (const tinygltf::Mesh& mesh : m.meshes) {
        if (mesh.primitives.empty()) return "mesh without primitives";
        for (const tinygltf::Primitive& p : mesh.primitives) {
            if (p.material != -1 && !inRange(p.material, m.materials.size())) return "primitive material out of range";
            auto position = p.attributes.find("POSITION");
            if (position == p.attributes.end() || !inRange(position->second, m.accessors.size()))
                return "primitive without positions";
            const std::size_t vertices = m.accessors[static_cast<std::size_t>(position->second)].count;
            for (const auto& attribute : p.attributes)
                if (!inRange(attribute.second, m.accessors.size()) ||
                    m.accessors[static_cast<std::size_t>(attribute.second)].count != vertices)
                    return "attribute " + attribute.first + " does not match the vertex count";
            if (!inRange(p.indices, m.accessors.size())) return "primitive without indices";
            const tinygltf::Accessor& indices = m.accessors[static_cast<std::size_t>(p.indices)];
            if (indices.count % 3 != 0) return "indices are not whole triangles";
            for (std::size_t i = 0; i < indices.count; ++i)
                if (integerAt(m, indices, i, 0) >= vertices) return "index beyond the vertex count";
        }
    }
    for (const tinygltf::Skin& skin : m.skins) {
        for (int joint : skin.joints)
            if (!inRange(joint, m.nodes.size())) return "skin joint is not a node";
        if (!inRange(skin.inverseBindMatrices, m.accessors.size()) ||
            m.accessors[static_cast<std::size_t>(skin.inverseBindMatrices)].count != skin.joints.size())
            return "inverse bind matrices do not match the joints";
    }
    std::vector<int> parents(m.nodes.size(), 0);
    for (const tinygltf::Node& node : m.nodes) {
        if ((node.mesh != -1 && !inRange(node.mesh, m.meshes.size())) ||
            (node.skin != -1 && !inRange(node.skin, m.skins.size())) ||
            (node.camera != -1 && !inRange(node.camera, m.cameras.size())))
            return "node names an object that does not exist";
        for (int child : node.children) {
            if (!inRange(child, m.nodes.size())) return "child is not a node";
            if (++parents[static_cast<std::size_t>(child)] > 1) return "node with two parents";
        }
        auto light = node.extensions.find("KHR_lights_punctual");
        if (light != node.extensions.end() && !inRange(light->second.Get("light").GetNumberAsInt(), m.lights.size()))
            return "node names a light that does not exist";
        if (node.skin == -1 || node.mesh == -1) continue;
        const std::size_t joints = m.skins[static_cast<std::size_t>(node.skin)].joints.size();
        for (const tinygltf::Primitive& p : m.meshes[static_cast<std::size_t>(node.mesh)].primitives) {
            auto it = p.attributes.find("JOINTS_0");
            if (it == p.attributes.end()) continue;
            const tinygltf::Accessor& a = m.accessors[static_cast<std::size_t>(it->second)];
            for (std::size_t i = 0; i < a.count; ++i)
                for (int c = 0; c < 4; ++c)
                    if (integerAt(m, a, i, c) >= joints) return "joint beyond the skin's joints";
        }
    }
    for (const tinygltf::Scene& scene : m.scenes)
        for (int node : scene.nodes)
            if (!inRange(node, m.nodes.size()) || parents[static_cast<std::size_t>(node)] != 0)
                return "scene root is not a root node";
    for (const tinygltf::Animation& animation : m.animations)
        for (const tinygltf::AnimationChannel& c : animation.channels) {
            if (!inRange(c.target_node, m.nodes.size()) || !inRange(c.sampler, animation.samplers.size()))
                return "animation channel out of range";
            const tinygltf::AnimationSampler& s = animation.samplers[static_cast<std::size_t>(c.sampler)];
            if (!inRange(s.input, m.accessors.size()) || !inRange(s.output, m.accessors.size()) ||
                m.accessors[static_cast<std::size_t>(s.input)].count !=
                    m.accessors[static_cast<std::size_t>(s.output)].count)
                return "animation sampler input and output do not match";
        }
    return {};
}

namespace {

uint32_t wordAt(const std::string& bytes, std::size_t offset) {
    uint32_t w = 0;
    for (int k = 3; k >= 0; --k) w = (w << 8) | static_cast<unsigned char>(bytes[offset + static_cast<std::size_t>(k)]);
    return w;
}

// The members glTF requires of each element of a top-level list.
struct RequiredMembers {
    const char* list;
    std::vector<const char*> members;
};

const RequiredMembers REQUIRED[] = {
    {"accessors", {"componentType", "count", "type"}},
    {"animations", {"channels", "samplers"}},
    {"buffers", {"byteLength"}},
    {"bufferViews", {"buffer", "byteLength"}},
    {"cameras", {"type"}},
    {"images", {}},
    {"materials", {}},
    {"meshes", {"primitives"}},
    {"nodes", {}},
    {"samplers", {}},
    {"scenes", {}},
    {"skins", {"joints"}},
    {"textures", {}},
};

std::string jsonProblem(const nlohmann::json& document) {
    if (!document.is_object()) return "the JSON document is not an object";
    if (!document.contains("asset") || document["asset"].value("version", "") != "2.0")
        return "no asset with version 2.0";
    for (const RequiredMembers& required : REQUIRED) {
        if (!document.contains(required.list)) continue;
        const nlohmann::json& list = document[required.list];
        if (!list.is_array() || list.empty()) return std::string(required.list) + " is not a non-empty list";
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string where = std::string(required.list) + "[" + std::to_string(i) + "]";
            if (!list[i].is_object()) return where + " is not an object";
            for (const char* member : required.members)
                if (!list[i].contains(member)) return where + " has no " + member;
        }
    }
    return {};
}

} // namespace

std::string glbStructureProblem(const std::string& bytes) {
    if (bytes.size() < 20 || bytes.compare(0, 4, "glTF") != 0 || wordAt(bytes, 4) != 2)
        return "no glTF 2 binary header";
    if (wordAt(bytes, 8) != bytes.size()) return "the header's length is not the file's";
    const std::size_t jsonLength = wordAt(bytes, 12);
    if (wordAt(bytes, 16) != 0x4E4F534A || jsonLength % 4 != 0 || 20 + jsonLength > bytes.size())
        return "no JSON chunk";
    std::size_t end = 20 + jsonLength;
    if (end != bytes.size()) {
        if (end + 8 > bytes.size() || wordAt(bytes, end + 4) != 0x004E4942 || wordAt(bytes, end) % 4 != 0 ||
            end + 8 + wordAt(bytes, end) != bytes.size())
            return "the chunk after the JSON is not one BIN chunk filling the file";
    }
    const nlohmann::json document =
        nlohmann::json::parse(bytes.begin() + 20, bytes.begin() + static_cast<std::ptrdiff_t>(end), nullptr, false);
    if (document.is_discarded()) return "the JSON chunk is not JSON";
    const std::string problem = jsonProblem(document);
    if (!problem.empty()) return problem;
    tinygltf::TinyGLTF loader;
    // Images are not decoded here: their bytes are checked by the validator.
    loader.SetImageLoader([](tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*,
                             int, void*) { return true; },
                          nullptr);
    tinygltf::Model model;
    std::string error, warning;
    if (!loader.LoadBinaryFromMemory(&model, &error, &warning, reinterpret_cast<const unsigned char*>(bytes.data()),
                                     static_cast<unsigned int>(bytes.size())))
        return "tinygltf cannot read the file back: " + error;
    return gltfStructureProblem(model);
}

} // namespace bxml::testing
