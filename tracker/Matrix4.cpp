#include "tracker/Matrix4.h"

#include <cmath>

Matrix4 zeroMatrix() { return Matrix4{}; }

Matrix4 identityMatrix() {
    Matrix4 m{};
    m[0] = m[5] = m[10] = m[15] = 1.0f;
    return m;
}

Matrix4 offsetMatrix(float x, float y, float z) {
    Matrix4 m{};
    m[3] = x;
    m[7] = y;
    m[11] = z;
    return m;
}

Matrix4 axisAngleMatrix(float x, float y, float z, float angleDegrees) {
    float ux = 0, uy = 0, uz = 0, c = 1, s = 0;
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length != 0) {
        const float reciprocal = 1.0f / length;
        ux = x * reciprocal;
        uy = y * reciprocal;
        uz = z * reciprocal;
        const float theta = angleDegrees * degreesToRadians;
        c = std::cos(theta);
        s = std::sin(theta);
    }
    const float k = 1 - c;
    Matrix4 m{};
    m[0] = k * ux * ux + c;
    m[1] = k * ux * uy + uz * s;
    m[2] = k * ux * uz - uy * s;
    m[4] = k * ux * uy - uz * s;
    m[5] = k * uy * uy + c;
    m[6] = k * uy * uz + ux * s;
    m[8] = k * ux * uz + uy * s;
    m[9] = k * uy * uz - ux * s;
    m[10] = k * uz * uz + c;
    return m;
}

Matrix4 rowsMatrix(const float rows[9]) {
    Matrix4 m{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m[4 * r + c] = rows[3 * r + c];
    return m;
}

Matrix4 composeTransform(const Matrix4& rotation, const Matrix4& offset) {
    Matrix4 m = rotation;
    m[12] = offset[3];
    m[13] = offset[7];
    m[14] = offset[11];
    m[15] = 1.0f;
    return m;
}
