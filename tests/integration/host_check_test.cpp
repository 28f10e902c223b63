// bxml-host --check: the lines a person reads, the JSON a tool reads, and the
// exit statuses.
#include <gtest/gtest.h>

#include "host/file_check.h"
#include "host/host_tool.h"
#include "tests/integration/import_support.h"
#include "tests/integration/tool_run.h"

using namespace bxml::host;
using bxml::testing::dataFile;
using bxml::testing::runTool;
using bxml::testing::TempSceneFile;
using bxml::testing::ToolRun;

namespace {

// A path as a JSON string holds it: Windows paths carry backslashes.
std::string inJson(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

// Line 3: a second light of one name; line 4: a colour without blue.
const char* const TWO_FINDINGS =
    "<orvk><comments><version>3</version></comments>\n<lights>\n"
    "<light name=\"L\" type=\"omni\"/>\n"
    "<light name=\"L\" type=\"omni\"><color r=\"1\" g=\"1\"/></light>\n"
    "</lights></orvk>\n";

} // namespace

TEST(HostCheck, EachFindingIsOneLineWithFileAndLineThenASummary) {
    TempSceneFile file(TWO_FINDINGS);
    const ToolRun run = runTool({"--check", file.path()});
    EXPECT_EQ(run.status, EXIT_WARNINGS);
    const std::string expected =
        file.path() + ":4: warning: `color` lacks `b` (ignored whole: the value it would set keeps its default)\n" +
        file.path() + ":4: warning: a second light named `L` (every reference finds the first, on line 3)\n" +
        file.path() + ": 2 warnings, 0 errors\n";
    EXPECT_EQ(run.out, expected);
    EXPECT_TRUE(run.err.empty()) << run.err;
}

TEST(HostCheck, CleanFileExitsZeroWithTheSummaryAlone) {
    const std::string sample = std::string(BXML_SAMPLES_DIR) + "/rigged_arm.xml";
    const ToolRun run = runTool({"--check", sample});
    EXPECT_EQ(run.status, EXIT_DONE);
    EXPECT_EQ(run.out, sample + ": 0 warnings, 0 errors\n");
}

TEST(HostCheck, UnreadableFilesExitOneWithThePluginsMessage) {
    const ToolRun notXml = runTool({"--check", dataFile("not_xml.xml")});
    EXPECT_EQ(notXml.status, EXIT_IMPORT_FAILED);
    EXPECT_EQ(notXml.out, dataFile("not_xml.xml") + ": error: Unable to parse XML file.\n" + dataFile("not_xml.xml") +
                              ": 0 warnings, 1 error\n");
    const ToolRun notOrvk = runTool({"--check", dataFile("not_orvk.xml")});
    EXPECT_EQ(notOrvk.status, EXIT_IMPORT_FAILED);
    EXPECT_NE(notOrvk.out.find(": error: Not a ORVK XML file.\n"), std::string::npos) << notOrvk.out;
    const ToolRun missing = runTool({"--check", dataFile("no_such_file.xml")});
    EXPECT_EQ(missing.status, EXIT_IMPORT_FAILED);
    EXPECT_NE(missing.err.find("no such file or not readable"), std::string::npos) << missing.err;
}

TEST(HostCheck, JsonIsAListOfObjects) {
    TempSceneFile file(TWO_FINDINGS);
    const ToolRun run = runTool({"--json", "--check", file.path()});
    EXPECT_EQ(run.status, EXIT_WARNINGS);
    const std::string expected =
        "[\n  {\"file\": \"" + inJson(file.path()) +
        "\", \"line\": 4, \"severity\": \"warning\", \"kind\": \"missing\", \"count\": 1, "
        "\"message\": \"`color` lacks `b`\", "
        "\"instead\": \"ignored whole: the value it would set keeps its default\"},\n"
        "  {\"file\": \"" +
        inJson(file.path()) +
        "\", \"line\": 4, \"severity\": \"warning\", \"kind\": \"duplicate-name\", \"count\": 1, "
        "\"message\": \"a second light named `L`\", "
        "\"instead\": \"every reference finds the first, on line 3\"}\n]\n";
    EXPECT_EQ(run.out, expected);

    const ToolRun clean = runTool({"--check", "--json", std::string(BXML_SAMPLES_DIR) + "/textured_cube.xml"});
    EXPECT_EQ(clean.status, EXIT_DONE);
    EXPECT_EQ(clean.out, "[]\n");
    const ToolRun failed = runTool({"--check", "--json", dataFile("not_xml.xml")});
    EXPECT_EQ(failed.status, EXIT_IMPORT_FAILED);
    EXPECT_NE(failed.out.find("\"severity\": \"error\", \"kind\": \"unreadable\", \"count\": 1, \"message\": "
                              "\"Unable to parse XML file.\""),
              std::string::npos)
        << failed.out;
}

// An image a material uses is looked for where the build will look: beside the
// scene file, by the url's file name. Line 3's file is there, line 4's is not.
TEST(HostCheck, ImagesThatNameNoFileBesideTheSceneAreReported) {
    const TempSceneFile present("not a picture, but a file", "present.png");
    const std::string presentName = present.path().substr(present.path().find_last_of("/\\") + 1);
    const TempSceneFile scene(
        "<orvk><comments><version>3</version></comments>\n<images>\n"
        "<image name=\"here\" url=\"C:\\art\\" +
        presentName +
        "\"/>\n"
        "<image name=\"gone\" url=\"D:/projects/gone.png\"/>\n</images>\n"
        "<textures><texture name=\"A\" type=\"image\"><image>here</image></texture>"
        "<texture name=\"B\" type=\"image\"><image>gone</image></texture></textures>\n"
        "<materials><material name=\"M\"><texture name=\"A\" map_type=\"Diffuse Color\"/>"
        "<texture name=\"B\" map_type=\"alpha\"/></material></materials></orvk>\n");
    const std::string folder = scene.path().substr(0, scene.path().find_last_of("/\\") + 1);
    const ToolRun run = runTool({"--check", scene.path()});
    EXPECT_EQ(run.out, scene.path() + ":4: warning: image `gone` names no file: `" + folder +
                           "gone.png` (the host gets a texture map whose file is missing)\n" + scene.path() +
                           ": 1 warning, 0 errors\n");
    EXPECT_EQ(run.status, EXIT_WARNINGS);
    const ToolRun away = runTool({"--check", "--no-image-files", scene.path()});
    EXPECT_EQ(away.status, EXIT_DONE) << away.out;
}

TEST(HostCheck, OtherOptionsAndTwoFilesAreUsageErrors) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--check"}, {"--check", "a.xml", "b.xml"}, {"--check", "--lights", "on", "a.xml"}}) {
        const ToolRun run = runTool(args);
        EXPECT_EQ(run.status, EXIT_USAGE) << ::testing::PrintToString(args);
        EXPECT_NE(run.err.find("usage: bxml-host"), std::string::npos);
        EXPECT_TRUE(run.out.empty());
    }
}
