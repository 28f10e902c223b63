// Decomposition of affine matrices into translation, rotation and stretch
// (Shoemake and Duff's polar decomposition M = T*F*R*U*K*U^T, with the polar
// step after Higham and Schreiber and a cyclic Jacobi eigen-solver), and the
// aiming matrix used to turn lights, cameras and nodes.
//
// Every constant, precision and comparison below is fixed so that two builds
// take the same decisions bit for bit: float stays float, the few steps taken in
// double say so, and nothing is reordered into a "mathematically equal" form.
#pragma once

#include "math/vector_math.h"

namespace bxml {

// Relative 1-norm change at which the polar iteration stops.
inline constexpr double POLAR_TOLERANCE = 1.0e-6;
// Guard against inputs on which the polar iteration never settles (NaN, inf,
// values near the float limits); finite well-conditioned input settles in a
// handful of iterations.
inline constexpr int POLAR_MAX_ITERATIONS = 100;
inline constexpr int JACOBI_MAX_SWEEPS = 20;
// An off-diagonal element a is negligible against h when |h| + 100*a == |h|.
inline constexpr double JACOBI_NEGLIGIBLE_FACTOR = 100.0;

// A = T * F * R * U * K * U^T, with F = determinantSign * I.
struct AffineDecomposition {
    Vector4 translation{0, 0, 0, 0};        // w = 0
    Quaternion rotation{0, 0, 0, 0};        // essential rotation R
    Quaternion stretchRotation{0, 0, 0, 0}; // U, the frame of the stretch
    Vector4 scaleFactors{0, 0, 0, 0};       // K along U's axes, w = 1
    float determinantSign = 0.0f;           // +1, or -1 when A mirrors
};

// M = Q * S on the upper-left 3x3.
struct PolarDecomposition {
    Matrix4 q;        // orthogonal, padded
    Matrix4 s;        // symmetric, padded
    float det = 0.0f; // determinant of the last iterate (exactly 0 after the rank-2 step)
    int iterations = 0;
};

// S = U * diag(k) * U^T.
struct SpectralDecomposition {
    Matrix4 u;
    Vector4 k{0, 0, 0, 1}; // not sorted
    int sweeps = 0;        // Jacobi sweeps that did work, at most JACOBI_MAX_SWEEPS
};

AffineDecomposition decomposeAffine(const Matrix4& a);

// Terminates on any input, NaN and infinities included (then the parts are
// whatever the iteration leaves, usually NaN): the iteration stops after
// maxIterations passes whether or not it has settled.
PolarDecomposition polarDecompose(const Matrix4& m, int maxIterations = POLAR_MAX_ITERATIONS);

// s must be symmetric; only its upper-left 3x3 is read.
SpectralDecomposition spectralDecompose(const Matrix4& s);

// Finds p such that q*p is the smallest rotation equivalent to q under
// permutations of the stretch axes (and free turns in planes of equal factors),
// and permutes the x, y, z of k to match.
Quaternion adjustSpectralAxes(const Quaternion& q, Vector4& k);

// Quaternion of a rotation matrix; scaled by 1/sqrt(M(3,3)) when M(3,3) != 1.
Quaternion quaternionFromMatrix(const Matrix4& m);

// Columns 0, 1, 2 = right, up, forward (forward = normalised target - eye);
// column 3 and row 3 are (0, 0, 0, 1): the eye position is not stored. An up
// hint of +Y or +Z parallel to forward is replaced so that the frame exists.
Matrix4 lookAtMatrix(const Vector3& eye, const Vector3& target, const Vector3& up);

} // namespace bxml
