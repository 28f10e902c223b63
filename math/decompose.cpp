#include "math/decompose.h"

#include <cmath>
#include <utility>

namespace bxml {

namespace {

// next[X] = Y, next[Y] = Z, next[Z] = X.
constexpr int NEXT[3] = {1, 2, 0};

constexpr double SQRT_HALF = 0.7071067811865476;
// float32 of sqrt(1/2), bits 0x3F3504F3.
constexpr float SQRT_HALF_F = 0.70710677f;

constexpr Quaternion X_TO_Z{0.0f, SQRT_HALF_F, 0.0f, SQRT_HALF_F};
constexpr Quaternion Y_TO_Z{SQRT_HALF_F, 0.0f, 0.0f, SQRT_HALF_F};
constexpr Quaternion Q_PPMM{0.5f, 0.5f, -0.5f, -0.5f};
constexpr Quaternion Q_PPPP{0.5f, 0.5f, 0.5f, 0.5f};
constexpr Quaternion Q_MPMM{-0.5f, 0.5f, -0.5f, -0.5f};
constexpr Quaternion Q_PPPM{0.5f, 0.5f, 0.5f, -0.5f};
constexpr Quaternion Q_0001{0.0f, 0.0f, 0.0f, 1.0f};
constexpr Quaternion Q_1000{1.0f, 0.0f, 0.0f, 0.0f};

// Indexed by lo when the two largest quaternion components are w and lo.
constexpr int TWO_AXIS_PARTNER[3] = {1, 2, 0};

Vector3 row(const Matrix4& m, int r) { return {m.at(r, 0), m.at(r, 1), m.at(r, 2)}; }

void setRow(Matrix4& m, int r, const Vector3& v) {
    m.at(r, 0) = v.x;
    m.at(r, 1) = v.y;
    m.at(r, 2) = v.z;
}

Vector3 column(const Matrix4& m, int c) { return {m.at(0, c), m.at(1, c), m.at(2, c)}; }

float component(const Vector3& v, int i) { return i == 0 ? v.x : (i == 1 ? v.y : v.z); }

void pad(Matrix4& m) {
    m.at(0, 3) = m.at(1, 3) = m.at(2, 3) = 0.0f;
    m.at(3, 0) = m.at(3, 1) = m.at(3, 2) = 0.0f;
    m.at(3, 3) = 1.0f;
}

Matrix4 transpose3x3(const Matrix4& m) {
    Matrix4 t;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            t.at(i, j) = m.at(j, i);
        }
    }
    return t;
}

// Largest column sum of absolute values. A NaN sum never wins the comparison.
float normOne(const Matrix4& m) {
    float max = 0.0f;
    for (int i = 0; i < 3; ++i) {
        const float sum = absf(m.at(0, i)) + absf(m.at(1, i)) + absf(m.at(2, i));
        if (max < sum) {
            max = sum;
        }
    }
    return max;
}

// Largest row sum of absolute values.
float normInf(const Matrix4& m) {
    float max = 0.0f;
    for (int i = 0; i < 3; ++i) {
        const float sum = absf(m.at(i, 0)) + absf(m.at(i, 1)) + absf(m.at(i, 2));
        if (max < sum) {
            max = sum;
        }
    }
    return max;
}

// Transpose of the inverse times the determinant.
Matrix4 adjointTranspose(const Matrix4& m) {
    Matrix4 r;
    setRow(r, 0, cross(row(m, 1), row(m, 2)));
    setRow(r, 1, cross(row(m, 2), row(m, 0)));
    setRow(r, 2, cross(row(m, 0), row(m, 1)));
    return r;
}

// Column of the first element (rows outer, columns inner) whose magnitude is
// strictly the largest; -1 for an all-zero 3x3.
int largestColumn(const Matrix4& m) {
    float max = 0.0f;
    int col = -1;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const float a = absf(m.at(i, j));
            if (a > max) {
                max = a;
                col = j;
            }
        }
    }
    return col;
}

