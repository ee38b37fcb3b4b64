// qtk_core_driver: the pure C++ core alone, timed on the inputs the Python
// benchmark uses, in nanoseconds of thread CPU time per call.
//
//   qtk_core_driver [--rounds R] [--iterations N]   median ns/call of every
//                                                   function, as JSON
//   qtk_core_driver --list                          the function names
//   qtk_core_driver --only NAME --iterations N      run one function N times
//                                                   (for callgrind)
//   ... --varied [--count C]                        the same, each call on the
//                                                   next of C seeded poses
//                                                   (default 4096) instead of
//                                                   one pose every time
//   qtk_core_driver --poses FILE [--rounds R]       median ns per pose of the
//                                                   core over the poses in FILE
//                                                   (written by arrays_benchmark.py)
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <quorbel/torso_kinematics.hpp>

namespace {

using namespace quorbel;

// The neck's forward kinematics took its three angles as separate doubles
// until NeckAngles became its argument (when JointPair moved to arm/); the
// driver calls through this so that one source times either core.
#if __has_include(<quorbel/arm/joint_pair.hpp>)
Mat3 neck_fk(const NeckAngles& angles) { return neck_forward_kinematics(angles); }
#else
Mat3 neck_fk(const NeckAngles& angles) {
    return neck_forward_kinematics(angles.yaw, angles.pitch, angles.roll);
}
#endif

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
constexpr NeckAngles NECK_JOINTS = {0.3, -0.7, 1.1};
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
    NeckAngles neck_joints = NECK_JOINTS;
    Mat3 neck_rotation = neck_fk(NECK_JOINTS);
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
        Mat3 r = neck_fk(inputs.neck_joints);
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

// ---- a different pose on every call, as a controller or planner makes them.
//
// Timing one pose over and over lets every data-dependent branch (the
// elementary functions' range reductions and fast paths above all) run fully
// predicted. Here each call takes the next entry of a table of seeded poses,
// built before any timing: joint pairs drawn uniformly from [-pi, pi]^2
// where the left preset arm's loop closes, with their directions, rotations
// and a `near` a few hundredths away; neck angles with |pitch| < 1.4 and
// their rotations; arm geometries within 0.05 rad of the presets' arcs, on
// either side, and the arms.json text of each.

// SplitMix64, written out so that the table is the same whichever standard
// library builds the driver (std's distributions are not specified bit for
// bit).
struct SeededDoubles {
    std::uint64_t state;

