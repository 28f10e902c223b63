// Every prefix of every sample and test scene, at every byte length: it imports cleanly
// (and the model is sound) or fails with one of the two messages.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/standin/ui_standin.h"
#include "plugin/import_request.h"
#include "tests/support/inprocess_import.h"
#include "tests/support/model_invariants.h"

using namespace bxml;

TEST(TruncationSweep, EveryPrefixImportsCleanlyOrFailsWithAMessage) {
    bxml::testing::confirmDialogsWithOk();
    PluginState state;
    std::size_t prefixes = 0;
    std::size_t imported = 0;
    std::vector<std::filesystem::path> scenes;
    for (const char* folder : {BXML_SAMPLES_DIR, BXML_TEST_DATA_DIR})
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().extension() == ".xml") scenes.push_back(entry.path());
    for (const std::filesystem::path& scene : scenes) {
        const std::string content = bxml::testing::readWholeFile(scene.string());
        ASSERT_FALSE(content.empty()) << scene;
        for (std::size_t length = 0; length <= content.size(); ++length) {
            const std::string path =
                bxml::testing::writeScratchFile("prefix", reinterpret_cast<const uint8_t*>(content.data()), length);
            const auto run = bxml::testing::importInProcess(state, path);
            ++prefixes;
            const std::string where = scene.filename().string() + " cut at " + std::to_string(length);
            ASSERT_TRUE(run.documentViolations.empty()) << where << "\n"
                                                        << bxml::testing::describeViolations(run.documentViolations);
            // Whole files import, except the two test files that are not scenes.
            if (length == content.size() && scene.filename().string().rfind("not_", 0) != 0) {
                ASSERT_EQ(run.importResult, 1) << where;
            }
            if (run.importResult == 1) {
                ++imported;
                ASSERT_EQ(run.optionsResult, 1) << where;
                ASSERT_TRUE(run.documentEmptyAfterOptions) << where;
                const auto violations = bxml::testing::checkModelInvariants(*run.scene);
                ASSERT_TRUE(violations.empty()) << where << "\n" << bxml::testing::describeViolations(violations);
            } else {
                ASSERT_EQ(run.importResult, 0) << where;
                ASSERT_TRUE(run.errorMessage == MESSAGE_NOT_ORVK || run.errorMessage == MESSAGE_UNABLE_TO_PARSE)
                    << where << ": " << run.errorMessage;
            }
            std::remove(path.c_str());
        }
    }
    ui::standin::resetStandIn();
    std::printf("prefixes swept: %zu, imported: %zu\n", prefixes, imported);
}

#endif // _WIN32
