// bxml-bench-numbers [FILE] [--scale K]: throughput of the number-list parsers
// on the lists of a mesh-heavy file (without FILE, a generated mesh scene at
// scale K, default 1: about 100 MB), in MB of list text per second, median of
// five rounds. In each round, side by side:
//   lists    every list of every geometry through reader/number_lists.h, in
//            the reader's order (vertices, indices, uv sets, colours, face
//            materials, weights), records created as the reader creates them;
//   convert  the same tokens, split beforehand, through bxml::parseFloat only;
//   strtod   the C library's strtod walking the same texts.
#include <tinyxml2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_common.h"
#include "bench/scene_generator.h"
#include "document/records.h"
#include "reader/number_lists.h"
#include "reader/numbers.h"

namespace {

using namespace bxml;
using namespace bxml::bench;
using tinyxml2::XMLElement;

struct List {
    int64_t count = 0;
    const char* text = nullptr;
};

// The number lists of one geometry element, as the reader finds them.
struct GeometryLists {
    List vertices;
    List indices;
    List uvSets[2];
    List colors;
    List materials;
    List weights;
    int64_t bonesPerVertex = 0;
};

List listOf(const XMLElement* e) {
    List list;
    if (e == nullptr) return list;
    list.count = parseInt(e->Attribute("count"));
    list.text = e->GetText();
    return list;
}

std::vector<GeometryLists> collectLists(const tinyxml2::XMLDocument& xml) {
    std::vector<GeometryLists> out;
    const XMLElement* root = xml.FirstChildElement("orvk");
    const XMLElement* section = root != nullptr ? root->FirstChildElement("geometries") : nullptr;
    if (section == nullptr) return out;
    for (const XMLElement* g = section->FirstChildElement("geometry"); g != nullptr;
         g = g->NextSiblingElement("geometry")) {
        GeometryLists lists;
        lists.vertices = listOf(g->FirstChildElement("vertices"));
        lists.indices = listOf(g->FirstChildElement("indices"));
        int set = 0;
        for (const XMLElement* uv = g->FirstChildElement("uvset"); uv != nullptr && set < 2;
             uv = uv->NextSiblingElement("uvset")) {
            lists.uvSets[set++] = listOf(uv);
        }
        lists.colors = listOf(g->FirstChildElement("colors"));
        lists.materials = listOf(g->FirstChildElement("materials"));
        const XMLElement* weights = g->FirstChildElement("weights");
        lists.weights = listOf(weights);
        if (weights != nullptr) lists.bonesPerVertex = parseInt(weights->Attribute("maxBonePerVertex"));
        out.push_back(lists);
    }
    return out;
}

template <class Visit>
void forEachList(const std::vector<GeometryLists>& geometries, Visit visit) {
    for (const GeometryLists& g : geometries) {
        for (const List* list :
             {&g.vertices, &g.indices, &g.uvSets[0], &g.uvSets[1], &g.colors, &g.materials, &g.weights}) {
            if (list->text != nullptr && list->count > 0) visit(*list);
        }
    }
}

// One geometry's lists through the parsers; false when one of them refused.
bool parseGeometry(const GeometryLists& lists, GeometryRecord& geometry) {
    auto counted = [](const List& list) { return list.count > 0 && list.text != nullptr; };
    bool ok = true;
    if (counted(lists.vertices)) ok = parseVertices(geometry, lists.vertices.count, lists.vertices.text) == 1 && ok;
    if (counted(lists.indices)) ok = parseIndices(geometry, lists.indices.count, lists.indices.text) == 1 && ok;
    for (int set = 0; set < 2; ++set) {
        const List& uv = lists.uvSets[set];
        if (counted(uv)) ok = parseUvSet(geometry, set, uv.count, uv.text) == 1 && ok;
    }
    if (counted(lists.colors)) ok = parseColors(geometry, lists.colors.count, lists.colors.text) == 1 && ok;
    if (counted(lists.materials)) {
        ok = parseFaceMaterials(geometry, lists.materials.count, lists.materials.text) == 1 && ok;
    }
    if (counted(lists.weights)) {
        ok = parseWeights(geometry, lists.weights.count, lists.weights.text, lists.bonesPerVertex) == 1 && ok;
    }
    return ok;
}

// A sum over what the parsers stored, so that none of it can be left out.
double checksumOf(const std::vector<GeometryRecord>& records) {
    double sum = 0.0;
    for (const GeometryRecord& g : records) {
        for (const VertexRecord& v : g.vertices) {
            sum += v.position.x + v.position.z;
            for (const VertexWeight& w : v.weights) sum += w.weight + w.linkIndex;
        }
        for (const FaceRecord& f : g.faces) {
            sum += f.vertexIndices[2] + f.uv[0][1].u + f.uv[1][3].v + f.colors[2].g + f.materialIndex;
        }
    }
    return sum;
}

bool isListSeparator(char c) { return c == ' ' || c == ','; }

using Token = std::pair<const char*, const char*>;

std::vector<Token> splitTokens(const std::vector<GeometryLists>& geometries) {
    std::vector<Token> tokens;
    forEachList(geometries, [&](const List& list) {
        const char* p = list.text;
        for (;;) {
            while (isListSeparator(*p)) ++p;
            if (*p == '\0') break;
            const char* begin = p;
            while (*p != '\0' && !isListSeparator(*p)) ++p;
            tokens.emplace_back(begin, p);
        }
    });
    return tokens;
}

double strtodWalk(const std::vector<GeometryLists>& geometries) {
    double sum = 0.0;
    forEachList(geometries, [&](const List& list) {
        const char* p = list.text;
        for (;;) {
            while (isListSeparator(*p)) ++p;
            if (*p == '\0') break;
            char* end = nullptr;
            sum += std::strtod(p, &end);
            p = end != p ? end : p + 1;
        }
    });
    return sum;
}

int usage() {
    std::fprintf(stderr,
                 "usage: bxml-bench-numbers [FILE] [--scale K]   (no FILE: a generated mesh scene, "
                 "K > 0, default 1)\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string path;
    double scale = 1.0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--scale" && i + 1 < argc) {
            if (!parseScale(argv[++i], scale)) return usage();
        } else if (path.empty() && !arg.empty() && arg[0] != '-') {
            path = arg;
        } else {
            return usage();
        }
    }

