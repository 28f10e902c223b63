// Allocation-failure sweep: this executable replaces the global operator new
// and new[] so that the i-th allocation of an import can be made to fail. For
// every test scene it counts the allocations of a whole import (import
// request, options request confirmed with OK, build), then fails each one in
// turn: the import ends without a crash, answers by the plug-in's rules, leaves
// the document empty after the options request and leaks nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define BXML_HAVE_LSAN 1
#endif

#include "builder/bones_builder.h"
#include "document/resolve_bones.h"
#include "document/storage.h"
#include "host/reference_host.h"
#include "platform/standin/ui_standin.h"
#include "plugin/options_dialog.h"
#include "tests/support/document_invariants.h"
#include "tests/support/inprocess_import.h"
#include "tests/support/model_invariants.h"

namespace {

enum class Failure { BadAlloc, RuntimeError };

// Only allocations made while counting are numbered; number failAt fails
// (0: none does).
bool counting = false;
long allocations = 0;
long failAt = 0;
Failure failure = Failure::BadAlloc;

void* allocate(std::size_t size, std::size_t alignment, bool nothrow) {
    if (counting && ++allocations == failAt) {
        if (nothrow) return nullptr;
        if (failure == Failure::RuntimeError) throw std::runtime_error("injected");
        throw std::bad_alloc();
    }
    if (size == 0) size = 1;
    void* p = nullptr;
    if (alignment <= alignof(std::max_align_t)) {
        p = std::malloc(size);
    } else if (posix_memalign(&p, alignment, size) != 0) {
        p = nullptr;
    }
    if (p == nullptr && !nothrow) throw std::bad_alloc();
    return p;
}

} // namespace

void* operator new(std::size_t n) { return allocate(n, 0, false); }
void* operator new[](std::size_t n) { return allocate(n, 0, false); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocate(n, 0, true); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocate(n, 0, true); }
void* operator new(std::size_t n, std::align_val_t a) { return allocate(n, static_cast<std::size_t>(a), false); }
void* operator new[](std::size_t n, std::align_val_t a) { return allocate(n, static_cast<std::size_t>(a), false); }
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocate(n, static_cast<std::size_t>(a), true);
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocate(n, static_cast<std::size_t>(a), true);
}
// Everything above comes from malloc or posix_memalign, so free is the match
// (the compiler cannot see that through allocate()).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

using namespace bxml;

// Sweeps of more points than this are sampled evenly (every k-th point).
constexpr long MAX_POINTS_PER_SCENE = 3000;

struct Outcome {
    int32_t importResult = -100;
    int32_t optionsResult = -100;
    bool documentEmpty = false;
    bool fired = false;         // the numbered failure happened
    bool firedInImport = false; // ... during the import request
    bool invariantsHold = true;
    std::vector<std::string> documentViolations; // after the import request
};

// One whole import of path with allocation number failAt failing (0: none).
Outcome importFailing(const std::string& path, long failPoint, Failure kind) {
    Outcome outcome;
    PluginState state;
    auto scene = std::make_unique<host::ReferenceScene>();
    scene->setLogging(false);
    scene->setFileName(utf8ToWide(path.c_str()));
    int module = 0;

    allocations = 0;
    failAt = failPoint;
    failure = kind;
    counting = true;
    outcome.importResult = dispatchHostCallback(state, IMPORT_REQUEST, scene.get(), nullptr);
    outcome.firedInImport = failPoint != 0 && allocations >= failPoint;
    counting = false; // the check allocates; it is not part of the import
    bxml::testing::DocumentInvariantOptions unordered;
    unordered.allowUnorderedScenes = true;
    outcome.documentViolations = bxml::testing::checkDocumentInvariants(state.document, unordered);
    counting = true;
    outcome.optionsResult = dispatchHostCallback(state, IMPORT_OPTIONS_REQUEST, scene.get(), &module);
    counting = false;
    outcome.fired = failPoint != 0 && allocations >= failPoint;
    outcome.documentEmpty = isDocumentEmpty(state.document);
    if (outcome.optionsResult == 1 && !outcome.fired)
        outcome.invariantsHold = bxml::testing::checkModelInvariants(*scene).empty();
    return outcome;
}

// Allocations of one whole import that nothing makes fail, and its outcome.
long countAllocations(const std::string& path, Outcome* undisturbed = nullptr) {
    const Outcome o = importFailing(path, 0, Failure::BadAlloc);
    if (undisturbed != nullptr) *undisturbed = o;
    return allocations;
}

