#include "host/json_dump.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string_view>

#include "platform/text.h"

namespace bxml::host {

namespace {

std::string utf8(const HostString& s) { return wideToUtf8(s.wide); }

void appendJsonFloat(std::string& out, float value) {
    if (std::isnan(value)) {
        out += "\"nan\"";
    } else if (std::isinf(value)) {
        out += value < 0 ? "\"-inf\"" : "\"inf\"";
    } else {
        char buf[64];
        const auto res = std::to_chars(buf, buf + sizeof buf, value);
        out.append(buf, res.ptr);
    }
}

void appendInteger(std::string& out, long long value) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
}

void appendJsonString(std::string& out, std::string_view utf8Text) {
    out += '"';
    std::size_t plain = 0; // start of the run of bytes that need no escape
    for (std::size_t i = 0; i < utf8Text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8Text[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out.append(utf8Text, plain, i - plain);
        plain = i + 1;
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default: {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
            out += buf;
        }
        }
    }
    out.append(utf8Text, plain, utf8Text.size() - plain);
    out += '"';
}

// Writes the text with one member per line at the outer levels and short
// arrays of numbers on one line. The text goes to the stream in pieces of
// about `flushAt` bytes, so a dump of any size costs one piece of memory.
class Writer {
public:
    Writer(std::ostream& out, std::size_t flushAt) : out_(out), flushAt_(flushAt) { buffer_.reserve(flushAt + 4096); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void finish() {
        buffer_ += '\n';
        flush();
    }

    void open(char bracket) {
        separate();
        buffer_ += bracket;
        ++depth_;
        first_ = true;
    }
    void close(char bracket) {
        --depth_;
        if (!first_) newline();
        buffer_ += bracket;
        first_ = false;
        spill();
    }
    void key(const char* name) {
        separate();
        appendJsonString(buffer_, name);
        buffer_ += ": ";
        afterKey_ = true;
    }
    void string(std::string_view value) {
        separate();
        appendJsonString(buffer_, value);
        spill();
    }
    void number(long long value) {
        separate();
        appendInteger(buffer_, value);
    }
    void boolean(bool value) {
        separate();
        buffer_ += value ? "true" : "false";
    }
    void decimal(float value) {
        separate();
        appendJsonFloat(buffer_, value);
    }
    void floats(const float* values, int n) {
        separate();
        buffer_ += '[';
        for (int i = 0; i < n; ++i) {
            if (i > 0) buffer_ += ", ";
            appendJsonFloat(buffer_, values[i]);
        }
        buffer_ += ']';
    }
    void vector3(const Vector3& v) {
        const float f[3] = {v.x, v.y, v.z};
        floats(f, 3);
    }
    void color(const HostColor& c) {
        const float f[4] = {c.r, c.g, c.b, c.a};
        floats(f, 4);
    }
    // A value written by the caller straight into the text (one line).
    std::string& value() {
        separate();
        return buffer_;
    }

private:
    void separate() {
        if (afterKey_) {
            afterKey_ = false;
            return;
        }
        if (depth_ == 0) return;
        if (!first_) buffer_ += ',';
        first_ = false;
        newline();
    }
    void newline() {
        buffer_ += '\n';
        buffer_.append(static_cast<std::size_t>(depth_) * 2, ' ');
    }
    void spill() {
        if (buffer_.size() >= flushAt_) flush();
    }
    void flush() {
        out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        buffer_.clear();
    }

    std::ostream& out_;
    const std::size_t flushAt_;
    std::string buffer_;
    int depth_ = 0;
    bool first_ = true;
    bool afterKey_ = false;
};

void writeTransform(Writer& w, const Transform& t) {
    w.open('{');
    w.key("axisX");
    w.vector3(t.axisX);
    w.key("axisY");
    w.vector3(t.axisY);
    w.key("axisZ");
    w.vector3(t.axisZ);
    w.key("position");
    w.vector3(t.position);
    w.key("scale");
    w.vector3(t.scale);
    w.key("matrix");
    w.floats(t.matrix.m, 16);
    w.key("rotation");
    const float q[4] = {t.rotation.x, t.rotation.y, t.rotation.z, t.rotation.w};
    w.floats(q, 4);
    w.close('}');
}

void writePlugin(Writer& w, const RefPluginInfo* info) {
    w.key("plugin");
    w.open('{');
    w.key("description");
    w.string(info != nullptr ? utf8(info->description) : "");
    w.key("version");
    w.string(info != nullptr ? utf8(info->version) : "");
    w.key("fileFilter");
    w.string(info != nullptr ? utf8(info->fileFilter) : "");
    w.key("extensions");
    w.open('[');
    if (info != nullptr)
        for (const std::string& e : info->extensions) w.string(e);
    w.close(']');
    w.close('}');
}

void writeDialog(Writer& w, const DialogObservation& d) {
    static const struct {
        const char* key;
        int id;
    } TEXTS[] = {{"fileVersion", 1001}, {"vertices", 1007}, {"faces", 1009},      {"lights", 1006}, {"materials", 1005},
                 {"textures", 1011},    {"bones", 1004},    {"animations", 1012}, {"scale", 1021}};
    static const struct {
        const char* key;
        int id;
    } CHECKS[] = {{"importLights", 2048}, {"sceneMeshesOnly", 2049}, {"pruneBones", 2047}, {"swapModel", 2046}};
    w.key("dialog");
    w.open('{');
    for (const auto& t : TEXTS) {
        w.key(t.key);
        w.string(wideToUtf8(d.text(t.id).c_str()));
    }
    for (const auto& c : CHECKS) {
        w.key(c.key);
        auto it = d.checks.find(c.id);
        w.boolean(it != d.checks.end() && it->second);
    }
    w.close('}');
}

void writeVertices(Writer& w, const ReferenceScene& s) {
    w.key("vertices");
    w.open('[');
    for (int32_t i = 0; i < s.vertexCount; ++i) {
        const HostVertex* v = s.vertices[i];
        w.open('{');
        w.key("position");
        w.vector3(v->position);
        w.key("color");
        w.color(v->color);
        w.key("weights");
        std::string& out = w.value();
        out += '[';
        const auto* ref = static_cast<const RefVertex*>(v);
        for (std::size_t k = 0; k < ref->weights.size(); ++k) {
            if (k > 0) out += ", ";
            out += '[';
            appendInteger(out, ref->weights[k].boneIndex);
            out += ", ";
            appendJsonFloat(out, ref->weights[k].weight);
            out += ']';
        }
        out += ']';
        w.close('}');
    }
    w.close(']');
}

void cornerList(std::string& out, const HostPolygon& p, int channel) {
    out += '[';
    for (int c = 0; c < p.cornerCount && c < 4; ++c) {
        if (c > 0) out += ", ";
        if (channel < 0) {
            appendInteger(out, p.vertexIndices[c]);
        } else {
            const Vector2& uv = p.channels[channel][c];
            out += '[';
            appendJsonFloat(out, uv.u);
            out += ", ";
            appendJsonFloat(out, uv.v);
            out += ']';
        }
    }
    out += ']';
}

// The polygons of every mesh, each mesh's in the host's order (block by
// block), found in one pass over the blocks.
std::vector<std::vector<const HostPolygon*>> polygonsByMesh(const ReferenceScene& s) {
    std::vector<std::vector<const HostPolygon*>> byMesh(s.meshStore.size());
    for (const auto& block : s.polygonBlocks)
        for (const HostPolygon& p : block->storage)
            if (p.meshIndex >= 0 && static_cast<std::size_t>(p.meshIndex) < byMesh.size())
                byMesh[static_cast<std::size_t>(p.meshIndex)].push_back(&p);
    return byMesh;
}

void writeMeshes(Writer& w, const ReferenceScene& s) {
    const auto byMesh = polygonsByMesh(s);
    w.key("meshes");
    w.open('[');
    for (std::size_t meshIndex = 0; meshIndex < s.meshStore.size(); ++meshIndex) {
        const auto& mesh = s.meshStore[meshIndex];
        w.open('{');
        w.key("name");
        w.string(utf8(mesh->name));
        w.key("polygons");
        w.open('[');
        // Polygons stand under the mesh they name (the host keeps them in
        // batches, one per polygon block).
        {
            for (const HostPolygon* polygon : byMesh[meshIndex]) {
                const HostPolygon& p = *polygon;
                w.open('{');
                w.key("corners");
                w.number(p.cornerCount);
                w.key("mesh");
                w.number(p.meshIndex);
                w.key("material");
                w.number(p.materialIndex);
                w.key("vertices");
                cornerList(w.value(), p, -1);
                w.key("uv0");
                cornerList(w.value(), p, 0);
                w.key("uv1");
                cornerList(w.value(), p, 1);
                w.close('}');
            }
        }
        w.close(']');
        w.close('}');
    }
    w.close(']');
}

void writeMaterials(Writer& w, const ReferenceScene& s, const std::string& sceneFolder) {
    w.key("materials");
    w.open('[');
    for (const auto& m : s.materialStore) {
        w.open('{');
        w.key("name");
        w.string(m->name);
        w.key("diffuse");
        w.color(m->diffuse);
        w.key("specular");
        w.color(m->specular);
        w.key("maps");
        w.open('[');
        for (const RefTextureMap& map : m->maps) {
            w.open('{');
            w.key("kind");
            w.number(map.kind);
            w.key("flags");
            w.number(map.flags);
            w.key("file");
            std::string file = utf8(map.fileName);
            if (!sceneFolder.empty() && file.compare(0, sceneFolder.size(), sceneFolder) == 0)
                file.erase(0, sceneFolder.size());
            w.string(file);
            w.close('}');
        }
        w.close(']');
        w.close('}');
    }
    w.close(']');
}

void writeLights(Writer& w, const ReferenceScene& s) {
    w.key("lights");
    w.open('[');
    for (const auto& l : s.lightStore) {
        w.open('{');
        w.key("name");
        w.string(l->name);
        w.key("type");
        w.number(l->type);
        w.key("transform");
        writeTransform(w, l->transform);
        w.key("innerAngle");
        w.decimal(l->innerAngle);
        w.key("outerAngle");
        w.decimal(l->outerAngle);
        w.key("intensity");
        w.decimal(l->intensity);
        w.key("color");
        w.color(l->color);
        w.key("extra");
        w.floats(l->distances, 2);
        w.close('}');
    }
    w.close(']');
}

void writeCamerasAndBones(Writer& w, const ReferenceScene& s) {
    w.key("cameras");
    w.open('[');
    for (const auto& c : s.cameraStore) {
        w.open('{');
        w.key("transform");
        writeTransform(w, c->transform);
        w.close('}');
    }
    w.close(']');
    w.key("bones");
    w.open('[');
    for (const auto& b : s.boneStore) {
        w.open('{');
        w.key("name");
        w.string(utf8(b->name));
        w.key("addedAs");
        w.string(b->addedAs);
        w.key("parent");
        w.number(b->parentIndex);
        w.key("transform");
        writeTransform(w, b->transform);
        w.close('}');
    }
    w.close(']');
}

void writeAnimations(Writer& w, const ReferenceScene& s) {
    w.key("animations");
    w.open('[');
    for (const auto& a : s.animationStore) {
        w.open('{');
        w.key("name");
        w.string(a->name);
        w.key("framesPerSecond");
        w.decimal(a->framesPerSecond);
        w.key("frameCount");
        w.decimal(a->frameCount);
        w.key("tracks");
        w.open('[');
        for (int32_t t = 0; t < a->trackCount; ++t) {
            const HostAnimationTrack& track = a->tracks[t];
            w.open('{');
            w.key("position");
            w.open('[');
            for (int32_t k = 0; k < track.positionKeyCount; ++k) {
                const HostPositionKey& key = track.positionKeys[k];
                const float f[4] = {key.time, key.position.x, key.position.y, key.position.z};
                w.floats(f, 4);
            }
            w.close(']');
            w.key("rotation");
            w.open('[');
            for (int32_t k = 0; k < track.rotationKeyCount; ++k) {
                const HostRotationKey& key = track.rotationKeys[k];
                const float f[5] = {key.time, key.rotation.x, key.rotation.y, key.rotation.z, key.rotation.w};
                w.floats(f, 5);
            }
            w.close(']');
            w.key("scale");
            w.open('[');
            for (int32_t k = 0; k < track.scaleKeyCount; ++k) {
                const HostScaleKey& key = track.scaleKeys[k];
                const float f[4] = {key.time, key.scale.x, key.scale.y, key.scale.z};
                w.floats(f, 4);
            }
            w.close(']');
            w.close('}');
        }
        w.close(']');
        w.close('}');
    }
    w.close(']');
}

} // namespace

std::string jsonFloat(float value) {
    std::string out;
    appendJsonFloat(out, value);
    return out;
}

std::string jsonString(const std::string& utf8Text) {
    std::string out;
    appendJsonString(out, utf8Text);
    return out;
}

void writeJson(const ImportRecord& record, std::ostream& out, std::size_t flushAt) {
    Writer w(out, flushAt);
    w.open('{');
    writePlugin(w, record.plugin);
    w.key("importResult");
    w.number(record.importResult);
    w.key("optionsResult");
    w.number(record.optionsResult);
    w.key("errorMessage");
    w.string(record.errorMessage);
    writeDialog(w, record.dialog);
    static const ReferenceScene EMPTY;
    const ReferenceScene& s = record.scene != nullptr ? *record.scene : EMPTY;
    w.key("calls");
    w.open('[');
    for (const std::string& call : s.calls()) w.string(call);
    w.close(']');
    w.key("axisSwap");
    w.number(s.axisSwap);
    writeVertices(w, s);
    writeMeshes(w, s);
    writeMaterials(w, s, record.sceneFolder);
    writeLights(w, s);
    writeCamerasAndBones(w, s);
    writeAnimations(w, s);
    w.close('}');
    w.finish();
}

std::string dumpJson(const ImportRecord& record) {
    std::ostringstream text;
    writeJson(record, text);
    return text.str();
}

} // namespace bxml::host
