// The scenes reader: objects with their names, vectors and matrix.
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <cmath>
#include <string>

#include "document/storage.h"
#include "reader/section_readers.h"

namespace bxml {
namespace {

using tinyxml2::XMLDocument;

void readScenesText(SceneDocument& doc, const std::string& text) {
    XMLDocument xml(true, tinyxml2::PRESERVE_WHITESPACE);
    ASSERT_EQ(xml.Parse(text.c_str()), tinyxml2::XML_SUCCESS);
    ASSERT_EQ(readScenes(xml.RootElement(), doc), 1);
}

// The one object of the one scene that text (an object element) gives.
SceneObjectRecord readOneObject(const std::string& object) {
    SceneDocument doc;
    readScenesText(doc, "<scenes><scene>" + object + "</scene></scenes>");
    EXPECT_EQ(doc.scenes.size(), 1u);
    if (doc.scenes.empty() || doc.scenes[0].objects.size() != 1) {
        ADD_FAILURE() << "expected one object";
        return SceneObjectRecord{};
    }
    return doc.scenes[0].objects[0];
}

TEST(ReadScenes, ObjectNamesAndTexts) {
    SceneDocument doc;
    readScenesText(doc,
                   "<scenes><scene name='Main'>"
                   "<object name='Arm' type='MESH'><skeleton>Rig</skeleton><parent>Body</parent>"
                   "<bone>elbow</bone><parent>Other</parent></object>"
                   "<object/>"
                   "</scene></scenes>");
    ASSERT_EQ(doc.scenes.size(), 1u);
    EXPECT_EQ(doc.scenesInFile, 1);
    const SceneRecord& scene = doc.scenes[0];
    EXPECT_STREQ(scene.name.c_str(), "Main");
    ASSERT_EQ(scene.objects.size(), 2u);
    const SceneObjectRecord& arm = scene.objects[0];
    EXPECT_STREQ(arm.name.c_str(), "Arm");
    EXPECT_STREQ(arm.type.c_str(), "MESH"); // stored as written
    EXPECT_STREQ(arm.skeletonName.c_str(), "Rig");
    EXPECT_STREQ(arm.parentName.c_str(), "Body");
    EXPECT_STREQ(arm.boneName.c_str(), "elbow");
    // Indices are the resolution pass's business.
    EXPECT_EQ(arm.parentIndex, -1);
    EXPECT_EQ(arm.targetIndex, -1);
    EXPECT_EQ(arm.fileIndex, -1);
    const SceneObjectRecord& bare = scene.objects[1];
    EXPECT_TRUE(bare.name.empty());
    EXPECT_TRUE(bare.parentName.empty());
    EXPECT_FLOAT_EQ(bare.scale.x, 1.0f);
    EXPECT_FLOAT_EQ(bare.rotation.w, 1.0f);
}

TEST(ReadScenes, VectorsAreTakenOnlyWhenComplete) {
    const SceneObjectRecord o = readOneObject(
        "<object><position x='1' y='2' z='3'/><rotation x='0' y='0' z='0' w='2'/>"
        "<scale x='4' y='5' z='6'/><euler x='10' y='20' z='30'/></object>");
    EXPECT_FLOAT_EQ(o.position.x, 1.0f);
    EXPECT_FLOAT_EQ(o.position.z, 3.0f);
    EXPECT_FLOAT_EQ(o.rotation.w, 2.0f); // not normalised
    EXPECT_FLOAT_EQ(o.scale.y, 5.0f);
    EXPECT_FLOAT_EQ(o.euler.z, 30.0f);

    const SceneObjectRecord partial = readOneObject(
        "<object><position x='1' y='2'/><rotation x='0.5' y='0.5' z='0.5'/>"
        "<scale y='2' z='2'/><euler x='1' z='1'/></object>");
    EXPECT_FLOAT_EQ(partial.position.x, 0.0f);
    EXPECT_FLOAT_EQ(partial.rotation.x, 0.0f);
    EXPECT_FLOAT_EQ(partial.rotation.w, 1.0f);
    EXPECT_FLOAT_EQ(partial.scale.y, 1.0f);
    EXPECT_FLOAT_EQ(partial.euler.x, 0.0f);
}

// Each child counts by its first occurrence only, matched with case, wherever
// it stands among the others: an incomplete first vector is not made up for by
// a complete second one.
TEST(ReadScenes, OnlyTheFirstChildOfEachNameCounts) {
    const SceneObjectRecord o = readOneObject(
        "<object><Position x='9' y='9' z='9'/><unknown/><scale x='2' y='2'/>"
        "<position x='1' y='2' z='3'/><scale x='7' y='7' z='7'/><bone>b1</bone>"
        "<position x='4' y='5' z='6'/><bone>b2</bone><matrix rows='4'></matrix>"
        "<matrix rows='4'>1 0 0 5 0 1 0 6 0 0 1 7 0 0 0 1</matrix></object>");
    EXPECT_FLOAT_EQ(o.position.x, 1.0f);
    EXPECT_FLOAT_EQ(o.position.z, 3.0f);
    EXPECT_FLOAT_EQ(o.scale.x, 1.0f);
    EXPECT_FLOAT_EQ(o.scale.z, 1.0f);
    EXPECT_STREQ(o.boneName.c_str(), "b1");
}

TEST(ReadScenes, MatrixReplacesPositionRotationAndScale) {
    // Rotation of 90 degrees about z, scale (2, 3, 4), translation (5, 6, 7).
    const SceneObjectRecord o = readOneObject(
        "<object><position x='1' y='1' z='1'/><scale x='9' y='9' z='9'/><euler x='1' y='2' z='3'/>"
        "<matrix rows='4'>0 -3 0 5, 2 0 0 6, 0 0 4 7, 0 0 0 1</matrix></object>");
    EXPECT_FLOAT_EQ(o.matrix.at(0, 1), -3.0f);
    EXPECT_FLOAT_EQ(o.matrix.at(1, 3), 6.0f);
    EXPECT_FLOAT_EQ(o.position.x, 5.0f);
    EXPECT_FLOAT_EQ(o.position.y, 6.0f);
    EXPECT_FLOAT_EQ(o.position.z, 7.0f);
    EXPECT_NEAR(o.scale.x, 2.0f, 1e-5f);
    EXPECT_NEAR(o.scale.y, 3.0f, 1e-5f);
    EXPECT_NEAR(o.scale.z, 4.0f, 1e-5f);
    const float h = std::sqrt(0.5f);
    // q and -q are the same rotation.
    const float sign = o.rotation.w < 0 ? -1.0f : 1.0f;
    EXPECT_NEAR(sign * o.rotation.x, 0.0f, 1e-5f);
    EXPECT_NEAR(sign * o.rotation.y, 0.0f, 1e-5f);
    EXPECT_NEAR(sign * o.rotation.z, h, 1e-5f);
    EXPECT_NEAR(sign * o.rotation.w, h, 1e-5f);
    EXPECT_FLOAT_EQ(o.euler.y, 2.0f); // kept as read
}

TEST(ReadScenes, MatrixWithoutRowsOrTextIsIgnored) {
    const char* matrices[] = {
        "<matrix>1 0 0 5, 0 1 0 6, 0 0 1 7, 0 0 0 1</matrix>",
        "<matrix rows='0'>1 0 0 5, 0 1 0 6, 0 0 1 7, 0 0 0 1</matrix>",
        "<matrix rows='-2'>1 0 0 5, 0 1 0 6</matrix>",
        "<matrix rows='4'/>",
    };
    for (const char* m : matrices) {
        const SceneObjectRecord o = readOneObject(
            std::string("<object><position x='1' y='2' z='3'/><scale x='2' y='2' z='2'/>") + m + "</object>");
        EXPECT_FLOAT_EQ(o.position.x, 1.0f) << m;
        EXPECT_FLOAT_EQ(o.scale.x, 2.0f) << m;
        EXPECT_FLOAT_EQ(o.matrix.at(0, 3), 0.0f) << m;
        EXPECT_FLOAT_EQ(o.matrix.at(3, 3), 1.0f) << m;
    }
}

TEST(ReadScenes, MatrixOfFewerRowsStillGivesItsTranslation) {
    const SceneObjectRecord o = readOneObject("<object><matrix rows='3'>1 0 0 5, 0 1 0 6, 0 0 1 7</matrix></object>");
    EXPECT_FLOAT_EQ(o.position.x, 5.0f);
    EXPECT_FLOAT_EQ(o.position.y, 6.0f);
    EXPECT_FLOAT_EQ(o.position.z, 7.0f);
    EXPECT_NEAR(o.scale.x, 1.0f, 1e-6f);
}

TEST(ReadScenes, ScenesWithoutObjectsAreKept) {
    SceneDocument doc;
    readScenesText(doc,
                   "<scenes><scene name='Empty'/><scene name='Full'><object name='o'/></scene>"
                   "<scene><camera/></scene></scenes>");
    ASSERT_EQ(doc.scenes.size(), 3u);
    EXPECT_EQ(doc.scenesInFile, 3);
    EXPECT_STREQ(doc.scenes[0].name.c_str(), "Empty");
    EXPECT_TRUE(doc.scenes[0].objects.empty());
    EXPECT_EQ(doc.scenes[1].objects.size(), 1u);
    EXPECT_TRUE(doc.scenes[2].name.empty());
    EXPECT_TRUE(doc.scenes[2].objects.empty());
}

TEST(ReadScenes, MissingOrEmptySection) {
    SceneDocument doc;
    doc.scenes.resize(2);
    doc.scenesInFile = 2;
    EXPECT_EQ(readScenes(nullptr, doc), 1);
    EXPECT_EQ(doc.scenesInFile, 2);
    readScenesText(doc, "<scenes><object/></scenes>");
    EXPECT_EQ(doc.scenesInFile, 0);
    EXPECT_EQ(doc.scenes.size(), 2u);
}

TEST(ReadScenes, LongTextsAreCutAt255) {
    const std::string huge(100000, 'p');
    const SceneObjectRecord o =
        readOneObject("<object name='" + huge + "'><parent>" + huge + "</parent><bone>" + huge + "</bone></object>");
    EXPECT_EQ(std::string(o.name.c_str()), std::string(255, 'p'));
    EXPECT_EQ(std::string(o.parentName.c_str()), std::string(255, 'p'));
    EXPECT_EQ(std::string(o.boneName.c_str()), std::string(255, 'p'));
}

} // namespace
} // namespace bxml
