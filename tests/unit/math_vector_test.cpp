#include "contract/transform.h"
#include "math/vector_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace bxml {
namespace {

constexpr float SIN45 = 0.70710677f;

void expectVector(const Vector3& v, float x, float y, float z, float tolerance = 0.0f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

void expectQuaternion(const Quaternion& q, float x, float y, float z, float w, float tolerance = 0.0f) {
    EXPECT_NEAR(q.x, x, tolerance);
    EXPECT_NEAR(q.y, y, tolerance);
    EXPECT_NEAR(q.z, z, tolerance);
    EXPECT_NEAR(q.w, w, tolerance);
}

TEST(VectorMath, NormaliseGivesZeroUpToNearEpsilon) {
    expectVector(normalize(Vector3{0.0f, 0.0f, 0.0f}), 0.0f, 0.0f, 0.0f);
    const Vector3 atEpsilon{0.0f, NEAR_EPSILON, 0.0f};
    ASSERT_EQ(length(atEpsilon), NEAR_EPSILON);
    expectVector(normalize(atEpsilon), 0.0f, 0.0f, 0.0f);
    expectVector(normalize(Vector3{-5e-5f, 5e-5f, 5e-5f}), 0.0f, 0.0f, 0.0f);

    expectVector(normalize(Vector3{0.0f, 0.0f, 2.0f * NEAR_EPSILON}), 0.0f, 0.0f, 1.0f, 1e-6f);
    expectVector(normalize(Vector3{3.0f, 0.0f, -4.0f}), 0.6f, 0.0f, -0.8f, 1e-6f);
}

TEST(VectorMath, LengthOfZeroAndUnderflowingVectorsIsZero) {
    EXPECT_EQ(length(Vector3{}), 0.0f);
    EXPECT_EQ(length(Vector3{1e-30f, 0.0f, -1e-30f}), 0.0f);
    EXPECT_EQ(length(Vector3{2.0f, 3.0f, 6.0f}), 7.0f);
    EXPECT_EQ(squaredLength(Vector3{2.0f, 3.0f, 6.0f}), 49.0f);
}

TEST(VectorMath, DivideMultipliesByTheReciprocal) {
    // 5 * (1/3) and 5 / 3 round to different floats.
    ASSERT_NE(5.0f * (1.0f / 3.0f), 5.0f / 3.0f);
    const Vector3 v = divide(Vector3{5.0f, -5.0f, 5.0f}, 3.0f);
    EXPECT_EQ(v.x, 5.0f * (1.0f / 3.0f));
    EXPECT_EQ(v.y, -5.0f * (1.0f / 3.0f));
    const Quaternion q = divide(Quaternion{5.0f, 0.0f, 0.0f, 5.0f}, 3.0f);
    EXPECT_EQ(q.x, 5.0f * (1.0f / 3.0f));
    EXPECT_EQ(q.w, 5.0f * (1.0f / 3.0f));

    const Vector3 inf = divide(Vector3{1.0f, -1.0f, 0.0f}, 0.0f);
    EXPECT_EQ(inf.x, std::numeric_limits<float>::infinity());
    EXPECT_EQ(inf.y, -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(inf.z));
}

TEST(VectorMath, ComponentWiseOperations) {
    const Vector3 a{1.0f, 2.0f, 3.0f};
    const Vector3 b{-4.0f, 0.5f, 2.0f};
    expectVector(add(a, b), -3.0f, 2.5f, 5.0f);
    expectVector(subtract(a, b), 5.0f, 1.5f, 1.0f);
    expectVector(negate(a), -1.0f, -2.0f, -3.0f);
    expectVector(scaled(2.0f, b), -8.0f, 1.0f, 4.0f);
    Vector3 c = a;
    addInPlace(c, b);
    expectVector(c, -3.0f, 2.5f, 5.0f);
    scaleInPlace(c, -2.0f);
    expectVector(c, 6.0f, -5.0f, -10.0f);
    EXPECT_EQ(dot(a, b), 3.0f);
}

TEST(VectorMath, CrossIsRightHanded) {
    expectVector(cross(Vector3{1, 0, 0}, Vector3{0, 1, 0}), 0.0f, 0.0f, 1.0f);
    expectVector(cross(Vector3{0, 1, 0}, Vector3{0, 0, 1}), 1.0f, 0.0f, 0.0f);
    expectVector(cross(Vector3{0, 0, 1}, Vector3{1, 0, 0}), 0.0f, 1.0f, 0.0f);
    expectVector(cross(Vector3{1, 2, 3}, Vector3{4, 5, 6}), -3.0f, 6.0f, -3.0f);
}

TEST(VectorMath, ApproximateEqualityIsStrictAtNearEpsilon) {
    const Vector3 zero{};
    EXPECT_FALSE(approximatelyEqual(Vector3{NEAR_EPSILON, 0.0f, 0.0f}, zero));
    EXPECT_FALSE(approximatelyEqual(zero, Vector3{0.0f, -NEAR_EPSILON, 0.0f}));
    EXPECT_FALSE(approximatelyEqual(Vector3{0.0f, 0.0f, NEAR_EPSILON}, zero));

    const float below = std::nextafter(NEAR_EPSILON, 0.0f);
    EXPECT_TRUE(approximatelyEqual(Vector3{below, -below, below}, zero));
    EXPECT_TRUE(approximatelyEqual(Vector3{1.0f, 2.0f, 3.0f}, Vector3{1.00005f, 1.99995f, 3.0f}));
    EXPECT_FALSE(approximatelyEqual(Vector3{std::nanf(""), 0.0f, 0.0f}, zero));
}

TEST(VectorMath, NegativeComponentTestIsStrict) {
    EXPECT_FALSE(hasNegativeComponent(Vector3{0.0f, -0.0f, 0.0f}));
    EXPECT_FALSE(hasNegativeComponent(Vector3{1.0f, 2.0f, 3.0f}));
    EXPECT_FALSE(hasNegativeComponent(Vector3{std::nanf(""), 0.0f, 0.0f}));
    EXPECT_TRUE(hasNegativeComponent(Vector3{-1.0f, 0.0f, 0.0f}));
    EXPECT_TRUE(hasNegativeComponent(Vector3{0.0f, -1e-30f, 0.0f}));
    EXPECT_TRUE(hasNegativeComponent(Vector3{0.0f, 0.0f, -2.0f}));
}

TEST(VectorMath, TransformPointIgnoresRowThree) {
    const float values[16] = {0, -1, 0, 10, //
                              1, 0,  0, 20, //
                              0, 0,  2, 30, //
                              5, 6,  7, 8};
    const Matrix4 m = matrixFromValues(values);
    expectVector(transformPoint(Vector3{1.0f, 2.0f, 3.0f}, m), 8.0f, 21.0f, 36.0f);
}

TEST(VectorMath, InverseTransformPointUndoesARigidTransform) {
    const float values[16] = {0, -1, 0, 10, //
                              1, 0,  0, 20, //
                              0, 0,  1, 30, //
                              0, 0,  0, 1};
    const Matrix4 m = matrixFromValues(values);
    const Vector3 p{1.5f, -2.0f, 4.0f};
    const Vector3 back = inverseTransformPoint(transformPoint(p, m), m);
    expectVector(back, p.x, p.y, p.z);
    expectVector(inverseTransformPoint(Vector3{10.0f, 20.0f, 30.0f}, m), 0.0f, 0.0f, 0.0f);
}

TEST(QuaternionMath, NormaliseGivesIdentityUpToNearEpsilon) {
    expectQuaternion(normalize(Quaternion{0.0f, 0.0f, 0.0f, 0.0f}), 0.0f, 0.0f, 0.0f, 1.0f);
    const Quaternion atEpsilon{NEAR_EPSILON, 0.0f, 0.0f, 0.0f};
    ASSERT_EQ(length(atEpsilon), NEAR_EPSILON);
    expectQuaternion(normalize(atEpsilon), 0.0f, 0.0f, 0.0f, 1.0f);
    expectQuaternion(normalize(Quaternion{5e-5f, 0.0f, -5e-5f, 5e-5f}), 0.0f, 0.0f, 0.0f, 1.0f);
    expectQuaternion(normalize(Quaternion{0.0f, 0.0f, 0.0f, 2.0f}), 0.0f, 0.0f, 0.0f, 1.0f);
    expectQuaternion(normalize(Quaternion{1.0f, 1.0f, 1.0f, 1.0f}), 0.5f, 0.5f, 0.5f, 0.5f);
}

TEST(QuaternionMath, InverseDividesTheConjugateByTheLength) {
    expectQuaternion(inverse(Quaternion{0.0f, 0.0f, 0.0f, 0.0f}), 0.0f, 0.0f, 0.0f, 1.0f);
    // Dividing by the squared length would give w = 0.5.
    expectQuaternion(inverse(Quaternion{0.0f, 0.0f, 0.0f, 2.0f}), 0.0f, 0.0f, 0.0f, 1.0f);
    expectQuaternion(inverse(Quaternion{0.0f, 0.0f, 2.0f, 0.0f}), 0.0f, 0.0f, -1.0f, 0.0f);

    const Quaternion q = normalize(Quaternion{0.1f, -0.7f, 0.3f, 0.5f});
    expectQuaternion(multiply(q, inverse(q)), 0.0f, 0.0f, 0.0f, 1.0f, 1e-6f);
    expectQuaternion(multiply(inverse(q), q), 0.0f, 0.0f, 0.0f, 1.0f, 1e-6f);
}

TEST(QuaternionMath, ConjugateScaleAndLength) {
    const Quaternion q{1.0f, -2.0f, 3.0f, 4.0f};
    expectQuaternion(conjugate(q), -1.0f, 2.0f, -3.0f, 4.0f);
    expectQuaternion(scaled(q, 0.5f), 0.5f, -1.0f, 1.5f, 2.0f);
    EXPECT_EQ(squaredLength(q), 30.0f);
    EXPECT_EQ(length(Quaternion{0.0f, 0.0f, 0.0f, 0.0f}), 0.0f);
    EXPECT_EQ(length(Quaternion{2.0f, 2.0f, 2.0f, 2.0f}), 4.0f);
}

TEST(QuaternionMath, ProductAppliesRightOperandFirst) {
    const Quaternion aboutZ{0.0f, 0.0f, SIN45, SIN45};
    const Quaternion aboutX{SIN45, 0.0f, 0.0f, SIN45};
    const Vector3 y{0.0f, 1.0f, 0.0f};
    // X first: +Y -> +Z, then the turn about Z keeps +Z.
    expectVector(transformPoint(y, matrixFromQuaternion(multiply(aboutZ, aboutX))), 0.0f, 0.0f, 1.0f, 1e-6f);
    // Z first: +Y -> -X, then the turn about X keeps -X.
    expectVector(transformPoint(y, matrixFromQuaternion(multiply(aboutX, aboutZ))), -1.0f, 0.0f, 0.0f, 1e-6f);

    expectQuaternion(multiply(Quaternion{1, 2, 3, 4}, Quaternion{5, 6, 7, 8}), 24.0f, 48.0f, 48.0f, -6.0f);
}

TEST(QuaternionMath, MatrixOfIdentityIsIdentity) {
    const Matrix4 m = matrixFromQuaternion(Quaternion{0.0f, 0.0f, 0.0f, 1.0f});
    const Matrix4 identity;
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(m.m[i], identity.m[i]) << "element " << i;
    }
}

TEST(QuaternionMath, MatrixOfQuarterTurnAboutZ) {
    const Matrix4 m = matrixFromQuaternion(Quaternion{0.0f, 0.0f, SIN45, SIN45});
    expectVector(transformPoint(Vector3{1.0f, 0.0f, 0.0f}, m), 0.0f, 1.0f, 0.0f, 1e-6f);
    expectVector(transformPoint(Vector3{0.0f, 1.0f, 0.0f}, m), -1.0f, 0.0f, 0.0f, 1e-6f);
    expectVector(transformPoint(Vector3{0.0f, 0.0f, 1.0f}, m), 0.0f, 0.0f, 1.0f, 1e-6f);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m.at(i, 3), 0.0f);
        EXPECT_EQ(m.at(3, i), 0.0f);
    }
    EXPECT_EQ(m.at(3, 3), 1.0f);
}

