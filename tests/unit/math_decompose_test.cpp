#include "contract/transform.h"
#include "math/decompose.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace bxml {
namespace {

constexpr float SIN45 = 0.70710677f;
constexpr float NOT_A_NUMBER = std::numeric_limits<float>::quiet_NaN();
constexpr float INF = std::numeric_limits<float>::infinity();

Matrix4 fromRows(const float r[12]) {
    Matrix4 m;
    for (int i = 0; i < 12; ++i) {
        m.m[i] = r[i];
    }
    return m;
}

Matrix4 diagonal(float a, float b, float c) {
    Matrix4 m;
    m.at(0, 0) = a;
    m.at(1, 1) = b;
    m.at(2, 2) = c;
    return m;
}

// 3x3 product in double, for checking results without adding float rounding.
Matrix4 product(const Matrix4& a, const Matrix4& b) {
    Matrix4 c;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double s = 0.0;
            for (int k = 0; k < 3; ++k) {
                s += static_cast<double>(a.at(i, k)) * b.at(k, j);
            }
            c.at(i, j) = static_cast<float>(s);
        }
    }
    return c;
}

Matrix4 transposed(const Matrix4& a) {
    Matrix4 t;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            t.at(i, j) = a.at(j, i);
        }
    }
    return t;
}

// U * diag(k) * U^T with U the matrix of q.
Matrix4 stretchMatrix(const Quaternion& q, const Vector4& k) {
    const Matrix4 u = matrixFromQuaternion(q);
    return product(product(u, diagonal(k.x, k.y, k.z)), transposed(u));
}

// Largest element-wise difference; infinite when any difference is NaN, so that
// a NaN result never passes a tolerance check.
float maxDifference3x3(const Matrix4& a, const Matrix4& b) {
    float d = 0.0f;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const float e = std::fabs(a.at(i, j) - b.at(i, j));
            if (std::isnan(e)) {
                return INF;
            }
            d = std::max(d, e);
        }
    }
    return d;
}

Matrix4 timesSign(float sign, Matrix4 m) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            m.at(i, j) *= sign;
        }
    }
    return m;
}

void expectOrthogonal(const Matrix4& q, float tolerance) {
    const Matrix4 qtq = product(transposed(q), q);
    EXPECT_LE(maxDifference3x3(qtq, Matrix4{}), tolerance);
}

void expectQuaternion(const Quaternion& q, float x, float y, float z, float w, float tolerance = 0.0f) {
    EXPECT_NEAR(q.x, x, tolerance);
    EXPECT_NEAR(q.y, y, tolerance);
    EXPECT_NEAR(q.z, z, tolerance);
    EXPECT_NEAR(q.w, w, tolerance);
}

// Same rotation: q or -q.
void expectSameRotation(const Quaternion& a, const Quaternion& b, float tolerance) {
    const float s = (a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w) < 0.0f ? -1.0f : 1.0f;
    expectQuaternion(a, s * b.x, s * b.y, s * b.z, s * b.w, tolerance);
}

Quaternion randomRotation(std::mt19937& rng) {
    std::normal_distribution<float> n;
    return normalize(Quaternion{n(rng), n(rng), n(rng), n(rng)});
}

// The 24 rotations that map the coordinate axes onto themselves (each with
// both signs): the turns that relabel stretch factors.
std::vector<Quaternion> axisPermutingRotations() {
    std::vector<Quaternion> out;
    for (int i = 0; i < 4; ++i) {
        float c[4] = {0, 0, 0, 0};
        c[i] = 1.0f;
        out.push_back({c[0], c[1], c[2], c[3]});
    }
    for (int signs = 0; signs < 16; ++signs) {
        float c[4];
        for (int i = 0; i < 4; ++i) {
            c[i] = (signs >> i & 1) ? -0.5f : 0.5f;
        }
        out.push_back({c[0], c[1], c[2], c[3]});
    }
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            for (float sj : {SIN45, -SIN45}) {
                float c[4] = {0, 0, 0, 0};
                c[i] = SIN45;
                c[j] = sj;
                out.push_back({c[0], c[1], c[2], c[3]});
            }
        }
    }
    return out;
}

// The same 24 rotations as exact signed permutation matrices (determinant +1).
std::vector<Matrix4> axisPermutingMatrices() {
    const int perms[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 2, 1}, {2, 1, 0}, {1, 0, 2}};
    std::vector<Matrix4> out;
    for (int p = 0; p < 6; ++p) {
        for (int signs = 0; signs < 8; ++signs) {
            Matrix4 m;
            for (int i = 0; i < 3; ++i) {
                for (int j = 0; j < 3; ++j) {
                    m.at(i, j) = 0.0f;
                }
                m.at(i, perms[p][i]) = (signs >> i & 1) ? -1.0f : 1.0f;
            }
            // Odd permutations (p >= 3) need an odd number of minus signs.
            const int minus = (signs & 1) + (signs >> 1 & 1) + (signs >> 2 & 1);
            if ((minus % 2 == 1) == (p >= 3)) {
                out.push_back(m);
            }
        }
    }
    return out;
}

