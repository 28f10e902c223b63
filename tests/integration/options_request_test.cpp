// The options request through the real exports: the dialog (the real Win32
// dialog under Wine, the stand-in on Linux), then the build or the cancel.
#include <gtest/gtest.h>

#include "tests/integration/import_support.h"
#include "tests/support/model_invariants.h"

using namespace bxml;
using namespace bxml::host;
using bxml::testing::runImport;
using bxml::testing::TempSceneFile;

namespace {

const char* const TWO_TRIANGLES = R"(<?xml version="1.0"?>
<orvk>
  <comments><version>3</version></comments>
  <lights><light name="Lamp" type="omni"/></lights>
  <materials><material name="Red"><diffuse r="1" g="0" b="0"/></material></materials>
  <geometries>
    <geometry name="Tri">
      <vertices count="4">0 0 0 1 0 0 0 1 0 1 1 0</vertices>
      <indices count="2">0 1 2 -1,1 3 2 -1</indices>
      <materials count="2">0 0</materials>
    </geometry>
  </geometries>
</orvk>
)";

struct Expected {
    int id;
    const wchar_t* text;
};

// Every control of template 101 that has a fixed text, in tab order.
const Expected TEMPLATE_TEXTS[] = {
    {1, L"OK"},
    {2, L"Cancel"},
    {0xFFFF, L"Info"},
    {0xFFFF, L"file version:"},
    {0xFFFF, L"vertices:"},
    {0xFFFF, L"faces:"},
    {0xFFFF, L"lights:"},
    {0xFFFF, L"materials:"},
    {0xFFFF, L"textures:"},
    {0xFFFF, L"bones:"},
    {0xFFFF, L"animations:"},
    {0xFFFF, L"Scale Options"},
    {0xFFFF, L"scale:"},
    {0xFFFF, L"Misc Options"},
    {2048, L"Import lights"},
    {2049, L"Import scene meshes only"},
    {2047, L"Prune bones"},
    {2046, L"Swap model"},
};

class OptionsRequest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.load(defaultPluginPath())) << plugin.library.error(); }
    LoadedPlugin plugin;
};

} // namespace

TEST_F(OptionsRequest, DialogShowsTemplateAndCountsAndOkBuildsWithTheTypedOptions) {
    TempSceneFile file(TWO_TRIANGLES);
    DialogAnswer answer;
    answer.scaleText = L"2.5";
    answer.importLights = true;
    answer.pruneBones = false;
    answer.sceneMeshesOnly = false;
    auto run = runImport(plugin, file.path(), answer);
    ASSERT_EQ(run.importResult, 1);
    ASSERT_TRUE(run.dialog.shown);
    EXPECT_EQ(run.dialog.caption, L"Import Blender XML Model");
    for (const Expected& e : TEMPLATE_TEXTS) {
        bool found = false;
        for (const ObservedControl& c : run.dialog.controls) found = found || (c.id == e.id && c.text == e.text);
        EXPECT_TRUE(found) << "control " << e.id << " " << wideToUtf8(e.text);
    }
    EXPECT_EQ(run.dialog.text(1001), L"3");
    EXPECT_EQ(run.dialog.text(1007), L"4");
    EXPECT_EQ(run.dialog.text(1009), L"2");
    EXPECT_EQ(run.dialog.text(1006), L"1");
    EXPECT_EQ(run.dialog.text(1005), L"1");
    EXPECT_EQ(run.dialog.text(1011), L"0");
    EXPECT_EQ(run.dialog.text(1004), L"0");
    EXPECT_EQ(run.dialog.text(1012), L"0");
    EXPECT_EQ(run.dialog.text(1021), L"1.000");
    EXPECT_FALSE(run.dialog.checks[2048]);
    EXPECT_TRUE(run.dialog.checks[2049]);
    EXPECT_TRUE(run.dialog.checks[2047]);
    EXPECT_TRUE(run.dialog.checks[2046]);

    EXPECT_EQ(run.optionsResult, 1);
    const ReferenceScene& scene = *run.scene;
    EXPECT_EQ(bxml::testing::describeViolations(bxml::testing::checkModelInvariants(scene)), "");
    ASSERT_EQ(scene.lightCount, 1) << "lights were switched on in the dialog";
    ASSERT_EQ(scene.vertexCount, 4);
    EXPECT_EQ(scene.vertices[3]->position.x, 2.5f) << "scale 2.5 applied";
    EXPECT_EQ(scene.countCalls("PruneBones"), 0) << "prune bones was switched off";
    EXPECT_EQ(scene.countCalls("SetAxisSwap"), 1);

    // The next dialog shows the stored options.
    TempSceneFile again(TWO_TRIANGLES);
    DialogAnswer cancel;
    cancel.cancel = true;
    auto second = runImport(plugin, again.path(), cancel);
    EXPECT_EQ(second.dialog.text(1021), L"2.500");
    EXPECT_TRUE(second.dialog.checks[2048]);
    EXPECT_FALSE(second.dialog.checks[2047]);
    // Restore the load values for the other tests of this process.
    DialogAnswer restore;
    restore.scaleText = L"1";
    restore.importLights = false;
    restore.pruneBones = true;
    restore.sceneMeshesOnly = true;
    TempSceneFile third(TWO_TRIANGLES);
    runImport(plugin, third.path(), restore);
}

TEST_F(OptionsRequest, CancelAnswersTwoClearsTheDocumentAndKeepsTheOptions) {
    TempSceneFile file(TWO_TRIANGLES);
    DialogAnswer answer;
    answer.cancel = true;
    answer.scaleText = L"7";
    answer.swapModel = false;
    auto run = runImport(plugin, file.path(), answer);
    ASSERT_EQ(run.importResult, 1);
    EXPECT_EQ(run.optionsResult, 2);
    EXPECT_EQ(run.scene->vertexCount, 0) << "nothing is built after Cancel";
    EXPECT_TRUE(run.scene->calls().size() <= 1u) << "only GetMainWindow may be called";

    // A second options request without a new read shows an empty document and
    // the unchanged options, and builds nothing from the earlier file.
    ReferenceScene scene;
    DialogAnswer ok;
    DialogDriver driver(ok);
    driver.arm();
    int32_t result = plugin.call(IMPORT_OPTIONS_REQUEST, &scene, plugin.library.nativeHandle());
    DialogObservation seen = driver.finish();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(seen.text(1001), L"0");
    EXPECT_EQ(seen.text(1007), L"0");
    EXPECT_EQ(seen.text(1009), L"0");
    EXPECT_EQ(seen.text(1006), L"0");
    EXPECT_EQ(seen.text(1021), L"1.000");
    EXPECT_TRUE(seen.checks[2046]) << "Cancel stored nothing";
    EXPECT_EQ(scene.vertexCount, 0);
    EXPECT_EQ(scene.materialCount, 0);
}
