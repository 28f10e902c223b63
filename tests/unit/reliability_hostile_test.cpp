// Hostile scene files: each ends without a crash and within bounded memory; the
// document the import request leaves is sound, and so is a model that was
// built. (Running time is the benchmarks' business.)
#ifndef _WIN32

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <string>

#include "platform/standin/ui_standin.h"
#include "plugin/import_request.h"
#include "tests/support/inprocess_import.h"
#include "tests/support/model_invariants.h"

using namespace bxml;
using bxml::testing::importInProcess;
using bxml::testing::InProcessRun;

namespace {

// Peak resident memory of the process so far, in megabytes.
long peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// No hostile file of a few megabytes may cost more than this.
constexpr long MEMORY_BOUND_MB = 1500;

class Hostile : public ::testing::Test {
protected:
    void SetUp() override { bxml::testing::confirmDialogsWithOk(); }
    void TearDown() override { ui::standin::resetStandIn(); }

    InProcessRun import(const std::string& xml) {
        const std::string path =
            bxml::testing::writeScratchFile("hostile", reinterpret_cast<const uint8_t*>(xml.data()), xml.size());
        InProcessRun run = importInProcess(state, path);
        std::remove(path.c_str());
        return run;
    }

    // A built model is sound; a refused file says one of the two messages.
    void expectSound(const InProcessRun& run) {
        EXPECT_TRUE(run.documentViolations.empty()) << bxml::testing::describeViolations(run.documentViolations);
        if (run.importResult == 1) {
            EXPECT_EQ(run.optionsResult, 1);
            bxml::testing::InvariantOptions options;
            options.requireFiniteWeights = false;
            const auto violations = bxml::testing::checkModelInvariants(*run.scene, options);
            EXPECT_TRUE(violations.empty()) << bxml::testing::describeViolations(violations);
        } else {
            EXPECT_EQ(run.importResult, 0);
            EXPECT_TRUE(run.errorMessage == MESSAGE_NOT_ORVK || run.errorMessage == MESSAGE_UNABLE_TO_PARSE)
                << run.errorMessage;
        }
        EXPECT_LT(peakMegabytes(), MEMORY_BOUND_MB);
    }

    PluginState state;
};

std::string wrap(const std::string& body) { return "<?xml version=\"1.0\"?>\n<orvk>\n" + body + "</orvk>\n"; }

const char* const RIG = R"(<skeletons><skeleton name="Rig">
<bone name="hip"><position x="0" y="0" z="1"/><bone name="spine"/></bone>
</skeleton></skeletons>)";

} // namespace