// T * R * diag(scale) from a Transform filled by setTransformFromMatrix.
Matrix4 rebuild(const Transform& t) {
    Matrix4 m = matrixFromQuaternion(t.rotation);
    const float s[3] = {t.scale.x, t.scale.y, t.scale.z};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            m.at(i, j) *= s[j];
        }
    }
    m.at(0, 3) = t.position.x;
    m.at(1, 3) = t.position.y;
    m.at(2, 3) = t.position.z;
    return m;
}

// Rotation times per-axis scale: an affine matrix without shear.
Matrix4 rotationTimesScale(const Quaternion& q, const float s[3]) {
    Matrix4 m = matrixFromQuaternion(q);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            m.at(i, j) *= s[j];
        }
    }
    return m;
}

// --- decomposeAffine / setTransformFromMatrix ---

TEST(Decompose, IdentityGivesIdentityParts) {
    const AffineDecomposition d = decomposeAffine(Matrix4{});
    EXPECT_EQ(d.translation.x, 0.0f);
    EXPECT_EQ(d.translation.y, 0.0f);
    EXPECT_EQ(d.translation.z, 0.0f);
    EXPECT_EQ(d.translation.w, 0.0f);
    expectQuaternion(d.rotation, 0, 0, 0, 1);
    EXPECT_EQ(d.scaleFactors.x, 1.0f);
    EXPECT_EQ(d.scaleFactors.y, 1.0f);
    EXPECT_EQ(d.scaleFactors.z, 1.0f);
    EXPECT_EQ(d.scaleFactors.w, 1.0f);
    EXPECT_EQ(d.determinantSign, 1.0f);
    expectQuaternion(d.stretchRotation, 0, 0, 0, 1);
}

TEST(Decompose, DiagonalScaleWithTranslation) {
    const float rows[12] = {2, 0, 0, 5, 0, 3, 0, 6, 0, 0, 4, 7};
    Transform t;
    setTransformFromMatrix(fromRows(rows), t);
    EXPECT_EQ(t.position.x, 5.0f);
    EXPECT_EQ(t.position.y, 6.0f);
    EXPECT_EQ(t.position.z, 7.0f);
    EXPECT_EQ(t.scale.x, 2.0f);
    EXPECT_EQ(t.scale.y, 3.0f);
    EXPECT_EQ(t.scale.z, 4.0f);
    expectQuaternion(t.rotation, 0, 0, 0, 1);
}

TEST(Decompose, MirrorGivesNegativeSign) {
    const AffineDecomposition d = decomposeAffine(diagonal(-1.0f, 1.0f, 1.0f));
    EXPECT_EQ(d.determinantSign, -1.0f);
    // The flipped Q is diag(1, -1, -1): half a turn about X.
    expectQuaternion(d.rotation, 1, 0, 0, 0);
    EXPECT_EQ(d.scaleFactors.x, 1.0f);
    EXPECT_EQ(d.scaleFactors.y, 1.0f);
    EXPECT_EQ(d.scaleFactors.z, 1.0f);

    Transform t;
    setTransformFromMatrix(diagonal(-1.0f, 1.0f, 1.0f), t);
    EXPECT_EQ(t.scale.x, -1.0f);
    EXPECT_EQ(t.scale.y, -1.0f);
    EXPECT_EQ(t.scale.z, -1.0f);
    expectQuaternion(t.rotation, 1, 0, 0, 0);
    EXPECT_LE(maxDifference3x3(rebuild(t), diagonal(-1.0f, 1.0f, 1.0f)), 0.0f);
}

TEST(Decompose, UniformScaleWithQuarterTurnAboutZ) {
    const float rows[12] = {0, -2, 0, 0, 2, 0, 0, 0, 0, 0, 2, 0};
    Transform t;
    setTransformFromMatrix(fromRows(rows), t);
    EXPECT_EQ(t.scale.x, 2.0f);
    EXPECT_EQ(t.scale.y, 2.0f);
    EXPECT_EQ(t.scale.z, 2.0f);
    expectQuaternion(t.rotation, 0.0f, 0.0f, SIN45, SIN45);
}

TEST(Decompose, RowThreeOfTheInputIsIgnored) {
    const float rows[12] = {0, -2, 0, 1, 3, 0, 0, 2, 0, 0, 4, 3};
    Matrix4 m = fromRows(rows);
    Transform expected;
    setTransformFromMatrix(m, expected);
    m.at(3, 0) = 7.0f;
    m.at(3, 1) = -1.0f;
    m.at(3, 2) = 0.5f;
    m.at(3, 3) = 4.0f;
    Transform t;
    t.axisX = {9, 9, 9};
    t.auxiliary = {8, 8, 8};
    t.matrix.at(1, 3) = 6.0f;
    setTransformFromMatrix(m, t);
    expectQuaternion(t.rotation, expected.rotation.x, expected.rotation.y, expected.rotation.z, expected.rotation.w);
    EXPECT_EQ(t.scale.x, expected.scale.x);
    EXPECT_EQ(t.scale.y, expected.scale.y);
    EXPECT_EQ(t.scale.z, expected.scale.z);
    EXPECT_EQ(t.position.z, 3.0f);
    // Only position, rotation and scale are written.
    EXPECT_EQ(t.axisX.x, 9.0f);
    EXPECT_EQ(t.auxiliary.y, 8.0f);
    EXPECT_EQ(t.matrix.at(1, 3), 6.0f);
}