// Householder vector u with (I - u*u^T)*v = (0, 0, -+|v|).
Vector3 makeReflector(const Vector3& v) {
    const float s = sqrtf32(dot(v, v));
    Vector3 u{v.x, v.y, v.z + (v.z < 0.0f ? -s : s)};
    const float f = static_cast<float>(std::sqrt(2.0 / static_cast<double>(dot(u, u))));
    return {u.x * f, u.y * f, u.z * f};
}

// M := (I - u*u^T) * M.
void reflectColumns(Matrix4& m, const Vector3& u) {
    for (int i = 0; i < 3; ++i) {
        const float s = u.x * m.at(0, i) + u.y * m.at(1, i) + u.z * m.at(2, i);
        for (int j = 0; j < 3; ++j) {
            m.at(j, i) -= component(u, j) * s;
        }
    }
}

// M := M * (I - u*u^T).
void reflectRows(Matrix4& m, const Vector3& u) {
    for (int i = 0; i < 3; ++i) {
        const float s = dot(u, row(m, i));
        for (int j = 0; j < 3; ++j) {
            m.at(i, j) -= component(u, j) * s;
        }
    }
}

// Orthogonal polar factor of a singular m from its adjoint transpose: two
// reflections bring m's range into the xy plane, where the 2x2 factor is a
// plane rotation (or reflection). Rank 1 or 0 gives the identity.
Matrix4 rank2Orthogonal(Matrix4 m, const Matrix4& madjT) {
    Matrix4 q;
    const int col = largestColumn(madjT);
    if (col < 0) {
        return q;
    }
    const Vector3 e1 = makeReflector(column(madjT, col));
    reflectColumns(m, e1);
    const Vector3 e2 = makeReflector(cross(row(m, 0), row(m, 1)));
    reflectRows(m, e2);

    const float w = m.at(0, 0);
    const float x = m.at(0, 1);
    const float y = m.at(1, 0);
    const float z = m.at(1, 1);
    if (w * z > x * y) {
        float c = z + w;
        float s = y - x;
        const float d = sqrtf32(c * c + s * s);
        c = c / d;
        s = s / d;
        q.at(0, 0) = q.at(1, 1) = c;
        q.at(1, 0) = s;
        q.at(0, 1) = -s;
    } else {
        float c = z - w;
        float s = y + x;
        const float d = sqrtf32(c * c + s * s);
        c = c / d;
        s = s / d;
        q.at(1, 1) = c;
        q.at(0, 0) = -c;
        q.at(0, 1) = q.at(1, 0) = s;
    }
    q.at(0, 2) = q.at(2, 0) = q.at(1, 2) = q.at(2, 1) = 0.0f;
    q.at(2, 2) = 1.0f;
    reflectColumns(q, e1);
    reflectRows(q, e2);
    return q;
}

void setQuaternionComponent(Quaternion& q, int i, float value) {
    if (i == 0) {
        q.x = value;
    } else if (i == 1) {
        q.y = value;
    } else {
        q.z = value;
    }
}

// a[0], a[1], a[2] := a[1], a[2], a[0] when left, else a[2], a[0], a[1].
void rotateThree(float a[3], bool left) {
    if (left) {
        const float t = a[0];
        a[0] = a[1];
        a[1] = a[2];
        a[2] = t;
    } else {
        const float t = a[2];
        a[2] = a[1];
        a[1] = a[0];
        a[0] = t;
    }
}

float withSign(bool negative, float v) { return negative ? -v : v; }

} // namespace

AffineDecomposition decomposeAffine(const Matrix4& a) {
    AffineDecomposition d;
    d.translation = {a.at(0, 3), a.at(1, 3), a.at(2, 3), 0.0f};
    PolarDecomposition polar = polarDecompose(a);
    if (polar.det < 0.0f) {
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                polar.q.at(i, j) = -polar.q.at(i, j);
            }
        }
        d.determinantSign = -1.0f;
    } else {
        d.determinantSign = 1.0f;
    }
    d.rotation = quaternionFromMatrix(polar.q);
    const SpectralDecomposition spectral = spectralDecompose(polar.s);
    d.scaleFactors = spectral.k;
    d.stretchRotation = quaternionFromMatrix(spectral.u);
    const Quaternion p = adjustSpectralAxes(d.stretchRotation, d.scaleFactors);
    d.stretchRotation = multiply(d.stretchRotation, p);
    return d;
}