    std::FILE* file = nullptr;
    if (path.empty()) {
        file = std::tmpfile();
        GeneratedScene stats;
        if (file == nullptr || !generateScene(SceneKind::Mesh, scale, file, stats)) {
            std::fprintf(stderr, "bxml-bench-numbers: cannot write the generated scene\n");
            return 1;
        }
        std::rewind(file);
        char label[64];
        std::snprintf(label, sizeof label, "generated mesh scene at scale %g", scale);
        path = label;
    } else {
        file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) {
            std::fprintf(stderr, "bxml-bench-numbers: cannot open %s\n", path.c_str());
            return 1;
        }
    }
    tinyxml2::XMLDocument xml(true, tinyxml2::PRESERVE_WHITESPACE);
    const tinyxml2::XMLError loaded = xml.LoadFile(file);
    std::fclose(file);
    if (loaded != tinyxml2::XML_SUCCESS) {
        std::fprintf(stderr, "bxml-bench-numbers: %s: %s\n", path.c_str(), xml.ErrorStr());
        return 1;
    }

    const std::vector<GeometryLists> geometries = collectLists(xml);
    uint64_t listBytes = 0;
    int64_t lists = 0;
    forEachList(geometries, [&](const List& list) {
        listBytes += std::strlen(list.text);
        ++lists;
    });
    if (listBytes == 0) {
        std::fprintf(stderr, "bxml-bench-numbers: %s holds no number lists\n", path.c_str());
        return 1;
    }
    const std::vector<Token> tokens = splitTokens(geometries);
    const double mb = megabytes(listBytes);

    constexpr int ROUNDS = 5;
    std::vector<double> parseTimes;
    std::vector<double> convertTimes;
    std::vector<double> strtodTimes;
    double checks[3] = {0.0, 0.0, 0.0};
    for (int round = 0; round < ROUNDS; ++round) {
        {
            std::vector<GeometryRecord> records(geometries.size());
            bool ok = true;
            const Clock::time_point start = Clock::now();
            for (std::size_t g = 0; g < geometries.size(); ++g) ok = parseGeometry(geometries[g], records[g]) && ok;
            parseTimes.push_back(secondsSince(start));
            if (!ok) {
                std::fprintf(stderr, "bxml-bench-numbers: a list parser refused a list of %s\n", path.c_str());
                return 1;
            }
            checks[0] += checksumOf(records);
        }
        {
            double sum = 0.0;
            const Clock::time_point start = Clock::now();
            for (const Token& t : tokens) sum += parseFloat(t.first, t.second);
            convertTimes.push_back(secondsSince(start));
            checks[1] += sum;
        }
        {
            const Clock::time_point start = Clock::now();
            const double sum = strtodWalk(geometries);
            strtodTimes.push_back(secondsSince(start));
            checks[2] += sum;
        }
    }

    const Summary parse = summarize(parseTimes);
    const Summary convert = summarize(convertTimes);
    const Summary walk = summarize(strtodTimes);
    std::printf("%s: %zu geometries, %lld lists, %.1f MB of list text, %zu tokens; median of %d rounds\n", path.c_str(),
                geometries.size(), static_cast<long long>(lists), mb, tokens.size(), ROUNDS);
    std::printf("  %-36s %9s %9s %9s %9s\n", "", "median s", "min s", "max s", "MB/s");
    const std::pair<const char*, Summary> rows[] = {
        {"list parsers (number_lists.h)", parse}, {"tokens -> bxml::parseFloat only", convert}, {"strtod walk", walk}};
    for (const auto& [label, s] : rows) {
        std::printf("  %-36s %9.3f %9.3f %9.3f %9.1f\n", label, s.median, s.min, s.max,
                    s.median > 0.0 ? mb / s.median : 0.0);
    }
    std::printf("  list parsers vs strtod walk: %.2fx   (checks %g %g %g)\n",
                parse.median > 0.0 ? walk.median / parse.median : 0.0, checks[0], checks[1], checks[2]);
    return 0;
}
