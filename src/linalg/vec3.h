// vec3: three doubles with the usual vector operations; all geometry of the program uses it.
#pragma once

#include <cmath>

/// A point or direction in model space (double precision).
struct vec3 {
    double x = 0.0, y = 0.0, z = 0.0;

    constexpr vec3() = default;
    constexpr vec3(double xx, double yy, double zz) : x(xx), y(yy), z(zz) {}

    double& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    double operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }

    vec3 operator+(const vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    vec3 operator-(const vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    vec3 operator-() const { return {-x, -y, -z}; }
    vec3 operator*(double s) const { return {x * s, y * s, z * s}; }
    vec3 operator/(double s) const { return {x / s, y / s, z / s}; }
    vec3& operator+=(const vec3& o) { x += o.x; y += o.y; z += o.z; return *this; }
    vec3& operator-=(const vec3& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
    vec3& operator*=(double s) { x *= s; y *= s; z *= s; return *this; }
    vec3& operator/=(double s) { x /= s; y /= s; z /= s; return *this; }
    bool operator==(const vec3& o) const { return x == o.x && y == o.y && z == o.z; }
    bool operator!=(const vec3& o) const { return !(*this == o); }

    double dot(const vec3& o) const { return x * o.x + y * o.y + z * o.z; }
    vec3 cross(const vec3& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    double norm2() const { return x * x + y * y + z * z; }
    double norm() const { return std::sqrt(norm2()); }
};

inline vec3 operator*(double s, const vec3& v) { return v * s; }
inline double dot(const vec3& a, const vec3& b) { return a.dot(b); }
inline vec3 cross(const vec3& a, const vec3& b) { return a.cross(b); }
inline double length(const vec3& v) { return v.norm(); }
inline double distance(const vec3& a, const vec3& b) { return (a - b).norm(); }
inline bool isFinite(const vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
