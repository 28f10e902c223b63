// Throughput of the vertex-list parser on a generated list of about 50 MB, with
// baselines measured in the same run: the creation of the vertex array alone
// (fresh memory, first touch included), and the C library's strtod walking the
// same text (what an atof-per-token reader costs at best).
//
// Build: g++ -std=c++20 -O2 -ffp-contract=off -I. bench/numbers_bench.cpp
//        reader/numbers.cpp reader/number_lists.cpp document/storage.cpp -o numbers_bench
// Run:   ./numbers_bench [megabytes]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "document/storage.h"
#include "reader/number_lists.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Numbers as an exporter writes them: six decimals, mixed signs and sizes.
std::string makeVertexText(std::size_t targetBytes, int64_t& vertexCount) {
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> value(-100.0, 100.0);
    std::string text;
    text.reserve(targetBytes + 64);
    char number[32];
    int64_t tokens = 0;
    while (text.size() < targetBytes || tokens % 3 != 0) {
        int n = std::snprintf(number, sizeof number, "%.6f ", value(random));
        text.append(number, static_cast<std::size_t>(n));
        ++tokens;
    }
    vertexCount = tokens / 3;
    return text;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t megabytes = argc > 1 ? static_cast<std::size_t>(std::atoi(argv[1])) : 50;
    int64_t count = 0;
    std::string text = makeVertexText(megabytes << 20, count);
    double mb = static_cast<double>(text.size()) / (1 << 20);

    double best = 1e30;
    float check = 0.0f;
    for (int run = 0; run < 5; ++run) {
        bxml::GeometryRecord geometry;
        auto start = std::chrono::steady_clock::now();
        bxml::parseVertices(geometry, count, text.c_str());
        double t = secondsSince(start);
        if (t < best) best = t;
        check += geometry.vertices.back().position.z;
    }

    double creation = 1e30;
    for (int run = 0; run < 5; ++run) {
        bxml::GeometryRecord geometry;
        auto start = std::chrono::steady_clock::now();
        bxml::allocate(geometry.vertices, count);
        double t = secondsSince(start);
        if (t < creation) creation = t;
        check += geometry.vertices.back().position.z;
    }

    double baseline = 1e30;
    double sum = 0.0;
    for (int run = 0; run < 5; ++run) {
        auto start = std::chrono::steady_clock::now();
        const char* p = text.c_str();
        char* end = nullptr;
        for (;;) {
            double d = std::strtod(p, &end);
            if (end == p) break;
            sum += d;
            p = end;
        }
        double t = secondsSince(start);
        if (t < baseline) baseline = t;
    }

    std::printf("vertex list: %.1f MB, %lld vertices\n", mb, static_cast<long long>(count));
    std::printf("parseVertices:  %8.1f MB/s  (%.3f s, best of 5)\n", mb / best, best);
    std::printf("  array creation alone: %.3f s; conversion alone: %.1f MB/s\n", creation,
                mb / (best - creation > 0 ? best - creation : best));
    std::printf("strtod walk:    %8.1f MB/s  (%.3f s, best of 5)\n", mb / baseline, baseline);
    std::printf("ratio:          %8.2fx\n", baseline / best);
    std::printf("(checks %g %g)\n", static_cast<double>(check), sum);
    return 0;
}
