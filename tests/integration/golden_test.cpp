// The JSON dump of every sample scene and every test data file, compared byte
// for byte with the reviewed dumps in tests/golden. Each file is imported by
// the bxml-host tool in a process of its own (the plug-in keeps the options
// of one import for the next), from the file's folder and with lights on.
//
// BXML_UPDATE_GOLDEN=1 rewrites the dumps instead; review the diff by hand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/plugin_loader.h"

#ifndef _WIN32
namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<fs::path> sceneFiles() {
    std::vector<fs::path> files;
    for (const char* dir : {BXML_SAMPLES_DIR, BXML_TEST_DATA_DIR})
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().extension() == ".xml") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Runs the tool on file from its folder, lights on, with `option OUT`;
// returns OUT, a fresh file in the test folder.
fs::path runTool(const fs::path& file, const char* option, const char* extension) {
    const std::string tool = bxml::host::executableFolder() + "bxml-host";
    const fs::path out = fs::path(::testing::TempDir()) / ("golden_" + file.stem().string() + extension);
    fs::remove(out);
    const std::string command = "cd '" + file.parent_path().string() + "' && '" + tool + "' --lights on " + option +
                                " '" + out.string() + "' '" + file.filename().string() + "' >/dev/null 2>&1";
    EXPECT_NE(std::system(command.c_str()), -1);
    return out;
}

// Compares out with the reviewed file byte for byte, or (update) replaces it.
void compareWithGolden(const fs::path& out, const fs::path& golden, bool update) {
    const std::string actual = readAll(out);
    ASSERT_FALSE(actual.empty()) << "nothing written";
    if (update) {
        std::ofstream(golden, std::ios::binary) << actual;
        return;
    }
    ASSERT_TRUE(fs::exists(golden)) << "no reviewed file " << golden;
    EXPECT_TRUE(actual == readAll(golden)) << out << " differs from " << golden;
    fs::remove(out);
}

} // namespace
#endif

TEST(Golden, EveryDumpMatchesTheReviewedOne) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows tool is compared by the wine.golden.* entries";
#else
    const std::vector<fs::path> files = sceneFiles();
    ASSERT_GE(files.size(), 7u) << "three samples and the four data files";
    const bool update = std::getenv("BXML_UPDATE_GOLDEN") != nullptr;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        const fs::path out = runTool(file, "--json", ".json");
        compareWithGolden(out, fs::path(BXML_GOLDEN_DIR) / (file.stem().string() + ".json"), update);
    }
#endif
}

// The glTF of every scene that imports, compared byte for byte with the
// reviewed files in tests/golden/gltf (the Windows tool is held to the same
// files by the wine.gltf.* entries). A scene that does not import writes no
// file and has none.
TEST(Golden, EveryGltfMatchesTheReviewedOne) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows tool is compared by the wine.gltf.* entries";
#else
    const bool update = std::getenv("BXML_UPDATE_GOLDEN") != nullptr;
    int written = 0;
    for (const fs::path& file : sceneFiles()) {
        SCOPED_TRACE(file.string());
        const fs::path out = runTool(file, "--gltf", ".glb");
        const fs::path golden = fs::path(BXML_GOLDEN_DIR) / "gltf" / (file.stem().string() + ".glb");
        if (!fs::exists(out)) {
            EXPECT_FALSE(fs::exists(golden)) << "no glTF written, but there is a reviewed one";
            continue;
        }
        ++written;
        compareWithGolden(out, golden, update);
    }
    EXPECT_GE(written, 5) << "three samples and two data files import";
#endif
}
