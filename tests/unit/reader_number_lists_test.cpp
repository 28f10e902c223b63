#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "document/storage.h"
#include "reader/number_lists.h"

namespace bxml {
namespace {

void expectVertex(const GeometryRecord& g, std::size_t i, float x, float y, float z) {
    SCOPED_TRACE("vertex " + std::to_string(i));
    ASSERT_LT(i, g.vertices.size());
    EXPECT_EQ(g.vertices[i].position.x, x);
    EXPECT_EQ(g.vertices[i].position.y, y);
    EXPECT_EQ(g.vertices[i].position.z, z);
}

void expectIndices(const FaceRecord& f, int a, int b, int c, int d, int corners) {
    EXPECT_EQ(f.vertexIndices[0], a);
    EXPECT_EQ(f.vertexIndices[1], b);
    EXPECT_EQ(f.vertexIndices[2], c);
    EXPECT_EQ(f.vertexIndices[3], d);
    EXPECT_EQ(f.cornerCount, corners);
}

// Two triangles: six corners.
GeometryRecord twoTriangles() {
    GeometryRecord g;
    EXPECT_EQ(parseIndices(g, 2, "0 1 2,2 3 0 -1"), 1);
    return g;
}

// ---- vertices ----------------------------------------------------------------

TEST(ParseVertices, CountDecidesHowManyVerticesExist) {
    GeometryRecord two;
    EXPECT_EQ(parseVertices(two, 2, "0 0 0 1 0 0"), 1);
    ASSERT_EQ(two.vertices.size(), 2u);
    expectVertex(two, 0, 0, 0, 0);
    expectVertex(two, 1, 1, 0, 0);

    GeometryRecord three;
    EXPECT_EQ(parseVertices(three, 3, "0 0 0 1 0 0"), 1);
    ASSERT_EQ(three.vertices.size(), 3u);
    expectVertex(three, 2, 0, 0, 0);
}

TEST(ParseVertices, ShortListsKeepDefaultsAndExtraNumbersAreIgnored) {
    GeometryRecord g;
    EXPECT_EQ(parseVertices(g, 2, "1 2 3 4"), 1);
    expectVertex(g, 0, 1, 2, 3);
    expectVertex(g, 1, 4, 0, 0);

    EXPECT_EQ(parseVertices(g, 1, "1 2 3 4 5 6"), 1);
    ASSERT_EQ(g.vertices.size(), 1u);
    expectVertex(g, 0, 1, 2, 3);
}

TEST(ParseVertices, OnlySpacesSeparateAndRunsCountAsOne) {
    GeometryRecord g;
    EXPECT_EQ(parseVertices(g, 2, "   1   2 3   4.5e1\t\t -6 7  "), 1);
    expectVertex(g, 0, 1, 2, 3);
    expectVertex(g, 1, 45, -6, 7);

    // A comma is part of a token in a flat list: "1,2" reads as 1, "," as 0.
    EXPECT_EQ(parseVertices(g, 2, "1,2 3 , 4 5,"), 1);
    expectVertex(g, 0, 1, 3, 0);
    expectVertex(g, 1, 4, 5, 0);
    ASSERT_EQ(allocate(g.faces, 3), 1);
    EXPECT_EQ(parseFaceMaterials(g, 3, "1,0 2 ,"), 1);
    EXPECT_EQ(g.faces[0].materialIndex, 1);
    EXPECT_EQ(g.faces[1].materialIndex, 2);
    EXPECT_EQ(g.faces[2].materialIndex, 0);

    // "1\n2" is one token that reads as 1; "\t5" reads as 5 (leading white space).
    EXPECT_EQ(parseVertices(g, 1, "1\n2 3\r\n4 \t5"), 1);
    expectVertex(g, 0, 1, 3, 5);
}

TEST(ParseVertices, NonNumbersReadAsZero) {
    GeometryRecord g;
    EXPECT_EQ(parseVertices(g, 1, "x 1 -"), 1);
    expectVertex(g, 0, 0, 1, 0);
}

TEST(ParseVertices, NothingToDoForCountZeroOrBelow) {
    GeometryRecord g;
    EXPECT_EQ(parseVertices(g, 1, "9 9 9"), 1);
    EXPECT_EQ(parseVertices(g, 0, "1 2 3"), 1);
    EXPECT_EQ(parseVertices(g, -5, "1 2 3"), 1);
    expectVertex(g, 0, 9, 9, 9);
}

TEST(ParseVertices, MissingTextGivesDefaultVertices) {
    GeometryRecord g;
    EXPECT_EQ(parseVertices(g, 4, nullptr), 1);
    ASSERT_EQ(g.vertices.size(), 4u);
    expectVertex(g, 3, 0, 0, 0);
}

// A count far beyond what the text can hold is refused before anything is
// allocated, like a failed allocation: the array ends up empty.
TEST(ParseVertices, CountBeyondTextLengthPlusSlackFailsWithoutAllocating) {
    GeometryRecord g;
    ASSERT_EQ(parseVertices(g, 1, "7 7 7"), 1);
    EXPECT_EQ(parseVertices(g, 2000000000, "1 2 3"), LIST_IMPLAUSIBLE_COUNT);
    EXPECT_TRUE(g.vertices.empty());
    EXPECT_EQ(parseVertices(g, INT64_C(1) << 40, nullptr), LIST_IMPLAUSIBLE_COUNT);
    EXPECT_TRUE(g.vertices.empty());

    // Five bytes of text allow up to 5 + 4096 vertices.
    EXPECT_EQ(parseVertices(g, 4101, "1 2 3"), 1);
    EXPECT_EQ(g.vertices.size(), 4101u);
    EXPECT_EQ(parseVertices(g, 4102, "1 2 3"), LIST_IMPLAUSIBLE_COUNT);
    EXPECT_TRUE(g.vertices.empty());
}

// ---- indices -----------------------------------------------------------------

TEST(ParseIndices, MinusOneFourthIndexMakesATriangleAnythingElseAQuad) {
    GeometryRecord g = twoTriangles();
    ASSERT_EQ(g.faces.size(), 2u);
    expectIndices(g.faces[0], 0, 1, 2, -1, 3);
    expectIndices(g.faces[1], 2, 3, 0, -1, 3);

    GeometryRecord quad;
    EXPECT_EQ(parseIndices(quad, 1, "4 5 6 7"), 1);
    expectIndices(quad.faces[0], 4, 5, 6, 7, 4);

    // A fourth index beyond any vertex still makes a quad.
    GeometryRecord odd;
    EXPECT_EQ(parseIndices(odd, 2, "0 1 2 99,0 1 2 -2"), 1);
    EXPECT_EQ(odd.faces[0].cornerCount, 4);
    EXPECT_EQ(odd.faces[1].cornerCount, 4);
}

TEST(ParseIndices, FaceWithoutGroupKeepsMinusOneAndThreeCorners) {
    GeometryRecord g;
    EXPECT_EQ(parseIndices(g, 3, "0 1 2,3 4 5 6"), 1);
    ASSERT_EQ(g.faces.size(), 3u);
    expectIndices(g.faces[1], 3, 4, 5, 6, 4);
    expectIndices(g.faces[2], -1, -1, -1, -1, 3);
    EXPECT_EQ(totalCorners(g), 10);
}

TEST(ParseIndices, ExtraTokensAndGroupsAreIgnored) {
    GeometryRecord g;
    EXPECT_EQ(parseIndices(g, 1, "0 1 2 3 4 5,6 7 8"), 1);
    ASSERT_EQ(g.faces.size(), 1u);
    expectIndices(g.faces[0], 0, 1, 2, 3, 4);
}

TEST(ParseIndices, GroupsSplitAtCommasOnlyAndTouchingCommasCountAsOne) {
    GeometryRecord g;
    // Groups: " 0 1 2", "3 4 5 ", " ", "6  7   8 ": the group of one space is
    // a face of its own.
    EXPECT_EQ(parseIndices(g, 4, ",, 0 1 2,,3 4 5 , ,6  7   8 ,"), 1);
    expectIndices(g.faces[0], 0, 1, 2, -1, 3);
    expectIndices(g.faces[1], 3, 4, 5, -1, 3);
    expectIndices(g.faces[2], -1, -1, -1, -1, 3);
    expectIndices(g.faces[3], 6, 7, 8, -1, 3);
}

TEST(ParseIndices, GroupOfSpacesIsAFaceWithoutIndices) {
    GeometryRecord g;
    EXPECT_EQ(parseIndices(g, 3, "0 1 2,  ,2 1 3"), 1);
    expectIndices(g.faces[0], 0, 1, 2, -1, 3);
    expectIndices(g.faces[1], -1, -1, -1, -1, 3);
    expectIndices(g.faces[2], 2, 1, 3, -1, 3);
    EXPECT_EQ(totalCorners(g), 9);

    // Spaces before the first comma are the first group.
    GeometryRecord leading;
    EXPECT_EQ(parseIndices(leading, 2, " ,0 1 2 3"), 1);
    expectIndices(leading.faces[0], -1, -1, -1, -1, 3);
    expectIndices(leading.faces[1], 0, 1, 2, 3, 4);

    // A list of separators only: each run of spaces is a group, commas alone
    // make none.
    GeometryRecord separators;
    EXPECT_EQ(parseIndices(separators, 2, " , , "), 1);
    expectIndices(separators.faces[0], -1, -1, -1, -1, 3);
    expectIndices(separators.faces[1], -1, -1, -1, -1, 3);
    GeometryRecord commas;
    EXPECT_EQ(parseIndices(commas, 1, ",,,"), 1);
    expectIndices(commas.faces[0], -1, -1, -1, -1, 3);
}

TEST(ParseIndices, TabsAndLineFeedsInsideAGroupAreTokenText) {
    GeometryRecord g;
    // "\t" alone is a token that reads as 0; "1\n2" reads as 1; a line feed
    // never separates groups.
    EXPECT_EQ(parseIndices(g, 3, "0 1 2,\t ,1\n2 5 6\n,7 8 9"), 1);
    expectIndices(g.faces[1], 0, -1, -1, -1, 3);
    expectIndices(g.faces[2], 1, 5, 6, -1, 3);
}

TEST(ParseIndices, ShortGroupLeavesLaterIndicesAtMinusOne) {
    GeometryRecord g;
    EXPECT_EQ(parseIndices(g, 2, "5,1 2"), 1);
    expectIndices(g.faces[0], 5, -1, -1, -1, 3);
    expectIndices(g.faces[1], 1, 2, -1, -1, 3);
}

TEST(ParseIndices, IndicesReadAsClampedAtoi) {
    GeometryRecord g;
    EXPECT_EQ(parseIndices(g, 1, "4294967296 -99999999999 3.9 x"), 1);
    expectIndices(g.faces[0], INT32_MAX, INT32_MIN, 3, 0, 4);
}

TEST(ParseIndices, CountBeyondTextLengthPlusSlackFails) {
    GeometryRecord g = twoTriangles();
    EXPECT_EQ(parseIndices(g, 2000000000, "0 1 2"), LIST_IMPLAUSIBLE_COUNT);
    EXPECT_TRUE(g.faces.empty());
    EXPECT_EQ(totalCorners(g), 0);
}

// ---- uv sets -----------------------------------------------------------------

TEST(ParseUvSet, CountIsTheNumberOfPairsNotOfNumbers) {
    const char* text = "0 0 1 0 1 1 0.5 0.5 0.25 0.75 1 0.5";
    GeometryRecord g = twoTriangles();
    EXPECT_EQ(parseUvSet(g, 0, 12, text), LIST_COUNT_MISMATCH);
    EXPECT_EQ(g.faces[0].uv[0][1].u, 0.0f);

    EXPECT_EQ(parseUvSet(g, 0, 6, text), 1);
    EXPECT_EQ(g.faces[0].uv[0][1].u, 1.0f);
    EXPECT_EQ(g.faces[0].uv[0][2].v, 1.0f);
    EXPECT_EQ(g.faces[1].uv[0][0].u, 0.5f);
    EXPECT_EQ(g.faces[1].uv[0][1].v, 0.75f);
    EXPECT_EQ(g.faces[1].uv[0][2].u, 1.0f);
    EXPECT_EQ(g.faces[1].uv[0][2].v, 0.5f);
    EXPECT_EQ(g.faces[1].uv[1][2].u, 0.0f); // the other set is untouched
}

TEST(ParseUvSet, PairsAreHandedOutInFaceAndCornerOrder) {
    GeometryRecord g;
    ASSERT_EQ(parseIndices(g, 2, "0 1 2 3,4 5 6"), 1);
    ASSERT_EQ(totalCorners(g), 7);
    EXPECT_EQ(parseUvSet(g, 1, 7, "1 0 2 0 3 0 4 0 5 0 6 0 7 0"), 1);
    EXPECT_EQ(g.faces[0].uv[1][3].u, 4.0f);
    EXPECT_EQ(g.faces[1].uv[1][0].u, 5.0f);
    EXPECT_EQ(g.faces[1].uv[1][2].u, 7.0f);
    EXPECT_EQ(g.faces[1].uv[1][3].u, 0.0f); // a triangle has no fourth corner
}

TEST(ParseUvSet, MissingPairsBecomeZero) {
    GeometryRecord g = twoTriangles();
    for (FaceRecord& f : g.faces) {
        for (Vector2& uv : f.uv[0]) uv = {9.0f, 9.0f};
    }
    EXPECT_EQ(parseUvSet(g, 0, 6, "0.5 0.25 0.75"), 1);
    EXPECT_EQ(g.faces[0].uv[0][0].v, 0.25f);
    EXPECT_EQ(g.faces[0].uv[0][1].u, 0.75f);
    EXPECT_EQ(g.faces[0].uv[0][1].v, 0.0f);
    EXPECT_EQ(g.faces[1].uv[0][2].u, 0.0f);
    EXPECT_EQ(g.faces[0].uv[0][3].u, 9.0f); // not a corner, not written
}

TEST(ParseUvSet, NeedsFacesAndASetOfZeroOrOne) {
    GeometryRecord none;
    EXPECT_EQ(parseUvSet(none, 0, 3, "1 2 3 4 5 6"), LIST_NO_ITEMS);
    GeometryRecord g = twoTriangles();
    EXPECT_EQ(parseUvSet(g, 2, 6, "1 1 1 1 1 1 1 1 1 1 1 1"), 1);
    EXPECT_EQ(parseUvSet(g, -1, 6, "1 1 1 1 1 1 1 1 1 1 1 1"), 1);
    EXPECT_EQ(parseUvSet(g, 0, 0, "1 1"), 1);
    for (const FaceRecord& f : g.faces) EXPECT_EQ(f.uv[0][0].u, 0.0f);
}

// ---- colours -----------------------------------------------------------------

TEST(ParseColors, TriplesPerCornerAndAlphaStaysOne) {
    GeometryRecord g = twoTriangles();
    EXPECT_EQ(parseColors(g, 6, "0.1 0.2 0.3 0 0 0 1 0 0 0 1 0 0 0 1 0.5 0.5"), 1);
    EXPECT_EQ(g.faces[0].colors[0].r, 0.1f);
    EXPECT_EQ(g.faces[0].colors[0].g, 0.2f);
    EXPECT_EQ(g.faces[0].colors[0].b, 0.3f);
    EXPECT_EQ(g.faces[0].colors[0].a, 1.0f);
    EXPECT_EQ(g.faces[0].colors[1].a, 1.0f);
    EXPECT_EQ(g.faces[1].colors[1].b, 1.0f);
    // The last triple is short: its blue stays 1.
    EXPECT_EQ(g.faces[1].colors[2].r, 0.5f);
    EXPECT_EQ(g.faces[1].colors[2].g, 0.5f);
    EXPECT_EQ(g.faces[1].colors[2].b, 1.0f);
}

TEST(ParseColors, CountMustEqualTheCornerTotal) {
    GeometryRecord g = twoTriangles();
    EXPECT_EQ(parseColors(g, 2, "0 0 0 0 0 0"), LIST_COUNT_MISMATCH);
    EXPECT_EQ(parseColors(g, 18, "0 0 0 0 0 0"), LIST_COUNT_MISMATCH);
    EXPECT_EQ(g.faces[0].colors[0].r, 1.0f);
    GeometryRecord none;
    EXPECT_EQ(parseColors(none, 3, "0 0 0"), LIST_NO_ITEMS);
}

// ---- face materials ----------------------------------------------------------

TEST(ParseFaceMaterials, NumbersAreTruncatedTowardZero) {
    GeometryRecord g;
    ASSERT_EQ(parseIndices(g, 4, "0 1 2,0 1 2,0 1 2,0 1 2"), 1);
    EXPECT_EQ(parseFaceMaterials(g, 4, "1.9 -0.5 -1.5 2"), 1);
    EXPECT_EQ(g.faces[0].materialIndex, 1);
    EXPECT_EQ(g.faces[1].materialIndex, 0);
    EXPECT_EQ(g.faces[2].materialIndex, -1);
    EXPECT_EQ(g.faces[3].materialIndex, 2);
}

TEST(ParseFaceMaterials, ShortListLeavesMinusOneAndCountMustMatchFaces) {
    GeometryRecord g = twoTriangles();
    EXPECT_EQ(parseFaceMaterials(g, 3, "1 1 1"), LIST_COUNT_MISMATCH);
    EXPECT_EQ(g.faces[0].materialIndex, -1);
    EXPECT_EQ(parseFaceMaterials(g, 2, "3"), 1);
    EXPECT_EQ(g.faces[0].materialIndex, 3);
    EXPECT_EQ(g.faces[1].materialIndex, -1);
    GeometryRecord none;
    EXPECT_EQ(parseFaceMaterials(none, 1, "0"), LIST_NO_ITEMS);
}

TEST(ParseFaceMaterials, NumbersOutsideTheInt32RangeNeverBecomeAValidIndex) {
    GeometryRecord g;
    ASSERT_EQ(parseIndices(g, 3, "0 1 2,0 1 2,0 1 2"), 1);
    EXPECT_EQ(parseFaceMaterials(g, 3, "3e9 nan -1e300"), 1);
    for (const FaceRecord& f : g.faces) EXPECT_EQ(f.materialIndex, INT32_MIN);
}

// ---- weights -----------------------------------------------------------------

TEST(ParseWeights, OnlyTheFirstPairsUpToBonesPerVertexAreKept) {
    GeometryRecord g;
    ASSERT_EQ(parseVertices(g, 2, nullptr), 1);
    const char* text = "0 0.25 1 0.75,2 1";
    EXPECT_EQ(parseWeights(g, 2, text, 4), 1);
    ASSERT_EQ(g.vertices[0].weights.size(), 2u);
    ASSERT_EQ(g.vertices[1].weights.size(), 1u);
    EXPECT_EQ(g.vertices[0].weights[1].linkIndex, 1);
    EXPECT_EQ(g.vertices[0].weights[1].weight, 0.75f);
    EXPECT_EQ(g.vertices[0].weights[1].boneNodeIndex, -1);
    EXPECT_EQ(g.vertices[1].weights[0].linkIndex, 2);
    EXPECT_EQ(g.vertices[1].weights[0].weight, 1.0f);

    GeometryRecord one;
    ASSERT_EQ(parseVertices(one, 2, nullptr), 1);
    EXPECT_EQ(parseWeights(one, 2, text, 1), 1);
    ASSERT_EQ(one.vertices[0].weights.size(), 1u);
    EXPECT_EQ(one.vertices[0].weights[0].linkIndex, 0);
    EXPECT_EQ(one.vertices[0].weights[0].weight, 0.25f);
    EXPECT_EQ(one.vertices[1].weights.size(), 1u);
}

TEST(ParseWeights, LongGroupsKeepTheirFirstPairsUpToTheLimit) {
    // Groups of 1 to 20 pairs, every other one with a lone link index after
    // them, read with limits on both sides of short and long groups.
    for (int64_t limit : {1, 7, 8, 9, 20}) {
        std::string text;
        for (int n = 1; n <= 20; ++n) {
            for (int k = 0; k < n; ++k) text += std::to_string(100 * n + k) + " " + std::to_string(k + 1) + ".5 ";
            if (n % 2 == 1) text += "99";
            text += ",";
        }
        GeometryRecord g;
        ASSERT_EQ(parseVertices(g, 20, nullptr), 1);
        ASSERT_EQ(parseWeights(g, 20, text.c_str(), limit), 1);
        for (int n = 1; n <= 20; ++n) {
            const std::vector<VertexWeight>& w = g.vertices[static_cast<std::size_t>(n - 1)].weights;
            ASSERT_EQ(static_cast<int64_t>(w.size()), std::min<int64_t>(n, limit))
                << "group " << n << ", limit " << limit;
            for (std::size_t k = 0; k < w.size(); ++k) {
                EXPECT_EQ(w[k].linkIndex, 100 * n + static_cast<int>(k));
                EXPECT_EQ(w[k].weight, static_cast<float>(k) + 1.5f);
                EXPECT_EQ(w[k].boneNodeIndex, -1);
            }
        }
    }
}

TEST(ParseWeights, TrailingLinkWithoutWeightIsDropped) {
    GeometryRecord g;
    ASSERT_EQ(parseVertices(g, 3, nullptr), 1);
    EXPECT_EQ(parseWeights(g, 3, "3 0.5 4,7,  5 0.1  6 0.2 ", 4), 1);
    ASSERT_EQ(g.vertices[0].weights.size(), 1u);
    EXPECT_EQ(g.vertices[0].weights[0].linkIndex, 3);
    EXPECT_TRUE(g.vertices[1].weights.empty()); // a lone link makes no pair
    ASSERT_EQ(g.vertices[2].weights.size(), 2u);
    EXPECT_EQ(g.vertices[2].weights[1].linkIndex, 6);
    EXPECT_EQ(g.vertices[2].weights[1].weight, 0.2f);
}

TEST(ParseWeights, VertexWithoutGroupKeepsNoWeights) {
    GeometryRecord g;
    ASSERT_EQ(parseVertices(g, 3, nullptr), 1);
    // ",," is one separator: the second group belongs to vertex 1.
    EXPECT_EQ(parseWeights(g, 3, "1 1,,2 1,", 4), 1);
    EXPECT_EQ(g.vertices[0].weights.size(), 1u);
    ASSERT_EQ(g.vertices[1].weights.size(), 1u);
    EXPECT_EQ(g.vertices[1].weights[0].linkIndex, 2);
    EXPECT_TRUE(g.vertices[2].weights.empty());
}

TEST(ParseWeights, GroupOfSpacesIsAVertexWithoutWeights) {
    GeometryRecord g;
    ASSERT_EQ(parseVertices(g, 3, nullptr), 1);
    EXPECT_EQ(parseWeights(g, 3, "0 1,  ,1 0.25 0 0.75", 2), 1);
    ASSERT_EQ(g.vertices[0].weights.size(), 1u);
    EXPECT_EQ(g.vertices[0].weights[0].linkIndex, 0);
    EXPECT_TRUE(g.vertices[1].weights.empty());
    ASSERT_EQ(g.vertices[2].weights.size(), 2u);
    EXPECT_EQ(g.vertices[2].weights[0].linkIndex, 1);
    EXPECT_EQ(g.vertices[2].weights[0].weight, 0.25f);
    EXPECT_EQ(g.vertices[2].weights[1].linkIndex, 0);
    EXPECT_EQ(g.vertices[2].weights[1].weight, 0.75f);

    // Unweighted vertices first, twice in a row and last; the long-group path
    // (more pairs than the reader buffers) sees the same groups.
    std::string longGroup;
    for (int k = 0; k < 10; ++k) longGroup += std::to_string(k) + " 0.1 ";
    const std::string text = " , 5 1 , , , " + longGroup + ", ";
    GeometryRecord h;
    ASSERT_EQ(parseVertices(h, 6, nullptr), 1);
    EXPECT_EQ(parseWeights(h, 6, text.c_str(), 16), 1);
    EXPECT_TRUE(h.vertices[0].weights.empty());
    ASSERT_EQ(h.vertices[1].weights.size(), 1u);
    EXPECT_EQ(h.vertices[1].weights[0].linkIndex, 5);
    EXPECT_TRUE(h.vertices[2].weights.empty());
    EXPECT_TRUE(h.vertices[3].weights.empty());
    ASSERT_EQ(h.vertices[4].weights.size(), 10u);
    EXPECT_EQ(h.vertices[4].weights[9].linkIndex, 9);
    EXPECT_TRUE(h.vertices[5].weights.empty());
}

TEST(ParseWeights, CountMustMatchVerticesAndBonesPerVertexMustBePositive) {
    GeometryRecord g;
    ASSERT_EQ(parseVertices(g, 2, nullptr), 1);
    EXPECT_EQ(parseWeights(g, 3, "0 1,0 1,0 1", 4), LIST_COUNT_MISMATCH);
    EXPECT_EQ(parseWeights(g, 2, "0 1,0 1", 0), 1);
    EXPECT_EQ(parseWeights(g, 2, "0 1,0 1", -1), 1);
    EXPECT_TRUE(g.vertices[0].weights.empty());
    GeometryRecord none;
    EXPECT_EQ(parseWeights(none, 1, "0 1", 4), LIST_NO_ITEMS);
}

TEST(ParseWeights, HugeBonesPerVertexKeepsEveryPair) {
    GeometryRecord g;
    ASSERT_EQ(parseVertices(g, 1, nullptr), 1);
    EXPECT_EQ(parseWeights(g, 1, "0 0.1 1 0.2 2 0.3", INT64_MAX), 1);
    EXPECT_EQ(g.vertices[0].weights.size(), 3u);
}

// ---- matrix ------------------------------------------------------------------

void expectRow(const Matrix4& m, int r, float a, float b, float c, float d) {
    SCOPED_TRACE("row " + std::to_string(r));
    EXPECT_EQ(m.at(r, 0), a);
    EXPECT_EQ(m.at(r, 1), b);
    EXPECT_EQ(m.at(r, 2), c);
    EXPECT_EQ(m.at(r, 3), d);
}

TEST(ParseMatrix, FourGroupsFillTheRowsInOrder) {
    Matrix4 m;
    EXPECT_EQ(parseMatrix("1 2 3 4,5 6 7 8,9 10 11 12,13 14 15 16", 4, m), LIST_READ);
    expectRow(m, 0, 1, 2, 3, 4);
    expectRow(m, 1, 5, 6, 7, 8);
    expectRow(m, 2, 9, 10, 11, 12);
    expectRow(m, 3, 13, 14, 15, 16);
}

TEST(ParseMatrix, ShortRowKeepsTheColumnsOfTheRowBefore) {
    Matrix4 m;
    EXPECT_EQ(parseMatrix("1 2 3 4,5 6 7 8,9 10,13 14 15 16", 4, m), LIST_READ);
    expectRow(m, 2, 9, 10, 7, 8);
    expectRow(m, 3, 13, 14, 15, 16);

    // The buffer starts as zeros, so a short first row is padded with 0.
    EXPECT_EQ(parseMatrix("1 2,0 1 0 0", 2, m), LIST_READ);
    expectRow(m, 0, 1, 2, 0, 0);
}

TEST(ParseMatrix, MissingGroupRepeatsTheRowBefore) {
    Matrix4 m;
    EXPECT_EQ(parseMatrix("1 0 0 5,0 1 0 6", 4, m), LIST_READ);
    expectRow(m, 1, 0, 1, 0, 6);
    expectRow(m, 2, 0, 1, 0, 6);
    expectRow(m, 3, 0, 1, 0, 6);
}

TEST(ParseMatrix, GroupOfSpacesRepeatsTheRowBefore) {
    Matrix4 m;
    EXPECT_EQ(parseMatrix("1 0 0 5,  ,0 0 1 7,0 0 0 1", 4, m), LIST_READ);
    expectRow(m, 0, 1, 0, 0, 5);
    expectRow(m, 1, 1, 0, 0, 5);
    expectRow(m, 2, 0, 0, 1, 7);
    expectRow(m, 3, 0, 0, 0, 1);
}

TEST(ParseMatrix, RowsBelowFourLeaveIdentityRowsAndExtrasAreIgnored) {
    Matrix4 m;
    m.at(3, 3) = 7.0f;
    EXPECT_EQ(parseMatrix("2 0 0 1 99,0 2 0 2,0 0 2 3,0 0 0 1", 2, m), LIST_READ);
    expectRow(m, 0, 2, 0, 0, 1);
    expectRow(m, 1, 0, 2, 0, 2);
    expectRow(m, 2, 0, 0, 1, 0);
    expectRow(m, 3, 0, 0, 0, 1);

    EXPECT_EQ(parseMatrix("1 2 3 4,5 6 7 8,9 10 11 12,13 14 15 16,17 18 19 20", 2000000000, m), LIST_READ);
    expectRow(m, 3, 13, 14, 15, 16);
}

TEST(ParseMatrix, NoTextOrNoRowsLeavesTheTargetUntouched) {
    Matrix4 m;
    m.at(0, 1) = 3.0f;
    EXPECT_EQ(parseMatrix(nullptr, 4, m), LIST_NO_NUMBERS);
    EXPECT_EQ(parseMatrix("1 2 3 4", 0, m), LIST_NO_NUMBERS);
    EXPECT_EQ(parseMatrix("1 2 3 4", -1, m), LIST_NO_NUMBERS);
    EXPECT_EQ(m.at(0, 1), 3.0f);
    EXPECT_EQ(m.at(0, 0), 1.0f);
}

} // namespace
} // namespace bxml
