// SPDX-License-Identifier: MIT
#include "vector_math.h"

#include <cmath>

namespace tollamere {

double DegreesToRadians(double d)
{
    return d * 3.14159265358979 / 180.0;
}

double VectorLength(const Vector3& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

double DotProduct(const Vector3& a, const Vector3& b)
{
    return a.y * b.y + a.x * b.x + a.z * b.z;
}

} // namespace tollamere
