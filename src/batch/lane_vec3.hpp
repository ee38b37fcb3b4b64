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

#if QTK_LANES4
// The same for four lanes, without the round trip through memory: each
// group of four components is transposed in registers (unpacks within the
// 128-bit halves, then the halves exchanged) into one vector per pose,
// stored whole; a group of three is stored the same way with a fourth
// vector repeated, each pose's store overwriting the previous pose's spare
// entry and the last pose stored as two entries and one; a remainder of two
// or one component is unpacked and stored by halves (store_transposed).
// Poses of exactly three components are stored as load_triples reads them,
// by shuffles within the halves (store_poses).
namespace lanes4 {
using elementary::detail::Lanes4;

__attribute__((target("avx2,fma"))) inline void transpose4(Lanes4 c0, Lanes4 c1, Lanes4 c2,
                                                           Lanes4 c3, __m256d (&rows)[4]) {
    const __m256d t0 = _mm256_unpacklo_pd((__m256d)c0, (__m256d)c1);
    const __m256d t1 = _mm256_unpackhi_pd((__m256d)c0, (__m256d)c1);
    const __m256d t2 = _mm256_unpacklo_pd((__m256d)c2, (__m256d)c3);
    const __m256d t3 = _mm256_unpackhi_pd((__m256d)c2, (__m256d)c3);
    rows[0] = _mm256_permute2f128_pd(t0, t2, 0x20);
    rows[1] = _mm256_permute2f128_pd(t1, t3, 0x20);
    rows[2] = _mm256_permute2f128_pd(t0, t2, 0x31);
    rows[3] = _mm256_permute2f128_pd(t1, t3, 0x31);
}
}  // namespace lanes4

template <int Width>
__attribute__((target("avx2,fma"))) inline void store_transposed(
    const elementary::detail::Lanes4 (&components)[Width], double* out) {
    __m256d rows[4];
    int c = 0;
    for (; c + 4 <= Width; c += 4) {
        lanes4::transpose4(components[c], components[c + 1], components[c + 2],
                           components[c + 3], rows);
        for (int k = 0; k < 4; ++k) _mm256_storeu_pd(out + Width * k + c, rows[k]);
    }
    if constexpr (Width % 4 == 3) {
        lanes4::transpose4(components[c], components[c + 1], components[c + 2],
                           components[c + 2], rows);
        for (int k = 0; k < 3; ++k) _mm256_storeu_pd(out + Width * k + c, rows[k]);
        _mm_storeu_pd(out + Width * 3 + c, _mm256_castpd256_pd128(rows[3]));
        _mm_store_sd(out + Width * 3 + c + 2, _mm256_extractf128_pd(rows[3], 1));
    } else if constexpr (Width % 4 == 2) {
        const __m256d low = _mm256_unpacklo_pd((__m256d)components[c], (__m256d)components[c + 1]);
        const __m256d high = _mm256_unpackhi_pd((__m256d)components[c], (__m256d)components[c + 1]);
        _mm_storeu_pd(out + c, _mm256_castpd256_pd128(low));
        _mm_storeu_pd(out + Width + c, _mm256_castpd256_pd128(high));
        _mm_storeu_pd(out + 2 * Width + c, _mm256_extractf128_pd(low, 1));
        _mm_storeu_pd(out + 3 * Width + c, _mm256_extractf128_pd(high, 1));
    } else if constexpr (Width % 4 == 1) {
        const __m128d low = _mm256_castpd256_pd128((__m256d)components[c]);
        const __m128d high = _mm256_extractf128_pd((__m256d)components[c], 1);
        _mm_store_sd(out + c, low);
        _mm_storeh_pd(out + Width + c, low);
        _mm_store_sd(out + 2 * Width + c, high);
        _mm_storeh_pd(out + 3 * Width + c, high);
    }
}

