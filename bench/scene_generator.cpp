#include "bench/scene_generator.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>
#include <vector>

namespace bxml::bench {

namespace {

constexpr uint64_t SEED = 0x5EED'B0A7'2024'0001ULL;

// splitmix64: the same numbers on every platform and standard library.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}

    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // In [low, high).
    double uniform(double low, double high) {
        return low + (high - low) * static_cast<double>(next() >> 11) * 0x1.0p-53;
    }
    // In [0, n), n > 0.
    int64_t below(int64_t n) { return static_cast<int64_t>(next() % static_cast<uint64_t>(n)); }

private:
    uint64_t state_;
};

// Buffered text output with the exporter's number forms.
class TextOut {
public:
    explicit TextOut(std::FILE* file) : file_(file), buffer_(1 << 20) {}

    void put(char c) {
        if (used_ == buffer_.size()) flush();
        buffer_[used_++] = c;
    }
    void put(std::string_view s) {
        if (used_ + s.size() > buffer_.size()) flush();
        if (s.size() > buffer_.size()) {
            write(s.data(), s.size());
            return;
        }
        std::memcpy(buffer_.data() + used_, s.data(), s.size());
        used_ += s.size();
    }
    void integer(int64_t value) {
        char digits[24];
        int n = 0;
        uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        do {
            digits[n++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (value < 0) put('-');
        while (n > 0) put(digits[--n]);
    }
    // At most `decimals` (1..6) decimals, trailing zeros and a bare point
    // dropped, never "-0".
    void fixed(double value, int decimals) {
        static constexpr int64_t POWER[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
        const int64_t scale = POWER[decimals];
        int64_t q = std::llround(value * static_cast<double>(scale));
        if (q < 0) {
            put('-');
            q = -q;
        }
        integer(q / scale);
        int64_t fraction = q % scale;
        if (fraction == 0) return;
        int n = decimals;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --n;
        }
        char digits[8];
        for (int i = n - 1; i >= 0; --i) {
            digits[i] = static_cast<char>('0' + fraction % 10);
            fraction /= 10;
        }
        put('.');
        put(std::string_view(digits, static_cast<std::size_t>(n)));
    }
    // ` name="value"` for the number forms.
    void attribute(std::string_view name, double value, int decimals) {
        put(' ');
        put(name);
        put("=\"");
        fixed(value, decimals);
        put('"');
    }
    void attribute(std::string_view name, std::string_view value) {
        put(' ');
        put(name);
        put("=\"");
        put(value);
        put('"');
    }
    void countAttribute(int64_t count) {
        put(" count=\"");
        integer(count);
        put('"');
    }
    void indent(int levels) {
        for (int i = 0; i < levels; ++i) put("  ");
    }

    bool finish() {
        flush();
        return !failed_ && std::fflush(file_) == 0 && std::ferror(file_) == 0;
    }
    uint64_t bytes() const { return written_ + used_; }

private:
    void flush() {
        write(buffer_.data(), used_);
        used_ = 0;
    }
    void write(const char* data, std::size_t size) {
        if (size == 0) return;
        if (std::fwrite(data, 1, size, file_) != size) failed_ = true;
        written_ += size;
    }

    std::FILE* file_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    uint64_t written_ = 0;
    bool failed_ = false;
};

std::string indexedName(std::string_view prefix, int64_t index) {
    std::string name(prefix);
    name += std::to_string(index);
    return name;
}

// ---- pieces every kind uses -------------------------------------------------

void writeHeader(TextOut& out) {
    out.put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<orvk>\n");
    out.put("  <comments>\n    <version>3</version>\n    <exporter>bench scene generator</exporter>\n  </comments>\n");
}

void writeVectorChild(TextOut& out, int level, std::string_view element, double x, double y, double z) {
    out.indent(level);
    out.put('<');
    out.put(element);
    out.attribute("x", x, 6);
    out.attribute("y", y, 6);
    out.attribute("z", z, 6);
    out.put("/>\n");
}

void writeQuaternionChild(TextOut& out, int level, double x, double y, double z, double w) {
    out.indent(level);
    out.put("<rotation");
    out.attribute("x", x, 6);
    out.attribute("y", y, 6);
    out.attribute("z", z, 6);
    out.attribute("w", w, 6);
    out.put("/>\n");
}

// A unit quaternion for a turn of angle about a random axis.
void writeRandomRotation(TextOut& out, int level, Random& random, double angle) {
    double x = random.uniform(-1.0, 1.0);
    double y = random.uniform(-1.0, 1.0);
    double z = random.uniform(-1.0, 1.0);
    const double length = std::sqrt(x * x + y * y + z * z) + 1e-9;
    const double s = std::sin(angle / 2) / length;
    writeQuaternionChild(out, level, x * s, y * s, z * s, std::cos(angle / 2));
}

// Images, textures and three materials: Wood maps through the first uv set,
// Detail through the second, Plain has no texture.
void writeTexturedMaterials(TextOut& out, std::string_view firstSet, std::string_view secondSet,
                            GeneratedScene& stats) {
    out.put("  <images>\n");
    out.put("    <image name=\"wood\" url=\"C:\\textures\\wood.png\"/>\n");
    out.put("    <image name=\"detail\" url=\"/home/artist/maps/detail.tga\"/>\n");
    out.put("  </images>\n  <textures>\n");
    out.put("    <texture name=\"WoodTex\" type=\"image\">\n      <image>wood</image>\n    </texture>\n");
    out.put("    <texture name=\"DetailTex\" type=\"image\">\n      <image>detail</image>\n    </texture>\n");
    out.put("  </textures>\n  <materials>\n");
    out.put("    <material name=\"Wood\">\n");
    out.put("      <texture name=\"WoodTex\" map_type=\"Diffuse Color\" blend_type=\"mix\">\n        <uvset>");
    out.put(firstSet);
    out.put("</uvset>\n      </texture>\n");
    out.put("      <shininess>40</shininess>\n      <diffuse r=\"0.8\" g=\"0.6\" b=\"0.4\"/>\n    </material>\n");
    out.put("    <material name=\"Detail\">\n");
    out.put("      <texture name=\"DetailTex\" map_type=\"Diffuse Color\" blend_type=\"mix\">\n        <uvset>");
    out.put(secondSet);
    out.put("</uvset>\n      </texture>\n");
    out.put("      <texture name=\"WoodTex\" map_type=\"alpha\" blend_type=\"multiply\">\n        <uvset>");
    out.put(firstSet);
    out.put("</uvset>\n      </texture>\n");
    out.put("      <alpha>0.75</alpha>\n      <specular r=\"0.2\" g=\"0.2\" b=\"0.2\"/>\n    </material>\n");
    out.put("    <material name=\"Plain\">\n      <diffuse r=\"0.1\" g=\"0.5\" b=\"0.9\"/>\n    </material>\n");
    out.put("  </materials>\n");
    stats.materials = 3;
}

// One grid geometry of columns x rows quads. Positions continue the grid of
// the geometries before it (firstRow); the weights blend neighbouring links
// along the rows.
struct Grid {
    std::string name;
    int columns = 0;
    int rows = 0;
    int64_t firstRow = 0;
    double spacing = 0.05;
    const char* uvSetNames[2] = {nullptr, nullptr}; // the first one or both
    bool colors = false;
    int materialCount = 0;
    std::vector<std::string> links;
};

void writeGrid(TextOut& out, const Grid& grid, Random& random, GeneratedScene& stats) {
    const int64_t rowLength = grid.columns + 1;
    const int64_t vertices = rowLength * (grid.rows + 1);
    const int64_t faces = static_cast<int64_t>(grid.columns) * grid.rows;
    const int64_t corners = 4 * faces;

    out.put("    <geometry");
    out.attribute("name", grid.name);
    out.put(">\n      <vertices");
    out.countAttribute(vertices);
    out.put('>');
    for (int r = 0; r <= grid.rows; ++r) {
        const double y = static_cast<double>(grid.firstRow + r) * grid.spacing - 8.0;
        for (int c = 0; c <= grid.columns; ++c) {
            if (r != 0 || c != 0) out.put(' ');
            out.fixed((c - grid.columns / 2) * grid.spacing + random.uniform(-0.01, 0.01), 6);
            out.put(' ');
            out.fixed(y + random.uniform(-0.01, 0.01), 6);
            out.put(' ');
            out.fixed(random.uniform(-0.5, 0.5), 6);
        }
    }
    out.put("</vertices>\n      <indices");
    out.countAttribute(faces);
    out.put('>');
    for (int r = 0; r < grid.rows; ++r) {
        for (int c = 0; c < grid.columns; ++c) {
            const int64_t a = r * rowLength + c;
            if (r != 0 || c != 0) out.put(", ");
            out.integer(a);
            out.put(' ');
            out.integer(a + 1);
            out.put(' ');
            out.integer(a + rowLength + 1);
            out.put(' ');
            out.integer(a + rowLength);
        }
    }
    out.put("</indices>\n");

    // Corner c of a face at (column, row) lies at these grid offsets.
    static constexpr int CORNER_COLUMN[4] = {0, 1, 1, 0};
    static constexpr int CORNER_ROW[4] = {0, 0, 1, 1};
    for (int set = 0; set < 2 && grid.uvSetNames[set] != nullptr; ++set) {
        // The second set tiles the grid four times around the origin.
        const double tiling = set == 0 ? 1.0 : 4.0;
        const double offset = set == 0 ? 0.0 : -2.0;
        out.put("      <uvset");
        out.attribute("name", grid.uvSetNames[set]);
        out.countAttribute(corners);
        out.put('>');
        for (int r = 0; r < grid.rows; ++r) {
            for (int c = 0; c < grid.columns; ++c) {
                for (int k = 0; k < 4; ++k) {
                    if (r != 0 || c != 0 || k != 0) out.put(' ');
                    out.fixed(offset + tiling * (c + CORNER_COLUMN[k]) / grid.columns, 6);
                    out.put(' ');
                    out.fixed(offset + tiling * (r + CORNER_ROW[k]) / grid.rows, 6);
                }
            }
        }
        out.put("</uvset>\n");
    }
    if (grid.colors) {
        out.put("      <colors");
        out.countAttribute(corners);
        out.put('>');
        for (int64_t k = 0; k < corners; ++k) {
            if (k != 0) out.put(' ');
            out.fixed(random.uniform(0.0, 1.0), 3);
            out.put(' ');
            out.fixed(random.uniform(0.0, 1.0), 3);
            out.put(' ');
            out.fixed(random.uniform(0.0, 1.0), 3);
        }
        out.put("</colors>\n");
    }
    if (grid.materialCount > 0) {
        out.put("      <materials");
        out.countAttribute(faces);
        out.put('>');
        for (int r = 0; r < grid.rows; ++r) {
            for (int c = 0; c < grid.columns; ++c) {
                if (r != 0 || c != 0) out.put(' ');
                out.integer((c / 8 + (grid.firstRow + r) / 8) % grid.materialCount);
            }
        }
        out.put("</materials>\n");
    }
    if (grid.links.size() >= 2) {
        out.put("      <links>\n");
        for (std::size_t i = 0; i < grid.links.size(); ++i) {
            out.put("        <link");
            out.attribute("name", grid.links[i]);
            out.put(" index=\"");
            out.integer(static_cast<int64_t>(i));
            out.put("\"/>\n");
        }
        out.put("      </links>\n      <weights");
        out.countAttribute(vertices);
        out.put(" maxBonePerVertex=\"2\">");
        const int64_t spans = static_cast<int64_t>(grid.links.size()) - 1;
        for (int r = 0; r <= grid.rows; ++r) {
            const double t = static_cast<double>(r) * static_cast<double>(spans) / grid.rows;
            const int64_t first = std::min<int64_t>(static_cast<int64_t>(t), spans - 1);
            const double blend = t - static_cast<double>(first);
            for (int c = 0; c <= grid.columns; ++c) {
                const double second = blend * random.uniform(0.9, 1.0);
                if (r != 0 || c != 0) out.put(", ");
                out.integer(first);
                out.put(' ');
                out.fixed(1.0 - second, 6);
                out.put(' ');
                out.integer(first + 1);
                out.put(' ');
                out.fixed(second, 6);
            }
        }
        out.put("</weights>\n");
        stats.weightedVertices += vertices;
    }
    out.put("    </geometry>\n");

    ++stats.geometries;
    stats.vertices += vertices;
    stats.faces += faces;
    stats.corners += corners;
}

// A chain of bones, each nested in the one before, named prefix0, prefix1, ...
void writeBoneChain(TextOut& out, std::string_view prefix, int length, Random& random, GeneratedScene& stats) {
    for (int depth = 0; depth < length; ++depth) {
        const int level = 3 + depth;
        out.indent(level);
        out.put("<bone");
        out.attribute("name", indexedName(prefix, depth));
        out.put(">\n");
        writeVectorChild(out, level + 1, "position", random.uniform(-0.2, 0.2), random.uniform(-0.2, 0.2),
                         depth == 0 ? random.uniform(-5.0, 5.0) : random.uniform(0.1, 0.5));
        writeRandomRotation(out, level + 1, random, random.uniform(-0.5, 0.5));
        writeVectorChild(out, level + 1, "scale", 1.0, 1.0, 1.0);
    }
    for (int depth = length - 1; depth >= 0; --depth) {
        out.indent(3 + depth);
        out.put("</bone>\n");
    }
    stats.bones += length;
    stats.maxBoneNesting = std::max<int64_t>(stats.maxBoneNesting, length);
}

struct Placement {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    double angle = 0.0; // about z
    double scale = 1.0;
};

// An object with a position and the 4x4 matrix of the same placement.
void writeObject(TextOut& out, std::string_view name, std::string_view type, std::string_view parent,
                 const Placement& p) {
    out.put("      <object");
    out.attribute("name", name);
    out.attribute("type", type);
    out.put(">\n");
    if (!parent.empty()) {
        out.put("        <parent>");
        out.put(parent);
        out.put("</parent>\n");
    }
    writeVectorChild(out, 4, "position", p.x, p.y, p.z);
    const double c = std::cos(p.angle) * p.scale;
    const double s = std::sin(p.angle) * p.scale;
    const double rows[4][4] = {{c, -s, 0.0, p.x}, {s, c, 0.0, p.y}, {0.0, 0.0, p.scale, p.z}, {0.0, 0.0, 0.0, 1.0}};
    out.put("        <matrix rows=\"4\">");
    for (int r = 0; r < 4; ++r) {
        if (r != 0) out.put(", ");
        for (int k = 0; k < 4; ++k) {
            if (k != 0) out.put(' ');
            out.fixed(rows[r][k], 6);
        }
    }
    out.put("</matrix>\n      </object>\n");
}

// ---- the kinds --------------------------------------------------------------

constexpr const char* MESH_UV_SETS[2] = {"UVMap", "UVDetail"};

void writeMeshKind(TextOut& out, int64_t units, Random& random, GeneratedScene& stats) {
    writeTexturedMaterials(out, MESH_UV_SETS[0], MESH_UV_SETS[1], stats);

    std::vector<std::string> bones;
    for (int b = 0; b < MESH_SKELETON_BONES; ++b) bones.push_back(indexedName("MeshRig_b", b));

    out.put("  <geometries>\n");
    std::vector<std::string> names;
    for (int64_t row = 0; row < units; row += MESH_MAX_ROWS) {
        Grid grid;
        grid.name = indexedName("Grid", static_cast<int64_t>(names.size()));
        grid.columns = MESH_COLUMNS;
        grid.rows = static_cast<int>(std::min<int64_t>(MESH_MAX_ROWS, units - row));
        grid.firstRow = row;
        grid.uvSetNames[0] = MESH_UV_SETS[0];
        grid.uvSetNames[1] = MESH_UV_SETS[1];
        grid.colors = true;
        grid.materialCount = 3;
        grid.links = bones;
        writeGrid(out, grid, random, stats);
        names.push_back(grid.name);
    }
    out.put("  </geometries>\n  <skeletons>\n    <skeleton name=\"MeshRig\">\n");
    writeBoneChain(out, "MeshRig_b", MESH_SKELETON_BONES, random, stats);
    out.put("    </skeleton>\n  </skeletons>\n  <scenes>\n    <scene name=\"Scene\">\n");
    writeObject(out, "MeshRig", "skeleton", "", Placement{});
    ++stats.objects;
    for (const std::string& name : names) {
        writeObject(out, name, "mesh", "MeshRig", Placement{0.0, 0.0, 0.25, 0.0, 1.0});
        ++stats.objects;
        ++stats.parentedObjects;
    }
    out.put("    </scene>\n  </scenes>\n");
}

std::string rigBoneName(int64_t chain, int depth) {
    std::string name = indexedName("c", chain);
    name += "_b";
    name += std::to_string(depth);
    return name;
}

void writeRigKind(TextOut& out, int64_t units, Random& random, GeneratedScene& stats) {
    const int64_t chains = units * RIG_CHAINS_PER_UNIT;
    out.put(
        "  <materials>\n    <material name=\"Skin\">\n      <diffuse r=\"0.9\" g=\"0.7\" b=\"0.6\"/>\n"
        "    </material>\n  </materials>\n  <geometries>\n");
    stats.materials = 1;
    Grid body;
    body.name = "Body";
    body.columns = RIG_MESH_COLUMNS;
    body.rows = static_cast<int>(units);
    body.uvSetNames[0] = "UVMap";
    body.materialCount = 1;
    for (int k = 0; k < RIG_LINKS; ++k) {
        body.links.push_back(rigBoneName(k * chains / RIG_LINKS, (k * 7) % RIG_CHAIN_LENGTH));
    }
    writeGrid(out, body, random, stats);
    out.put("  </geometries>\n  <skeletons>\n    <skeleton name=\"Rig\">\n");
    for (int64_t chain = 0; chain < chains; ++chain) {
        writeBoneChain(out, indexedName("c", chain) + "_b", RIG_CHAIN_LENGTH, random, stats);
    }
    out.put("    </skeleton>\n  </skeletons>\n");

    // One bone of every unit, at a depth that moves along the chain.
    out.put("  <animations>\n    <animation name=\"Take\" length=\"");
    out.integer(RIG_FRAMES);
    out.put("\" fps=\"30\">\n      <skeleton name=\"Rig\">\n");
    for (int64_t unit = 0; unit < units; ++unit) {
        out.put("        <node");
        out.attribute("name", rigBoneName(unit * RIG_CHAINS_PER_UNIT, static_cast<int>(unit % RIG_CHAIN_LENGTH)));
        out.put(">\n");
        const double phase = random.uniform(0.0, 6.283185);
        const double baseZ = random.uniform(0.1, 0.5);
        for (int f = 0; f < RIG_FRAMES; ++f) {
            const double a = phase + f * 0.02;
            out.put("          <frame time=\"");
            out.integer(f);
            out.put("\">\n");
            writeVectorChild(out, 6, "position", 0.05 * std::sin(a), 0.05 * std::cos(a), baseZ);
            writeQuaternionChild(out, 6, 0.0, 0.0, std::sin(0.4 * std::sin(a)), std::cos(0.4 * std::sin(a)));
            const double s = 1.0 + 0.1 * std::sin(2 * a);
            writeVectorChild(out, 6, "scale", s, s, s);
            out.put("          </frame>\n");
        }
        out.put("        </node>\n");
        ++stats.animatedNodes;
    }
    stats.framesPerNode = RIG_FRAMES;
    out.put("      </skeleton>\n    </animation>\n  </animations>\n");

    out.put("  <scenes>\n    <scene name=\"Scene\">\n");
    writeObject(out, "Rig", "skeleton", "", Placement{0.0, 0.0, 1.0, 0.0, 1.0});
    writeObject(out, "Body", "mesh", "Rig", Placement{});
    out.put("    </scene>\n  </scenes>\n");
    stats.objects += 2;
    stats.parentedObjects += 1;
}

constexpr const char* SCENE_GEOMETRIES[] = {"Geo0", "Geo1", "Geo2", "Geo3"};
constexpr const char* SCENE_LIGHTS[][2] = {{"Lamp0", "omni"}, {"Lamp1", "directional"}, {"Lamp2", "spot"}};
constexpr const char* SCENE_CAMERAS[] = {"Cam0", "Cam1"};

// The first objects place the file's geometries, lights and cameras and are
// named like them; the others are named by their number.
std::string sceneObjectName(int64_t id) {
    constexpr int64_t geometries = std::size(SCENE_GEOMETRIES);
    constexpr int64_t lights = std::size(SCENE_LIGHTS);
    constexpr int64_t cameras = std::size(SCENE_CAMERAS);
    if (id < geometries) return SCENE_GEOMETRIES[id];
    if (id < geometries + lights) return SCENE_LIGHTS[id - geometries][0];
    if (id < geometries + lights + cameras) return SCENE_CAMERAS[id - geometries - lights];
    return indexedName("Obj", id);
}

// The others are of mixed types and place nothing.
const char* sceneObjectType(int64_t id, Random& random) {
    constexpr int64_t geometries = std::size(SCENE_GEOMETRIES);
    constexpr int64_t lights = std::size(SCENE_LIGHTS);
    constexpr int64_t cameras = std::size(SCENE_CAMERAS);
    if (id < geometries) return "mesh";
    if (id < geometries + lights) return "light";
    if (id < geometries + lights + cameras) return "camera";
    static constexpr const char* TYPES[] = {"mesh",  "mesh",  "mesh",  "mesh",   "empty",
                                            "empty", "empty", "light", "camera", "font"};
    return TYPES[random.below(static_cast<int64_t>(std::size(TYPES)))];
}

void writeSceneKind(TextOut& out, int64_t objects, Random& random, GeneratedScene& stats) {
    out.put("  <lights>\n");
    for (const auto& light : SCENE_LIGHTS) {
        out.put("    <light");
        out.attribute("name", light[0]);
        out.attribute("type", light[1]);
        out.put(
            ">\n      <color r=\"1\" g=\"0.95\" b=\"0.9\"/>\n      <spot angle=\"40\"/>\n"
            "      <radius>10</radius>\n      <intensity>1.5</intensity>\n    </light>\n");
        ++stats.lights;
    }
    out.put("  </lights>\n  <cameras>\n");
    for (const char* camera : SCENE_CAMERAS) {
        out.put("    <camera");
        out.attribute("name", camera);
        out.put(" type=\"persp\">\n      <clip near=\"0.1\" far=\"500\"/>\n      <fov>50</fov>\n    </camera>\n");
        ++stats.cameras;
    }
    out.put("  </cameras>\n");
    writeTexturedMaterials(out, "UVMap", "UVDetail", stats);
    out.put("  <geometries>\n");
    for (const char* name : SCENE_GEOMETRIES) {
        Grid grid;
        grid.name = name;
        grid.columns = 4;
        grid.rows = 4;
        grid.spacing = 0.5;
        grid.uvSetNames[0] = "UVMap";
        grid.materialCount = 3;
        writeGrid(out, grid, random, stats);
    }
    out.put("  </geometries>\n  <scenes>\n    <scene name=\"Scene\">\n");

    std::vector<int32_t> parent;
    std::vector<int32_t> depth;
    std::vector<int32_t> order;
    std::vector<int32_t> position;
    for (int64_t base = 0; base < objects; base += SCENE_TREE_SIZE) {
        const int32_t n = static_cast<int32_t>(std::min<int64_t>(SCENE_TREE_SIZE, objects - base));
        // Node 0 is the root; every other node hangs below one of the few
        // nodes made just before it, or anywhere when that one is too deep.
        parent.assign(static_cast<std::size_t>(n), -1);
        depth.assign(static_cast<std::size_t>(n), 0);
        for (int32_t i = 1; i < n; ++i) {
            int32_t p = i - 1 - static_cast<int32_t>(random.below(std::min<int32_t>(i, 4)));
            if (depth[static_cast<std::size_t>(p)] >= SCENE_MAX_DEPTH) p = static_cast<int32_t>(random.below(i));
            if (depth[static_cast<std::size_t>(p)] >= SCENE_MAX_DEPTH) p = 0;
            parent[static_cast<std::size_t>(i)] = p;
            depth[static_cast<std::size_t>(i)] = depth[static_cast<std::size_t>(p)] + 1;
            stats.maxObjectDepth = std::max<int64_t>(stats.maxObjectDepth, depth[static_cast<std::size_t>(i)]);
        }
        order.resize(static_cast<std::size_t>(n));
        for (int32_t i = 0; i < n; ++i) order[static_cast<std::size_t>(i)] = i;
        for (int32_t i = n - 1; i > 0; --i) {
            std::swap(order[static_cast<std::size_t>(i)], order[static_cast<std::size_t>(random.below(i + 1))]);
        }
        position.resize(static_cast<std::size_t>(n));
        for (int32_t k = 0; k < n; ++k) position[static_cast<std::size_t>(order[static_cast<std::size_t>(k)])] = k;

        for (int32_t k = 0; k < n; ++k) {
            const int32_t node = order[static_cast<std::size_t>(k)];
            const int32_t p = parent[static_cast<std::size_t>(node)];
            const std::string name = sceneObjectName(base + node);
            const std::string parentName = p >= 0 ? sceneObjectName(base + p) : std::string();
            const char* type = sceneObjectType(base + node, random);
            Placement placement{random.uniform(-10.0, 10.0), random.uniform(-10.0, 10.0), random.uniform(-2.0, 2.0),
                                random.uniform(-3.14159, 3.14159), random.uniform(0.5, 2.0)};
            writeObject(out, name, type, parentName, placement);
            if (p >= 0) {
                ++stats.parentedObjects;
                if (position[static_cast<std::size_t>(p)] > k) ++stats.parentsAfterChild;
            }
        }
        stats.objects += n;
    }
    out.put("    </scene>\n  </scenes>\n");
}

} // namespace

bool sceneKindFromName(const char* name, SceneKind& kind) {
    if (name == nullptr) return false;
    for (SceneKind k : {SceneKind::Mesh, SceneKind::Rig, SceneKind::Scene}) {
        if (std::strcmp(name, sceneKindName(k)) == 0) {
            kind = k;
            return true;
        }
    }
    return false;
}

const char* sceneKindName(SceneKind kind) {
    switch (kind) {
    case SceneKind::Mesh:
        return "mesh";
    case SceneKind::Rig:
        return "rig";
    case SceneKind::Scene:
        return "scene";
    }
    return "?";
}

bool parseScale(const char* text, double& scale) {
    if (text == nullptr) return false;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(value > 0.0) || value > MAX_SCALE) return false;
    scale = value;
    return true;
}

int64_t unitsAtScale(SceneKind kind, double scale) {
    double perScale = SCENE_OBJECTS_PER_SCALE;
    if (kind == SceneKind::Mesh) perScale = MESH_ROWS_PER_SCALE;
    if (kind == SceneKind::Rig) perScale = RIG_UNITS_PER_SCALE;
    const double units = std::round(scale * perScale);
    return units < 1.0 ? 1 : static_cast<int64_t>(units);
}

bool generateScene(SceneKind kind, double scale, std::FILE* out, GeneratedScene& stats) {
    stats = GeneratedScene{};
    if (out == nullptr || !(scale > 0.0)) return false;
    TextOut text(out);
    Random random(SEED + static_cast<uint64_t>(kind));
    stats.units = unitsAtScale(kind, scale);
    writeHeader(text);
    switch (kind) {
    case SceneKind::Mesh:
        writeMeshKind(text, stats.units, random, stats);
        break;
    case SceneKind::Rig:
        writeRigKind(text, stats.units, random, stats);
        break;
    case SceneKind::Scene:
        writeSceneKind(text, stats.units, random, stats);
        break;
    }
    text.put("</orvk>\n");
    const bool ok = text.finish();
    stats.bytes = text.bytes();
    return ok;
}

bool generateSceneFile(SceneKind kind, double scale, const std::string& path, GeneratedScene& stats,
                       std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = generateScene(kind, scale, file, stats);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = path + ": write failed";
        return false;
    }
    return true;
}

} // namespace bxml::bench