// all_sections.xml with every name made longer than a name holds inline, so
// that every name of the document is an allocation of its own. Written once
// into the temporary folder; the path, or empty when it cannot be written.
std::string longNamedScene() {
    static const std::string path = [] {
        std::ifstream in(std::string(BXML_TEST_DATA_DIR) + "/all_sections.xml", std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string suffix = "_named_well_beyond_what_fits_inline";
        static const char* const NAMES[] = {"Lamp", "Spot",  "Camera", "wood",  "mask",  "WoodTex", "MaskTex",
                                            "Wood", "Paint", "Cube",   "hip",   "spine", "head",    "leg",
                                            "Rig",  "Walk",  "Scene",  "UVMap", "UVMask"};
        for (const char* name : NAMES) {
            for (const auto& [before, after] : {std::pair{'"', '"'}, std::pair{'>', '<'}}) {
                const std::string from = before + std::string(name) + after;
                const std::string to = before + std::string(name) + suffix + after;
                for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
                    text.replace(at, from.size(), to);
            }
        }
        const std::filesystem::path file =
            std::filesystem::temp_directory_path() / ("bxml_long_names_" + std::to_string(::getpid()) + ".xml");
        std::ofstream out(file, std::ios::binary);
        out << text;
        return out.good() && text.find("hip" + suffix) != std::string::npos ? file.string() : std::string();
    }();
    return path;
}

std::vector<std::string> sweptScenes() {
    std::vector<std::string> paths;
    for (const char* folder : {BXML_SAMPLES_DIR, BXML_TEST_DATA_DIR})
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().extension() == ".xml") paths.push_back(entry.path().string());
    paths.push_back(longNamedScene());
    return paths;
}

class AllocationFailure : public ::testing::Test {
protected:
    void SetUp() override { bxml::testing::confirmDialogsWithOk(); }
    void TearDown() override { ui::standin::resetStandIn(); }
};

} // namespace

// Sweeps every scene; leaks are looked for until the first one is found.
TEST_F(AllocationFailure, EveryFailingAllocationEndsCleanlyAndLeaksNothing) {
    std::vector<std::string> leakingPoints;
    for (const std::string& path : sweptScenes()) {
        ASSERT_FALSE(path.empty()) << "the long-named scene could not be written";
        Outcome undisturbed;
        const long total = countAllocations(path, &undisturbed);
        ASSERT_GT(total, 0) << path;
        const long step = total > MAX_POINTS_PER_SCENE ? (total + MAX_POINTS_PER_SCENE - 1) / MAX_POINTS_PER_SCENE : 1;
        long swept = 0;
        for (long i = 1; i <= total; i += step) {
            const Outcome o = importFailing(path, i, Failure::BadAlloc);
            ++swept;
            const std::string where = path + " allocation " + std::to_string(i);
            // A failure answers like the undisturbed import up to where it
            // happens, and leaves a sound document after the import request.
            if (!o.firedInImport) {
                ASSERT_EQ(o.importResult, undisturbed.importResult) << where;
            }
            ASSERT_TRUE(o.documentViolations.empty()) << where << "\n"
                                                      << bxml::testing::describeViolations(o.documentViolations);
            ASSERT_TRUE(o.documentEmpty) << where;
            ASSERT_TRUE(o.invariantsHold) << where;
#ifdef BXML_HAVE_LSAN
            // A leak stays reported by every later check: the first point is the one that leaked.
            if (leakingPoints.empty() && __lsan_do_recoverable_leak_check() != 0) leakingPoints.push_back(where);
#endif
        }
        std::printf("%s: %ld allocations, %ld points swept (every %ld)\n",
                    std::filesystem::path(path).filename().c_str(), total, swept, step);
    }
    std::error_code ignored;
    std::filesystem::remove(longNamedScene(), ignored);
    std::string leaks;
    for (const std::string& point : leakingPoints) leaks += point + "\n";
    EXPECT_TRUE(leakingPoints.empty()) << "memory first leaked when this allocation failed:\n" << leaks;
}

TEST_F(AllocationFailure, AnExceptionInsideAnOperationEndsAsZeroAtTheBoundary) {
    const std::string path = std::string(BXML_TEST_DATA_DIR) + "/all_sections.xml";
    const long total = countAllocations(path);
    ASSERT_GT(total, 0);
    const long step = total > MAX_POINTS_PER_SCENE ? (total + MAX_POINTS_PER_SCENE - 1) / MAX_POINTS_PER_SCENE : 1;
    // An exception may be absorbed on the way (the dialog stand-in, a text
    // conversion with a fallback); what reaches the dispatch must end as 0.
    int endedAsZeroInImport = 0;
    int endedAsZeroInOptions = 0;
    for (long i = 1; i <= total; i += step) {
        Outcome o;
        ASSERT_NO_THROW(o = importFailing(path, i, Failure::RuntimeError)) << "allocation " << i;
        ASSERT_TRUE(o.fired) << "allocation " << i;
        ASSERT_TRUE(o.documentEmpty) << "allocation " << i;
        ASSERT_TRUE(o.documentViolations.empty()) << "allocation " << i << "\n"
                                                  << bxml::testing::describeViolations(o.documentViolations);
        if (o.firedInImport && o.importResult == 0) ++endedAsZeroInImport;
        if (!o.firedInImport && o.importResult == 1 && o.optionsResult == 0) ++endedAsZeroInOptions;
    }
    EXPECT_GT(endedAsZeroInImport, 0);
    EXPECT_GT(endedAsZeroInOptions, 0);
#ifdef BXML_HAVE_LSAN
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
}