TEST_F(Hostile, CountsOfTwoBillionWithAFewNumbers) {
    const auto run = import(wrap(R"(<geometries><geometry name="G">
<vertices count="2000000000">0 0 0 1 0 0 0 1 0</vertices>
<normals count="2000000000">0 0 1</normals>
<indices count="2000000000">0 1 2 -1</indices>
<uvset name="UV" count="2000000000">0 0 1 0</uvset>
<colors count="2000000000">1 0 0</colors>
<materials count="2000000000">0</materials>
<links><link name="hip" index="0"/></links>
<weights count="2000000000" maxBonePerVertex="2000000000">0 1</weights>
</geometry></geometries>)" + std::string(RIG)));
    expectSound(run);
}

// Listed children first: the order puts the whole chain the other way round,
// which the document check after the import request sees.
TEST_F(Hostile, ChainOfOneHundredThousandParentedObjects) {
    std::string body = "<scenes><scene name=\"S\">\n";
    body.reserve(8 << 20);
    for (int i = 99999; i >= 0; --i) {
        body += "<object name=\"o" + std::to_string(i) + "\" type=\"empty\">";
        if (i > 0) body += "<parent>o" + std::to_string(i - 1) + "</parent>";
        body += "<position x=\"1\" y=\"0\" z=\"0\"/></object>\n";
    }
    body += "</scene></scenes>\n";
    expectSound(import(wrap(body)));
}

TEST_F(Hostile, NestingDeeperThanTheParserAllowsIsUnparsable) {
    std::string body;
    for (int i = 0; i < 5000; ++i) body += "<lights>";
    for (int i = 0; i < 5000; ++i) body += "</lights>";
    const auto run = import(wrap(body));
    EXPECT_EQ(run.importResult, 0);
    EXPECT_EQ(run.errorMessage, MESSAGE_UNABLE_TO_PARSE);
}

TEST_F(Hostile, NamesOfOneMegabyteAreCutToTheHostsLength) {
    const std::string big(1 << 20, 'n');
    const auto run =
        import(wrap("<lights><light name=\"" + big + "\" type=\"omni\"/></lights>" + "<materials><material name=\"" +
                    big + "\"/></materials>" + "<geometries><geometry name=\"" + big +
                    "\"><vertices count=\"3\">0 0 0 1 0 0 0 1 0</vertices>"
                    "<indices count=\"1\">0 1 2 -1</indices></geometry></geometries>"
                    "<skeletons><skeleton name=\"" +
                    big + "\"><bone name=\"" + big + "\"/></skeleton></skeletons>"));
    expectSound(run);
    ASSERT_EQ(run.importResult, 1);
    for (const auto& material : run.scene->materialStore) EXPECT_LT(material->name.size(), 260u);
    for (const auto& bone : run.scene->boneStore) EXPECT_LT(std::string(bone->name.narrow).size(), 260u);
}

TEST_F(Hostile, NanAndInfinityInEveryNumberListMatrixAndKey) {
    const auto run = import(wrap(R"(<lights><light name="L" type="spot"><color r="nan" g="inf" b="-inf"/>
<spot angle="nan"/><radius>inf</radius><intensity>nan</intensity></light></lights>
<cameras><camera name="C"><clip near="nan" far="inf"/><fov>nan</fov></camera></cameras>
<materials><material name="M"><diffuse r="nan" g="inf" b="-inf"/><specular r="inf" g="0" b="0"/>
<alpha>nan</alpha><shininess>inf</shininess></material></materials>
<geometries><geometry name="G">
<vertices count="3">nan 0 0 inf 0 0 0 -inf 0</vertices>
<normals count="3">nan nan nan inf inf inf 0 0 1</normals>
<indices count="1">0 1 2 -1</indices>
<uvset name="UV" count="3">nan inf -inf 0 1 nan</uvset>
<colors count="3">nan inf -inf nan inf -inf nan inf -inf</colors>
<materials count="1">0</materials>
<links><link name="hip" index="0"/><link name="spine" index="1"/></links>
<weights count="3" maxBonePerVertex="2">0 nan 1 inf, 0 -inf, 1 nan</weights>
</geometry></geometries>
<skeletons><skeleton name="Rig">
<bone name="hip"><position x="nan" y="inf" z="-inf"/><rotation x="nan" y="0" z="0" w="inf"/>
<scale x="inf" y="nan" z="0"/><bone name="spine"/></bone></skeleton></skeletons>
<animations><animation name="A" length="nan" fps="inf"><skeleton name="Rig"><node name="hip">
<frame time="nan"><position x="nan" y="inf" z="-inf"/><rotation x="inf" y="nan" z="0" w="0"/>
<scale x="nan" y="inf" z="-inf"/></frame>
<frame time="inf"><position x="0" y="0" z="0"/></frame>
</node></skeleton></animation></animations>
<scenes><scene name="S"><object name="G" type="mesh"><position x="nan" y="inf" z="-inf"/>
<rotation x="nan" y="inf" z="0"/><scale x="inf" y="0" z="nan"/>
<matrix rows="4">nan inf -inf 0, 0 nan 0 0, 0 0 inf 0, 0 0 0 nan</matrix></object>
<object name="Rig" type="skeleton"><matrix rows="4">inf 0 0 0, 0 inf 0 0, 0 0 inf 0, nan nan nan 1</matrix></object>
<object name="L" type="light"><position x="nan" y="0" z="0"/></object>
<object name="C" type="camera"><matrix rows="4">nan 0 0 0, 0 1 0 0, 0 0 1 0, 0 0 0 1</matrix></object>
</scene></scenes>)"));
    expectSound(run);
    EXPECT_EQ(run.importResult, 1);
}

TEST_F(Hostile, TenThousandWeightPairsPerVertex) {
    std::string pairs;
    for (int i = 0; i < 10000; ++i) pairs += std::to_string(i % 3) + " 0.0001 ";
    const auto run = import(wrap(R"(<geometries><geometry name="G">
<vertices count="3">0 0 0 1 0 0 0 1 0</vertices><indices count="1">0 1 2 -1</indices>
<links><link name="hip" index="0"/><link name="spine" index="1"/><link name="none" index="2"/></links>
<weights count="3" maxBonePerVertex="10000">)" +
                                 pairs + "," + pairs + "," + pairs + "</weights></geometry></geometries>" + RIG));
    expectSound(run);
    EXPECT_EQ(run.importResult, 1);
}

TEST_F(Hostile, OneHundredThousandFramesOfOneNode) {
    std::string frames;
    frames.reserve(16 << 20);
    for (int i = 0; i < 100000; ++i)
        frames += "<frame time=\"" + std::to_string(i) +
                  "\"><position x=\"1\" y=\"2\" z=\"3\"/><rotation x=\"0\" y=\"0\" z=\"0\" w=\"1\"/>"
                  "<scale x=\"1\" y=\"1\" z=\"1\"/></frame>\n";
    const auto run = import(wrap(std::string(RIG) +
                                 "<animations><animation name=\"A\" length=\"100000\" fps=\"24\">"
                                 "<skeleton name=\"Rig\"><node name=\"hip\">" +
                                 frames + "</node></skeleton></animation></animations>"));
    expectSound(run);
    ASSERT_EQ(run.importResult, 1);
    ASSERT_EQ(run.scene->animationStore.size(), 1u);
    const auto& animation = *run.scene->animationStore[0];
    std::size_t keys = 0;
    for (const auto& track : animation.trackStorage) keys += track.positionKeys.size();
    EXPECT_EQ(keys, 100000u) << animation.trackStorage.size() << " tracks";
}

#endif // _WIN32
