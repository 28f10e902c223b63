// Small single-precision value types: vectors, quaternions and 4x4 matrices.
// Everything is float32 unless a function says otherwise; the build uses
// -ffp-contract=off so that no a*b+c is fused and both builds give the same
// bits.
#pragma once

#include <cstdint>

namespace bxml {

// Tolerance of approximate comparison and the length below which normalisation
// falls back (bits 0x38D1B717).
inline constexpr float NEAR_EPSILON = 1e-4f;

struct Vector2 {
    float u = 0.0f;
    float v = 0.0f;
};

struct Vector3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

// Four plain components; carries the translation and the stretch factors of a
// decomposition (w is 0 for the translation, 1 for the factors).
struct Vector4 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;
};

// Rotation quaternion, w last. The product a*b applies b first, then a.
struct Quaternion {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;
};

// Row-major: element (r, c) is m[4*r + c]. Points are column vectors (p' = M*p);
// the translation stands in column 3. Default: identity.
struct Matrix4 {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    float& at(int r, int c) { return m[4 * r + c]; }
    float at(int r, int c) const { return m[4 * r + c]; }
};

// --- scalars (single precision) ---
float absf(float a);
float sqrtf32(float a);

// --- Vector3 ---
void scaleInPlace(Vector3& v, float s);
Vector3 add(const Vector3& a, const Vector3& b);
void addInPlace(Vector3& a, const Vector3& b);
Vector3 subtract(const Vector3& a, const Vector3& b);
// Multiplies by the reciprocal 1/s; no guard for s == 0.
Vector3 divide(const Vector3& v, float s);
Vector3 negate(const Vector3& v);
Vector3 scaled(float s, const Vector3& v);
float squaredLength(const Vector3& v);
// 0 without a square root when the squared length is exactly 0.
float length(const Vector3& v);
// v / |v| when |v| > NEAR_EPSILON, otherwise (0, 0, 0).
Vector3 normalize(const Vector3& v);
// Strict: every component differs by less than NEAR_EPSILON.
bool approximatelyEqual(const Vector3& a, const Vector3& b);
// Strict: x < 0 or y < 0 or z < 0 (so -0 is not negative).
bool hasNegativeComponent(const Vector3& v);
float dot(const Vector3& a, const Vector3& b);
Vector3 cross(const Vector3& a, const Vector3& b);
// M * p with the upper 3x4 of M; row 3 is ignored (no perspective divide).
Vector3 transformPoint(const Vector3& p, const Matrix4& m);
// Transposed 3x3 of M applied to p - translation(M); exact only for an
// orthonormal 3x3.
Vector3 inverseTransformPoint(const Vector3& p, const Matrix4& m);

// --- Quaternion ---
Quaternion divide(const Quaternion& q, float s);
Quaternion scaled(const Quaternion& q, float s);
Quaternion conjugate(const Quaternion& q);
float squaredLength(const Quaternion& q);
float length(const Quaternion& q);
// q / |q| when |q| > NEAR_EPSILON, otherwise the identity.
Quaternion normalize(const Quaternion& q);
// Conjugate divided by the length (operands are unit quaternions); identity
// when the length is 0.
Quaternion inverse(const Quaternion& q);
// a*b: rotates by b first, then by a.
Quaternion multiply(const Quaternion& a, const Quaternion& b);
// Rotation matrix of a unit quaternion (no normalisation is done).
Matrix4 matrixFromQuaternion(const Quaternion& q);

// --- Matrix4 ---
Matrix4 matrixFromValues(const float values[16]);
// Upper-left 3x3 of A*B written into c; the other seven elements of c stay.
// c may be the same object as a or b.
void multiply3x3(const Matrix4& a, const Matrix4& b, Matrix4& c);

} // namespace bxml
