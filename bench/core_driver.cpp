// qtk_core_driver: the pure C++ core alone, timed on the inputs the Python
// benchmark uses, in nanoseconds of thread CPU time per call.
//
//   qtk_core_driver [--rounds R] [--iterations N]   median ns/call of every
//                                                   function, as JSON
//   qtk_core_driver --list                          the function names
//   qtk_core_driver --only NAME --iterations N      run one function N times
//                                                   (for callgrind)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include <quorbel/torso_kinematics.hpp>

namespace {

using namespace quorbel;

// Hides a value from the optimiser, so that neither the inputs nor the
// results of a call can be folded or hoisted out of the timing loop.
template <typename T>
void opaque(T& value) {
    asm volatile("" : : "r"(&value) : "memory");
}

const SphericalLinkGeometry LEFT = default_left_geometry();
constexpr double THETA_A = 0.3;
constexpr double THETA_B = -0.2;
constexpr Vec3 DIRECTION = {0.66, 0.58, 0.47};
constexpr JointPair NEAR = {0.3, -0.2};
constexpr Vec3 NECK_JOINTS = {0.3, -0.7, 1.1};
constexpr std::string_view ARM_JSON = R"({"arm_arc": 0.7, "coupler_arc": 0.5, "mirror": false})";

struct Inputs {
    SphericalLinkGeometry geometry = LEFT;
    Arm arm = LEFT;  // what an arm object holds
    double theta_a = THETA_A;
    double theta_b = THETA_B;
    Vec3 direction = DIRECTION;
    std::optional<JointPair> near = NEAR;
    std::optional<JointPair> no_near;
    Mat3 arm_rotation = forward_kinematics(LEFT, THETA_A, THETA_B)->rotation;
    Vec3 neck_joints = NECK_JOINTS;
    Mat3 neck_rotation = neck_forward_kinematics(NECK_JOINTS.x, NECK_JOINTS.y, NECK_JOINTS.z);
    std::string_view json = ARM_JSON;
};

Inputs inputs;

void run_forward_kinematics(long n) {
    for (long i = 0; i < n; ++i) {
        opaque(inputs);
        FkResult fk = forward_kinematics(inputs.arm, inputs.theta_a, inputs.theta_b);
        opaque(fk);
    }
}

void run_pointing_direction(long n) {
    for (long i = 0; i < n; ++i) {
        opaque(inputs);
        std::optional<Vec3> v_3 = pointing_direction(inputs.arm, inputs.theta_a, inputs.theta_b);
        opaque(v_3);
    }
}

void run_ik_from_direction(long n) {
    for (long i = 0; i < n; ++i) {
        opaque(inputs);
        std::optional<JointPair> pair =
            ik_from_direction(inputs.arm, inputs.direction, inputs.no_near);
        opaque(pair);
    }
}

void run_ik_from_direction_near(long n) {
    for (long i = 0; i < n; ++i) {
        opaque(inputs);
        std::optional<JointPair> pair =
            ik_from_direction(inputs.arm, inputs.direction, inputs.near);
        opaque(pair);
    }
}

void run_ik(long n) {
    for (long i = 0; i < n; ++i) {
        opaque(inputs);
        std::optional<JointPair> pair = ik(inputs.arm, inputs.arm_rotation);
        opaque(pair);
    }
}

void run_neck_forward_kinematics(long n) {
    for (long i = 0; i < n; ++i) {
        opaque(inputs);
        Mat3 r = neck_forward_kinematics(inputs.neck_joints.x, inputs.neck_joints.y,
                                         inputs.neck_joints.z);
        opaque(r);
    }
}

void run_neck_inverse_kinematics(long n) {
    for (long i = 0; i < n; ++i) {
        opaque(inputs);
        std::optional<NeckAngles> angles = neck_inverse_kinematics(inputs.neck_rotation);
        opaque(angles);
    }
}

void run_read_arm_geometry_json(long n) {
    for (long i = 0; i < n; ++i) {
        opaque(inputs);
        auto geometry = read_arm_geometry_json(inputs.json);
        opaque(geometry);
    }
}

// What making an Arm adds to storing its geometry.
void run_make_arm(long n) {
    for (long i = 0; i < n; ++i) {
        opaque(inputs);
        Arm arm(inputs.geometry);
        opaque(arm);
    }
}

struct Function {
    const char* name;
    void (*run)(long);
};

constexpr Function FUNCTIONS[] = {
    {"forward_kinematics", run_forward_kinematics},
    {"pointing_direction", run_pointing_direction},
    {"ik_from_direction", run_ik_from_direction},
    {"ik_from_direction_near", run_ik_from_direction_near},
    {"ik", run_ik},
    {"neck_forward_kinematics", run_neck_forward_kinematics},
    {"neck_inverse_kinematics", run_neck_inverse_kinematics},
    {"read_arm_geometry_json", run_read_arm_geometry_json},
    {"make_arm", run_make_arm},
};

// The thread's CPU time, so that time spent descheduled on a busy machine
// is not counted.
double thread_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double seconds_of(void (*run)(long), long n) {
    const double start = thread_seconds();
    run(n);
    return thread_seconds() - start;
}

int usage() {
    std::fprintf(stderr,
                 "usage: qtk_core_driver [--rounds R] [--iterations N] | --list | "
                 "--only NAME --iterations N\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long rounds = 31;
    long iterations = 2000;
    const char* only = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--list") {
            for (const Function& f : FUNCTIONS) {
                std::printf("%s\n", f.name);
            }
            return 0;
        }
        if (i + 1 >= argc) {
            return usage();
        }
        if (arg == "--rounds") {
            rounds = std::atol(argv[++i]);
        } else if (arg == "--iterations") {
            iterations = std::atol(argv[++i]);
        } else if (arg == "--only") {
            only = argv[++i];
        } else {
            return usage();
        }
    }
    if (rounds < 1 || iterations < 1) {
        return usage();
    }
    if (only != nullptr) {
        for (const Function& f : FUNCTIONS) {
            if (std::strcmp(f.name, only) == 0) {
                f.run(iterations);
                return 0;
            }
        }
        return usage();
    }
    constexpr std::size_t count = sizeof(FUNCTIONS) / sizeof(FUNCTIONS[0]);
    std::vector<double> samples[count];
    for (const Function& f : FUNCTIONS) {
        f.run(iterations / 10 + 1);  // warm up
    }
    for (long round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < count; ++k) {
            samples[k].push_back(seconds_of(FUNCTIONS[k].run, iterations) * 1e9 /
                                 static_cast<double>(iterations));
        }
    }
    std::printf("{");
    for (std::size_t k = 0; k < count; ++k) {
        std::vector<double>& s = samples[k];
        std::nth_element(s.begin(), s.begin() + s.size() / 2, s.end());
        std::printf("%s\"%s\": %.2f", k == 0 ? "" : ", ", FUNCTIONS[k].name, s[s.size() / 2]);
    }
    std::printf("}\n");
    return 0;
}
