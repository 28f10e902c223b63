#include <gtest/gtest.h>

#include <tinyxml2.h>

#include <string>

#include "reader/section_readers.h"

namespace bxml {
namespace {

// Parses xml (whitespace preserved, as the file reader does) and hands its
// `geometries` element to the reader; returns the reader's result.
int readGeometriesFrom(const std::string& xml, SceneDocument& doc) {
    tinyxml2::XMLDocument xmlDoc(true, tinyxml2::PRESERVE_WHITESPACE);
    EXPECT_EQ(xmlDoc.Parse(xml.c_str()), tinyxml2::XML_SUCCESS);
    return readGeometries(xmlDoc.FirstChildElement("geometries"), doc);
}

TEST(ReadGeometries, ReadsEveryListOfAGeometry) {
    SceneDocument doc;
    const char* xml = R"(<geometries>
      <geometry name="Cube">
        <vertices count="4">0 0 0 1 0 0 1 1 0 0 1 0</vertices>
        <normals count="4">0 0 1 0 0 1 0 0 1 0 0 1</normals>
        <indices count="2">0 1 2,2 3 0 -1</indices>
        <uvset name="UVMap" count="6">0 0 1 0 1 1 1 1 0 1 0 0</uvset>
        <uvset name="Second" count="6">0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.25</uvset>
        <colors count="6">1 0 0 0 1 0 0 0 1 1 1 0 0 1 1 1 0 1</colors>
        <materials count="2">0 1</materials>
        <links><link name="Bone" index="0"/><link name="Bone.001" index="1"/></links>
        <weights count="4" maxBonePerVertex="2">0 1,0 0.5 1 0.5,1 1,1 1</weights>
      </geometry>
    </geometries>)";
    EXPECT_EQ(readGeometriesFrom(xml, doc), 1);
    EXPECT_EQ(doc.geometriesInFile, 1);
    ASSERT_EQ(doc.geometries.size(), 1u);
    const GeometryRecord& g = doc.geometries[0];
    EXPECT_STREQ(g.name.c_str(), "Cube");
    ASSERT_EQ(g.vertices.size(), 4u);
    EXPECT_EQ(g.vertices[2].position.y, 1.0f);
    ASSERT_EQ(g.faces.size(), 2u);
    EXPECT_EQ(g.faces[1].vertexIndices[1], 3);
    EXPECT_EQ(g.faces[1].cornerCount, 3);
    EXPECT_STREQ(g.uvSetNames[0].c_str(), "UVMap");
    EXPECT_STREQ(g.uvSetNames[1].c_str(), "Second");
    EXPECT_EQ(g.faces[0].uv[0][2].v, 1.0f);
    EXPECT_EQ(g.faces[1].uv[1][2].v, 0.25f);
    EXPECT_EQ(g.faces[0].colors[1].g, 1.0f);
    EXPECT_EQ(g.faces[0].colors[1].r, 0.0f);
    EXPECT_EQ(g.faces[0].colors[1].a, 1.0f);
    EXPECT_EQ(g.faces[1].materialIndex, 1);
    ASSERT_EQ(g.links.size(), 2u);
    EXPECT_STREQ(g.links[1].name.c_str(), "Bone.001");
    EXPECT_EQ(g.links[1].index, 1);
    ASSERT_EQ(g.vertices[1].weights.size(), 2u);
    EXPECT_EQ(g.vertices[1].weights[1].linkIndex, 1);
    EXPECT_EQ(g.vertices[1].weights[1].weight, 0.5f);
}

TEST(ReadGeometries, NullSectionSucceedsAndChangesNothing) {
    SceneDocument doc;
    doc.geometriesInFile = 5;
    EXPECT_EQ(readGeometries(nullptr, doc), 1);
    EXPECT_EQ(doc.geometriesInFile, 5);
}

TEST(ReadGeometries, EmptySectionSetsTheTotalToZero) {
    SceneDocument doc;
    doc.geometriesInFile = 5;
    EXPECT_EQ(readGeometriesFrom("<geometries><mesh/></geometries>", doc), 1);
    EXPECT_EQ(doc.geometriesInFile, 0);
    EXPECT_TRUE(doc.geometries.empty());
}

TEST(ReadGeometries, WithoutIndicesTheFaceListsAreIgnored) {
    SceneDocument doc;
    EXPECT_EQ(readGeometriesFrom(R"(<geometries><geometry name="Pts">
        <vertices count="2">1 2 3 4 5 6</vertices>
        <uvset name="UVMap" count="0">0 0</uvset>
        <colors count="3">0 0 0 0 0 0 0 0 0</colors>
        <materials count="1">0</materials>
      </geometry></geometries>)",
                                 doc),
              1);
    const GeometryRecord& g = doc.geometries[0];
    EXPECT_EQ(g.vertices.size(), 2u);
    EXPECT_EQ(g.vertices[1].position.z, 6.0f);
    EXPECT_TRUE(g.faces.empty());
    EXPECT_STREQ(g.uvSetNames[0].c_str(), "UVMap");
}