TEST(QuaternionMath, MatrixOfGeneralRotationIsOrthonormal) {
    const Quaternion q = normalize(Quaternion{0.3f, -0.5f, 0.2f, 0.7f});
    const Matrix4 m = matrixFromQuaternion(q);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const float d = m.at(0, i) * m.at(0, j) + m.at(1, i) * m.at(1, j) + m.at(2, i) * m.at(2, j);
            EXPECT_NEAR(d, i == j ? 1.0f : 0.0f, 1e-6f);
        }
    }
    // The rotation axis stays fixed.
    const Vector3 axis{q.x, q.y, q.z};
    const Vector3 moved = transformPoint(axis, m);
    expectVector(moved, axis.x, axis.y, axis.z, 1e-6f);
}

TEST(MatrixMath, ValuesAreTakenInRowOrder) {
    float values[16];
    for (int i = 0; i < 16; ++i) {
        values[i] = static_cast<float>(i);
    }
    const Matrix4 m = matrixFromValues(values);
    EXPECT_EQ(m.at(0, 3), 3.0f);
    EXPECT_EQ(m.at(1, 0), 4.0f);
    EXPECT_EQ(m.at(3, 2), 14.0f);
    const Matrix4 copy = m;
    EXPECT_EQ(copy.at(2, 1), 9.0f);
}

