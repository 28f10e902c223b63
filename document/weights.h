// The operations on one vertex's weights that the mesh builder runs.
#pragma once

#include "document/records.h"

namespace bxml {

// Weights whose boneNodeIndex is negative become 0; then, unless their sum is
// exactly 0 or 1, every weight is multiplied by 1/sum (single precision).
void normalizeWeights(VertexRecord& vertex);

// Largest weight first; equal weights keep their order (stable).
void sortWeightsDescending(VertexRecord& vertex);

} // namespace bxml
