// Bones nested as deep as the XML parser accepts, through the real exports, on
// a thread whose stack is as small as a host's interface thread typically has.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

#include <functional>
#include <string>

#include "tests/integration/import_support.h"
#include "tests/support/model_invariants.h"

using namespace bxml;
using namespace bxml::host;
using bxml::testing::runImport;
using bxml::testing::TempSceneFile;

namespace {

// The deepest bone chain the parser accepts: its element depth limit (1000,
// set in cmake/Dependencies.cmake) less the document, `orvk`, `skeletons`,
// `skeleton` and the level that reaching the limit refuses.
constexpr int DEEPEST_CHAIN = 995;

// The stack of a typical host interface thread.
constexpr std::size_t HOST_THREAD_STACK = std::size_t{1} << 20;

std::string boneChain(int bones) {
    std::string xml = "<orvk><skeletons><skeleton name=\"Rig\">";
    for (int i = 0; i < bones; ++i)
        xml += "<bone name=\"b" + std::to_string(i) + "\"><position x=\"0\" y=\"1\" z=\"0\"/>";
    for (int i = 0; i < bones; ++i) xml += "</bone>";
    xml +=
        "</skeleton></skeletons><scenes><scene name=\"Scene\"><object name=\"Rig\" type=\"skeleton\"/>"
        "</scene></scenes></orvk>";
    return xml;
}

// Runs work on a new thread with a stack of `stackBytes` and waits for it.
void runOnThread(std::size_t stackBytes, const std::function<void()>& work) {
#ifdef _WIN32
    HANDLE thread = CreateThread(
        nullptr, stackBytes,
        [](void* arg) -> DWORD {
            (*static_cast<const std::function<void()>*>(arg))();
            return 0;
        },
        const_cast<std::function<void()>*>(&work), STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
#else
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, stackBytes), 0);
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, &attributes,
                  [](void* arg) -> void* {
                      (*static_cast<const std::function<void()>*>(arg))();
                      return nullptr;
                  },
                  const_cast<std::function<void()>*>(&work)),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
#endif
}

class DeepNesting : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.load(defaultPluginPath())) << plugin.library.error(); }
    LoadedPlugin plugin;
};

TEST_F(DeepNesting, ChainAtTheParsersLimitImportsEveryBoneWithItsParent) {
    TempSceneFile file(boneChain(DEEPEST_CHAIN));
    DialogAnswer answer;
    answer.pruneBones = false;
    bxml::testing::ImportRun run;
    runOnThread(HOST_THREAD_STACK, [&] { run = runImport(plugin, file.path(), answer); });
    ASSERT_EQ(run.importResult, 1) << run.scene->errorMessage.narrow;
    ASSERT_EQ(run.optionsResult, 1);
    const ReferenceScene& scene = *run.scene;
    // The skeleton's own root bone, then the chain.
    ASSERT_EQ(scene.boneCount, DEEPEST_CHAIN + 1);
    for (int i = 1; i <= DEEPEST_CHAIN; ++i) {
        ASSERT_EQ(scene.bones[i]->parentIndex, i - 1) << "bone " << i;
        ASSERT_STREQ(scene.bones[i]->name.narrow, ("b" + std::to_string(i - 1)).c_str()) << "bone " << i;
    }
    EXPECT_EQ(bxml::testing::describeViolations(bxml::testing::checkModelInvariants(scene)), "");
}

TEST_F(DeepNesting, OneLevelMoreFailsWithTheParsersMessage) {
    TempSceneFile file(boneChain(DEEPEST_CHAIN + 1));
    bxml::testing::ImportRun run;
    runOnThread(HOST_THREAD_STACK, [&] { run = runImport(plugin, file.path(), DialogAnswer{}); });
    EXPECT_EQ(run.importResult, 0);
    EXPECT_STREQ(run.scene->errorMessage.narrow, "Unable to parse XML file.");
    EXPECT_EQ(run.optionsResult, -100) << "no dialog after a failed read";
}

} // namespace