PolarDecomposition polarDecompose(const Matrix4& m, int maxIterations) {
    PolarDecomposition result;
    Matrix4 mk = transpose3x3(m);
    float m1 = normOne(mk);
    float mInf = normInf(mk);
    float det = 0.0f;
    int iterations = 0;
    for (;;) {
        ++iterations;
        const Matrix4 madjT = adjointTranspose(mk);
        det = dot(row(mk, 0), row(madjT, 0));
        if (det == 0.0f) {
            mk = rank2Orthogonal(mk, madjT);
            break;
        }
        const float a1 = normOne(madjT);
        const float aInf = normInf(madjT);
        const float gamma = sqrtf32(sqrtf32((a1 * aInf) / (m1 * mInf)) / absf(det));
        const float g1 = static_cast<float>(0.5 * gamma);
        const float g2 = static_cast<float>(0.5 / (gamma * det));
        Matrix4 e = mk;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                mk.at(i, j) = g1 * mk.at(i, j) + g2 * madjT.at(i, j);
            }
        }
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                e.at(i, j) -= mk.at(i, j);
            }
        }
        const float eOne = normOne(e);
        m1 = normOne(mk);
        mInf = normInf(mk);
        // Written so that a NaN tolerance test also ends the loop.
        if (!(eOne > m1 * POLAR_TOLERANCE) || iterations >= maxIterations) {
            break;
        }
    }

    result.q = transpose3x3(mk);
    pad(result.q);
    multiply3x3(mk, m, result.s);
    pad(result.s);
    for (int i = 0; i < 3; ++i) {
        for (int j = i; j < 3; ++j) {
            const float v = static_cast<float>(0.5 * (result.s.at(i, j) + result.s.at(j, i)));
            result.s.at(j, i) = v;
            result.s.at(i, j) = v;
        }
    }
    result.det = det;
    result.iterations = iterations;
    return result;
}

SpectralDecomposition spectralDecompose(const Matrix4& s) {
    SpectralDecomposition result;
    Matrix4& u = result.u;
    double diag[3] = {s.at(0, 0), s.at(1, 1), s.at(2, 2)};
    // off[i] is the element whose row and column omit index i.
    double off[3] = {s.at(1, 2), s.at(2, 0), s.at(0, 1)};
    for (int sweep = JACOBI_MAX_SWEEPS; sweep > 0; --sweep) {
        const float sm = static_cast<float>(std::fabs(off[0]) + std::fabs(off[1]) + std::fabs(off[2]));
        if (sm == 0.0f) {
            break;
        }
        ++result.sweeps;
        for (int i = 2; i >= 0; --i) {
            const int p = NEXT[i];
            const int q = NEXT[p];
            const double a = std::fabs(off[i]);
            const double g = JACOBI_NEGLIGIBLE_FACTOR * a;
            if (a > 0.0) {
                const double h = diag[q] - diag[p];
                const double absH = std::fabs(h);
                double t;
                if (absH + g == absH) {
                    t = off[i] / h;
                } else {
                    const double theta = 0.5 * h / off[i];
                    t = 1.0 / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                    if (theta < 0.0) {
                        t = -t;
                    }
                }
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double sn = t * c;
                const double tau = sn / (c + 1.0);
                const double ta = t * off[i];
                off[i] = 0.0;
                diag[p] -= ta;
                diag[q] += ta;
                const double o = off[q];
                off[q] -= sn * (off[p] + tau * off[q]);
                off[p] += sn * (o - tau * off[p]);
                for (int j = 2; j >= 0; --j) {
                    const double ua = u.at(j, p);
                    const double ub = u.at(j, q);
                    u.at(j, p) = static_cast<float>(ua - sn * (ub + tau * ua));
                    u.at(j, q) = static_cast<float>(ub + sn * (ua - tau * ub));
                }
            }
        }
    }
    result.k = {static_cast<float>(diag[0]), static_cast<float>(diag[1]), static_cast<float>(diag[2]), 1.0f};
    return result;
}

