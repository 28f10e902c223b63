// Replays every input that ever crashed a fuzz target (tests/fuzz/regression)
// through both fuzzed paths: the read alone, and the whole import.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "document/storage.h"
#include "platform/standin/ui_standin.h"
#include "reader/file_reader.h"
#include "tests/support/document_invariants.h"
#include "tests/support/inprocess_import.h"
#include "tests/support/model_invariants.h"

using namespace bxml;

TEST(FuzzRegression, EveryRecordedInputReadsAndImportsSoundly) {
    bxml::testing::confirmDialogsWithOk();
    PluginState state;
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(BXML_FUZZ_REGRESSION_DIR)) {
        if (!entry.is_regular_file() || entry.path().filename().string().front() == '.') continue;
        const std::string name = entry.path().filename().string();
        ++replayed;

        SceneDocument doc;
        std::FILE* file = std::fopen(entry.path().c_str(), "rb");
        ASSERT_NE(file, nullptr) << name;
        const int read = readSceneFile(doc, file);
        std::fclose(file);
        const auto readViolations = bxml::testing::checkDocumentInvariants(doc);
        EXPECT_TRUE(readViolations.empty()) << name << " (read answered " << read << ")\n"
                                            << bxml::testing::describeViolations(readViolations);

        const auto run = bxml::testing::importInProcess(state, entry.path().string(), true);
        // The import answers the read's result (a file that is not of this
        // format fails like one that cannot be parsed), the build follows it.
        EXPECT_EQ(run.importResult, read == 1 ? 1 : 0) << name;
        EXPECT_TRUE(run.documentViolations.empty()) << name << "\n"
                                                    << bxml::testing::describeViolations(run.documentViolations);
        EXPECT_TRUE(run.optionsResult == 0 || run.optionsResult == 1) << name;
        EXPECT_TRUE(run.documentEmptyAfterOptions) << name;
        if (run.optionsResult == 1) {
            bxml::testing::InvariantOptions options;
            options.requireFiniteWeights = false;
            const auto violations = bxml::testing::checkModelInvariants(*run.scene, options);
            EXPECT_TRUE(violations.empty()) << name << "\n" << bxml::testing::describeViolations(violations);
        }
    }
    ui::standin::resetStandIn();
    EXPECT_GT(replayed, 0) << "the regression folder holds at least its seed input";
}

#endif // _WIN32