TEST(Decompose, AllZeroMatrixGivesIdentityQAndZeroScale) {
    Matrix4 zero;
    for (float& v : zero.m) {
        v = 0.0f;
    }
    const PolarDecomposition polar = polarDecompose(zero);
    EXPECT_EQ(polar.det, 0.0f);
    EXPECT_EQ(polar.iterations, 1);
    const Matrix4 identity;
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(polar.q.m[i], identity.m[i]);
        EXPECT_EQ(polar.s.m[i], i == 15 ? 1.0f : 0.0f);
    }
    const AffineDecomposition d = decomposeAffine(zero);
    EXPECT_EQ(d.determinantSign, 1.0f);
    expectQuaternion(d.rotation, 0, 0, 0, 1);
    EXPECT_EQ(d.scaleFactors.x, 0.0f);
    EXPECT_EQ(d.scaleFactors.y, 0.0f);
    EXPECT_EQ(d.scaleFactors.z, 0.0f);
}

// Rotations with integer matrices keep every step exact, so stretch factors
// that are equal in the input stay exactly equal and the equal-factor paths
// are taken.
TEST(Decompose, EqualScaleFactorsTakeEqualFactorPathsAndReconstruct) {
    const float patterns[][3] = {{2, 2, 2}, {2, 2, 3}, {2, 3, 2}, {3, 2, 2}, {-2, 2, 3}, {0.5f, 4, 4}};
    const std::vector<Matrix4> rotations = axisPermutingMatrices();
    ASSERT_EQ(rotations.size(), 24u);
    for (const Matrix4& r : rotations) {
        for (const auto& s : patterns) {
            Matrix4 m = r;
            for (int i = 0; i < 3; ++i) {
                for (int j = 0; j < 3; ++j) {
                    m.at(i, j) *= s[j];
                }
            }
            const AffineDecomposition d = decomposeAffine(m);
            const int equalPairs = (d.scaleFactors.x == d.scaleFactors.y) + (d.scaleFactors.x == d.scaleFactors.z) +
                                   (d.scaleFactors.y == d.scaleFactors.z);
            EXPECT_GE(equalPairs, 1);
            // The full decomposition F * R * U * K * U^T gives back the input.
            Matrix4 rebuilt =
                product(matrixFromQuaternion(d.rotation), stretchMatrix(d.stretchRotation, d.scaleFactors));
            EXPECT_LE(maxDifference3x3(timesSign(d.determinantSign, rebuilt), m), 2e-6f);

            Transform t;
            setTransformFromMatrix(m, t);
            EXPECT_LE(maxDifference3x3(rebuild(t), m), 2e-6f);
        }
    }
}

// Tolerance of the reconstruction: scales lie in [0.1, 10], so the condition
// number is at most 100. The polar iteration stops once a step changes Mk by at
// most 1e-6 of its norm, and with quadratic convergence the remaining error is
// far below that; what is left is float rounding (a few ulps, 1.2e-7 each, in
// Q, its quaternion and the quaternion's matrix). Measured worst case over
// 200,000 samples: 5.3e-7 of the largest scale. 1e-5 of the largest scale keeps
// a 20-fold margin while a wrong branch (a permuted axis, a lost sign) is off by
// the order of the scale itself.
TEST(DecomposeProperty, RandomRotationScaleTranslationReconstructs) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> exponent(-1.0f, 1.0f);
    std::uniform_real_distribution<float> offset(-1000.0f, 1000.0f);
    int maxIterations = 0;
    for (int n = 0; n < 20000; ++n) {
        const Quaternion q = randomRotation(rng);
        float s[3];
        for (float& v : s) {
            v = std::pow(10.0f, exponent(rng));
            if (rng() & 1u) {
                v = -v;
            }
        }
        Matrix4 m = rotationTimesScale(q, s);
        m.at(0, 3) = offset(rng);
        m.at(1, 3) = offset(rng);
        m.at(2, 3) = offset(rng);
        // Some rows 3 that are not (0, 0, 0, 1); they must not matter.
        if (n % 3 == 0) {
            m.at(3, 0) = offset(rng);
            m.at(3, 3) = offset(rng);
        }

        Transform t;
        setTransformFromMatrix(m, t);
        ASSERT_EQ(t.position.x, m.at(0, 3));
        ASSERT_EQ(t.position.y, m.at(1, 3));
        ASSERT_EQ(t.position.z, m.at(2, 3));
        ASSERT_NEAR(length(t.rotation), 1.0f, 1e-6f);
        const float largest = std::max({std::fabs(s[0]), std::fabs(s[1]), std::fabs(s[2])});
        ASSERT_LE(maxDifference3x3(rebuild(t), m), 1e-5f * largest) << "sample " << n;
        // The sign of the input's determinant decides the sign of the scale.
        const bool mirrored = ((s[0] < 0) != (s[1] < 0)) != (s[2] < 0);
        ASSERT_EQ(t.scale.x < 0.0f, mirrored) << "sample " << n;

        maxIterations = std::max(maxIterations, polarDecompose(m).iterations);
    }
    EXPECT_LE(maxIterations, 10);
}

