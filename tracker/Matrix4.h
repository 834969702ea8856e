// 4x4 float matrices, row-major (element 4r + c), used with row vectors:
// a point p maps to p.M. A transform holds its rotation in rows 0-2 and its
// translation in row 3; an offset-form matrix holds x, y, z in elements 3, 7, 11.
#pragma once

#include "rules/Rotation.h"

struct Matrix4 {
    float element[16];

    float& operator[](int index) { return element[index]; }
    float operator[](int index) const { return element[index]; }
};

Matrix4 zeroMatrix();
Matrix4 identityMatrix();
Matrix4 offsetMatrix(float x, float y, float z);
// Right-handed rotation by angleDegrees about (x, y, z); a zero axis gives the
// identity rotation (element 15 stays 0).
Matrix4 axisAngleMatrix(float x, float y, float z, float angleDegrees);
Matrix4 rowsMatrix(const float rows[9]);
Matrix4 composeTransform(const Matrix4& rotation, const Matrix4& offset);

using rotation::degreesToRadians;
using rotation::radiansToDegrees;
