// The bxml-host command line: options, exit statuses and what a person reads.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "host/host_tool.h"
#include "host/json_dump.h"
#include "tests/integration/import_support.h"
#include "tests/integration/tool_run.h"

using namespace bxml::host;
using bxml::testing::dataFile;
using bxml::testing::runTool;
using bxml::testing::TempSceneFile;
using bxml::testing::ToolRun;

namespace {

const char* const ONE_QUAD = R"(<?xml version="1.0"?>
<orvk>
  <comments><version>3</version></comments>
  <geometries>
    <geometry name="Quad">
      <vertices count="4">0 0 0 1 0 0 1 1 0 0 1 0</vertices>
      <indices count="1">0 1 2 3</indices>
    </geometry>
  </geometries>
  <scenes><scene name="S"><object name="Quad" type="mesh"/></scene></scenes>
</orvk>
)";

} // namespace

TEST(HostToolOptions, BadOptionsAreUsageErrorsWithTheUsageLine) {
    const std::vector<std::vector<std::string>> bad = {
        {},                           // no file
        {"--frobnicate", "a.xml"},    // unknown option
        {"--lights", "yes", "a.xml"}, // not on/off
        {"a.xml", "--scale"},         // value missing
        {"a.xml", "b.xml"},           // two files
    };
    for (const auto& args : bad) {
        ToolRun run = runTool(args);
        EXPECT_EQ(run.status, EXIT_USAGE) << ::testing::PrintToString(args);
        EXPECT_NE(run.err.find("usage: bxml-host"), std::string::npos);
        EXPECT_TRUE(run.out.empty()) << "nothing is loaded on a usage error";
    }
    EXPECT_NE(runTool({"--lights", "yes", "a.xml"}).err.find("--lights takes on or off, not 'yes'"), std::string::npos);
}

TEST(HostToolOptions, VersionIsTheProjectsAndHelpIsTheUsage) {
    std::ifstream file(std::string(BXML_SAMPLES_DIR) + "/../VERSION");
    std::string version;
    ASSERT_TRUE(std::getline(file, version));
    ToolRun run = runTool({"--version"});
    EXPECT_EQ(run.status, EXIT_DONE);
    EXPECT_EQ(run.out, "bxml-host " + version + "\n");
    ToolRun help = runTool({"--help"});
    EXPECT_EQ(help.status, EXIT_DONE);
    EXPECT_EQ(help.out.rfind("usage: bxml-host", 0), 0u);
    // Beside a file they are unknown options, as before.
    EXPECT_EQ(runTool({"--version", "a.xml"}).status, EXIT_USAGE);
}

TEST(HostToolOptions, EveryOptionReachesTheDialogAnswer) {
    ToolOptions o;
    std::string error;
    ASSERT_TRUE(parseToolOptions({"--plugin", "p.so", "--scale", "2,5", "--lights", "on", "--scene-meshes-only", "off",
                                  "--prune-bones", "off", "--swap-model", "on", "--cancel", "--camera", "--camera",
                                  "--json", "-", "--interactive", "f.xml"},
                                 o, error))
        << error;
    EXPECT_EQ(o.pluginPath, "p.so");
    EXPECT_EQ(o.file, "f.xml");
    EXPECT_EQ(o.answer.scaleText, std::wstring(L"2,5"));
    EXPECT_EQ(o.answer.importLights, true);
    EXPECT_EQ(o.answer.sceneMeshesOnly, false);
    EXPECT_EQ(o.answer.pruneBones, false);
    EXPECT_EQ(o.answer.swapModel, true);
    EXPECT_TRUE(o.answer.cancel);
    EXPECT_TRUE(o.answer.interactive);
    EXPECT_EQ(o.cameras, 2);
    EXPECT_EQ(o.jsonPath, std::string("-"));

    ToolOptions plain;
    ASSERT_TRUE(parseToolOptions({"f.xml"}, plain, error));
    EXPECT_FALSE(plain.answer.scaleText || plain.answer.importLights || plain.answer.cancel)
        << "defaults leave the dialog";
    EXPECT_FALSE(plain.jsonPath);
}