TEST(DecomposeProperty, UniformScaleWithRandomRotationReconstructs) {
    std::mt19937 rng(77);
    for (int n = 0; n < 5000; ++n) {
        const Quaternion q = randomRotation(rng);
        const float s[3] = {1.5f, 1.5f, 1.5f};
        const Matrix4 m = rotationTimesScale(q, s);
        Transform t;
        setTransformFromMatrix(m, t);
        ASSERT_LE(maxDifference3x3(rebuild(t), m), 1e-5f) << "sample " << n;
        expectSameRotation(t.rotation, q, 1e-5f);
    }
}

// Sheared and arbitrary matrices: T * F * R * U * K * U^T still gives the input,
// which checks the stretch rotation and the permuted factors together.
TEST(DecomposeProperty, GeneralMatrixReconstructsFromAllParts) {
    std::mt19937 rng(4242);
    std::uniform_real_distribution<float> element(-5.0f, 5.0f);
    for (int n = 0; n < 20000; ++n) {
        Matrix4 m;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 4; ++j) {
                m.at(i, j) = element(rng);
            }
        }
        const AffineDecomposition d = decomposeAffine(m);
        ASSERT_NEAR(length(d.rotation), 1.0f, 1e-6f);
        ASSERT_NEAR(length(d.stretchRotation), 1.0f, 1e-6f);
        const Matrix4 rs = product(matrixFromQuaternion(d.rotation), stretchMatrix(d.stretchRotation, d.scaleFactors));
        float norm = 0.0f;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                norm = std::max(norm, std::fabs(m.at(i, j)));
            }
        }
        // Measured worst case 6.5e-7 of the largest element (same rounding
        // budget as above, plus U and K); 1e-5 keeps a 15-fold margin, while a
        // wrong axis order or a factor left unpermuted is off by order 1.
        ASSERT_LE(maxDifference3x3(timesSign(d.determinantSign, rs), m), 1e-5f * norm) << "sample " << n;
    }
}

// --- polarDecompose ---

TEST(Polar, RandomMatricesGiveOrthogonalQAndSymmetricS) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> element(-10.0f, 10.0f);
    int maxIterations = 0;
    for (int n = 0; n < 5000; ++n) {
        Matrix4 m;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                m.at(i, j) = element(rng);
            }
        }
        const PolarDecomposition p = polarDecompose(m);
        maxIterations = std::max(maxIterations, p.iterations);
        expectOrthogonal(p.q, 1e-6f);
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                ASSERT_EQ(p.s.at(i, j), p.s.at(j, i));
            }
        }
        ASSERT_LE(maxDifference3x3(product(p.q, p.s), m), 1e-4f);
    }
    EXPECT_LE(maxIterations, 10);
}

TEST(Polar, SingularMatrixTakesRankTwoStep) {
    // Small integers: the determinant is exactly 0 in float.
    const float rows[12] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0};
    const Matrix4 m = fromRows(rows);
    const PolarDecomposition p = polarDecompose(m);
    EXPECT_EQ(p.det, 0.0f);
    EXPECT_EQ(p.iterations, 1);
    expectOrthogonal(p.q, 1e-6f);
    EXPECT_LE(maxDifference3x3(product(p.q, p.s), m), 1e-5f);
    // S is positive semi-definite: its factors are not negative, one is zero.
    const SpectralDecomposition e = spectralDecompose(p.s);
    const float k[3] = {e.k.x, e.k.y, e.k.z};
    EXPECT_GE(*std::min_element(k, k + 3), -1e-5f);
    EXPECT_LE(std::fabs(*std::min_element(k, k + 3)), 1e-5f);
    EXPECT_EQ(p.q.at(3, 3), 1.0f);
    EXPECT_EQ(p.q.at(0, 3), 0.0f);
}

