// The skeletons and animations readers: root bones, bone nodes with their paths
// in depth-first pre-order, and the key-frame rules.
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <string>
#include <vector>

#include "document/storage.h"
#include "reader/section_readers.h"

namespace bxml {
namespace {

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;

void readSkeletonsText(SceneDocument& doc, const std::string& text) {
    XMLDocument xml(true, tinyxml2::PRESERVE_WHITESPACE);
    ASSERT_EQ(xml.Parse(text.c_str()), tinyxml2::XML_SUCCESS);
    ASSERT_EQ(readSkeletons(xml.RootElement(), doc), 1);
}

void readAnimationsText(SceneDocument& doc, const std::string& text) {
    XMLDocument xml(true, tinyxml2::PRESERVE_WHITESPACE);
    ASSERT_EQ(xml.Parse(text.c_str()), tinyxml2::XML_SUCCESS);
    ASSERT_EQ(readAnimations(xml.RootElement(), doc), 1);
}

std::vector<std::string> paths(const SceneDocument& doc) {
    std::vector<std::string> out;
    for (const BoneNodeRecord& n : doc.boneNodes) out.emplace_back(n.path.c_str());
    return out;
}

std::vector<std::string> parentPaths(const SceneDocument& doc) {
    std::vector<std::string> out;
    for (const BoneNodeRecord& n : doc.boneNodes) out.emplace_back(n.parentPath.c_str());
    return out;
}

void expectQuaternion(const Quaternion& q, float x, float y, float z, float w) {
    EXPECT_FLOAT_EQ(q.x, x);
    EXPECT_FLOAT_EQ(q.y, y);
    EXPECT_FLOAT_EQ(q.z, z);
    EXPECT_FLOAT_EQ(q.w, w);
}

// --- skeletons -------------------------------------------------------------------

TEST(ReadSkeletons, NodesInPreOrderWithParentPaths) {
    SceneDocument doc;
    readSkeletonsText(doc,
                      "<skeletons><skeleton name='S'>"
                      "<bone name='A'><bone name='B'/></bone>"
                      "<bone name='C'/>"
                      "</skeleton></skeletons>");
    EXPECT_EQ(paths(doc), (std::vector<std::string>{"S::S", "S::A", "S::B", "S::C"}));
    EXPECT_EQ(parentPaths(doc), (std::vector<std::string>{"", "S::S", "S::A", "S::S"}));
    EXPECT_EQ(doc.boneNodesInFile, 4);
    EXPECT_EQ(doc.skeletonsInFile, 1);

    ASSERT_EQ(doc.skeletons.size(), 1u);
    const SkeletonRecord& s = doc.skeletons[0];
    EXPECT_STREQ(s.name.c_str(), "S");
    EXPECT_EQ(s.index, 0);
    EXPECT_EQ(s.rootNodeIndex, 0);
    ASSERT_EQ(s.bones.size(), 4u);
    const char* names[] = {"S", "A", "B", "C"};
    const char* parents[] = {"", "S", "A", "S"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(s.bones[i].name.c_str(), names[i]);
        EXPECT_STREQ(s.bones[i].parentName.c_str(), parents[i]);
        EXPECT_EQ(s.bones[i].nodeIndex, i);
        EXPECT_EQ(s.bones[i].parentIndex, -1); // resolved later, not by the reader
        EXPECT_EQ(doc.boneNodes[i].skeletonIndex, 0);
        EXPECT_EQ(doc.boneNodes[i].boneIndex, i);
        EXPECT_EQ(doc.boneNodes[i].parentNodeIndex, -1);
    }
}

TEST(ReadSkeletons, DeepAndWideTreesKeepPreOrder) {
    // A(B(C(D)), E(F)), G: climbing back from D must continue at E, then G.
    SceneDocument doc;
    readSkeletonsText(doc,
                      "<skeletons><skeleton name='R'>"
                      "<bone name='A'><bone name='B'><bone name='C'><bone name='D'/></bone></bone>"
                      "<bone name='E'><bone name='F'/></bone></bone>"
                      "<bone name='G'/>"
                      "</skeleton></skeletons>");
    EXPECT_EQ(paths(doc), (std::vector<std::string>{"R::R", "R::A", "R::B", "R::C", "R::D", "R::E", "R::F", "R::G"}));
    EXPECT_EQ(parentPaths(doc), (std::vector<std::string>{"", "R::R", "R::A", "R::B", "R::C", "R::A", "R::E", "R::R"}));
}

TEST(ReadSkeletons, NestingAsDeepAsTheParserAllows) {
    const int depth = 90;
    std::string text = "<skeletons><skeleton name='S'>";
    for (int i = 0; i < depth; ++i) text += "<bone name='b" + std::to_string(i) + "'>";
    for (int i = 0; i < depth; ++i) text += "</bone>";
    text += "<bone name='last'/></skeleton></skeletons>";
    SceneDocument doc;
    readSkeletonsText(doc, text);
    ASSERT_EQ(doc.boneNodes.size(), static_cast<std::size_t>(depth + 2));
    EXPECT_STREQ(doc.boneNodes[depth].path.c_str(), "S::b89");
    EXPECT_STREQ(doc.boneNodes[depth].parentPath.c_str(), "S::b88");
    EXPECT_STREQ(doc.boneNodes[depth + 1].path.c_str(), "S::last");
    EXPECT_STREQ(doc.boneNodes[depth + 1].parentPath.c_str(), "S::S");
}

TEST(ReadSkeletons, OnlyBoneChildrenAreRead) {
    SceneDocument doc;
    readSkeletonsText(doc,
                      "<skeletons><skeleton name='S'>"
                      "<group><bone name='hidden'/></group>"
                      "<bone name='A'><position x='1' y='2' z='3'/><note/><bone name='B'/></bone>"
                      "</skeleton></skeletons>");
    EXPECT_EQ(paths(doc), (std::vector<std::string>{"S::S", "S::A", "S::B"}));
}

TEST(ReadSkeletons, TwoSkeletonsGiveEightNodes) {
    SceneDocument doc;
    readSkeletonsText(doc,
                      "<skeletons>"
                      "<skeleton name='P'><bone name='a'><bone name='b'><bone name='c'/></bone></bone></skeleton>"
                      "<skeleton name='Q'><bone name='x'/><bone name='y'/><bone name='z'/></skeleton>"
                      "</skeletons>");
    ASSERT_EQ(doc.boneNodes.size(), 8u);
    EXPECT_EQ(doc.boneNodesInFile, 8);
    ASSERT_EQ(doc.skeletons.size(), 2u);
    EXPECT_EQ(doc.skeletons[0].bones.size(), 4u);
    EXPECT_EQ(doc.skeletons[1].bones.size(), 4u);
    EXPECT_EQ(doc.skeletons[1].index, 1);
    EXPECT_EQ(doc.skeletons[1].rootNodeIndex, 4);
    EXPECT_STREQ(doc.boneNodes[4].path.c_str(), "Q::Q");
    EXPECT_EQ(doc.boneNodes[4].skeletonIndex, 1);
    EXPECT_EQ(doc.boneNodes[4].boneIndex, 0);
    EXPECT_EQ(doc.boneNodes[7].skeletonIndex, 1);
    EXPECT_EQ(doc.boneNodes[7].boneIndex, 3);
    EXPECT_EQ(doc.skeletons[1].bones[3].nodeIndex, 7);
    EXPECT_STREQ(doc.boneNodes[7].parentPath.c_str(), "Q::Q");
}

TEST(ReadSkeletons, SkeletonWithoutNameHasEmptyRoot) {
    SceneDocument doc;
    readSkeletonsText(doc, "<skeletons><skeleton><bone name='A'/></skeleton></skeletons>");
    ASSERT_EQ(doc.skeletons.size(), 1u);
    const SkeletonRecord& s = doc.skeletons[0];
    EXPECT_TRUE(s.name.empty());
    ASSERT_EQ(s.bones.size(), 2u);
    EXPECT_TRUE(s.bones[0].name.empty());
    EXPECT_TRUE(doc.boneNodes[0].path.empty());
    EXPECT_TRUE(doc.boneNodes[0].parentPath.empty());
    EXPECT_EQ(s.rootNodeIndex, 0);
    // The enclosing skeleton has no name: the bone has no parent name.
    EXPECT_TRUE(s.bones[1].parentName.empty());
    EXPECT_STREQ(doc.boneNodes[1].path.c_str(), "::A");
}

TEST(ReadSkeletons, BoneTransformIsCopiedIntoTheNodeWithNormalisedRotation) {
    SceneDocument doc;
    readSkeletonsText(doc,
                      "<skeletons><skeleton name='S'>"
                      "<bone name='A'><position x='1' y='2' z='3'/><rotation x='0' y='0' z='0' w='2'/>"
                      "<scale x='2' y='2' z='0.5'/></bone>"
                      "<bone name='B'><rotation x='0' y='0' z='0' w='0'/></bone>"
                      "<bone name='C'><rotation x='0' y='3' z='0'/><position x='1' y='1'/></bone>"
                      "<bone name='D'><rotation x='0' y='3' z='0' w='4'/></bone>"
                      "</skeleton></skeletons>");
    const SkeletonRecord& s = doc.skeletons[0];
    const BoneRecord& a = s.bones[1];
    EXPECT_FLOAT_EQ(a.position.x, 1.0f);
    EXPECT_FLOAT_EQ(a.position.y, 2.0f);
    EXPECT_FLOAT_EQ(a.position.z, 3.0f);
    expectQuaternion(a.rotation, 0, 0, 0, 1);
    EXPECT_FLOAT_EQ(a.scale.z, 0.5f);
    const BoneNodeRecord& na = doc.boneNodes[1];
    EXPECT_FLOAT_EQ(na.position.y, 2.0f);
    EXPECT_FLOAT_EQ(na.scale.x, 2.0f);
    expectQuaternion(na.rotation, 0, 0, 0, 1);

    expectQuaternion(s.bones[2].rotation, 0, 0, 0, 1); // zero length: identity
    expectQuaternion(s.bones[3].rotation, 0, 0, 0, 1); // no w: ignored
    EXPECT_FLOAT_EQ(s.bones[3].position.x, 0.0f);      // no z: ignored
    expectQuaternion(s.bones[4].rotation, 0, 0.6f, 0, 0.8f);
    expectQuaternion(doc.boneNodes[4].rotation, 0, 0.6f, 0, 0.8f);
}

TEST(ReadSkeletons, LongNamesGivePathsCutAt255) {
    const std::string skeleton(200, 's');
    const std::string bone(200, 'b');
    SceneDocument doc;
    readSkeletonsText(doc, "<skeletons><skeleton name='" + skeleton + "'><bone name='" + bone +
                               "'/></skeleton></skeletons>");
    ASSERT_EQ(doc.boneNodes.size(), 2u);
    EXPECT_EQ(std::string(doc.boneNodes[0].path.c_str()), (skeleton + "::" + skeleton).substr(0, 255));
    EXPECT_EQ(std::string(doc.boneNodes[1].path.c_str()), (skeleton + "::" + bone).substr(0, 255));
    EXPECT_EQ(std::string(doc.boneNodes[1].parentPath.c_str()), (skeleton + "::" + skeleton).substr(0, 255));
}

TEST(ReadSkeletons, EmptySectionKeepsNodesAndRecordsTotals) {
    SceneDocument doc;
    readSkeletonsText(doc, "<skeletons/>");
    EXPECT_EQ(doc.skeletonsInFile, 0);
    EXPECT_EQ(doc.boneNodesInFile, 0);
    EXPECT_TRUE(doc.skeletons.empty());
    EXPECT_EQ(readSkeletons(nullptr, doc), 1);
}

// --- animations ------------------------------------------------------------------

TEST(ReadAnimations, TracksNodesAndKeyCounts) {
    SceneDocument doc;
    readAnimationsText(doc,
                       "<animations>"
                       "<animation name='Walk' length='2.5' fps='24'>"
                       "<skeleton name='S'><node name='A'><frame/><frame/><frame/></node><node name='B'/></skeleton>"
                       "<skeleton name='T'/>"
                       "</animation>"
                       "<animation name='Idle' fps='30'/>"
                       "</animations>");
    EXPECT_EQ(doc.animationsInFile, 2);
    ASSERT_EQ(doc.animations.size(), 2u);
    const AnimationRecord& walk = doc.animations[0];
    EXPECT_STREQ(walk.name.c_str(), "Walk");
    EXPECT_FLOAT_EQ(walk.length, 2.5f);
    EXPECT_FLOAT_EQ(walk.fps, 24.0f);
    ASSERT_EQ(walk.skeletonTracks.size(), 2u);
    EXPECT_STREQ(walk.skeletonTracks[0].skeletonName.c_str(), "S");
    EXPECT_STREQ(walk.skeletonTracks[1].skeletonName.c_str(), "T");
    EXPECT_TRUE(walk.skeletonTracks[1].nodes.empty());
    const auto& nodes = walk.skeletonTracks[0].nodes;
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_STREQ(nodes[0].nodeName.c_str(), "A");
    EXPECT_EQ(nodes[0].positionKeys.size(), 3u);
    EXPECT_EQ(nodes[0].rotationKeys.size(), 3u);
    EXPECT_EQ(nodes[0].scaleKeys.size(), 3u);
    EXPECT_STREQ(nodes[1].nodeName.c_str(), "B");
    EXPECT_TRUE(nodes[1].positionKeys.empty());
    EXPECT_TRUE(nodes[1].scaleKeys.empty());

    const AnimationRecord& idle = doc.animations[1];
    EXPECT_FLOAT_EQ(idle.fps, 30.0f);
    EXPECT_FLOAT_EQ(idle.length, 0.0f);
    EXPECT_TRUE(idle.skeletonTracks.empty());
}

TEST(ReadAnimations, FrameKeyRules) {
    SceneDocument doc;
    readAnimationsText(doc,
                       "<animations><animation><skeleton><node>"
                       // 0: only time and rotation
                       "<frame time='1.5'><rotation x='0' y='0' z='0' w='3'/></frame>"
                       // 1: only time and position
                       "<frame time='2'><position x='1' y='2' z='3'/></frame>"
                       // 2: everything, but no time
                       "<frame><position x='4' y='5' z='6'/><rotation x='1' y='0' z='0' w='0'/>"
                       "<scale x='2' y='3' z='4'/></frame>"
                       // 3: children with attributes missing, time present
                       "<frame time='4'><position x='1'/><rotation x='1' y='0' z='0'/><scale x='9'/></frame>"
                       // 4: second children of a name do not count, first ones in any order do
                       "<frame time='5'><scale x='5' y='5' z='5'/><position x='7' y='8' z='9'/>"
                       "<scale x='6' y='6' z='6'/><position x='0' y='0' z='0'/></frame>"
                       "</node></skeleton></animation></animations>");
    const AnimationNodeTrack& t = doc.animations[0].skeletonTracks[0].nodes[0];
    ASSERT_EQ(t.positionKeys.size(), 5u);

    EXPECT_FLOAT_EQ(t.rotationKeys[0].time, 1.5f);
    expectQuaternion(t.rotationKeys[0].rotation, 0, 0, 0, 1);
    EXPECT_FLOAT_EQ(t.positionKeys[0].time, 0.0f);
    EXPECT_FLOAT_EQ(t.positionKeys[0].position.x, 0.0f);
    EXPECT_FLOAT_EQ(t.scaleKeys[0].time, 1.5f);
    EXPECT_FLOAT_EQ(t.scaleKeys[0].scale.x, 1.0f);

    EXPECT_FLOAT_EQ(t.positionKeys[1].time, 2.0f);
    EXPECT_FLOAT_EQ(t.positionKeys[1].position.z, 3.0f);
    EXPECT_FLOAT_EQ(t.rotationKeys[1].time, 0.0f);
    EXPECT_FLOAT_EQ(t.scaleKeys[1].time, 2.0f);

    EXPECT_FLOAT_EQ(t.positionKeys[2].time, 0.0f);
    EXPECT_FLOAT_EQ(t.positionKeys[2].position.y, 5.0f);
    expectQuaternion(t.rotationKeys[2].rotation, 1, 0, 0, 0);
    EXPECT_FLOAT_EQ(t.scaleKeys[2].scale.z, 4.0f);
    EXPECT_FLOAT_EQ(t.scaleKeys[2].time, 0.0f);

    // Incomplete children keep the default values, but the keys take the time.
    EXPECT_FLOAT_EQ(t.positionKeys[3].time, 4.0f);
    EXPECT_FLOAT_EQ(t.positionKeys[3].position.x, 0.0f);
    EXPECT_FLOAT_EQ(t.rotationKeys[3].time, 4.0f);
    expectQuaternion(t.rotationKeys[3].rotation, 0, 0, 0, 1);
    EXPECT_FLOAT_EQ(t.scaleKeys[3].time, 4.0f);
    EXPECT_FLOAT_EQ(t.scaleKeys[3].scale.x, 1.0f);

    EXPECT_FLOAT_EQ(t.positionKeys[4].time, 5.0f);
    EXPECT_FLOAT_EQ(t.positionKeys[4].position.x, 7.0f);
    EXPECT_FLOAT_EQ(t.scaleKeys[4].scale.x, 5.0f);
    EXPECT_FLOAT_EQ(t.rotationKeys[4].time, 0.0f);
}

TEST(ReadAnimations, MissingSectionChangesNothing) {
    SceneDocument doc;
    doc.animations.resize(1);
    doc.animationsInFile = 1;
    EXPECT_EQ(readAnimations(nullptr, doc), 1);
    EXPECT_EQ(doc.animations.size(), 1u);
    EXPECT_EQ(doc.animationsInFile, 1);
}

} // namespace
} // namespace bxml
