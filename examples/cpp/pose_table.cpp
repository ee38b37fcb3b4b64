// Prints the library's results for a fixed table of poses, every double in C99
// hexadecimal (%a), so that two builds of a program, or the library and the
// Python module, can be compared bit for bit:
//
//   pose_table examples/arms/right_arm_negative_branch.json > poses.txt
//
// The arms: both presets and the arm of the given arms.json file. For each
// joint pair on a grid: the tips, their loop closure, fk, direction, ik of
// fk's rotation, ik_from_direction of fk's v_3 without and with `near`;
// ik_from_direction for a grid of directions. The neck's fk and ik of fk's
// rotation on a grid of angles, with the vector and matrix operations applied
// to its rotation; rotations about a grid of axes. Every input is a small
// integer times a power of two, exact in any build, and results are passed
// back unchanged: all arithmetic is the library's. Lines read "<object>
// <operation> <inputs> : <results>", with "none" where the library gives no
// result.
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <variant>

#include <quorbel/torso_kinematics.hpp>

namespace {

constexpr int JOINT_STEPS = 16;     // theta = k / 8 for k in [-16, 16]
constexpr int DIRECTION_STEPS = 2;  // d = (i, j, k) for each in [-2, 2]
constexpr int NECK_STEPS = 6;       // yaw, roll = k / 2; pitch = k / 4; k in [-6, 6]

void print_values(std::initializer_list<double> values) {
    for (double v : values) {
        std::printf(" %a", v);
    }
}

void print_none() { std::printf(" none"); }

void print_vector(quorbel::Vec3 v) { print_values({v.x, v.y, v.z}); }

void print_rotation(const quorbel::Mat3& r) {
    for (const quorbel::Mat3::Row& row : r) {
        print_values({row[0], row[1], row[2]});
    }
}

void print_pair(const std::optional<quorbel::JointPair>& pair) {
    if (pair) {
        print_values({pair->theta_a, pair->theta_b});
    } else {
        print_none();
    }
}

void begin_line(const char* object, const char* operation, std::initializer_list<double> inputs) {
    std::printf("%s %s", object, operation);
    print_values(inputs);
    std::printf(" :");
}

void end_line() { std::printf("\n"); }

void arm_poses(const char* name, const quorbel::Arm& arm) {
    const quorbel::SphericalLinkGeometry& geometry = arm.geometry();
    for (int i = -JOINT_STEPS; i <= JOINT_STEPS; ++i) {
        for (int j = -JOINT_STEPS; j <= JOINT_STEPS; ++j) {
            const double theta_a = i * 0x1p-3;
            const double theta_b = j * 0x1p-3;
            const quorbel::Vec3 tip_a = quorbel::arm_tip_a(arm, theta_a);
            const quorbel::Vec3 tip_b = quorbel::arm_tip_b(arm, theta_b);
            begin_line(name, "tips", {theta_a, theta_b});
            print_vector(tip_a);
            print_vector(tip_b);
            end_line();
            const std::optional<quorbel::Vec3> apex =
                quorbel::close_loop(tip_a, geometry.coupler_arc, tip_b, geometry.coupler_arc,
                                    quorbel::branch_sign(geometry));
            begin_line(name, "close_loop", {theta_a, theta_b});
            apex ? print_vector(*apex) : print_none();
            end_line();

            const quorbel::FkResult fk = quorbel::forward_kinematics(arm, theta_a, theta_b);
            begin_line(name, "fk", {theta_a, theta_b});
            fk ? print_rotation(fk->rotation) : print_none();
            end_line();

            const std::optional<quorbel::Vec3> v_3 =
                quorbel::pointing_direction(arm, theta_a, theta_b);
            begin_line(name, "direction", {theta_a, theta_b});
            v_3 ? print_vector(*v_3) : print_none();
            end_line();
            if (!fk) {
                continue;
            }
            begin_line(name, "ik", {theta_a, theta_b});
            print_pair(quorbel::ik(arm, fk->rotation));
            end_line();
            begin_line(name, "ik_from_direction", {theta_a, theta_b});
            print_pair(quorbel::ik_from_direction(arm, fk->v_3, std::nullopt));
            end_line();
            // The swapped pair as `near`: another exact pair for every pose.
            begin_line(name, "ik_from_direction_near", {theta_a, theta_b, theta_b, theta_a});
            print_pair(quorbel::ik_from_direction(arm, fk->v_3,
                                                  quorbel::JointPair{theta_b, theta_a}));
            end_line();
        }
    }
    for (int i = -DIRECTION_STEPS; i <= DIRECTION_STEPS; ++i) {
        for (int j = -DIRECTION_STEPS; j <= DIRECTION_STEPS; ++j) {
            for (int k = -DIRECTION_STEPS; k <= DIRECTION_STEPS; ++k) {
                const quorbel::Vec3 d{static_cast<double>(i), static_cast<double>(j),
                                      static_cast<double>(k)};
                begin_line(name, "ik_from_direction", {d.x, d.y, d.z});
                print_pair(quorbel::ik_from_direction(arm, d, std::nullopt));
                end_line();
            }
        }
    }
}

// The vector and matrix operations on a rotation's columns and a vector v.
void matrix_operations(const quorbel::Mat3& r, quorbel::Vec3 v) {
    const quorbel::Vec3 x = quorbel::column(r, 0);
    const quorbel::Vec3 y = quorbel::column(r, 1);
    const quorbel::Vec3 z = quorbel::column(r, 2);
    begin_line("maths", "products", {v.x, v.y, v.z});
    print_vector(r * v);
    print_rotation(r * r);
    print_rotation(quorbel::from_columns(y, z, x));
    end_line();
    begin_line("maths", "vectors", {v.x, v.y, v.z});
    print_values({quorbel::dot(x, v), quorbel::norm(v)});
    print_vector(quorbel::cross(x, v));
    print_vector(quorbel::normalise(v));
    print_vector(x + v);
    print_vector(y - v);
    print_vector(v.x * z);
    print_vector(z / 3.0);
    end_line();
}

void neck_poses() {
    for (int i = -NECK_STEPS; i <= NECK_STEPS; ++i) {
        for (int j = -NECK_STEPS; j <= NECK_STEPS; ++j) {
            for (int k = -NECK_STEPS; k <= NECK_STEPS; ++k) {
                const double yaw = i * 0x1p-1;
                const double pitch = j * 0x1p-2;
                const double roll = k * 0x1p-1;
                const quorbel::Mat3 r = quorbel::neck_forward_kinematics({yaw, pitch, roll});
                begin_line("neck", "fk", {yaw, pitch, roll});
                print_rotation(r);
                end_line();
                const std::optional<quorbel::NeckAngles> angles =
                    quorbel::neck_inverse_kinematics(r);
                begin_line("neck", "ik", {yaw, pitch, roll});
                angles ? print_values({angles->yaw, angles->pitch, angles->roll}) : print_none();
                end_line();
                matrix_operations(r, {yaw, pitch, roll});
            }
        }
    }
}

// Rotations about the axes with components in {-1, 0, 1}, the zero axis
// included, by multiples of a quarter radian.
void rotations() {
    for (int i = -1; i <= 1; ++i) {
        for (int j = -1; j <= 1; ++j) {
            for (int k = -1; k <= 1; ++k) {
                const quorbel::Vec3 axis{static_cast<double>(i), static_cast<double>(j),
                                         static_cast<double>(k)};
                for (int a = -NECK_STEPS; a <= NECK_STEPS; ++a) {
                    const double angle = a * 0x1p-2;
                    begin_line("maths", "rotation_about_axis", {axis.x, axis.y, axis.z, angle});
                    print_rotation(quorbel::rotation_about_axis(axis, angle));
                    end_line();
                }
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pose_table ARMS_JSON_FILE\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const auto read = quorbel::read_arm_geometry_json(text);
    if (const auto* error = std::get_if<quorbel::JsonError>(&read)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], quorbel::error_message(*error).c_str());
        return 1;
    }
    arm_poses("left", quorbel::default_left_geometry());
    arm_poses("right", quorbel::default_right_geometry());
    arm_poses("from_json", std::get<quorbel::SphericalLinkGeometry>(read));
    neck_poses();
    rotations();
    return 0;
}