Quaternion adjustSpectralAxes(const Quaternion& qIn, Vector4& k) {
    Quaternion q = qIn;
    float ka[3] = {k.x, k.y, k.z};
    // turn: the axis about which equal factors leave a free turn; 3 when all
    // three are equal, -1 when all differ.
    int turn = -1;
    if (ka[0] == ka[1]) {
        turn = (ka[0] == ka[2]) ? 3 : 2;
    } else if (ka[0] == ka[2]) {
        turn = 1;
    } else if (ka[1] == ka[2]) {
        turn = 0;
    }

    Quaternion p;
    if (turn >= 0) {
        if (turn == 3) {
            return conjugate(q);
        }
        // Bring the free axis to Z.
        Quaternion qtoz;
        if (turn == 0) {
            qtoz = X_TO_Z;
            q = multiply(q, qtoz);
            std::swap(ka[0], ka[2]);
        } else if (turn == 1) {
            qtoz = Y_TO_Z;
            q = multiply(q, qtoz);
            std::swap(ka[1], ka[2]);
        } else {
            qtoz = Q_0001;
        }
        q = conjugate(q);
        double mag[3];
        bool neg[3];
        mag[0] = static_cast<double>(q.z) * q.z + static_cast<double>(q.w) * q.w - 0.5;
        mag[1] = static_cast<double>(q.x) * q.z - static_cast<double>(q.y) * q.w;
        mag[2] = static_cast<double>(q.y) * q.z + static_cast<double>(q.x) * q.w;
        for (int i = 0; i < 3; ++i) {
            neg[i] = mag[i] < 0.0;
            if (neg[i]) {
                mag[i] = -mag[i];
            }
        }
        int win;
        if (mag[0] > mag[1]) {
            win = (mag[0] > mag[2]) ? 0 : 2;
        } else {
            win = (mag[1] > mag[2]) ? 1 : 2;
        }
        if (win == 0) {
            p = neg[0] ? Q_1000 : Q_0001;
        } else if (win == 1) {
            p = neg[1] ? Q_PPMM : Q_PPPP;
            rotateThree(ka, false);
        } else {
            p = neg[2] ? Q_MPMM : Q_PPPM;
            rotateThree(ka, true);
        }
        const Quaternion qp = multiply(q, p);
        const double t = std::sqrt(mag[win] + 0.5);
        p = multiply(p, Quaternion{0.0f, 0.0f, static_cast<float>(-qp.z / t), static_cast<float>(qp.w / t)});
        p = multiply(qtoz, conjugate(p));
    } else {
        float qa[4] = {q.x, q.y, q.z, q.w};
        float pa[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        bool neg[4];
        unsigned par = 0;
        for (int i = 0; i < 4; ++i) {
            neg[i] = qa[i] < 0.0f;
            if (neg[i]) {
                qa[i] = -qa[i];
            }
            par ^= neg[i] ? 1u : 0u;
        }
        // Indices of the two largest components: hi the largest, lo the next.
        unsigned lo = (qa[0] > qa[1]) ? 0u : 1u;
        unsigned hi = (qa[2] > qa[3]) ? 2u : 3u;
        if (qa[lo] > qa[hi]) {
            if (qa[lo ^ 1u] > qa[hi]) {
                hi = lo;
                lo ^= 1u;
            } else {
                std::swap(hi, lo);
            }
        } else {
            if (qa[hi ^ 1u] > qa[lo]) {
                lo = hi ^ 1u;
            }
        }
        // Candidates: a turn by 120 degrees about a diagonal (all), by 90
        // degrees about an axis (two), by 180 degrees about an axis (big).
        const double all = (qa[0] + qa[1] + qa[2] + qa[3]) * 0.5;
        const double two = (qa[hi] + qa[lo]) * SQRT_HALF;
        const double big = qa[hi];
        if (all > two) {
            if (all > big) {
                for (int i = 0; i < 4; ++i) {
                    pa[i] = withSign(neg[i], 0.5f);
                }
                rotateThree(ka, par != 0);
            } else {
                pa[hi] = withSign(neg[hi], 1.0f);
            }
        } else {
            if (two > big) {
                pa[hi] = withSign(neg[hi], SQRT_HALF_F);
                pa[lo] = withSign(neg[lo], SQRT_HALF_F);
                if (lo > hi) {
                    std::swap(hi, lo);
                }
                if (hi == 3u) {
                    hi = static_cast<unsigned>(TWO_AXIS_PARTNER[lo]);
                    lo = 3u - hi - lo;
                }
                std::swap(ka[hi], ka[lo]);
            } else {
                pa[hi] = withSign(neg[hi], 1.0f);
            }
        }
        p = {-pa[0], -pa[1], -pa[2], pa[3]};
    }
    k.x = ka[0];
    k.y = ka[1];
    k.z = ka[2];
    return p;
}

Quaternion quaternionFromMatrix(const Matrix4& m) {
    // Divides by the largest component: w when the trace is not negative (then
    // |w| >= 1/2), otherwise the one of x, y, z with the largest diagonal entry.
    Quaternion qu;
    const double tr = m.at(0, 0) + m.at(1, 1) + m.at(2, 2);
    if (tr >= 0.0) {
        double s = std::sqrt(tr + m.at(3, 3));
        qu.w = static_cast<float>(s * 0.5);
        s = 0.5 / s;
        qu.x = static_cast<float>((m.at(2, 1) - m.at(1, 2)) * s);
        qu.y = static_cast<float>((m.at(0, 2) - m.at(2, 0)) * s);
        qu.z = static_cast<float>((m.at(1, 0) - m.at(0, 1)) * s);
    } else {
        int h = 0;
        if (m.at(1, 1) > m.at(0, 0)) {
            h = 1;
        }
        if (m.at(2, 2) > m.at(h, h)) {
            h = 2;
        }
        const int i = h;
        const int j = NEXT[i];
        const int k = NEXT[j];
        double s = sqrtf32((m.at(i, i) - (m.at(j, j) + m.at(k, k))) + m.at(3, 3));
        setQuaternionComponent(qu, i, static_cast<float>(s * 0.5));
        s = 0.5 / s;
        setQuaternionComponent(qu, j, static_cast<float>((m.at(i, j) + m.at(j, i)) * s));
        setQuaternionComponent(qu, k, static_cast<float>((m.at(k, i) + m.at(i, k)) * s));
        qu.w = static_cast<float>((m.at(k, j) - m.at(j, k)) * s);
    }
    if (m.at(3, 3) != 1.0f) {
        qu = scaled(qu, static_cast<float>(1.0 / std::sqrt(static_cast<double>(m.at(3, 3)))));
    }
    return qu;
}

Matrix4 lookAtMatrix(const Vector3& eye, const Vector3& target, const Vector3& up) {
    const Vector3 f = normalize(subtract(target, eye));
    Vector3 hint = up;
    if (approximatelyEqual(hint, {0.0f, 1.0f, 0.0f})) {
        if (approximatelyEqual(hint, f)) {
            hint = {0.0f, 0.0f, -1.0f};
        } else if (approximatelyEqual(negate(hint), f)) {
            hint = {0.0f, 0.0f, 1.0f};
        }
    } else if (approximatelyEqual(hint, {0.0f, 0.0f, 1.0f})) {
        if (approximatelyEqual(hint, f)) {
            hint = {0.0f, 1.0f, 0.0f};
        } else if (approximatelyEqual(negate(hint), f)) {
            hint = {0.0f, -1.0f, 0.0f};
        }
    }
    Vector3 r = cross(hint, f);
    // The up column comes from the unnormalised right vector.
    Vector3 u = cross(f, r);
    r = normalize(r);
    u = normalize(u);

    Matrix4 result;
    const Vector3 columns[3] = {r, u, f};
    for (int c = 0; c < 3; ++c) {
        result.at(0, c) = columns[c].x;
        result.at(1, c) = columns[c].y;
        result.at(2, c) = columns[c].z;
    }
    return result;
}

} // namespace bxml