TEST(Polar, RankTwoStepHandlesEachPlaneOrientation) {
    // det(2x2 part after the reflections) positive and negative take the two
    // formulas of the plane factor.
    const float cases[][12] = {
        {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0},
        {0, 0, 0, 0, 0, 2, 1, 0, 0, 1, 3, 0},
        {1, 1, 0, 0, 1, -1, 0, 0, 0, 0, 0, 0},
        {0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
        // The adjoint's column is (0, 0, -1): the reflector must add -|v| to
        // z, or it degenerates to zero.
        {1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 0, 0},
    };
    for (const auto& rows : cases) {
        const Matrix4 m = fromRows(rows);
        const PolarDecomposition p = polarDecompose(m);
        ASSERT_EQ(p.det, 0.0f);
        expectOrthogonal(p.q, 1e-6f);
        EXPECT_LE(maxDifference3x3(product(p.q, p.s), m), 1e-5f);
    }
}

TEST(Polar, RandomSingularMatricesGiveThePolarFactor) {
    // A (3x2) * B (2x3) with small integers: rank 2 and an exactly zero float
    // determinant, with the plane factor turned by a general angle.
    std::mt19937 rng(2718);
    std::uniform_int_distribution<int> small(-4, 4);
    int rankTwo = 0;
    for (int n = 0; n < 500; ++n) {
        float a[3][2];
        float b[2][3];
        for (auto& r : a) {
            for (float& v : r) {
                v = static_cast<float>(small(rng));
            }
        }
        for (auto& r : b) {
            for (float& v : r) {
                v = static_cast<float>(small(rng));
            }
        }
        Matrix4 m;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                m.at(i, j) = a[i][0] * b[0][j] + a[i][1] * b[1][j];
            }
        }
        const PolarDecomposition p = polarDecompose(m);
        ASSERT_EQ(p.det, 0.0f);
        ASSERT_EQ(p.iterations, 1);
        // Rank 1 or 0 when every 2x2 minor vanishes; Q is then the identity,
        // covered below.
        bool anyMinor = false;
        for (int i = 0; i < 3; ++i) {
            const Vector3 c = cross(Vector3{m.at((i + 1) % 3, 0), m.at((i + 1) % 3, 1), m.at((i + 1) % 3, 2)},
                                    Vector3{m.at((i + 2) % 3, 0), m.at((i + 2) % 3, 1), m.at((i + 2) % 3, 2)});
            anyMinor = anyMinor || c.x != 0.0f || c.y != 0.0f || c.z != 0.0f;
        }
        if (!anyMinor) {
            continue;
        }
        ++rankTwo;
        float norm = 0.0f;
        for (int i = 0; i < 9; ++i) {
            norm = std::max(norm, std::fabs(m.at(i / 3, i % 3)));
        }
        // Q is built from two float Householder reflections and a plane turn:
        // about ten ulps (measured 1.3e-6), where a wrong sign gives order 1.
        expectOrthogonal(p.q, 4e-6f);
        ASSERT_LE(maxDifference3x3(product(p.q, p.s), m), 1e-5f * norm) << "sample " << n;
    }
    EXPECT_GT(rankTwo, 400);
}

TEST(Polar, RankOneGivesIdentityQ) {
    const float rows[12] = {1, 2, 3, 0, 2, 4, 6, 0, -3, -6, -9, 0};
    const PolarDecomposition p = polarDecompose(fromRows(rows));
    EXPECT_EQ(p.det, 0.0f);
    const Matrix4 identity;
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(p.q.m[i], identity.m[i]);
    }
}

TEST(Polar, IterationStopsAtTheCap) {
    const float rows[12] = {3, 1, 0, 0, 0, 0.5f, 2, 0, 1, 0, 7, 0};
    const Matrix4 m = fromRows(rows);
    ASSERT_GT(polarDecompose(m).iterations, 2);
    EXPECT_EQ(polarDecompose(m, 2).iterations, 2);
    EXPECT_EQ(polarDecompose(m, 1).iterations, 1);
}

TEST(Polar, NanAndInfiniteInputTerminate) {
    const float specials[] = {NOT_A_NUMBER, INF, -INF, std::numeric_limits<float>::max(), 1e20f, 1e-20f};
    for (float special : specials) {
        for (int at = 0; at < 9; ++at) {
            Matrix4 m;
            m.at(0, 1) = 0.5f;
            m.at(at / 3, at % 3) = special;
            const PolarDecomposition p = polarDecompose(m);
            EXPECT_GE(p.iterations, 1);
            EXPECT_LE(p.iterations, POLAR_MAX_ITERATIONS);
            const AffineDecomposition d = decomposeAffine(m);
            EXPECT_TRUE(d.determinantSign == 1.0f || d.determinantSign == -1.0f);
            Transform t;
            setTransformFromMatrix(m, t);
        }
        Matrix4 all;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 4; ++j) {
                all.at(i, j) = special;
            }
        }
        EXPECT_LE(polarDecompose(all).iterations, POLAR_MAX_ITERATIONS);
        Transform t;
        setTransformFromMatrix(all, t);
        // The translation is copied whatever the 3x3 holds.
        EXPECT_TRUE(t.position.x == special || (std::isnan(special) && std::isnan(t.position.x)));
    }
}

// --- spectralDecompose ---

TEST(Jacobi, DiagonalInputNeedsNoSweepAndKeepsOrder) {
    const SpectralDecomposition e = spectralDecompose(diagonal(3.0f, -1.0f, 2.0f));
    EXPECT_EQ(e.sweeps, 0);
    EXPECT_EQ(e.k.x, 3.0f);
    EXPECT_EQ(e.k.y, -1.0f);
    EXPECT_EQ(e.k.z, 2.0f);
    EXPECT_EQ(e.k.w, 1.0f);
    const Matrix4 identity;
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(e.u.m[i], identity.m[i]);
    }
}