// A name too long to be held inline whose copy cannot be had stays empty: it
// never throws, and an empty name is never looked up nor found.
TEST(NameMemory, ALongNameWhoseCopyFailsIsLeftEmpty) {
    const std::string longText(40, 'n');
    Name name;
    name.assign("short");
    Name copy;
    copy.assign("kept");
    Name source;
    source.assign(longText.c_str());
    allocations = 0;
    failAt = 1;
    failure = Failure::BadAlloc;
    counting = true;
    EXPECT_NO_THROW(name.assign(longText.c_str()));
    allocations = 0;
    EXPECT_NO_THROW(copy = source);
    counting = false;
    EXPECT_TRUE(name.empty()) << "not the old text, not a cut one";
    EXPECT_TRUE(copy.empty());
    EXPECT_STREQ(source.c_str(), longText.c_str());
}

// OK in the options dialog reads the scale inside the dialog's window
// procedure, where an exception would cross the system's frames: it must not
// allocate at all.
TEST(DialogScaleMemory, ReadingTheScaleAllocatesNothing) {
    const std::wstring longText = L"7.25" + std::wstring(300, L'\u20ac');
    allocations = 0;
    failAt = 1;
    failure = Failure::BadAlloc;
    counting = true;
    float first = 0.0f;
    float second = 0.0f;
    EXPECT_NO_THROW(first = scaleFromText(L"2.5"));
    EXPECT_NO_THROW(second = scaleFromText(longText.c_str()));
    counting = false;
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(first, 2.5f);
    EXPECT_EQ(second, 7.25f);
}

namespace {

// A skeleton of 12 bones (enough for a hash index), a geometry whose links are
// out of index order (so that a table stands in for the link lookup) and one
// weight per vertex naming each link in turn, placed by an object of that
// skeleton. An animation has two tracks for the skeleton (the second hidden)
// and node tracks for bones 3, 3 again, 5 and a name no bone has.
std::unique_ptr<SceneDocument> riggedDocument() {
    auto doc = std::make_unique<SceneDocument>();
    if (allocateSkeletons(doc->skeletons, 1) != 1 || allocate(doc->boneNodes, 12) != 1) return nullptr;
    SkeletonRecord& rig = doc->skeletons[0];
    if (allocate(rig.bones, 12) != 1) return nullptr;
    for (int k = 0; k < 12; ++k) {
        rig.bones[static_cast<std::size_t>(k)].name.assign(("bone" + std::to_string(k)).c_str());
        rig.bones[static_cast<std::size_t>(k)].nodeIndex = 11 - k;
        doc->boneNodes[static_cast<std::size_t>(11 - k)].skeletonIndex = 0;
        doc->boneNodes[static_cast<std::size_t>(11 - k)].boneIndex = k;
    }
    if (allocate(doc->geometries, 1) != 1 || allocate(doc->scenes, 1) != 1) return nullptr;
    if (allocate(doc->scenes[0].objects, 1) != 1) return nullptr;
    doc->scenes[0].objects[0].skeletonIndex = 0;
    GeometryRecord& g = doc->geometries[0];
    g.placedBy = {0, 0};
    if (allocate(g.links, 10) != 1 || allocate(g.vertices, 10) != 1) return nullptr;
    for (int k = 0; k < 10; ++k) {
        g.links[static_cast<std::size_t>(k)].name.assign(("bone" + std::to_string(k + 2)).c_str());
        g.links[static_cast<std::size_t>(k)].index = 9 - k;
        VertexRecord& v = g.vertices[static_cast<std::size_t>(k)];
        if (allocate(v.weights, 1) != 1) return nullptr;
        v.weights[0] = {k, -1, 1.0f};
    }
    rig.name.assign("Rig");
    if (allocate(doc->animations, 1) != 1) return nullptr;
    AnimationRecord& a = doc->animations[0];
    if (allocate(a.skeletonTracks, 2) != 1 || allocate(a.skeletonTracks[0].nodes, 4) != 1) return nullptr;
    a.skeletonTracks[0].skeletonName.assign("Rig");
    a.skeletonTracks[1].skeletonName.assign("Rig");
    const char* nodes[] = {"bone3", "bone3", "bone5", "hand"};
    for (int k = 0; k < 4; ++k) {
        AnimationNodeTrack& node = a.skeletonTracks[0].nodes[static_cast<std::size_t>(k)];
        node.nodeName.assign(nodes[k]);
        if (allocate(node.positionKeys, k + 1) != 1) return nullptr;
    }
    return doc;
}

// The weights' bone nodes, then the tracks' skeletons and bones.
std::vector<int32_t> resolvedIndices(const SceneDocument& doc) {
    std::vector<int32_t> indices;
    for (const VertexRecord& v : doc.geometries[0].vertices)
        for (const VertexWeight& w : v.weights) indices.push_back(w.boneNodeIndex);
    for (const AnimationSkeletonTrack& t : doc.animations[0].skeletonTracks) {
        indices.push_back(t.skeletonIndex);
        for (const AnimationNodeTrack& n : t.nodes) indices.push_back(n.boneIndex);
    }
    return indices;
}

void resolveBones(SceneDocument& doc) {
    SkeletonLookups bones(doc);
    resolveBoneLinks(doc, bones, nullptr);
    resolveAnimationTracks(doc, bones, nullptr);
}

} // namespace

