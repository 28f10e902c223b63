// Double-precision rotations, vectors and affine matrices for the glTF
// writer: its poses are composed and inverted in double and stored as float
// once. Functions that normalise count non-finite input in nonFinite.
#pragma once

#include <cmath>

#include "contract/transform.h" // Vector3, Quaternion

namespace bxml::host {

// Unit quaternion in double; a zero or non-finite one becomes the identity.
struct UnitQuaternion {
    double x = 0, y = 0, z = 0, w = 1;
};

inline UnitQuaternion unit(double x, double y, double z, double w, long long& nonFinite) {
    const double n = std::sqrt(x * x + y * y + z * z + w * w);
    if (!std::isfinite(n)) {
        ++nonFinite;
        return {};
    }
    if (n < 1e-12) return {};
    return {x / n, y / n, z / n, w / n};
}

inline UnitQuaternion unit(const Quaternion& q, long long& nonFinite) { return unit(q.x, q.y, q.z, q.w, nonFinite); }

// a*b: b first, then a.
inline UnitQuaternion multiply(const UnitQuaternion& a, const UnitQuaternion& b, long long& nonFinite) {
    return unit(a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
                a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
                nonFinite);
}

struct Vec3d {
    double x = 0, y = 0, z = 0;
};

inline Vec3d rotate(const UnitQuaternion& q, const Vec3d& v) {
    // v + 2w(u x v) + 2u x (u x v), u the vector part.
    const Vec3d t{2 * (q.y * v.z - q.z * v.y), 2 * (q.z * v.x - q.x * v.z), 2 * (q.x * v.y - q.y * v.x)};
    return {v.x + q.w * t.x + (q.y * t.z - q.z * t.y), v.y + q.w * t.y + (q.z * t.x - q.x * t.z),
            v.z + q.w * t.z + (q.x * t.y - q.y * t.x)};
}

// The rotation whose matrix has the orthonormal columns a, b, c.
inline UnitQuaternion quaternionFromColumns(const Vec3d& a, const Vec3d& b, const Vec3d& c, long long& nonFinite) {
    const double trace = a.x + b.y + c.z;
    if (trace > 0) {
        const double s = 2 * std::sqrt(trace + 1);
        return unit((b.z - c.y) / s, (c.x - a.z) / s, (a.y - b.x) / s, s / 4, nonFinite);
    }
    if (a.x > b.y && a.x > c.z) {
        const double s = 2 * std::sqrt(1 + a.x - b.y - c.z);
        return unit(s / 4, (b.x + a.y) / s, (c.x + a.z) / s, (b.z - c.y) / s, nonFinite);
    }
    if (b.y > c.z) {
        const double s = 2 * std::sqrt(1 + b.y - a.x - c.z);
        return unit((b.x + a.y) / s, s / 4, (c.y + b.z) / s, (c.x - a.z) / s, nonFinite);
    }
    const double s = 2 * std::sqrt(1 + c.z - a.x - b.y);
    return unit((c.x + a.z) / s, (c.y + b.z) / s, s / 4, (a.y - b.x) / s, nonFinite);
}

// Column-major 4x4 in double, as glTF stores matrices.
struct Mat4d {
    double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

inline Mat4d composeTrs(const Vector3& t, const UnitQuaternion& q, const Vector3& s) {
    Mat4d r;
    const double xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
    const double xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z, wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
    const double rot[9] = {1 - 2 * (yy + zz), 2 * (xy + wz),     2 * (xz - wy), // column 0
                           2 * (xy - wz),     1 - 2 * (xx + zz), 2 * (yz + wx), // column 1
                           2 * (xz + wy),     2 * (yz - wx),     1 - 2 * (xx + yy)};
    const double scale[3] = {s.x, s.y, s.z};
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 3; ++row) r.m[4 * c + row] = rot[3 * c + row] * scale[c];
    r.m[12] = t.x;
    r.m[13] = t.y;
    r.m[14] = t.z;
    return r;
}

inline Mat4d multiply(const Mat4d& a, const Mat4d& b) {
    Mat4d r;
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += a.m[4 * k + row] * b.m[4 * c + k];
            r.m[4 * c + row] = sum;
        }
    return r;
}

// Inverse of an affine matrix; a singular one (a zero scale) gives the
// identity, which glTF accepts and which binds nothing that could be seen.
inline Mat4d inverseAffine(const Mat4d& a) {
    const double* m = a.m;
    // 3x3 part as rows r, columns c: element (r, c) = m[4c + r].
    auto e = [m](int r, int c) { return m[4 * c + r]; };
    const double c00 = e(1, 1) * e(2, 2) - e(1, 2) * e(2, 1);
    const double c01 = e(1, 2) * e(2, 0) - e(1, 0) * e(2, 2);
    const double c02 = e(1, 0) * e(2, 1) - e(1, 1) * e(2, 0);
    const double det = e(0, 0) * c00 + e(0, 1) * c01 + e(0, 2) * c02;
    Mat4d r;
    if (!std::isfinite(det) || std::fabs(det) < 1e-30) return r;
    const double inv[3][3] = {
        {c00 / det, (e(0, 2) * e(2, 1) - e(0, 1) * e(2, 2)) / det, (e(0, 1) * e(1, 2) - e(0, 2) * e(1, 1)) / det},
        {c01 / det, (e(0, 0) * e(2, 2) - e(0, 2) * e(2, 0)) / det, (e(0, 2) * e(1, 0) - e(0, 0) * e(1, 2)) / det},
        {c02 / det, (e(0, 1) * e(2, 0) - e(0, 0) * e(2, 1)) / det, (e(0, 0) * e(1, 1) - e(0, 1) * e(1, 0)) / det}};
    for (int row = 0; row < 3; ++row) {
        for (int c = 0; c < 3; ++c) r.m[4 * c + row] = inv[row][c];
        r.m[12 + row] = -(inv[row][0] * m[12] + inv[row][1] * m[13] + inv[row][2] * m[14]);
    }
    return r;
}

} // namespace bxml::host