// Lists are read in a fixed order, whatever order the file gives them in.
TEST(ReadGeometries, IndicesAfterTheUvSetInTheFileAreStillReadFirst) {
    SceneDocument doc;
    EXPECT_EQ(readGeometriesFrom(R"(<geometries><geometry>
        <uvset name="A" count="3">0.5 0.5 0.5 0.5 0.5 0.5</uvset>
        <weights count="3" maxBonePerVertex="1">0 1,0 1,0 1</weights>
        <indices count="1">0 1 2</indices>
        <vertices count="3">0 0 0 1 0 0 0 1 0</vertices>
      </geometry></geometries>)",
                                 doc),
              1);
    const GeometryRecord& g = doc.geometries[0];
    ASSERT_EQ(g.faces.size(), 1u);
    EXPECT_EQ(g.faces[0].uv[0][2].u, 0.5f);
    EXPECT_EQ(g.vertices[2].weights.size(), 1u);
}

TEST(ReadGeometries, ThirdUvSetIsIgnoredWithItsName) {
    SceneDocument doc;
    EXPECT_EQ(readGeometriesFrom(R"(<geometries><geometry>
        <indices count="1">0 1 2</indices>
        <uvset name="First" count="3">1 1 1 1 1 1</uvset>
        <uvset count="3">2 2 2 2 2 2</uvset>
        <uvset name="Third" count="3">3 3 3 3 3 3</uvset>
      </geometry></geometries>)",
                                 doc),
              1);
    const GeometryRecord& g = doc.geometries[0];
    EXPECT_STREQ(g.uvSetNames[0].c_str(), "First");
    EXPECT_STREQ(g.uvSetNames[1].c_str(), "");
    EXPECT_EQ(g.faces[0].uv[0][0].u, 1.0f);
    EXPECT_EQ(g.faces[0].uv[1][0].u, 2.0f);
}

TEST(ReadGeometries, WeightsWithoutMaxBonePerVertexGiveNone) {
    SceneDocument doc;
    EXPECT_EQ(readGeometriesFrom(R"(<geometries><geometry>
        <vertices count="1">0 0 0</vertices>
        <weights count="1">0 1</weights>
      </geometry></geometries>)",
                                 doc),
              1);
    EXPECT_TRUE(doc.geometries[0].vertices[0].weights.empty());
}

TEST(ReadGeometries, LinkWithoutIndexGetsZeroAndLongNamesAreCut) {
    SceneDocument doc;
    std::string longName(300, 'b');
    EXPECT_EQ(readGeometriesFrom(R"(<geometries><geometry>
        <links><link name="Arm"/><link index="7" name=")" +
                                     longName + R"("/><other/></links>
      </geometry></geometries>)",
                                 doc),
              1);
    const GeometryRecord& g = doc.geometries[0];
    ASSERT_EQ(g.links.size(), 2u);
    EXPECT_STREQ(g.links[0].name.c_str(), "Arm");
    EXPECT_EQ(g.links[0].index, 0);
    EXPECT_EQ(g.links[1].index, 7);
    EXPECT_EQ(std::string(g.links[1].name.c_str()), longName.substr(0, 255));
}

TEST(ReadGeometries, GeometriesWithTheSameNameAreAllKept) {
    SceneDocument doc;
    EXPECT_EQ(readGeometriesFrom(R"(<geometries>
        <geometry name="Twin"><vertices count="1">1 0 0</vertices></geometry>
        <geometry name="Twin"><vertices count="1">2 0 0</vertices></geometry>
      </geometries>)",
                                 doc),
              1);
    ASSERT_EQ(doc.geometries.size(), 2u);
    EXPECT_EQ(doc.geometriesInFile, 2);
    EXPECT_EQ(doc.geometries[1].vertices[0].position.x, 2.0f);
}

// Counts go through atoi with clamping: "4294967296" must not wrap to 0 and
// then read as a valid list, and a huge count must not allocate.
TEST(ReadGeometries, OversizedCountsAreRefused) {
    SceneDocument doc;
    EXPECT_EQ(readGeometriesFrom(R"(<geometries><geometry>
        <vertices count="4294967296">0 0 0</vertices>
        <indices count="2000000000">0 1 2</indices>
      </geometry></geometries>)",
                                 doc),
              1);
    EXPECT_TRUE(doc.geometries[0].vertices.empty());
    EXPECT_TRUE(doc.geometries[0].faces.empty());
}

TEST(ReadGeometries, CountMismatchLeavesDefaultsAndReadingGoesOn) {
    SceneDocument doc;
    EXPECT_EQ(readGeometriesFrom(R"(<geometries><geometry>
        <indices count="1">0 1 2</indices>
        <colors count="4">0 0 0 0 0 0 0 0 0 0 0 0</colors>
        <materials count="1">3.7</materials>
      </geometry></geometries>)",
                                 doc),
              1);
    const GeometryRecord& g = doc.geometries[0];
    EXPECT_EQ(g.faces[0].colors[0].r, 1.0f);
    EXPECT_EQ(g.faces[0].materialIndex, 3);
}

} // namespace
} // namespace bxml
