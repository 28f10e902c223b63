// Benchmark of the resolution pass on large synthetic documents.
//
// Each document has one scene of N objects forming a single parent chain,
// listed deepest first (so the ordering moves every object and the name lookups
// of parents all hit), every object a mesh placing its own geometry; and one
// skeleton of B bones in a chain with its B bone nodes. It reports the time of
// resolveReferences next to two baselines measured in the same run:
//   copy   - copying the same document once (a linear pass over the same bytes);
//   naive  - resolving only the object parents with the public linear lookup,
//            which is quadratic, at the smaller sizes only.
// A linear pass shows a time ratio near 10 between sizes that differ by 10.
//
// Usage: resolve_bench [max objects, default 100000]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "document/lookup.h"
#include "document/resolve.h"
#include "document/storage.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The benchmark measures nothing on a document it could not build.
void require(bool ok) {
    if (!ok) {
        std::fprintf(stderr, "out of memory building the document\n");
        std::exit(1);
    }
}

bxml::SceneDocument makeDocument(int objects, int bones) {
    bxml::SceneDocument doc;
    require(bxml::allocate(doc.geometries, objects) == 1);
    require(bxml::allocate(doc.scenes, 1) == 1);
    require(bxml::allocate(doc.scenes[0].objects, objects) == 1);
    for (int i = 0; i < objects; ++i) {
        const int level = objects - 1 - i;
        const std::string name = "object_" + std::to_string(level);
        bxml::SceneObjectRecord& o = doc.scenes[0].objects[static_cast<std::size_t>(i)];
        o.name.assign(name.c_str());
        o.type.assign("Mesh");
        if (level > 0) o.parentName.assign(("object_" + std::to_string(level - 1)).c_str());
        doc.geometries[static_cast<std::size_t>(level)].name.assign(name.c_str());
    }

    require(bxml::allocateSkeletons(doc.skeletons, 1) == 1);
    bxml::SkeletonRecord& skeleton = doc.skeletons[0];
    skeleton.name.assign("Armature");
    for (int b = 0; b < bones; ++b) {
        const std::string name = b == 0 ? std::string("Armature") : "bone_" + std::to_string(b);
        const std::string parent =
            b == 0 ? std::string() : (b == 1 ? std::string("Armature") : "bone_" + std::to_string(b - 1));
        bxml::BoneRecord* bone = bxml::append(skeleton.bones);
        bxml::BoneNodeRecord* node = bxml::append(doc.boneNodes);
        if (bone == nullptr || node == nullptr) std::abort();
        bone->name.assign(name.c_str());
        bone->parentName.assign(parent.c_str());
        bone->nodeIndex = b;
        node->path.assign(("Armature::" + name).c_str());
        if (!parent.empty()) node->parentPath.assign(("Armature::" + parent).c_str());
        node->skeletonIndex = 0;
        node->boneIndex = b;
    }
    return doc;
}

// Parents only, one linear lookup per object: the quadratic way.
void naiveParents(bxml::SceneDocument& doc) {
    for (bxml::SceneObjectRecord& o : doc.scenes[0].objects) {
        if (!o.parentName.empty()) o.parentIndex = bxml::findObjectByName(doc.scenes[0], o.parentName.c_str());
    }
}

bool checkChain(const bxml::SceneDocument& doc) {
    const auto& objects = doc.scenes[0].objects;
    for (std::size_t k = 0; k < objects.size(); ++k) {
        if (objects[k].parentIndex != static_cast<int32_t>(k) - 1) return false;
        if (objects[k].targetIndex != static_cast<int32_t>(k)) return false;
    }
    for (std::size_t b = 1; b < doc.boneNodes.size(); ++b) {
        if (doc.boneNodes[b].parentNodeIndex != static_cast<int32_t>(b) - 1) return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int maxObjects = 100000;
    if (argc > 1) maxObjects = std::atoi(argv[1]);
    if (maxObjects < 1000) maxObjects = 1000;

    std::printf("%10s %8s %12s %12s %10s %12s %10s\n", "objects", "bones", "resolve ms", "copy ms", "vs copy",
                "naive ms", "growth");
    double previous = 0.0;
    for (int objects = 1000; objects <= maxObjects; objects *= 10) {
        const int bones = objects / 10;
        bxml::SceneDocument doc = makeDocument(objects, bones);

        Clock::time_point start = Clock::now();
        bxml::SceneDocument copy = doc;
        const double copySeconds = secondsSince(start);

        double naiveSeconds = -1.0;
        if (objects <= 10000) {
            start = Clock::now();
            naiveParents(copy);
            naiveSeconds = secondsSince(start);
        }

        start = Clock::now();
        bxml::resolveReferences(doc);
        const double resolveSeconds = secondsSince(start);
        if (!checkChain(doc)) {
            std::fprintf(stderr, "resolution gave a wrong result at %d objects\n", objects);
            return 1;
        }

        char naive[32] = "-";
        if (naiveSeconds >= 0.0) std::snprintf(naive, sizeof naive, "%.2f", naiveSeconds * 1e3);
        char growth[32] = "-";
        if (previous > 0.0) std::snprintf(growth, sizeof growth, "%.1fx", resolveSeconds / previous);
        std::printf("%10d %8d %12.2f %12.2f %9.1fx %12s %10s\n", objects, bones, resolveSeconds * 1e3,
                    copySeconds * 1e3, resolveSeconds / copySeconds, naive, growth);
        previous = resolveSeconds;
    }
    return 0;
}
