#include "contract/transform.h"

#include "math/decompose.h"

namespace bxml {

void resetTransform(Transform& t) { t = Transform{}; }

void axesFromMatrix(Transform& t) {
    Vector3* axes[3] = {&t.axisX, &t.axisY, &t.axisZ};
    for (int i = 0; i < 3; ++i) {
        *axes[i] = normalize(Vector3{t.matrix.at(0, i), t.matrix.at(1, i), t.matrix.at(2, i)});
    }
}

void setTransformFromMatrix(const Matrix4& m, Transform& t) {
    Matrix4 a = m;
    a.at(3, 0) = a.at(3, 1) = a.at(3, 2) = 0.0f;
    a.at(3, 3) = 1.0f;
    const AffineDecomposition d = decomposeAffine(a);
    t.scale = {d.scaleFactors.x, d.scaleFactors.y, d.scaleFactors.z};
    t.position = {d.translation.x, d.translation.y, d.translation.z};
    t.rotation = d.rotation;
    if (d.determinantSign < 0.0f) {
        scaleInPlace(t.scale, -1.0f);
    }
}

} // namespace bxml
