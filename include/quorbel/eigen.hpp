// Conversions between the library's Vec3, Mat3 and Mat3x2 and Eigen's
// matrices, for programs that use Eigen (3.3 or later). Optional: nothing
// else in the library includes this header, and only a program that includes
// it needs Eigen's headers on its include path.
//
// What copies and what does not:
// - as_eigen(v), as_eigen(r), as_eigen(j) copy nothing: they are Eigen::Map
//   views of the library value's own doubles (a Vec3 as a column vector, a
//   Mat3 or Mat3x2 as a row-major matrix, since its rows are stored one after
//   the other). A view of a non-const value writes through to it. A view
//   lives no longer than the value it looks at: do not keep one of a
//   temporary (as_eigen(forward_kinematics(...)->rotation) in an expression
//   that ends with the statement is fine; stored in an auto variable, it
//   dangles).
// - Assigning a view to an Eigen matrix (Eigen::Matrix3d m = as_eigen(r))
//   copies, as every Eigen assignment does; Matrix3d stores column by column,
//   so that copy also reorders the elements.
// - to_vec3(e) and to_mat3(e) copy: they make library values from any Eigen
//   expression of the right size (3 doubles, 3 x 3), element by element, in
//   whatever order the expression stores them.
//
// The views rely on the value types holding nothing but their doubles, with
// no padding; the static_asserts below check it on every compiler.
#pragma once

#include <cstddef>
#include <type_traits>

#include <Eigen/Core>

#include <quorbel/maths/mat3x2.hpp>
#include <quorbel/maths/vector.hpp>

namespace quorbel {

static_assert(std::is_standard_layout_v<Vec3> && sizeof(Vec3) == 3 * sizeof(double) &&
                  offsetof(Vec3, y) == sizeof(double) && offsetof(Vec3, z) == 2 * sizeof(double),
              "Vec3 is not three contiguous doubles");
static_assert(std::is_standard_layout_v<Mat3> && sizeof(Mat3) == 9 * sizeof(double),
              "Mat3 is not nine contiguous doubles");
static_assert(std::is_standard_layout_v<Mat3x2> && sizeof(Mat3x2) == 6 * sizeof(double),
              "Mat3x2 is not six contiguous doubles");

using EigenMat3 = Eigen::Matrix<double, 3, 3, Eigen::RowMajor>;
using EigenMat3x2 = Eigen::Matrix<double, 3, 2, Eigen::RowMajor>;

inline Eigen::Map<Eigen::Vector3d> as_eigen(Vec3& v) noexcept {
    return Eigen::Map<Eigen::Vector3d>(&v.x);
}
inline Eigen::Map<const Eigen::Vector3d> as_eigen(const Vec3& v) noexcept {
    return Eigen::Map<const Eigen::Vector3d>(&v.x);
}
inline Eigen::Map<EigenMat3> as_eigen(Mat3& r) noexcept {
    return Eigen::Map<EigenMat3>(r[0].data());
}
inline Eigen::Map<const EigenMat3> as_eigen(const Mat3& r) noexcept {
    return Eigen::Map<const EigenMat3>(r[0].data());
}
inline Eigen::Map<EigenMat3x2> as_eigen(Mat3x2& j) noexcept {
    return Eigen::Map<EigenMat3x2>(j[0].data());
}
inline Eigen::Map<const EigenMat3x2> as_eigen(const Mat3x2& j) noexcept {
    return Eigen::Map<const EigenMat3x2>(j[0].data());
}

// A copy of a 3-vector (column or row) of any Eigen expression.
template <typename Derived>
Vec3 to_vec3(const Eigen::MatrixBase<Derived>& e) {
    EIGEN_STATIC_ASSERT_VECTOR_SPECIFIC_SIZE(Derived, 3)
    return {static_cast<double>(e(0)), static_cast<double>(e(1)), static_cast<double>(e(2))};
}

// A copy of a 3 x 3 Eigen expression, whatever its storage order.
template <typename Derived>
Mat3 to_mat3(const Eigen::MatrixBase<Derived>& e) {
    EIGEN_STATIC_ASSERT_MATRIX_SPECIFIC_SIZE(Derived, 3, 3)
    Mat3 r{};
    for (Eigen::Index i = 0; i < 3; ++i) {
        for (Eigen::Index j = 0; j < 3; ++j) {
            r[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] =
                static_cast<double>(e(i, j));
        }
    }
    return r;
}

}  // namespace quorbel
