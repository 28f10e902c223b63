// bxml-bench-generate KIND OUT.xml [--scale K]: writes one benchmark scene
// (bench/scene_generator.h) and says what it holds.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/scene_generator.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: bxml-bench-generate mesh|rig|scene OUT.xml [--scale K]\n"
                 "  K > 0, default 1: about 100 MB of mesh, 10,000 bones, 100,000 objects\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    using namespace bxml::bench;
    if (argc != 3 && argc != 5) return usage();
    SceneKind kind;
    if (!sceneKindFromName(argv[1], kind)) return usage();
    const std::string path = argv[2];
    double scale = 1.0;
    if (argc == 5 && (std::strcmp(argv[3], "--scale") != 0 || !parseScale(argv[4], scale))) return usage();

    const auto start = std::chrono::steady_clock::now();
    GeneratedScene stats;
    std::string error;
    if (!generateSceneFile(kind, scale, path, stats, error)) {
        std::fprintf(stderr, "bxml-bench-generate: %s\n", error.c_str());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %s at scale %g, %.1f MB in %.2f s\n", path.c_str(), sceneKindName(kind), scale,
                static_cast<double>(stats.bytes) / 1e6, seconds);
    std::printf("  geometries %lld, vertices %lld, faces %lld, corners %lld, weighted vertices %lld\n",
                static_cast<long long>(stats.geometries), static_cast<long long>(stats.vertices),
                static_cast<long long>(stats.faces), static_cast<long long>(stats.corners),
                static_cast<long long>(stats.weightedVertices));
    std::printf(
        "  bones %lld, animated nodes %lld x %lld frames, objects %lld (%lld with parents, %lld of "
        "them before the parent, depth %lld)\n",
        static_cast<long long>(stats.bones), static_cast<long long>(stats.animatedNodes),
        static_cast<long long>(stats.framesPerNode), static_cast<long long>(stats.objects),
        static_cast<long long>(stats.parentedObjects), static_cast<long long>(stats.parentsAfterChild),
        static_cast<long long>(stats.maxObjectDepth));
    return 0;
}
