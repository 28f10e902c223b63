// Normalising and sorting one vertex's bone weights.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <utility>

#include "document/lookup.h"
#include "document/weights.h"

namespace bxml {
namespace {

// Weights as (bone node, weight) pairs; linkIndex records the original position.
VertexRecord vertexWith(std::initializer_list<std::pair<int32_t, float>> weights) {
    VertexRecord vertex;
    int32_t position = 0;
    for (const auto& [node, weight] : weights) {
        VertexWeight w;
        w.linkIndex = position++;
        w.boneNodeIndex = node;
        w.weight = weight;
        vertex.weights.push_back(w);
    }
    return vertex;
}

TEST(NormalizeWeights, WeightsSummingToOneStayBitForBit) {
    VertexRecord vertex = vertexWith({{0, 0.5f}, {1, 0.5f}});
    normalizeWeights(vertex);
    EXPECT_EQ(vertex.weights[0].weight, 0.5f);
    EXPECT_EQ(vertex.weights[1].weight, 0.5f);

    VertexRecord quarters = vertexWith({{0, 0.25f}, {1, 0.75f}});
    normalizeWeights(quarters);
    EXPECT_EQ(quarters.weights[0].weight, 0.25f);
    EXPECT_EQ(quarters.weights[1].weight, 0.75f);
}

TEST(NormalizeWeights, SmallWeightsAreScaledToSumOne) {
    VertexRecord vertex = vertexWith({{0, 0.2f}, {1, 0.2f}});
    normalizeWeights(vertex);
    EXPECT_FLOAT_EQ(vertex.weights[0].weight, 0.5f);
    EXPECT_FLOAT_EQ(vertex.weights[1].weight, 0.5f);
}

TEST(NormalizeWeights, ScalesByOneReciprocalOfTheSingleSum) {
    // With these weights w * (1 / sum) and w / sum differ in the last bit for
    // the first weight; the contract is one reciprocal computed once.
    VertexRecord vertex = vertexWith({{0, 0.1f}, {1, 0.3f}, {2, 0.7f}});
    normalizeWeights(vertex);
    const float sum = (0.1f + 0.3f) + 0.7f;
    const float r = 1.0f / sum;
    ASSERT_NE(0.1f * r, 0.1f / sum) << "example no longer separates the two forms";
    EXPECT_EQ(vertex.weights[0].weight, r * 0.1f);
    EXPECT_EQ(vertex.weights[1].weight, r * 0.3f);
    EXPECT_EQ(vertex.weights[2].weight, r * 0.7f);
}

TEST(NormalizeWeights, WeightWithoutBoneNodeIsZeroedBeforeSumming) {
    VertexRecord vertex = vertexWith({{3, 0.5f}, {-1, 0.3f}});
    normalizeWeights(vertex);
    EXPECT_EQ(vertex.weights[0].weight, 1.0f);
    EXPECT_EQ(vertex.weights[1].weight, 0.0f);
}

TEST(NormalizeWeights, AllZeroWeightsStayZero) {
    VertexRecord vertex = vertexWith({{-1, 0.7f}, {2, 0.0f}, {-5, 0.4f}});
    normalizeWeights(vertex);
    for (const VertexWeight& w : vertex.weights) {
        EXPECT_EQ(w.weight, 0.0f);
        EXPECT_FALSE(std::signbit(w.weight));
    }
}

TEST(NormalizeWeights, VertexWithoutWeightsIsLeftAlone) {
    VertexRecord vertex;
    normalizeWeights(vertex);
    sortWeightsDescending(vertex);
    EXPECT_TRUE(vertex.weights.empty());
}

TEST(SortWeightsDescending, LargestFirstAndEqualWeightsKeepTheirOrder) {
    VertexRecord vertex = vertexWith({{0, 0.2f}, {1, 0.5f}, {2, 0.2f}, {3, 0.5f}, {4, 0.1f}, {5, 0.2f}});
    sortWeightsDescending(vertex);
    std::vector<int32_t> order;
    for (const VertexWeight& w : vertex.weights) order.push_back(w.linkIndex);
    EXPECT_EQ(order, (std::vector<int32_t>{1, 3, 0, 2, 5, 4}));
    EXPECT_EQ(vertex.weights[0].boneNodeIndex, 1) << "whole records move";
}

TEST(SortWeightsDescending, NotANumberGoesLast) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    VertexRecord vertex = vertexWith({{0, nan}, {1, 0.3f}, {2, nan}, {3, 0.6f}});
    sortWeightsDescending(vertex);
    std::vector<int32_t> order;
    for (const VertexWeight& w : vertex.weights) order.push_back(w.linkIndex);
    EXPECT_EQ(order, (std::vector<int32_t>{3, 1, 0, 2}));
}

TEST(SortWeightsDescending, ShortAndLongListsGiveTheStableOrder) {
    // Few distinct weights (many ties) and some NaNs, on both sides of the
    // length where the sort changes method.
    std::mt19937 random(7);
    const float values[] = {0.1f, 0.25f, 0.5f, 1.0f, std::numeric_limits<float>::quiet_NaN()};
    for (int round = 0; round < 400; ++round) {
        const int length = round % 41;
        VertexRecord vertex;
        for (int k = 0; k < length; ++k) {
            VertexWeight w;
            w.linkIndex = k;
            w.weight = values[random() % 5];
            vertex.weights.push_back(w);
        }
        // Heaviest first, ties in their original order, NaNs last.
        std::vector<int32_t> expected;
        for (float v : {1.0f, 0.5f, 0.25f, 0.1f}) {
            for (const VertexWeight& w : vertex.weights) {
                if (w.weight == v) expected.push_back(w.linkIndex);
            }
        }
        for (const VertexWeight& w : vertex.weights) {
            if (std::isnan(w.weight)) expected.push_back(w.linkIndex);
        }
        sortWeightsDescending(vertex);
        std::vector<int32_t> order;
        for (const VertexWeight& w : vertex.weights) order.push_back(w.linkIndex);
        ASSERT_EQ(order, expected) << "length " << length;
    }
}

} // namespace
} // namespace bxml