    std::uint64_t next_bits() {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // Uniform on [low, high), from the top 53 bits.
    double uniform(double low, double high) {
        const double unit = static_cast<double>(next_bits() >> 11) * 0x1p-53;
        return low + (high - low) * unit;
    }
};

constexpr double PI = 3.141592653589793;

struct VariedPoses {
    std::vector<JointPair> joints;
    std::vector<Vec3> directions;
    std::vector<JointPair> near;
    std::vector<Mat3> arm_rotations;
    std::vector<NeckAngles> neck_joints;
    std::vector<Mat3> neck_rotations;
    std::vector<SphericalLinkGeometry> geometries;
    std::vector<std::string> json;
};

VariedPoses varied;

void make_varied_poses(std::size_t count, std::uint64_t seed) {
    SeededDoubles random{seed};
    const Arm arm(LEFT);
    while (varied.joints.size() < count) {
        const double theta_a = random.uniform(-PI, PI);
        const double theta_b = random.uniform(-PI, PI);
        const FkResult fk = forward_kinematics(arm, theta_a, theta_b);
        if (!fk) {
            continue;
        }
        varied.joints.push_back({theta_a, theta_b});
        varied.directions.push_back(fk->v_3);
        varied.arm_rotations.push_back(fk->rotation);
        varied.near.push_back(
            {theta_a + random.uniform(-0.05, 0.05), theta_b + random.uniform(-0.05, 0.05)});
    }
    for (std::size_t i = 0; i < count; ++i) {
        const NeckAngles angles = {random.uniform(-PI, PI), random.uniform(-1.4, 1.4),
                                   random.uniform(-PI, PI)};
        varied.neck_joints.push_back(angles);
        varied.neck_rotations.push_back(neck_fk(angles));
        SphericalLinkGeometry geometry = LEFT;
        geometry.arm_arc += random.uniform(-0.05, 0.05);
        geometry.coupler_arc += random.uniform(-0.05, 0.05);
        geometry.mirror = (i % 2) == 1;
        varied.geometries.push_back(geometry);
        char text[128];
        std::snprintf(text, sizeof text,
                      R"({"arm_arc": %.17g, "coupler_arc": %.17g, "mirror": %s})",
                      geometry.arm_arc, geometry.coupler_arc, geometry.mirror ? "true" : "false");
        varied.json.emplace_back(text);
    }
}

// Whether the core solves every varied pose: one it refused would time an
// early return rather than the work.
bool varied_poses_solved() {
    const Arm arm(LEFT);
    for (std::size_t k = 0; k < varied.joints.size(); ++k) {
        const std::optional<JointPair> near = varied.near[k];
        const auto geometry = read_arm_geometry_json(varied.json[k]);
        if (!ik_from_direction(arm, varied.directions[k], std::nullopt) ||
            !ik_from_direction(arm, varied.directions[k], near) ||
            !ik(arm, varied.arm_rotations[k]) ||
            !neck_inverse_kinematics(varied.neck_rotations[k]) ||
            !std::holds_alternative<SphericalLinkGeometry>(geometry)) {
            return false;
        }
    }
    return true;
}

// Calls `call(k)` n times, k running through the table and round again,
// keeping each result from the optimiser.
template <typename Call>
void cycle(long n, Call&& call) {
    const std::size_t count = varied.joints.size();
    std::size_t k = 0;
    for (long i = 0; i < n; ++i) {
        auto result = call(k);
        opaque(result);
        if (++k == count) {
            k = 0;
        }
    }
}

const Arm VARIED_ARM(LEFT);

const Function VARIED_FUNCTIONS[] = {
    {"forward_kinematics", [](long n) {
         cycle(n, [](std::size_t k) {
             return forward_kinematics(VARIED_ARM, varied.joints[k].theta_a,
                                       varied.joints[k].theta_b);
         });
     }},
    {"pointing_direction", [](long n) {
         cycle(n, [](std::size_t k) {
             return pointing_direction(VARIED_ARM, varied.joints[k].theta_a,
                                       varied.joints[k].theta_b);
         });
     }},
    {"ik_from_direction", [](long n) {
         cycle(n, [](std::size_t k) {
             return ik_from_direction(VARIED_ARM, varied.directions[k], std::nullopt);
         });
     }},
    {"ik_from_direction_near", [](long n) {
         cycle(n, [](std::size_t k) {
             return ik_from_direction(VARIED_ARM, varied.directions[k],
                                      std::optional<JointPair>(varied.near[k]));
         });
     }},
    {"ik", [](long n) {
         cycle(n, [](std::size_t k) { return ik(VARIED_ARM, varied.arm_rotations[k]); });
     }},
    {"neck_forward_kinematics", [](long n) {
         cycle(n, [](std::size_t k) { return neck_fk(varied.neck_joints[k]); });
     }},
    {"neck_inverse_kinematics", [](long n) {
         cycle(n, [](std::size_t k) {
             return neck_inverse_kinematics(varied.neck_rotations[k]);
         });
     }},
    {"read_arm_geometry_json", [](long n) {
         cycle(n, [](std::size_t k) {
             return read_arm_geometry_json(std::string_view(varied.json[k]));
         });
     }},
    {"make_arm", [](long n) {
         cycle(n, [](std::size_t k) { return Arm(varied.geometries[k]); });
     }},
};

static_assert(sizeof(VARIED_FUNCTIONS) == sizeof(FUNCTIONS),
              "the varied poses time the same functions as the one pose");

// ---- many poses, one call each, as the array package's loops call the core.
//
// The file is raw native doubles: the pose count N, then theta_a[N],
// theta_b[N], directions[3N], near[2N], arm rotations[9N] (row-major), neck
// joints[3N], neck rotations[9N], targets the arm cannot reach[3N] and
// rates[3N] (of the direction for the arm, angular for the neck), all for
// the left preset arm.

struct Poses {
    std::size_t count = 0;
    std::vector<double> values;
    const double* theta_a = nullptr;
    const double* theta_b = nullptr;
    const double* directions = nullptr;
    const double* near = nullptr;
    const double* arm_rotations = nullptr;
    const double* neck_joints = nullptr;
    const double* neck_rotations = nullptr;
    const double* targets = nullptr;
    const double* rates = nullptr;
};

Poses poses;
const Arm LEFT_ARM(LEFT);

bool read_poses(const char* path) {
    std::ifstream file(path, std::ios::binary);
    double count = 0.0;
    if (!file.read(reinterpret_cast<char*>(&count), sizeof count) || !(count >= 0.0)) {
        return false;
    }
    poses.count = static_cast<std::size_t>(count);
    poses.values.resize(poses.count * (1 + 1 + 3 + 2 + 9 + 3 + 9 + 3 + 3));
    if (!file.read(reinterpret_cast<char*>(poses.values.data()),
                   static_cast<std::streamsize>(poses.values.size() * sizeof(double)))) {
        return false;
    }
    const double* next = poses.values.data();
    const auto take = [&](std::size_t width) {
        const double* start = next;
        next += width * poses.count;
        return start;
    };
    poses.theta_a = take(1);
    poses.theta_b = take(1);
    poses.directions = take(3);
    poses.near = take(2);
    poses.arm_rotations = take(9);
    poses.neck_joints = take(3);
    poses.neck_rotations = take(9);
    poses.targets = take(3);
    poses.rates = take(3);
    return true;
}

Vec3 vec3_at(const double* p) { return {p[0], p[1], p[2]}; }

Mat3 mat3_at(const double* p) {
    return {{{p[0], p[1], p[2]}, {p[3], p[4], p[5]}, {p[6], p[7], p[8]}}};
}

// Runs `call(i)` for every pose, keeping each result from the optimiser.
template <typename Call>
void over_poses(Call&& call) {
    for (std::size_t i = 0; i < poses.count; ++i) {
        auto result = call(i);
        opaque(result);
    }
}

const Function POSE_FUNCTIONS[] = {
    {"forward_kinematics", [](long) {
         over_poses([](std::size_t i) {
             return forward_kinematics(LEFT_ARM, poses.theta_a[i], poses.theta_b[i]);
         });
     }},
    {"pointing_direction", [](long) {
         over_poses([](std::size_t i) {
             return pointing_direction(LEFT_ARM, poses.theta_a[i], poses.theta_b[i]);
         });
     }},
    {"ik_from_direction", [](long) {
         over_poses([](std::size_t i) {
             return ik_from_direction(LEFT_ARM, vec3_at(poses.directions + 3 * i), std::nullopt);
         });
     }},
    {"ik_from_direction_near", [](long) {
         over_poses([](std::size_t i) {
             const JointPair near = {poses.near[2 * i], poses.near[2 * i + 1]};
             return ik_from_direction(LEFT_ARM, vec3_at(poses.directions + 3 * i), near);
         });
     }},
    {"ik_solutions", [](long) {
         over_poses([](std::size_t i) {
             return ik_solutions(LEFT_ARM, vec3_at(poses.directions + 3 * i));
         });
     }},
    {"ik", [](long) {
         over_poses([](std::size_t i) {
             return ik(LEFT_ARM, mat3_at(poses.arm_rotations + 9 * i));
         });
     }},
    {"neck_forward_kinematics", [](long) {
         over_poses([](std::size_t i) {
             const double* joints = poses.neck_joints + 3 * i;
             return neck_fk({joints[0], joints[1], joints[2]});
         });
     }},
    {"neck_inverse_kinematics", [](long) {
         over_poses([](std::size_t i) {
             return neck_inverse_kinematics(mat3_at(poses.neck_rotations + 9 * i));
         });
     }},
    {"direction_jacobian", [](long) {
         over_poses([](std::size_t i) {
             return direction_jacobian(LEFT_ARM, poses.theta_a[i], poses.theta_b[i]);
         });
     }},
    {"angular_jacobian", [](long) {
         over_poses([](std::size_t i) {
             return angular_jacobian(LEFT_ARM, poses.theta_a[i], poses.theta_b[i]);
         });
     }},
    {"singular_values", [](long) {
         over_poses([](std::size_t i) {
             return singular_values(LEFT_ARM, poses.theta_a[i], poses.theta_b[i]);
         });
     }},
    {"joint_rates", [](long) {
         over_poses([](std::size_t i) {
             return joint_rates(LEFT_ARM, poses.theta_a[i], poses.theta_b[i],
                                vec3_at(poses.rates + 3 * i), 0.0);
         });
     }},
    {"nearest_reachable", [](long) {
         over_poses([](std::size_t i) {
             return nearest_reachable(LEFT_ARM, vec3_at(poses.targets + 3 * i), std::nullopt);
         });
     }},
    {"neck_angular_jacobian", [](long) {
         over_poses([](std::size_t i) {
             const double* joints = poses.neck_joints + 3 * i;
             return neck_angular_jacobian({joints[0], joints[1], joints[2]});
         });
     }},
    {"neck_joint_rates", [](long) {
         over_poses([](std::size_t i) {
             const double* joints = poses.neck_joints + 3 * i;
             return neck_joint_rates({joints[0], joints[1], joints[2]},
                                     vec3_at(poses.rates + 3 * i));
         });
     }},
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

// Median ns per pose of each function over all the poses, as JSON.
int time_poses(const char* path, long rounds) {
    if (!read_poses(path) || poses.count == 0) {
        std::fprintf(stderr, "qtk_core_driver: cannot read poses from %s\n", path);
        return 1;
    }
    constexpr std::size_t count = sizeof(POSE_FUNCTIONS) / sizeof(POSE_FUNCTIONS[0]);
    std::vector<double> samples[count];
    for (long round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < count; ++k) {
            samples[k].push_back(seconds_of(POSE_FUNCTIONS[k].run, 0) * 1e9 /
                                 static_cast<double>(poses.count));
        }
    }
    std::printf("{");
    for (std::size_t k = 0; k < count; ++k) {
        std::vector<double>& s = samples[k];
        std::nth_element(s.begin(), s.begin() + s.size() / 2, s.end());
        std::printf("%s\"%s\": %.2f", k == 0 ? "" : ", ", POSE_FUNCTIONS[k].name,
                    s[s.size() / 2]);
    }
    std::printf("}\n");
    return 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: qtk_core_driver [--rounds R] [--iterations N] | --list | "
                 "--only NAME --iterations N | --poses FILE [--rounds R] "
                 "(--varied [--count C] with any but --poses)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long rounds = 31;
    long iterations = 0;  // 2000, or one pass through the varied poses
    long count = 4096;
    bool vary = false;
    const char* only = nullptr;
    const char* pose_file = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--list") {
            for (const Function& f : FUNCTIONS) {
                std::printf("%s\n", f.name);
            }
            return 0;
        }
        if (arg == "--varied") {
            vary = true;
            continue;
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
        } else if (arg == "--count") {
            count = std::atol(argv[++i]);
        } else if (arg == "--poses") {
            pose_file = argv[++i];
        } else {
            return usage();
        }
    }
    if (iterations == 0) {
        iterations = vary ? count : 2000;
    }
    if (rounds < 1 || iterations < 1 || count < 1 || (vary && pose_file != nullptr)) {
        return usage();
    }
    if (pose_file != nullptr) {
        return time_poses(pose_file, rounds);
    }
    const Function* functions = FUNCTIONS;
    if (vary) {
        make_varied_poses(static_cast<std::size_t>(count), 0x51ed270b7a3c4f19ULL);
        if (!varied_poses_solved()) {
            std::fprintf(stderr, "qtk_core_driver: a varied pose has no solution\n");
            return 1;
        }
        functions = VARIED_FUNCTIONS;
    }
    constexpr std::size_t function_count = sizeof(FUNCTIONS) / sizeof(FUNCTIONS[0]);
    for (std::size_t k = 0; k < function_count; ++k) {
        if (std::strcmp(functions[k].name, FUNCTIONS[k].name) != 0) {
            std::fprintf(stderr, "qtk_core_driver: %s out of place\n", functions[k].name);
            return 1;
        }
    }
    if (only != nullptr) {
        for (const Function& f : FUNCTIONS) {
            if (std::strcmp(f.name, only) == 0) {
                functions[&f - FUNCTIONS].run(iterations);
                return 0;
            }
        }
        return usage();
    }
    std::vector<double> samples[function_count];
    for (std::size_t k = 0; k < function_count; ++k) {
        functions[k].run(iterations / 10 + 1);  // warm up
    }
    for (long round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < function_count; ++k) {
            samples[k].push_back(seconds_of(functions[k].run, iterations) * 1e9 /
                                 static_cast<double>(iterations));
        }
    }
    std::printf("{");
    for (std::size_t k = 0; k < function_count; ++k) {
        std::vector<double>& s = samples[k];
        std::nth_element(s.begin(), s.begin() + s.size() / 2, s.end());
        std::printf("%s\"%s\": %.2f", k == 0 ? "" : ", ", FUNCTIONS[k].name, s[s.size() / 2]);
    }
    std::printf("}\n");
    return 0;
}
