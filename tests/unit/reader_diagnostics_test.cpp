// The diagnostics of a read: one small file per kind of finding, with the
// line it must point at and the words it must use. Each file is otherwise
// clean, so that the count of findings is exact too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <cstdio>

#include "host/file_check.h"
#include "reader/file_reader.h"
#include "tests/integration/import_support.h"

namespace bxml {
namespace {

using host::CheckReport;
using host::checkSceneFile;

// Line 1 holds the root and a valid version; the body's first line (after its
// leading line feed) is line 2.
std::string fileOf(const std::string& body) {
    return "<orvk><comments><version>3</version></comments>" + body + "\n</orvk>\n";
}

// A triangle geometry `G` on lines 2 to 4, the given lines from line 5 on,
// and an object placing it (on the line after them), so that nothing else is
// reported.
std::string triangleWith(const std::string& lines, const std::string& objectChildren = "",
                         const std::string& moreSections = "") {
    return "\n<geometries><geometry name=\"G\">\n<vertices count=\"3\">0 0 0 1 0 0 0 1 0</vertices>\n"
           "<indices count=\"1\">0 1 2</indices>" +
           lines + "\n</geometry></geometries>\n<scenes><scene name=\"S\"><object name=\"G\" type=\"mesh\">" +
           objectChildren + "</object></scene></scenes>" + moreSections;
}

// A geometry as above, placed by an object of skeleton `Rig` (bones `A`, `B`).
std::string riggedTriangleWith(const std::string& lines) {
    return triangleWith(lines, "<skeleton>Rig</skeleton>",
                        "\n<skeletons><skeleton name=\"Rig\"><bone name=\"A\"><bone name=\"B\"/></bone></skeleton>"
                        "</skeletons>");
}

struct Case {
    const char* title;
    std::string file;
    int line;
    FindingKind kind;
    const char* what;    // a part of the finding's text
    const char* instead; // a part of what the import does instead
    std::size_t findings = 1;
};

std::string describe(const CheckReport& report) {
    std::string s;
    for (const Finding& f : report.findings)
        s += std::to_string(f.line) + ", " + findingKindName(f.kind) + ": " + f.what + " (" + f.instead + ")\n";
    return s;
}

int readFile(const std::string& path, SceneDocument& doc, Diagnostics* diagnostics) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return -100;
    const int result = readSceneFile(doc, f, diagnostics);
    std::fclose(f);
    return result;
}

// The checks only look: the document read with a sink is the one read
// without (every field the resolution pass and the lists write).
void expectSameDocument(const std::string& path) {
    SceneDocument plain;
    SceneDocument checked;
    Diagnostics diagnostics;
    ASSERT_EQ(readFile(path, plain, nullptr), readFile(path, checked, &diagnostics)) << path;
    ASSERT_EQ(plain.geometries.size(), checked.geometries.size()) << path;
    for (std::size_t g = 0; g < plain.geometries.size(); ++g) {
        const GeometryRecord& a = plain.geometries[g];
        const GeometryRecord& b = checked.geometries[g];
        ASSERT_EQ(a.vertices.size(), b.vertices.size()) << path;
        ASSERT_EQ(a.faces.size(), b.faces.size()) << path;
        for (std::size_t f = 0; f < a.faces.size(); ++f) {
            EXPECT_EQ(a.faces[f].materialIndex, b.faces[f].materialIndex) << path;
            EXPECT_EQ(a.faces[f].cornerCount, b.faces[f].cornerCount) << path;
        }
        EXPECT_EQ(a.placedBy.scene, b.placedBy.scene) << path;
        EXPECT_EQ(a.placedBy.object, b.placedBy.object) << path;
        ASSERT_EQ(a.links.size(), b.links.size()) << path;
        for (std::size_t k = 0; k < a.links.size(); ++k)
            EXPECT_EQ(a.links[k].boneNodeIndex, b.links[k].boneNodeIndex) << path;
        for (std::size_t v = 0; v < a.vertices.size(); ++v) {
            ASSERT_EQ(a.vertices[v].weights.size(), b.vertices[v].weights.size()) << path;
            for (std::size_t w = 0; w < a.vertices[v].weights.size(); ++w)
                EXPECT_EQ(a.vertices[v].weights[w].boneNodeIndex, b.vertices[v].weights[w].boneNodeIndex) << path;
        }
    }
    ASSERT_EQ(plain.animations.size(), checked.animations.size()) << path;
    for (std::size_t i = 0; i < plain.animations.size(); ++i) {
        const std::vector<AnimationSkeletonTrack>& a = plain.animations[i].skeletonTracks;
        const std::vector<AnimationSkeletonTrack>& b = checked.animations[i].skeletonTracks;
        ASSERT_EQ(a.size(), b.size()) << path;
        for (std::size_t t = 0; t < a.size(); ++t) {
            EXPECT_EQ(a[t].skeletonIndex, b[t].skeletonIndex) << path;
            ASSERT_EQ(a[t].nodes.size(), b[t].nodes.size()) << path;
            for (std::size_t n = 0; n < a[t].nodes.size(); ++n)
                EXPECT_EQ(a[t].nodes[n].boneIndex, b[t].nodes[n].boneIndex) << path;
        }
    }
    ASSERT_EQ(plain.textures.size(), checked.textures.size()) << path;
    for (std::size_t t = 0; t < plain.textures.size(); ++t)
        EXPECT_EQ(plain.textures[t].imageIndex, checked.textures[t].imageIndex) << path;
    ASSERT_EQ(plain.materials.size(), checked.materials.size()) << path;
    for (std::size_t m = 0; m < plain.materials.size(); ++m)
        for (int s = 0; s < MATERIAL_SLOT_COUNT; ++s)
            EXPECT_EQ(plain.materials[m].slots[s].textureIndex, checked.materials[m].slots[s].textureIndex) << path;
    ASSERT_EQ(plain.skeletons.size(), checked.skeletons.size()) << path;
    for (std::size_t k = 0; k < plain.skeletons.size(); ++k) {
        ASSERT_EQ(plain.skeletons[k].bones.size(), checked.skeletons[k].bones.size()) << path;
        for (std::size_t b = 0; b < plain.skeletons[k].bones.size(); ++b)
            EXPECT_EQ(plain.skeletons[k].bones[b].parentIndex, checked.skeletons[k].bones[b].parentIndex) << path;
    }
    ASSERT_EQ(plain.scenes.size(), checked.scenes.size()) << path;
    for (std::size_t i = 0; i < plain.scenes.size(); ++i) {
        ASSERT_EQ(plain.scenes[i].objects.size(), checked.scenes[i].objects.size()) << path;
        for (std::size_t k = 0; k < plain.scenes[i].objects.size(); ++k) {
            const SceneObjectRecord& a = plain.scenes[i].objects[k];
            const SceneObjectRecord& b = checked.scenes[i].objects[k];
            EXPECT_EQ(a.fileIndex, b.fileIndex) << path;
            EXPECT_EQ(a.parentIndex, b.parentIndex) << path;
            EXPECT_EQ(a.targetIndex, b.targetIndex) << path;
            EXPECT_EQ(a.skeletonIndex, b.skeletonIndex) << path;
            EXPECT_EQ(a.boneNodeIndex, b.boneNodeIndex) << path;
            EXPECT_EQ(a.rootNodeIndex, b.rootNodeIndex) << path;
        }
    }
}

void expectFinding(const Case& c) {
    testing::TempSceneFile file(c.file);
    expectSameDocument(file.path());
    // The rows are about the read; where image files are looked for is the
    // tool's own test.
    const CheckReport report = checkSceneFile(file.path(), false);
    ASSERT_EQ(report.readResult, 1) << c.title;
    bool found = false;
    for (const Finding& f : report.findings) {
        found = found || (f.line == c.line && f.kind == c.kind && f.what.find(c.what) != std::string::npos &&
                          f.instead.find(c.instead) != std::string::npos);
    }
    EXPECT_TRUE(found) << c.title << ": expected on line " << c.line << ", " << findingKindName(c.kind) << ": "
                       << c.what << " (" << c.instead << ")\ngot:\n"
                       << describe(report);
    EXPECT_EQ(report.findings.size(), c.findings) << c.title << "\n" << describe(report);
}

TEST(ReadDiagnostics, ListsThatDoNotMatchTheirGeometryAreSkipped) {
    const Case cases[] = {
        {"uv set against corners", fileOf(triangleWith("\n<uvset name=\"UV\" count=\"4\">0 0 1 0 0 1 1 1</uvset>")), 5,
         FindingKind::CountMismatch, "count 4 of `uvset` does not match the 3 face corners",
         "skipped: the uv set stays (0, 0)"},
        {"colours against corners", fileOf(triangleWith("\n<colors count=\"2\">1 0 0 0 1 0</colors>")), 5,
         FindingKind::CountMismatch, "count 2 of `colors` does not match the 3 face corners",
         "skipped: the colours stay white"},
        {"face materials against faces", fileOf(triangleWith("\n<materials count=\"2\">0 0</materials>")), 5,
         FindingKind::CountMismatch, "count 2 of `materials` does not match the 1 faces",
         "skipped: the faces have no material"},
        {"weights against vertices",
         fileOf(riggedTriangleWith("\n<links><link name=\"A\" index=\"0\"/></links>\n"
                                   "<weights count=\"2\" maxBonePerVertex=\"1\">0 1,0 1</weights>")),
         6, FindingKind::CountMismatch, "count 2 of `weights` does not match the 3 vertices",
         "skipped: no vertex has weights"},
        {"uv set without faces",
         fileOf("\n<geometries><geometry name=\"G\">\n<uvset name=\"UV\" count=\"1\">0 0</uvset>\n</geometry>"
                "</geometries>\n<scenes><scene><object name=\"G\" type=\"mesh\"/></scene></scenes>"),
         3, FindingKind::CountMismatch, "for a geometry without face corners", "skipped"},
    };
    for (const Case& c : cases) expectFinding(c);
}

TEST(ReadDiagnostics, NumberListsSayWhatTheyLose) {
    const Case lists[] = {
        {"fewer numbers than the count",
         fileOf("\n<geometries><geometry name=\"G\">\n<vertices count=\"3\">0 0 0 1 0 0</vertices>\n</geometry>"
                "</geometries>\n<scenes><scene><object name=\"G\" type=\"mesh\"/></scene></scenes>"),
         3, FindingKind::CountMismatch, "`vertices` holds 6 numbers, fewer than the 9 its count of 3 promises",
         "keep their defaults"},
        {"more numbers than the count",
         fileOf("\n<geometries><geometry name=\"G\">\n<vertices count=\"1\">0 0 0 1 0 0</vertices>\n</geometry>"
                "</geometries>\n<scenes><scene><object name=\"G\" type=\"mesh\"/></scene></scenes>"),
         3, FindingKind::CountMismatch, "`vertices` holds 6 numbers, more than the 3", "the last 3 are ignored"},
        {"a token that is no number", fileOf(triangleWith("\n<uvset name=\"UV\" count=\"3\">0 0 1 0 x 1</uvset>")), 5,
         FindingKind::NotANumber, "`x` in the number list of `uvset` does not start with a number", "read as 0"},
        {"a line feed inside a list", fileOf(triangleWith("\n<colors count=\"3\">1 0 0 0 1 0\n0 0 1</colors>")), 5,
         FindingKind::BrokenToken, "a line feed in the number list of `colors` (`0\\n0`)",
         "the numbers after it up to the next space are lost", 2},
        {"a tab inside a list", fileOf(triangleWith("\n<uvset name=\"UV\" count=\"3\">0 0 1\t0 0 1</uvset>")), 5,
         FindingKind::BrokenToken, "a tab in the number list of `uvset`", "lost", 2},
        {"NaN in a list", fileOf(triangleWith("\n<uvset name=\"UV\" count=\"3\">0 0 nan 0 0 1</uvset>")), 5,
         FindingKind::NotFinite, "`nan` in the number list of `uvset` is not a finite number", "kept as it is"},
        {"infinity in a list, by overflow",
         fileOf(triangleWith("\n<uvset name=\"UV\" count=\"3\">0 0 1e39 0 0 1</uvset>")), 5, FindingKind::NotFinite,
         "`1e39` in the number list of `uvset` is not a finite number", "NaN or infinity reaches the model"},
        {"more pairs than maxBonePerVertex",
         fileOf(riggedTriangleWith("\n<links><link name=\"A\" index=\"0\"/><link name=\"B\" index=\"1\"/></links>\n"
                                   "<weights count=\"3\" maxBonePerVertex=\"1\">0 1,0 0.5 1 0.5,1 1</weights>")),
         6, FindingKind::Ignored,
         "1 vertex of `weights` with more than `maxBonePerVertex` 1 pairs (the first: vertex 1)",
         "only the first 1 pairs of each are kept"},
        {"a link index without its weight",
         fileOf(riggedTriangleWith("\n<links><link name=\"A\" index=\"0\"/></links>\n"
                                   "<weights count=\"3\" maxBonePerVertex=\"2\">0 1,0 1 0,0 1</weights>")),
         6, FindingKind::Ignored, "ending in a link index without its weight (the first: vertex 1)",
         "that link index is dropped"},
        {"a matrix row of two numbers",
         fileOf("\n<scenes><scene>\n<object name=\"E\" type=\"empty\">\n"
                "<matrix rows=\"4\">1 0 0 0,0 1,0 0 1 0,0 0 0 1</matrix></object></scene></scenes>"),
         4, FindingKind::CountMismatch, "row 1 of `matrix` has 2 numbers", "the missing columns repeat the row before"},
        {"a count far beyond the text",
         fileOf("\n<geometries><geometry name=\"G\">\n<vertices count=\"900000\">0 0 0</vertices>\n</geometry>"
                "</geometries>\n<scenes><scene><object name=\"G\" type=\"mesh\"/></scene></scenes>"),
         3, FindingKind::ImplausibleCount, "the count 900000 of `vertices` is far more than its text could hold",
         "the list is not read"},
    };
    for (const Case& c : lists) expectFinding(c);
}

TEST(ReadDiagnostics, CountsThatAreMissingOrNoNumbers) {
    const Case cases[] = {
        {"count missing",
         fileOf("\n<geometries><geometry name=\"G\">\n<vertices>0 0 0</vertices>\n</geometry></geometries>\n"
                "<scenes><scene><object name=\"G\" type=\"mesh\"/></scene></scenes>"),
         3, FindingKind::Missing, "`vertices` has no `count`", "the list is not read"},
        {"count not a number",
         fileOf("\n<geometries><geometry name=\"G\">\n<vertices count=\"three\">0 0 0</vertices>\n</geometry>"
                "</geometries>\n<scenes><scene><object name=\"G\" type=\"mesh\"/></scene></scenes>"),
         3, FindingKind::NotANumber, "`count` of `vertices` is `three`, not a number",
         "read as 0: the list is not read"},
        {"maxBonePerVertex misspelt",
         fileOf(riggedTriangleWith("\n<links><link name=\"A\" index=\"0\"/></links>\n"
                                   "<weights count=\"3\" maxBonesPerVertex=\"1\">0 1,0 1,0 1</weights>")),
         6, FindingKind::UnknownName,
         "unknown attribute `maxBonesPerVertex` of `weights` (did you mean `maxBonePerVertex`?)", "ignored", 2},
        {"maxBonePerVertex missing",
         fileOf(riggedTriangleWith("\n<links><link name=\"A\" index=\"0\"/></links>\n"
                                   "<weights count=\"3\">0 1,0 1,0 1</weights>")),
         6, FindingKind::Missing, "`weights` has no `maxBonePerVertex`", "no vertex has weights"},
        {"matrix without rows",
         fileOf("\n<scenes><scene>\n<object name=\"E\" type=\"empty\">\n"
                "<matrix>1 0 0 0,0 1 0 0,0 0 1 0,0 0 0 1</matrix></object></scene></scenes>"),
         4, FindingKind::Missing, "`matrix` has no `rows`", "ignored: the position, rotation and scale children stand"},
    };
    for (const Case& c : cases) expectFinding(c);
}

TEST(ReadDiagnostics, ElementsAndAttributesThatAreIgnored) {
    const Case cases[] = {
        {"a vector child missing an attribute",
         fileOf("\n<lights>\n<light name=\"L\" type=\"omni\">\n"
                "<color r=\"1\" g=\"0\"/></light></lights>"),
         4, FindingKind::Missing, "`color` lacks `b`", "ignored whole"},
        {"a name longer than 255 bytes",
         fileOf("\n<lights>\n<light name=\"" + std::string(300, 'n') + "\" type=\"omni\"/></lights>"), 3,
         FindingKind::Cut, "`name` of `light` is 300 bytes long", "cut to its first 255 bytes"},
        {"an element close to a known one",
         fileOf("\n<lights>\n<light name=\"L\" type=\"omni\">\n<colour r=\"1\" g=\"0\" b=\"0\"/></light></lights>"), 4,
         FindingKind::UnknownName, "unknown element `colour` in `light` (did you mean `color`?)",
         "ignored with everything in it"},
        {"a second section", fileOf("\n<lights/>\n<lights>\n<light name=\"L\" type=\"omni\"/></lights>"), 3,
         FindingKind::SecondOccurrence, "a second `lights` in `orvk`", "ignored: the first, on line 2, counts"},
        {"a second single child",
         fileOf("\n<scenes><scene>\n<object name=\"E\" type=\"empty\">\n<parent>A</parent>\n<parent>B</parent>"
                "</object></scene></scenes>"),
         5, FindingKind::SecondOccurrence, "a second `parent` in `object`", "the first, on line 4, counts", 2},
        {"a third uv set",
         fileOf(triangleWith("\n<uvset name=\"A\" count=\"3\">0 0 1 0 0 1</uvset>\n<uvset name=\"B\" count=\"3\">"
                             "0 0 1 0 0 1</uvset>\n<uvset name=\"C\" count=\"3\">0 0 1 0 0 1</uvset>")),
         7, FindingKind::Ignored, "a third `uvset` `C`", "a geometry keeps two uv sets"},
        {"a material texture of no known kind",
         fileOf("\n<materials>\n<material name=\"M\">\n<texture name=\"T\" map_type=\"bump\"/></material>"
                "</materials>"),
         4, FindingKind::Ignored, "with `map_type` `bump`", "ignored"},
        {"a second texture of one kind",
         fileOf("\n<images><image name=\"I\" url=\"i.png\"/></images>\n<textures><texture name=\"T\" type=\"image\">"
                "<image>I</image></texture></textures>\n<materials><material name=\"M\">\n<texture name=\"T\"/>\n"
                "<texture name=\"T\"/></material></materials>"),
         6, FindingKind::SecondOccurrence, "a texture of material `M` of a kind it already has",
         "the first, on line 5, fills the slot"},
        {"a link without index", fileOf(riggedTriangleWith("\n<links><link name=\"A\"/></links>")), 5,
         FindingKind::Missing, "`link` has no `index`", "its index is 0"},
        {"a frame without time",
         fileOf("\n<skeletons><skeleton name=\"Rig\"><bone name=\"A\"/></skeleton></skeletons>\n"
                "<animations><animation name=\"W\" length=\"1\" fps=\"24\"><skeleton name=\"Rig\">"
                "<node name=\"A\">\n<frame><position x=\"0\" y=\"0\" z=\"0\"/></frame>"
                "</node></skeleton></animation></animations>"),
         4, FindingKind::Missing, "`frame` has no `time`", "its keys get time 0"},
        {"a field of view out of range",
         fileOf("\n<cameras><camera name=\"C\" type=\"persp\">\n<fov>200</fov></camera></cameras>"), 3,
         FindingKind::OutOfRange, "`fov` `200` outside 0 to 180", "clamped"},
        {"shininess out of range",
         fileOf("\n<materials><material name=\"M\">\n<shininess>300</shininess></material></materials>"), 3,
         FindingKind::OutOfRange, "`shininess` `300` outside 0 to 128", "clamped"},
        {"NaN in an attribute",
         fileOf("\n<scenes><scene>\n<object name=\"E\" type=\"empty\">\n<euler x=\"nan\" y=\"0\" z=\"0\"/>"
                "</object></scene></scenes>"),
         4, FindingKind::NotFinite, "`x` of `euler` is `nan`, not a finite number", "kept as it is"},
        {"an attribute that is no number",
         fileOf("\n<lights><light name=\"L\" type=\"spot\">\n<spot angle=\"wide\"/></light></lights>"), 3,
         FindingKind::NotANumber, "`angle` of `spot` is `wide`, which does not start with a number", "read as 0"},
        {"a vector child the matrix replaces",
         fileOf(
             "\n<scenes><scene>\n<object name=\"E\" type=\"empty\">\n<matrix rows=\"4\">1 0 0 1,0 1 0 2,0 0 1 3,0 0 0 1"
             "</matrix>\n<position x=\"5\" y=\"5\" z=\"5\"/></object></scene></scenes>"),
         5, FindingKind::Ignored, "`position` says otherwise than the object's `matrix`",
         "replaced by what the matrix"},
        {"a bone path longer than 255 bytes",
         fileOf("\n<skeletons><skeleton name=\"" + std::string(200, 'r') + "\">\n<bone name=\"" +
                std::string(100, 'b') + "\"/></skeleton></skeletons>"),
         3, FindingKind::Cut, "is 302 bytes long", "cut to 255 bytes"},
        {"a rotation too short to normalise",
         fileOf("\n<skeletons><skeleton name=\"Rig\"><bone name=\"A\">\n<rotation x=\"0\" y=\"0\" z=\"0\" w=\"0\"/>"
                "</bone></skeleton></skeletons>"),
         3, FindingKind::OutOfRange, "a rotation of length 0", "replaced by the identity (0, 0, 0, 1)"},
        {"an image file name cut short, a colon in it",
         fileOf("\n<images>\n<image name=\"I\" url=\"maps/" + std::string(250, 'a') + ":b.png\"/></images>"), 3,
         FindingKind::Cut, "the file name of `url` is longer than the 254 characters", "cut short"},
        {"a texture naming no image", fileOf("\n<textures>\n<texture name=\"T\" type=\"image\"/></textures>"), 3,
         FindingKind::Missing, "texture `T` names no image", "no texture map is made from it"},
    };
    for (const Case& c : cases) expectFinding(c);
}

TEST(ReadDiagnostics, VersionOtherThanThree) {
    expectFinding({"version 2", "<orvk><comments>\n<version>2</version></comments></orvk>", 2, FindingKind::Version,
                   "version 2, not 3", "read as version 3 all the same"});
    expectFinding({"no version", "<orvk>\n<lights/></orvk>", 1, FindingKind::Version, "the file gives no version",
                   "read as version 0"});
}

TEST(ReadDiagnostics, NamesThatResolveToNothing) {
    const Case cases[] = {
        {"texture to image",
         fileOf("\n<textures>\n<texture name=\"T\" type=\"image\"><image>Missing</image></texture></textures>"), 3,
         FindingKind::Unresolved, "texture `T` names the image `Missing`, which no image has",
         "no texture map is made from it"},
        {"material slot to texture",
         fileOf("\n<materials><material name=\"M\">\n<texture name=\"Missing\"/></material></materials>"), 3,
         FindingKind::Unresolved, "material `M` names the texture `Missing`, which no texture has",
         "no texture map there"},
        {"object to parent",
         fileOf("\n<scenes><scene>\n<object name=\"E\" type=\"empty\"><parent>Missing</parent></object>"
                "</scene></scenes>"),
         3, FindingKind::Unresolved, "object `E` names the parent `Missing`, which no object of its scene has",
         "placed as a root"},
        {"object to skeleton",
         fileOf("\n<scenes><scene>\n<object name=\"E\" type=\"empty\"><skeleton>Missing</skeleton></object>"
                "</scene></scenes>"),
         3, FindingKind::Unresolved, "object `E` names the skeleton `Missing`, which no skeleton has",
         "it belongs to no skeleton"},
        {"object to bone",
         fileOf("\n<skeletons><skeleton name=\"Rig\"><bone name=\"A\"/></skeleton></skeletons>\n<scenes><scene>\n"
                "<object name=\"E\" type=\"empty\"><skeleton>Rig</skeleton><bone>Missing</bone></object>"
                "</scene></scenes>"),
         4, FindingKind::Unresolved, "object `E` names the bone `Missing`, which skeleton `Rig` does not have",
         "attached to no bone"},
        {"object to the record it places",
         fileOf("\n<scenes><scene>\n<object name=\"Lamp\" type=\"light\"/></scene></scenes>"), 3,
         FindingKind::Unresolved,
         "object `Lamp` of type `light` places the light of its own name, and no light has that name",
         "it places nothing"},
        {"duplicate light names",
         fileOf("\n<lights>\n<light name=\"L\" type=\"omni\"/>\n<light name=\"L\" type=\"spot\"/></lights>"), 4,
         FindingKind::DuplicateName, "a second light named `L`", "every reference finds the first, on line 3"},
        {"a bone named like its skeleton",
         fileOf("\n<skeletons>\n<skeleton name=\"Rig\">\n<bone name=\"Rig\"/></skeleton></skeletons>"), 4,
         FindingKind::DuplicateName, "a second bone in this skeleton named `Rig`", "the first, on line 3"},
        {"animation track to skeleton",
         fileOf("\n<animations><animation name=\"W\" length=\"1\" fps=\"24\">\n<skeleton name=\"Missing\">"
                "<node name=\"A\"><frame time=\"0\"/></node></skeleton></animation></animations>"),
         3, FindingKind::Unresolved, "animation `W` has a track for skeleton `Missing`, which no skeleton has",
         "its keys are not used"},
        {"animation node track to bone",
         fileOf("\n<skeletons><skeleton name=\"Rig\"><bone name=\"A\"/></skeleton></skeletons>\n"
                "<animations><animation name=\"W\" length=\"1\" fps=\"24\"><skeleton name=\"Rig\">\n"
                "<node name=\"Missing\"><frame time=\"0\"/></node></skeleton></animation></animations>"),
         4, FindingKind::Unresolved, "animation `W` has keys for `Missing`, which skeleton `Rig` has no bone of",
         "its keys are not used"},
        {"a second track for one skeleton",
         fileOf("\n<skeletons><skeleton name=\"Rig\"/></skeletons>\n"
                "<animations><animation name=\"W\" length=\"1\" fps=\"24\"><skeleton name=\"Rig\"/>\n"
                "<skeleton name=\"Rig\"/></animation></animations>"),
         4, FindingKind::SecondOccurrence, "a second track of animation `W` for skeleton `Rig`",
         "ignored: the first counts"},
        {"a second node track for one bone",
         fileOf("\n<skeletons><skeleton name=\"Rig\"><bone name=\"A\"/></skeleton></skeletons>\n"
                "<animations><animation name=\"W\" length=\"1\" fps=\"24\"><skeleton name=\"Rig\">"
                "<node name=\"A\"><frame time=\"0\"/></node>\n<node name=\"A\"><frame time=\"0\"/></node>"
                "</skeleton></animation></animations>"),
         4, FindingKind::SecondOccurrence, "a second track of animation `W` for bone `A` of skeleton `Rig`",
         "ignored: the first counts"},
        {"face material beyond the materials", fileOf(triangleWith("\n<materials count=\"1\">5</materials>")), 5,
         FindingKind::OutOfRange, "1 face material index of geometry `G` outside the file's 0 materials (the first: 5)",
         "set to -1"},
    };
    for (const Case& c : cases) expectFinding(c);
}

TEST(ReadDiagnostics, WhatTheBuildWillDrop) {
    const Case cases[] = {
        {"a bone link naming no bone",
         fileOf(riggedTriangleWith("\n<links>\n<link name=\"Missing\" index=\"0\"/></links>\n"
                                   "<weights count=\"3\" maxBonePerVertex=\"1\">0 1,0 1,0 1</weights>")),
         6, FindingKind::Unresolved, "bone link `Missing` names no bone of skeleton `Rig`",
         "its weights reach the host with bone -1"},
        {"a bone link with an empty name",
         fileOf(riggedTriangleWith("\n<links>\n<link name=\"\" index=\"0\"/></links>\n"
                                   "<weights count=\"3\" maxBonePerVertex=\"1\">0 1,0 1,0 1</weights>")),
         6, FindingKind::Unresolved, "bone link 0 has an empty name", "its weights reach the host with bone -1"},
        {"weights naming no link",
         fileOf(riggedTriangleWith("\n<links><link name=\"A\" index=\"0\"/></links>\n"
                                   "<weights count=\"3\" maxBonePerVertex=\"1\">0 1,4 1,5 1</weights>")),
         6, FindingKind::Unresolved, "2 weights of geometry `G` name a link index no link has (the first: 4)",
         "bone -1"},
        {"weights of an object of no skeleton",
         fileOf(triangleWith("\n<links><link name=\"A\" index=\"0\"/></links>\n"
                             "<weights count=\"3\" maxBonePerVertex=\"1\">0 1,0 1,0 1</weights>")),
         6, FindingKind::Unresolved, "the object that places it belongs to no skeleton", "bone -1"},
        {"a vertex index outside the geometry",
         fileOf("\n<geometries><geometry name=\"G\">\n<vertices count=\"3\">0 0 0 1 0 0 0 1 0</vertices>\n"
                "<indices count=\"2\">0 1 2,0 1 3</indices></geometry></geometries>\n"
                "<scenes><scene><object name=\"G\" type=\"mesh\"/></scene></scenes>"),
         4, FindingKind::Dropped, "face 1 of `indices` uses vertex index 3, outside the geometry's 3 vertices",
         "the build stops there"},
        {"a face of two indices",
         fileOf("\n<geometries><geometry name=\"G\">\n<vertices count=\"3\">0 0 0 1 0 0 0 1 0</vertices>\n"
                "<indices count=\"2\">0 1 2,0 1</indices></geometry></geometries>\n"
                "<scenes><scene><object name=\"G\" type=\"mesh\"/></scene></scenes>"),
         4, FindingKind::Dropped, "face 1 of `indices` has 2 indices, fewer than 3", "the build stops there"},
        {"a geometry no object places", fileOf("\n<geometries>\n<geometry name=\"G\"/></geometries>"), 3,
         FindingKind::Unplaced, "geometry `G` is placed by no scene object",
         "dropped under \"Import scene meshes only\", the default"},
        {"objects in a parent cycle",
         fileOf("\n<scenes><scene>\n<object name=\"A\" type=\"empty\"><parent>B</parent></object>\n"
                "<object name=\"B\" type=\"empty\"><parent>A</parent></object></scene></scenes>"),
         4, FindingKind::ParentCycle, "object `B` is in a parent cycle", "ordered before every root", 2},
        {"an object that is its own parent",
         fileOf("\n<scenes><scene>\n<object name=\"A\" type=\"empty\"><parent>A</parent></object>\n"
                "<object name=\"B\" type=\"empty\"/></scene></scenes>"),
         3, FindingKind::ParentCycle, "object `A` names itself as its parent", "placed as a root"},
    };
    for (const Case& c : cases) expectFinding(c);
}

TEST(ReadDiagnostics, ShippedScenesAndTestDataCheckClean) {
    for (const std::string& file :
         {std::string(BXML_SAMPLES_DIR) + "/rigged_arm.xml", std::string(BXML_SAMPLES_DIR) + "/staged_scene.xml",
          std::string(BXML_SAMPLES_DIR) + "/textured_cube.xml",
          std::string(BXML_TEST_DATA_DIR) + "/all_sections.xml"}) {
        const CheckReport report = checkSceneFile(file);
        expectSameDocument(file);
        EXPECT_EQ(report.readResult, 1) << file;
        // all_sections names one image that is not beside it (line 28's mask.tga),
        // so that its glTF shows a missing image left out.
        const bool hasMissingMask = file.ends_with("/all_sections.xml");
        ASSERT_EQ(report.findings.size(), hasMissingMask ? 1u : 0u) << file << "\n" << describe(report);
        if (hasMissingMask) {
            EXPECT_EQ(report.findings[0].line, 28);
            EXPECT_EQ(report.findings[0].kind, FindingKind::Unresolved);
        }
    }
}

} // namespace
} // namespace bxml
