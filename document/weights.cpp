#include "document/weights.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace bxml {

void normalizeWeights(VertexRecord& vertex) {
    if (vertex.weights.empty()) return;
    for (VertexWeight& w : vertex.weights) {
        if (w.boneNodeIndex < 0) w.weight = 0.0f;
    }
    float sum = 0.0f;
    for (const VertexWeight& w : vertex.weights) sum += w.weight;
    if (sum == 1.0f || sum == 0.0f) return;
    const float r = 1.0f / sum;
    for (VertexWeight& w : vertex.weights) w.weight = r * w.weight;
}

void sortWeightsDescending(VertexRecord& vertex) {
    if (vertex.weights.size() < 2) return;
    // A NaN weight (from a hostile file) counts as smaller than every number, so
    // the comparison stays a strict weak order and NaNs go last.
    auto heavier = [](const VertexWeight& a, const VertexWeight& b) {
        if (std::isnan(a.weight)) return false;
        if (std::isnan(b.weight)) return true;
        return a.weight > b.weight;
    };
    // A vertex has a handful of weights: an insertion sort, stable like
    // stable_sort, orders them without the temporary buffer stable_sort
    // allocates on every call.
    constexpr std::size_t INSERTION_LIMIT = 16;
    std::vector<VertexWeight>& weights = vertex.weights;
    if (weights.size() > INSERTION_LIMIT) {
        std::stable_sort(weights.begin(), weights.end(), heavier);
        return;
    }
    for (std::size_t i = 1; i < weights.size(); ++i) {
        const VertexWeight w = weights[i];
        std::size_t j = i;
        for (; j > 0 && heavier(w, weights[j - 1]); --j) weights[j] = weights[j - 1];
        weights[j] = w;
    }
}

} // namespace bxml
