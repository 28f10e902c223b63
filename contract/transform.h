// The host's placement record, embedded in host lights, cameras and bones, and
// the few ways the plug-in fills it.
#pragma once

#include "math/vector_math.h"

namespace bxml {

// The axes are the normalised columns 0..2 of `matrix` (see axesFromMatrix).
struct Transform {
    Vector3 axisX{1, 0, 0};
    Vector3 axisY{0, 1, 0};
    Vector3 axisZ{0, 0, 1};
    Vector3 position{0, 0, 0};
    Vector3 scale{1, 1, 1};
    Matrix4 matrix{};
    Quaternion rotation{0, 0, 0, 1};
    Vector3 auxiliary{0, 0, 0};
};

// Sets every field of t to the defaults above.
void resetTransform(Transform& t);

// Axes of t := normalised columns 0, 1, 2 of t.matrix.
void axesFromMatrix(Transform& t);

// Writes t.position, t.rotation and t.scale from rows 0..2 of m (row 3 is taken
// as (0, 0, 0, 1)); axes, matrix and auxiliary stay. A mirror negates all three
// scale components; shear and stretch off the rotated frame are dropped.
void setTransformFromMatrix(const Matrix4& m, Transform& t);

} // namespace bxml
