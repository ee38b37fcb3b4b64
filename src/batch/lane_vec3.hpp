// Vectors and 3x3 matrices whose components are lanes, with every operation
// written in the order of the scalar ones (src/maths/vector.cpp): each lane
// rounds exactly as the scalar function does for that pose.
#pragma once

#include <cstddef>

#include "maths/lanes/lane_vectors.hpp"

#if QTK_LANES


namespace quorbel::batch::detail {

using elementary::detail::LaneWidth;

template <class V>
using IndexLanes = typename LaneWidth<V>::Index;

template <class V>
struct Vec3Lanes {
    V x;
    V y;
    V z;
};

template <class V>
struct Mat3Lanes {
    V m[3][3];
};

template <class V>
inline V dot(const Vec3Lanes<V>& a, const Vec3Lanes<V>& b) {
    return (a.x * b.x + a.y * b.y) + a.z * b.z;
}

template <class V>
inline Vec3Lanes<V> cross(const Vec3Lanes<V>& a, const Vec3Lanes<V>& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

template <class V>
inline V norm(const Vec3Lanes<V>& a) {
    return elementary::detail::sqrt_lanes(dot(a, a));
}

template <class V>
inline Vec3Lanes<V> normalise(const Vec3Lanes<V>& a) {
    const V n = norm(a);
    return {a.x / n, a.y / n, a.z / n};
}

template <class V>
inline Vec3Lanes<V> operator+(const Vec3Lanes<V>& a, const Vec3Lanes<V>& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

template <class V>
inline Vec3Lanes<V> operator-(const Vec3Lanes<V>& a, const Vec3Lanes<V>& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

template <class V, class S>
inline Vec3Lanes<V> scaled(S s, const Vec3Lanes<V>& a) {
    return {s * a.x, s * a.y, s * a.z};
}

template <class V>
inline Vec3Lanes<V> divided(const Vec3Lanes<V>& a, V s) {
    return {a.x / s, a.y / s, a.z / s};
}

template <class V>
inline Mat3Lanes<V> product(const Mat3Lanes<V>& a, const Mat3Lanes<V>& b) {
    Mat3Lanes<V> out;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            out.m[i][j] = (a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j]) + a.m[i][2] * b.m[2][j];
        }
    }
    return out;
}

// Lane k of the result is the double at base[k * stride]: one component of
// LaneWidth poses stored one after the other.
template <class V>
inline V load_strided(const double* base, std::size_t stride) {
    V out;
    for (int k = 0; k < LaneWidth<V>::count; ++k) out[k] = base[k * stride];
    return out;
}

template <class V>
inline void store_strided(V value, double* base, std::size_t stride) {
    for (int k = 0; k < LaneWidth<V>::count; ++k) base[k * stride] = value[k];
}

// W poses of Width doubles each from Width component vectors: the vectors
// stored whole, then copied out pose by pose (cheaper than taking each lane
// out of its register).
template <int Width, class V>
inline void store_poses(const V (&components)[Width], double* out) {
    constexpr int W = LaneWidth<V>::count;
    double staged[Width][W];
    for (int c = 0; c < Width; ++c) __builtin_memcpy(staged[c], &components[c], sizeof(V));
    for (int k = 0; k < W; ++k) {
        for (int c = 0; c < Width; ++c) out[Width * k + c] = staged[c][k];
    }
}

template <class V>
inline V load_lanes(const double* p) {
    return load_strided<V>(p, 1);
}

}  // namespace quorbel::batch::detail


#endif  // QTK_LANES