TEST(Jacobi, StopsAfterTwentySweeps) {
    // A NaN off-diagonal sum is never 0 and no rotation can clear it.
    Matrix4 s = diagonal(1.0f, 2.0f, 3.0f);
    s.at(0, 1) = s.at(1, 0) = NOT_A_NUMBER;
    EXPECT_EQ(spectralDecompose(s).sweeps, JACOBI_MAX_SWEEPS);

    // A NaN on the diagonal spreads into the off-diagonal through the first
    // rotation.
    Matrix4 t = diagonal(1.0f, NOT_A_NUMBER, 3.0f);
    t.at(1, 2) = t.at(2, 1) = 0.5f;
    EXPECT_EQ(spectralDecompose(t).sweeps, JACOBI_MAX_SWEEPS);

    // Finite input settles long before the cap.
    Matrix4 u = diagonal(1.0f, 2.0f, 3.0f);
    u.at(1, 2) = u.at(2, 1) = 0.5f;
    u.at(0, 2) = u.at(2, 0) = -0.25f;
    EXPECT_LT(spectralDecompose(u).sweeps, JACOBI_MAX_SWEEPS);
}

TEST(Jacobi, RandomSymmetricMatricesAreDiagonalised) {
    std::mt19937 rng(31337);
    std::uniform_real_distribution<float> element(-4.0f, 4.0f);
    int maxSweeps = 0;
    for (int n = 0; n < 5000; ++n) {
        Matrix4 s;
        for (int i = 0; i < 3; ++i) {
            for (int j = i; j < 3; ++j) {
                s.at(i, j) = s.at(j, i) = element(rng);
            }
        }
        const SpectralDecomposition e = spectralDecompose(s);
        // Converged to an exactly zero off-diagonal sum before the cap.
        ASSERT_LT(e.sweeps, JACOBI_MAX_SWEEPS);
        maxSweeps = std::max(maxSweeps, e.sweeps);
        expectOrthogonal(e.u, 1e-6f);
        const Matrix4 back = product(product(e.u, diagonal(e.k.x, e.k.y, e.k.z)), transposed(e.u));
        ASSERT_LE(maxDifference3x3(back, s), 1e-5f) << "sample " << n;
    }
    EXPECT_LE(maxSweeps, 8);
}

// --- quaternionFromMatrix ---

TEST(QuaternionFromMatrix, EachBranchGivesTheRotation) {
    // Half turns about X, Y and Z have a negative trace and pick h = 0, 1, 2.
    expectQuaternion(quaternionFromMatrix(Matrix4{}), 0, 0, 0, 1);
    expectQuaternion(quaternionFromMatrix(diagonal(1, -1, -1)), 1, 0, 0, 0);
    expectQuaternion(quaternionFromMatrix(diagonal(-1, 1, -1)), 0, 1, 0, 0);
    expectQuaternion(quaternionFromMatrix(diagonal(-1, -1, 1)), 0, 0, 1, 0);

    std::mt19937 rng(5);
    int branchCounts[4] = {0, 0, 0, 0};
    for (int n = 0; n < 2000; ++n) {
        const Quaternion q = randomRotation(rng);
        const Matrix4 m = matrixFromQuaternion(q);
        const float tr = m.at(0, 0) + m.at(1, 1) + m.at(2, 2);
        int branch = 0;
        if (tr < 0.0f) {
            const float d[3] = {m.at(0, 0), m.at(1, 1), m.at(2, 2)};
            branch = 1 + static_cast<int>(std::max_element(d, d + 3) - d);
        }
        ++branchCounts[branch];
        expectSameRotation(quaternionFromMatrix(m), q, 2e-6f);
    }
    for (int count : branchCounts) {
        EXPECT_GT(count, 0);
    }
}

// Equal diagonal entries keep the earlier axis as the pivot. The matrices are
// not rotations, so the pivot shows in the result.
TEST(QuaternionFromMatrix, DiagonalTieKeepsTheEarlierAxis) {
    const float yz[12] = {-1, 0, 0, 0, 0, 0, 1, 0, 0, 0.5f, 0, 0};
    const Quaternion a = quaternionFromMatrix(fromRows(yz));
    EXPECT_FLOAT_EQ(a.y, 0.5f * std::sqrt(2.0f));
    EXPECT_FLOAT_EQ(a.z, 1.5f * 0.5f / std::sqrt(2.0f));

    const float xy[12] = {0, 1, 0, 0, 0.5f, 0, 0, 0, 0, 0, -1, 0};
    const Quaternion b = quaternionFromMatrix(fromRows(xy));
    EXPECT_FLOAT_EQ(b.x, 0.5f * std::sqrt(2.0f));
    EXPECT_FLOAT_EQ(b.y, 1.5f * 0.5f / std::sqrt(2.0f));

    const float xz[12] = {0, 0, 0.5f, 0, 0, -1, 0, 0, 1, 0, 0, 0};
    const Quaternion c = quaternionFromMatrix(fromRows(xz));
    EXPECT_FLOAT_EQ(c.x, 0.5f * std::sqrt(2.0f));
    EXPECT_FLOAT_EQ(c.z, 1.5f * 0.5f / std::sqrt(2.0f));
}