TEST(MatrixMath, Product3x3LeavesTheOtherElements) {
    const float av[16] = {1, 2, 3, 90, 4, 5, 6, 91, 7, 8, 9, 92, 93, 94, 95, 96};
    const float bv[16] = {0, 1, 0, 80, -1, 0, 0, 81, 0, 0, 2, 82, 83, 84, 85, 86};
    const float cv[16] = {-1, -1, -1, 70, -1, -1, -1, 71, -1, -1, -1, 72, 73, 74, 75, 76};
    const Matrix4 a = matrixFromValues(av);
    const Matrix4 b = matrixFromValues(bv);
    Matrix4 c = matrixFromValues(cv);
    multiply3x3(a, b, c);
    const float expected[9] = {-2, 1, 6, -5, 4, 12, -8, 7, 18};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(c.at(i, j), expected[3 * i + j]) << i << "," << j;
        }
        EXPECT_EQ(c.at(i, 3), cv[4 * i + 3]);
        EXPECT_EQ(c.at(3, i), cv[12 + i]);
    }
    EXPECT_EQ(c.at(3, 3), 76.0f);

    Matrix4 aliased = a;
    multiply3x3(aliased, b, aliased);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(aliased.at(i, j), expected[3 * i + j]);
        }
    }
}

TEST(TransformRecord, DefaultsAndReset) {
    Transform t;
    t.axisX = {5, 5, 5};
    t.position = {1, 2, 3};
    t.scale = {0, 0, 0};
    t.matrix.at(0, 3) = 4.0f;
    t.rotation = {1, 0, 0, 0};
    t.auxiliary = {7, 7, 7};
    resetTransform(t);
    expectVector(t.axisX, 1, 0, 0);
    expectVector(t.axisY, 0, 1, 0);
    expectVector(t.axisZ, 0, 0, 1);
    expectVector(t.position, 0, 0, 0);
    expectVector(t.scale, 1, 1, 1);
    expectQuaternion(t.rotation, 0, 0, 0, 1);
    expectVector(t.auxiliary, 0, 0, 0);
    const Matrix4 identity;
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(t.matrix.m[i], identity.m[i]);
    }
}

TEST(TransformRecord, AxesAreNormalisedColumns) {
    Transform t;
    const float values[16] = {0, 0,  3e-5f, 9, //
                              2, 0,  0,     9, //
                              0, -4, 3e-5f, 9, //
                              1, 1,  1,     1};
    t.matrix = matrixFromValues(values);
    axesFromMatrix(t);
    expectVector(t.axisX, 0.0f, 1.0f, 0.0f);
    expectVector(t.axisY, 0.0f, 0.0f, -1.0f);
    // A column no longer than NEAR_EPSILON gives a zero axis.
    expectVector(t.axisZ, 0.0f, 0.0f, 0.0f);
    expectVector(t.position, 0.0f, 0.0f, 0.0f);
}

} // namespace
} // namespace bxml
