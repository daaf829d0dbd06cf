// SPDX-License-Identifier: MIT
#pragma once

namespace tollamere {

struct Vector3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// Uses pi to 15 significant digits, 3.14159265358979, not the full double.
double DegreesToRadians(double d);
double VectorLength(const Vector3& v);
// Summed as a.y * b.y + a.x * b.x + a.z * b.z, in that order.
double DotProduct(const Vector3& a, const Vector3& b);

} // namespace tollamere