template <int Width>
__attribute__((target("avx2,fma"))) inline void store_poses(
    const elementary::detail::Lanes4 (&components)[Width], double* out) {
    if constexpr (Width == 3) {
        // One shuffle within the halves per pair of components, then each
        // 128-bit half stored where it goes.
        const __m256d x = (__m256d)components[0];
        const __m256d y = (__m256d)components[1];
        const __m256d z = (__m256d)components[2];
        const __m256d xy = _mm256_unpacklo_pd(x, y);     // x0 y0 | x2 y2
        const __m256d zx = _mm256_shuffle_pd(z, x, 0xA);  // z0 x1 | z2 x3
        const __m256d yz = _mm256_unpackhi_pd(y, z);     // y1 z1 | y3 z3
        _mm_storeu_pd(out, _mm256_castpd256_pd128(xy));
        _mm_storeu_pd(out + 2, _mm256_castpd256_pd128(zx));
        _mm_storeu_pd(out + 4, _mm256_castpd256_pd128(yz));
        _mm_storeu_pd(out + 6, _mm256_extractf128_pd(xy, 1));
        _mm_storeu_pd(out + 8, _mm256_extractf128_pd(zx, 1));
        _mm_storeu_pd(out + 10, _mm256_extractf128_pd(yz, 1));
    } else {
        store_transposed(components, out);
    }
}

#endif

template <class V>
inline V load_lanes(const double* p) {
    return load_strided<V>(p, 1);
}

// The reverse of store_poses for what the kernels read: the three components
// of W contiguous poses of three doubles (joint triples, directions), and
// four neighbouring components of W poses `stride` doubles apart (entries of
// rotations), one component vector each; lane by lane here, by whole-vector
// loads and shuffles for four lanes below.
template <class V>
inline Vec3Lanes<V> load_triples(const double* p) {
    return {load_strided<V>(p, 3), load_strided<V>(p + 1, 3), load_strided<V>(p + 2, 3)};
}

template <class V>
inline void load_four_components(const double* p, std::size_t stride, V (&components)[4]) {
    for (int c = 0; c < 4; ++c) components[c] = load_strided<V>(p + c, stride);
}

#if QTK_LANES4
// Poses 0 and 2 fill the low and high halves of each load, 1 and 3 the
// other's, two doubles at a time: (x0 y0 | x2 y2), (z0 x1 | z2 x3),
// (y1 z1 | y3 z3); one shuffle within the halves then takes each component.
template <>
__attribute__((target("avx2,fma"))) inline Vec3Lanes<elementary::detail::Lanes4>
load_triples<elementary::detail::Lanes4>(const double* p) {
    using elementary::detail::Lanes4;
    const __m256d xy = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(p)),
                                            _mm_loadu_pd(p + 6), 1);
    const __m256d zx = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(p + 2)),
                                            _mm_loadu_pd(p + 8), 1);
    const __m256d yz = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(p + 4)),
                                            _mm_loadu_pd(p + 10), 1);
    return {(Lanes4)_mm256_shuffle_pd(xy, zx, 0xA), (Lanes4)_mm256_shuffle_pd(xy, yz, 0x5),
            (Lanes4)_mm256_shuffle_pd(zx, yz, 0xA)};
}

// One four-double load per pose, transposed (transpose4 is its own inverse).
__attribute__((target("avx2,fma"))) inline void load_four_components(
    const double* p, std::size_t stride, elementary::detail::Lanes4 (&components)[4]) {
    using elementary::detail::Lanes4;
    __m256d rows[4];
    lanes4::transpose4((Lanes4)_mm256_loadu_pd(p), (Lanes4)_mm256_loadu_pd(p + stride),
                       (Lanes4)_mm256_loadu_pd(p + 2 * stride),
                       (Lanes4)_mm256_loadu_pd(p + 3 * stride), rows);
    for (int c = 0; c < 4; ++c) components[c] = (Lanes4)rows[c];
}
#endif

}  // namespace quorbel::batch::detail


#endif  // QTK_LANES