// Resolving weights and tracks keeps tables of its own; without memory for
// them the plain lookups give the same indices, and nothing escapes.
TEST(ResolveMemory, WeightsAndTracksFindTheSameBonesWhenTablesCannotBeHad) {
    std::vector<int32_t> expected;
    long total = 0;
    {
        auto doc = riggedDocument();
        ASSERT_NE(doc, nullptr);
        allocations = 0;
        failAt = 0;
        counting = true;
        resolveBones(*doc);
        counting = false;
        total = allocations;
        expected = resolvedIndices(*doc);
    }
    ASSERT_GE(total, 5) << "bone indexes, the link table, the marks of skeletons and bones";
    // Weight k names link index k, at position 9 - k, naming bone 11 - k, whose
    // node is k. The first track has skeleton 0, bone 3 once, bone 5, no "hand".
    ASSERT_EQ(expected, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 3, -1, 5, -1, -1}));
    for (long i = 1; i <= total; ++i) {
        auto doc = riggedDocument();
        ASSERT_NE(doc, nullptr);
        allocations = 0;
        failAt = i;
        failure = Failure::BadAlloc;
        counting = true;
        EXPECT_NO_THROW(resolveBones(*doc)) << "allocation " << i;
        counting = false;
        EXPECT_EQ(resolvedIndices(*doc), expected) << "allocation " << i;
    }
}

// Converting an animation finds each bone node's track through a table; when
// it cannot be had the tracks are searched. Every failing allocation either
// escapes as the host's own (the import then fails as a whole) or leaves the
// same keys: bone 3 (node 8) has the first track's one key, bone 5 (node 6)
// the third track's three.
TEST(BuildMemory, AnimationKeysAreTheSameWhenTheTrackTableCannotBeHad) {
    auto doc = riggedDocument();
    ASSERT_NE(doc, nullptr);
    resolveBones(*doc);
    auto keyCounts = [](const host::ReferenceScene& scene) {
        std::vector<int32_t> counts;
        for (const HostAnimationTrack& t : scene.animationStore.at(0)->trackRecords)
            counts.push_back(t.positionKeyCount);
        return counts;
    };
    const std::vector<int32_t> expected = {0, 0, 0, 0, 0, 0, 3, 0, 1, 0, 0, 0};
    long total = 0;
    {
        host::ReferenceScene scene;
        allocations = 0;
        failAt = 0;
        counting = true;
        ASSERT_TRUE(convertAnimations(*doc, &scene));
        counting = false;
        total = allocations;
        ASSERT_EQ(keyCounts(scene), expected);
    }
    int tableMissing = 0;
    for (long i = 1; i <= total; ++i) {
        host::ReferenceScene scene;
        allocations = 0;
        failAt = i;
        failure = Failure::BadAlloc;
        counting = true;
        bool converted = false;
        try {
            converted = convertAnimations(*doc, &scene);
        } catch (const std::bad_alloc&) {
            counting = false;
            continue;
        }
        counting = false;
        EXPECT_TRUE(converted) << "allocation " << i;
        EXPECT_EQ(keyCounts(scene), expected) << "allocation " << i;
        ++tableMissing;
    }
    EXPECT_EQ(tableMissing, 1) << "exactly one allocation is the table's";
}