TEST(QuaternionFromMatrix, ScalesByInverseRootOfElement33) {
    Matrix4 m = diagonal(1, -1, -1);
    m.at(3, 3) = 4.0f;
    // Trace -1 stays negative: s = sqrt(1 + 2 + 4) before the scaling.
    const Quaternion q = quaternionFromMatrix(m);
    EXPECT_FLOAT_EQ(q.x, 0.5f * std::sqrt(7.0f) * 0.5f);
    EXPECT_EQ(q.y, 0.0f);
    EXPECT_EQ(q.w, 0.0f);

    Matrix4 n;
    n.at(3, 3) = 4.0f;
    const Quaternion r = quaternionFromMatrix(n);
    // sqrt(3 + 4) / 2, then times 1/2.
    EXPECT_FLOAT_EQ(r.w, std::sqrt(7.0f) * 0.25f);
}

// --- adjustSpectralAxes ---

struct FactorPattern {
    Vector4 k;
    const char* name;
};

// For every pattern of equal factors: q*p with the permuted factors describes
// the same stretch as q with the original ones, and q*p is at least as close to
// the identity as q turned by any axis-permuting rotation.
TEST(AdjustSpectralAxes, KeepsTheStretchAndFindsTheSmallestRotation) {
    const FactorPattern patterns[] = {
        {{1, 2, 3, 1}, "distinct"},
        {{2, 2, 3, 1}, "x == y"},
        {{2, 3, 2, 1}, "x == z"},
        {{3, 2, 2, 1}, "y == z"},
    };
    const std::vector<Quaternion> candidates = axisPermutingRotations();
    std::mt19937 rng(123);
    // For distinct factors p is one of the axis-permuting rotations; count its
    // kinds so that every one of them is known to occur.
    int thirdTurnEvenSigns = 0;
    int thirdTurnOddSigns = 0;
    int quarterTurns = 0;
    int halfTurnsOrNone = 0;
    for (const FactorPattern& pattern : patterns) {
        SCOPED_TRACE(pattern.name);
        for (int n = 0; n < 5000; ++n) {
            const Quaternion q = randomRotation(rng);
            Vector4 k = pattern.k;
            const Quaternion p = adjustSpectralAxes(q, k);
            if (pattern.k.x != pattern.k.y && pattern.k.x != pattern.k.z && pattern.k.y != pattern.k.z) {
                const float a = std::fabs(p.x);
                if (a == 0.5f) {
                    const int negatives = (q.x < 0) + (q.y < 0) + (q.z < 0) + (q.w < 0);
                    ++(negatives % 2 == 0 ? thirdTurnEvenSigns : thirdTurnOddSigns);
                } else if (std::fabs(p.x) == SIN45 || std::fabs(p.y) == SIN45 || std::fabs(p.z) == SIN45) {
                    ++quarterTurns;
                } else {
                    ++halfTurnsOrNone;
                }
            }
            const Quaternion qp = multiply(q, p);
            ASSERT_NEAR(length(qp), 1.0f, 1e-6f);
            ASSERT_LE(maxDifference3x3(stretchMatrix(qp, k), stretchMatrix(q, pattern.k)), 1e-5f) << "sample " << n;
            float best = 0.0f;
            for (const Quaternion& c : candidates) {
                best = std::max(best, std::fabs(multiply(q, c).w));
            }
            ASSERT_GE(std::fabs(qp.w), best - 1e-6f) << "sample " << n;
            EXPECT_EQ(k.w, 1.0f);
        }
    }
    EXPECT_GT(thirdTurnEvenSigns, 0);
    EXPECT_GT(thirdTurnOddSigns, 0);
    EXPECT_GT(quarterTurns, 0);
    EXPECT_GT(halfTurnsOrNone, 0);
}

TEST(AdjustSpectralAxes, AllEqualFactorsGiveTheConjugate) {
    const Quaternion q = normalize(Quaternion{0.2f, -0.4f, 0.1f, 0.8f});
    Vector4 k{2, 2, 2, 1};
    const Quaternion p = adjustSpectralAxes(q, k);
    expectQuaternion(p, -q.x, -q.y, -q.z, q.w);
    EXPECT_EQ(k.x, 2.0f);
    EXPECT_EQ(k.z, 2.0f);
}

TEST(AdjustSpectralAxes, PermutesFactorsWithTheAxes) {
    // U = quarter turn about Z takes X to Y: relabelling gives U*p = identity
    // with the first two factors swapped.
    Vector4 k{1, 2, 3, 1};
    const Quaternion u{0.0f, 0.0f, SIN45, SIN45};
    const Quaternion p = adjustSpectralAxes(u, k);
    expectQuaternion(multiply(u, p), 0, 0, 0, 1, 1e-6f);
    EXPECT_EQ(k.x, 2.0f);
    EXPECT_EQ(k.y, 1.0f);
    EXPECT_EQ(k.z, 3.0f);

    // A third of a turn about the diagonal cycles the three factors.
    Vector4 c{1, 2, 3, 1};
    const Quaternion diag{0.5f, 0.5f, 0.5f, 0.5f};
    const Quaternion pc = adjustSpectralAxes(diag, c);
    expectQuaternion(multiply(diag, pc), 0, 0, 0, 1, 1e-6f);
    EXPECT_LE(maxDifference3x3(stretchMatrix(diag, Vector4{1, 2, 3, 1}), diagonal(c.x, c.y, c.z)), 1e-6f);
}

