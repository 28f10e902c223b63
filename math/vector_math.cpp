#include "math/vector_math.h"

#include <cmath>

namespace bxml {

float absf(float a) { return std::fabs(a); }

float sqrtf32(float a) { return std::sqrt(a); }

// --- Vector3 ---

void scaleInPlace(Vector3& v, float s) {
    v.x *= s;
    v.y *= s;
    v.z *= s;
}

Vector3 add(const Vector3& a, const Vector3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

void addInPlace(Vector3& a, const Vector3& b) {
    a.x += b.x;
    a.y += b.y;
    a.z += b.z;
}

Vector3 subtract(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

Vector3 divide(const Vector3& v, float s) {
    const float r = 1.0f / s;
    return {v.x * r, v.y * r, v.z * r};
}

Vector3 negate(const Vector3& v) { return {-v.x, -v.y, -v.z}; }

Vector3 scaled(float s, const Vector3& v) { return {s * v.x, s * v.y, s * v.z}; }

float squaredLength(const Vector3& v) { return v.x * v.x + v.y * v.y + v.z * v.z; }

float length(const Vector3& v) {
    const float sq = squaredLength(v);
    if (sq == 0.0f) {
        return 0.0f;
    }
    return sqrtf32(sq);
}

Vector3 normalize(const Vector3& v) {
    const float len = length(v);
    if (len > NEAR_EPSILON) {
        return divide(v, len);
    }
    return {0.0f, 0.0f, 0.0f};
}

bool approximatelyEqual(const Vector3& a, const Vector3& b) {
    return absf(a.x - b.x) < NEAR_EPSILON && absf(a.y - b.y) < NEAR_EPSILON && absf(a.z - b.z) < NEAR_EPSILON;
}

bool hasNegativeComponent(const Vector3& v) { return v.x < 0.0f || v.y < 0.0f || v.z < 0.0f; }

float dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vector3 cross(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vector3 transformPoint(const Vector3& p, const Matrix4& m) {
    return {m.at(0, 0) * p.x + m.at(0, 1) * p.y + m.at(0, 2) * p.z + m.at(0, 3),
            m.at(1, 0) * p.x + m.at(1, 1) * p.y + m.at(1, 2) * p.z + m.at(1, 3),
            m.at(2, 0) * p.x + m.at(2, 1) * p.y + m.at(2, 2) * p.z + m.at(2, 3)};
}

Vector3 inverseTransformPoint(const Vector3& p, const Matrix4& m) {
    const Vector3 d = subtract(p, {m.at(0, 3), m.at(1, 3), m.at(2, 3)});
    return {m.at(0, 0) * d.x + m.at(1, 0) * d.y + m.at(2, 0) * d.z,
            m.at(0, 1) * d.x + m.at(1, 1) * d.y + m.at(2, 1) * d.z,
            m.at(0, 2) * d.x + m.at(1, 2) * d.y + m.at(2, 2) * d.z};
}

// --- Quaternion ---

Quaternion divide(const Quaternion& q, float s) {
    const float r = 1.0f / s;
    return {q.x * r, q.y * r, q.z * r, q.w * r};
}

Quaternion scaled(const Quaternion& q, float s) { return {q.x * s, q.y * s, q.z * s, q.w * s}; }

Quaternion conjugate(const Quaternion& q) { return {-q.x, -q.y, -q.z, q.w}; }

float squaredLength(const Quaternion& q) { return q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w; }

float length(const Quaternion& q) {
    const float sq = squaredLength(q);
    if (sq == 0.0f) {
        return 0.0f;
    }
    return sqrtf32(sq);
}

Quaternion normalize(const Quaternion& q) {
    const float len = length(q);
    if (len > NEAR_EPSILON) {
        return divide(q, len);
    }
    return {0.0f, 0.0f, 0.0f, 1.0f};
}

Quaternion inverse(const Quaternion& q) {
    const float len = length(q);
    if (len > 0.0f) {
        return divide(conjugate(q), len);
    }
    return {0.0f, 0.0f, 0.0f, 1.0f};
}

Quaternion multiply(const Quaternion& a, const Quaternion& b) {
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
            a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

Matrix4 matrixFromQuaternion(const Quaternion& q) {
    const float x = q.x;
    const float y = q.y;
    const float z = q.z;
    const float w = q.w;
    Matrix4 r;
    r.at(0, 0) = 1.0f - 2.0f * y * y - 2.0f * z * z;
    r.at(0, 1) = 2.0f * x * y - 2.0f * w * z;
    r.at(0, 2) = 2.0f * x * z + 2.0f * w * y;
    r.at(1, 0) = 2.0f * x * y + 2.0f * w * z;
    r.at(1, 1) = 1.0f - 2.0f * x * x - 2.0f * z * z;
    r.at(1, 2) = 2.0f * y * z - 2.0f * w * x;
    r.at(2, 0) = 2.0f * x * z - 2.0f * w * y;
    r.at(2, 1) = 2.0f * y * z + 2.0f * w * x;
    r.at(2, 2) = 1.0f - 2.0f * x * x - 2.0f * y * y;
    // Row 3 and column 3 keep the identity's values from the default.
    return r;
}

// --- Matrix4 ---

Matrix4 matrixFromValues(const float values[16]) {
    Matrix4 r;
    for (int i = 0; i < 16; ++i) {
        r.m[i] = values[i];
    }
    return r;
}

void multiply3x3(const Matrix4& a, const Matrix4& b, Matrix4& c) {
    float product[3][3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            product[i][j] = a.at(i, 0) * b.at(0, j) + a.at(i, 1) * b.at(1, j) + a.at(i, 2) * b.at(2, j);
        }
    }
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            c.at(i, j) = product[i][j];
        }
    }
}

} // namespace bxml
