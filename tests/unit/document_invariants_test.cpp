// The document invariant checker the sweeps, hostile tests and fuzz targets
// rely on: it passes what the resolution pass leaves, including the orders
// that look wrong on purpose, and names what breaks a rule.
#include <gtest/gtest.h>

#include <utility>

#include "document/lookup.h"
#include "document/resolve.h"
#include "tests/support/document_invariants.h"
#include "tests/support/scene_documents.h"

namespace bxml {
namespace {

using testing::checkDocumentInvariants;
using testing::describeViolations;

using testing::sceneOf;

TEST(DocumentInvariants, ResolvedScenesWithCyclesSelfParentsAndDuplicateNamesPass) {
    // A cycle (a, b) with a child (c), a self-parented root (s), a second
    // object named like a member of the cycle, and an ordinary tree listed
    // children first.
    SceneDocument doc = sceneOf({{"leaf", "mid"},
                                 {"a", "b"},
                                 {"mid", "top"},
                                 {"b", "a"},
                                 {"c", "a"},
                                 {"s", "s"},
                                 {"a", ""},
                                 {"top", ""},
                                 {"under", "a"}});
    resolveReferences(doc);
    const auto violations = checkDocumentInvariants(doc);
    EXPECT_TRUE(violations.empty()) << describeViolations(violations);
}

TEST(DocumentInvariants, ChildBeforeItsRootedParentIsReported) {
    SceneDocument doc = sceneOf({{"child", "parent"}, {"parent", ""}});
    resolveReferences(doc);
    std::swap(doc.scenes[0].objects[0], doc.scenes[0].objects[1]);
    doc.scenes[0].objects[0].parentIndex = 1;
    doc.scenes[0].objects[1].parentIndex = -1;
    const auto violations = checkDocumentInvariants(doc);
    ASSERT_EQ(violations.size(), 1u) << describeViolations(violations);
    EXPECT_EQ(violations[0], "scene 0 object 0: parent 1 comes after it");
}

TEST(DocumentInvariants, IndicesOutOfRangeAndRepeatedFileIndicesAreReported) {
    SceneDocument doc = sceneOf({{"x", ""}, {"y", ""}});
    resolveReferences(doc);
    doc.scenes[0].objects[1].fileIndex = 0;
    doc.textures.resize(1);
    doc.textures[0].imageIndex = 0; // no images
    doc.geometries.resize(1);
    doc.geometries[0].faces.resize(1);
    doc.geometries[0].faces[0].materialIndex = -2;
    doc.boneNodes.resize(2);
    doc.boneNodes[0].parentNodeIndex = 1; // a parent after its child
    const auto violations = checkDocumentInvariants(doc);
    const std::string text = describeViolations(violations);
    EXPECT_EQ(violations.size(), 4u) << text;
    EXPECT_NE(text.find("texture 0: image 0 of 0"), std::string::npos) << text;
    EXPECT_NE(text.find("geometry 0 face 0: material -2 of 0"), std::string::npos) << text;
    EXPECT_NE(text.find("bone node 0: parent 1 is not a node before it"), std::string::npos) << text;
    EXPECT_NE(text.find("scene 0 object 1: file index 0 is not part of a permutation"), std::string::npos) << text;
}

} // namespace
} // namespace bxml