// --- lookAtMatrix ---

void expectColumns(const Matrix4& m, const Vector3& r, const Vector3& u, const Vector3& f) {
    const Vector3 cols[3] = {r, u, f};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(m.at(0, c), cols[c].x) << "column " << c;
        EXPECT_EQ(m.at(1, c), cols[c].y) << "column " << c;
        EXPECT_EQ(m.at(2, c), cols[c].z) << "column " << c;
        EXPECT_EQ(m.at(3, c), 0.0f);
        EXPECT_EQ(m.at(c, 3), 0.0f);
    }
    EXPECT_EQ(m.at(3, 3), 1.0f);
}

TEST(LookAt, UpZWithTargetStraightAboveOrBelow) {
    const Vector3 eye{1, 2, 3};
    const Vector3 up{0, 0, 1};
    // Above: up becomes +Y.
    expectColumns(lookAtMatrix(eye, Vector3{1, 2, 10}, up), {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
    // Below: up becomes -Y.
    expectColumns(lookAtMatrix(eye, Vector3{1, 2, -10}, up), {1, 0, 0}, {0, -1, 0}, {0, 0, -1});
}

TEST(LookAt, UpYWithTargetStraightAboveOrBelow) {
    const Vector3 eye{1, 2, 3};
    const Vector3 up{0, 1, 0};
    // Above: up becomes -Z.
    expectColumns(lookAtMatrix(eye, Vector3{1, 7, 3}, up), {1, 0, 0}, {0, 0, -1}, {0, 1, 0});
    // Below: up becomes +Z.
    expectColumns(lookAtMatrix(eye, Vector3{1, -7, 3}, up), {1, 0, 0}, {0, 0, 1}, {0, -1, 0});
}

TEST(LookAt, NearlyParallelHintIsAlsoReplaced) {
    // Within NEAR_EPSILON of +Z in every component counts as +Z.
    const Matrix4 m = lookAtMatrix(Vector3{}, Vector3{0, 0, 5}, Vector3{5e-5f, 0, 1});
    expectColumns(m, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
}

void expectGeneralFrame(const Vector3& eye, const Vector3& target, const Vector3& up) {
    const Matrix4 m = lookAtMatrix(eye, target, up);
    const Vector3 f = normalize(subtract(target, eye));
    EXPECT_NEAR(m.at(0, 2), f.x, 1e-6f);
    EXPECT_NEAR(m.at(1, 2), f.y, 1e-6f);
    EXPECT_NEAR(m.at(2, 2), f.z, 1e-6f);
    expectOrthogonal(m, 1e-6f);
    const Vector3 r{m.at(0, 0), m.at(1, 0), m.at(2, 0)};
    const Vector3 u{m.at(0, 1), m.at(1, 1), m.at(2, 1)};
    const Vector3 rxu = cross(r, u);
    EXPECT_NEAR(rxu.x, f.x, 1e-6f);
    EXPECT_NEAR(rxu.y, f.y, 1e-6f);
    EXPECT_NEAR(rxu.z, f.z, 1e-6f);
    // The up column leans towards the hint; the eye is not stored.
    EXPECT_GT(dot(u, up), 0.0f);
    EXPECT_NEAR(dot(r, up), 0.0f, 1e-6f);
    EXPECT_EQ(m.at(0, 3), 0.0f);
}

TEST(LookAt, GeneralFrameIsRightHandedAndOrthonormal) {
    expectGeneralFrame(Vector3{1, -2, 0.5f}, Vector3{4, 2, 3}, Vector3{0, 0, 1});
    expectGeneralFrame(Vector3{1, -2, 0.5f}, Vector3{4, 2, 3}, Vector3{0, 1, 0});
    expectGeneralFrame(Vector3{0, 0, 0}, Vector3{-1, 0.5f, 2}, normalize(Vector3{1, 1, 0}));
}

TEST(LookAt, DegenerateInputsGiveZeroColumns) {
    // Target at the eye: every column is zero.
    expectColumns(lookAtMatrix(Vector3{1, 1, 1}, Vector3{1, 1, 1}, Vector3{0, 0, 1}), {0, 0, 0}, {0, 0, 0}, {0, 0, 0});
    // Any other hint is used as given, even parallel to the view.
    const Matrix4 m = lookAtMatrix(Vector3{}, Vector3{3, 0, 0}, Vector3{1, 0, 0});
    expectColumns(m, {0, 0, 0}, {0, 0, 0}, {1, 0, 0});
}

} // namespace
} // namespace bxml