TEST(HostTool, MissingFileIsAClearErrorNotAnImport) {
    ToolRun run = runTool({dataFile("no_such_scene.xml")});
    EXPECT_EQ(run.status, EXIT_IMPORT_FAILED);
    EXPECT_NE(run.err.find("no_such_scene.xml: no such file"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("import request"), std::string::npos);
}

TEST(HostTool, UnloadablePluginFailsWithTheLoaderMessage) {
    ToolRun run = runTool({"--plugin", dataFile("not_xml.xml"), dataFile("empty_orvk.xml")});
    EXPECT_EQ(run.status, EXIT_IMPORT_FAILED);
    EXPECT_NE(run.err.find("cannot load the plug-in"), std::string::npos) << run.err;
}

TEST(HostTool, FailedImportRequestExitsOneWithThePluginsErrorText) {
    for (const char* name : {"not_xml.xml", "not_orvk.xml"}) {
        ToolRun run = runTool({dataFile(name)});
        EXPECT_EQ(run.status, EXIT_IMPORT_FAILED) << name;
        EXPECT_NE(run.out.find("import request: 0"), std::string::npos) << name;
        EXPECT_EQ(run.out.find("options request"), std::string::npos) << "no dialog after a failed read";
    }
    EXPECT_NE(runTool({dataFile("not_xml.xml")}).err.find("bxml-host: Unable to parse XML file."), std::string::npos);
    ToolRun upper = runTool({dataFile("not_orvk.xml")});
    EXPECT_NE(upper.err.find("bxml-host: "), std::string::npos);
    EXPECT_GT(upper.err.size(), std::string("bxml-host: \n").size()) << "the plug-in's message is shown";
}

TEST(HostTool, CancelExitsThreeAndBuildsNothing) {
    TempSceneFile file(ONE_QUAD);
    ToolRun run = runTool({"--cancel", "--scale", "9", file.path()});
    EXPECT_EQ(run.status, EXIT_CANCELLED);
    EXPECT_NE(run.out.find("options request: 2\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("model: 0 vertices, 0 meshes, 0 polygons"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("closing calls: none\n"), std::string::npos);
}

TEST(HostTool, SuccessfulImportPrintsRegistrationDialogLinesAndSummary) {
    TempSceneFile file(ONE_QUAD);
    ToolRun run = runTool({"--camera", file.path()});
    EXPECT_EQ(run.status, EXIT_DONE) << run.err;
    for (const char* line : {"registration: 1\n", "extension: xml\n", "import request: 1\n", "file version: 3\n",
                             "vertices: 4\n", "faces: 1\n", "scale: 1.000\n", "options request: 1\n",
                             "model: 4 vertices, 1 meshes, 1 polygons, 0 materials, 0 texture maps, 0 lights, "
                             "1 cameras, 0 bones, 0 animations, 0 keys\n"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\nin:\n" << run.out;
    EXPECT_NE(run.out.find("closing calls: EndMeshes(1)"), std::string::npos);
    EXPECT_NE(run.out.find("EndImport()"), std::string::npos);
}

TEST(HostTool, JsonFileHoldsTheImportAndSeededCameras) {
    TempSceneFile file(ONE_QUAD);
    TempSceneFile json("", "dump.json");
    ASSERT_EQ(runTool({"--camera", "--camera", "--json", json.path(), file.path()}).status, EXIT_DONE);
    std::ifstream in(json.path(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find('\r'), std::string::npos) << "\\n line ends only";
    EXPECT_NE(text.find("\"importResult\": 1,\n  \"optionsResult\": 1,"), std::string::npos);
    EXPECT_NE(text.find("\"position\": [1, 1, 0]"), std::string::npos);
    EXPECT_NE(text.find("\"vertices\": [0, 1, 2, 3]"), std::string::npos);
    std::size_t cameras = text.find("\"cameras\": [");
    ASSERT_NE(cameras, std::string::npos);
    std::size_t bones = text.find("\"bones\": [", cameras);
    int transforms = 0;
    for (std::size_t at = text.find("\"transform\"", cameras); at < bones; at = text.find("\"transform\"", at + 1))
        ++transforms;
    EXPECT_EQ(transforms, 2);
    EXPECT_EQ(text.back(), '\n');
}

TEST(HostTool, RelativeJsonPathIsWhereTheCallerIs) {
    // The import makes the scene's folder current; the dump must still land
    // in the folder the tool was started from.
    namespace fs = std::filesystem;
    const fs::path original = fs::current_path();
    const fs::path caller = fs::absolute(fs::path(::testing::TempDir()));
    TempSceneFile unique("", "relative"); // a name no other test process uses
    const std::string name = fs::path(unique.path()).filename().string();
    const fs::path sceneFolder = caller / (name + "_scene");
    fs::create_directories(sceneFolder);
    const fs::path scenePath = sceneFolder / "scene.xml";
    std::ofstream(scenePath, std::ios::binary) << ONE_QUAD;
    fs::current_path(caller);
    const ToolRun run = runTool({"--json", name + ".json", scenePath.string()});
    fs::current_path(original);
    EXPECT_EQ(run.status, EXIT_DONE) << run.err;
    EXPECT_TRUE(fs::exists(caller / (name + ".json")));
    EXPECT_FALSE(fs::exists(sceneFolder / (name + ".json")));
    fs::remove(caller / (name + ".json"));
    fs::remove_all(sceneFolder);
}

TEST(JsonDump, FloatsAreShortestRoundTripAndNonFiniteValuesAreStrings) {
    EXPECT_EQ(jsonFloat(0.1f), "0.1");
    EXPECT_EQ(jsonFloat(1.0f), "1");
    EXPECT_EQ(jsonFloat(-0.0f), "-0");
    EXPECT_EQ(jsonFloat(16777216.0f), "16777216");
    EXPECT_EQ(jsonFloat(1e-7f), "1e-07");
    EXPECT_EQ(std::stof(jsonFloat(0.3333333f)), 0.3333333f);
    EXPECT_EQ(jsonFloat(std::numeric_limits<float>::quiet_NaN()), "\"nan\"");
    EXPECT_EQ(jsonFloat(std::numeric_limits<float>::infinity()), "\"inf\"");
    EXPECT_EQ(jsonFloat(-std::numeric_limits<float>::infinity()), "\"-inf\"");
}

TEST(JsonDump, StringsEscapeQuotesBackslashesAndControlsAndKeepUtf8) {
    EXPECT_EQ(jsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(jsonString("x\r\n\t"), "\"x\\r\\n\\t\"");
    EXPECT_EQ(jsonString(std::string("\x01", 1)), "\"\\u0001\"");
    EXPECT_EQ(jsonString("C:\\tex\\h\xc3\xa9.png"), "\"C:\\\\tex\\\\h\xc3\xa9.png\"");
}

namespace {

// A small model with what the dump writes piece by piece: weights, polygons of
// two meshes spread over two blocks, and a name that needs escaping.
void fillSmallModel(ReferenceScene& scene) {
    scene.setFileName(L"/scenes/small.xml");
    scene.AddMesh(bxml::HostString("first \"mesh\""), -1);
    scene.AddMesh(bxml::HostString("second"), -1);
    ASSERT_EQ(scene.SetVertexCount(3), 1);
    for (int32_t v = 0; v < 3; ++v) {
        bxml::HostVertexWeight* weights = scene.AddVertexWeights(v, 2);
        ASSERT_NE(weights, nullptr);
        weights[0] = {v, 0.25f};
        weights[1] = {v + 1, 0.75f};
    }
    bxml::HostPolygonBlock* blocks[2] = {scene.GetPolygonBlock(), scene.GetPolygonBlock()};
    for (bxml::HostPolygonBlock* block : blocks) {
        ASSERT_NE(block, nullptr);
        ASSERT_EQ(block->SetPolygonCount(2), 1);
        for (int32_t p = 0; p < 2; ++p) {
            bxml::HostPolygon& polygon = block->polygons[p];
            polygon.meshIndex = p;
            polygon.cornerCount = 3;
            for (int c = 0; c < 3; ++c) polygon.vertexIndices[c] = (c + p + (block == blocks[1] ? 1 : 0)) % 3;
            polygon.channels[0][1] = {0.5f, -1.0f / 3.0f};
        }
    }
}

} // namespace

TEST(JsonDump, BytesDoNotDependOnThePiecesTheTextIsWrittenIn) {
    ReferenceScene scene;
    ASSERT_NO_FATAL_FAILURE(fillSmallModel(scene));
    ImportRecord record;
    record.scene = &scene;
    record.errorMessage = "tab\there";
    const std::string whole = dumpJson(record);
    for (std::size_t flushAt : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
        std::ostringstream pieces;
        writeJson(record, pieces, flushAt);
        EXPECT_EQ(pieces.str(), whole) << "written in pieces of " << flushAt << " bytes";
    }
    EXPECT_EQ(whole.back(), '\n');
    EXPECT_NE(whole.find("\"weights\": [[0, 0.25], [1, 0.75]]"), std::string::npos);
    EXPECT_NE(whole.find("\"name\": \"first \\\"mesh\\\"\""), std::string::npos);
}

TEST(JsonDump, PolygonsStandUnderTheirMeshInBlockOrder) {
    ReferenceScene scene;
    ASSERT_NO_FATAL_FAILURE(fillSmallModel(scene));
    ImportRecord record;
    record.scene = &scene;
    const std::string text = dumpJson(record);
    const std::size_t second = text.find("\"name\": \"second\"");
    ASSERT_NE(second, std::string::npos);
    // Mesh 0 holds the first polygon of each block, mesh 1 the second.
    const std::size_t a = text.find("\"vertices\": [0, 1, 2]");
    const std::size_t b = text.find("\"vertices\": [1, 2, 0]");
    const std::size_t c = text.find("\"vertices\": [2, 0, 1]");
    ASSERT_NE(a, std::string::npos);
    ASSERT_NE(b, std::string::npos);
    ASSERT_NE(c, std::string::npos);
    EXPECT_LT(a, b);
    EXPECT_LT(b, second) << "the second block's first polygon belongs to the first mesh";
    EXPECT_GT(c, second);
    EXPECT_GT(text.find("\"vertices\": [1, 2, 0]", b + 1), second) << "and the second mesh's first";
}
