// Prints the core's results for a seeded sequence of random poses, so that
// builds for different machines, compilers and C libraries, and the two
// Python packages, can be compared byte for byte:
//
//   random_poses 200000 > poses.txt
//
// The poses come from splitmix64 turned into doubles by integer arithmetic
// alone (53 random bits, an exact conversion, a power-of-two scale), so the
// arguments are the same doubles on every machine; every difference in the
// output is a difference in the core's arithmetic. Pose i works the arm
// i mod 3 (the left preset, the right preset, a mirrored negative-branch
// arm) and the neck. One line per result:
//
//   <pose> <object> <operation> : <values>
//
// each value the 16 hexadecimal digits of the double's bits, "nan" for any
// NaN (a NaN's sign and payload are no part of a result), "none" for an empty
// result. The digits are formatted here rather than by printf, whose %a
// differs between C libraries; on Windows stdout is switched to binary so
// that lines end in "\n" there too. tests/cross_platform/random_poses.py
// draws the same poses and prints the same lines from the Python packages.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <optional>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <quorbel/torso_kinematics.hpp>

namespace {

// Vigna's splitmix64: a 64-bit state advanced by a Weyl sequence and mixed.
struct SplitMix64 {
    std::uint64_t state;

    std::uint64_t next() {
        state += 0x9e3779b97f4a7c15u;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }

    // A double uniform on [-bound, bound), bound a power of two, with 53
    // random bits: an integer below 2^53 in magnitude converts exactly, and
    // each product is by a power of two, so exact.
    double uniform(double bound) {
        const std::int64_t k = static_cast<std::int64_t>(next() >> 11) - (std::int64_t{1} << 52);
        return (static_cast<double>(k) * 0x1p-52) * bound;
    }
};

constexpr std::uint64_t SEED = 0x5eed0f7025a11u;
constexpr double DAMPING = 0x1p-4;

class Output {
public:
    Output() { buffer_[0] = '\0'; }
    ~Output() { flush(); }

    void text(const char* s) {
        const std::size_t n = std::strlen(s);
        reserve(n);
        std::memcpy(buffer_ + used_, s, n);
        used_ += n;
    }

    void value(double v) {
        reserve(17);
        buffer_[used_++] = ' ';
        if (v != v) {
            std::memcpy(buffer_ + used_, "nan", 3);
            used_ += 3;
            return;
        }
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        for (int shift = 60; shift >= 0; shift -= 4) {
            buffer_[used_++] = "0123456789abcdef"[(bits >> shift) & 0xf];
        }
    }

    void begin(unsigned long pose, const char* object, const char* operation) {
        char head[96];
        std::snprintf(head, sizeof head, "%lu %s %s :", pose, object, operation);
        text(head);
    }

    void values(std::initializer_list<double> list) {
        for (double v : list) {
            value(v);
        }
    }

    void none() { text(" none"); }
    void end() { text("\n"); }

private:
    void reserve(std::size_t n) {
        if (used_ + n > sizeof buffer_) {
            flush();
        }
    }
    void flush() {
        std::fwrite(buffer_, 1, used_, stdout);
        used_ = 0;
    }

    char buffer_[1 << 16];
    std::size_t used_ = 0;
};

void put_vector(Output& out, quorbel::Vec3 v) { out.values({v.x, v.y, v.z}); }

void put_rotation(Output& out, const quorbel::Mat3& r) {
    for (const quorbel::Mat3::Row& row : r) {
        out.values({row[0], row[1], row[2]});
    }
}

void put_mat3x2(Output& out, const std::optional<quorbel::Mat3x2>& m) {
    if (!m) {
        out.none();
        return;
    }
    for (const quorbel::Mat3x2::Row& row : m->rows) {
        out.values({row[0], row[1]});
    }
}

void put_pair(Output& out, const std::optional<quorbel::JointPair>& pair) {
    if (pair) {
        out.values({pair->theta_a, pair->theta_b});
    } else {
        out.none();
    }
}

// The neck's angles (NeckAngles) or rates (NeckRates): yaw, pitch, roll.
template <typename NeckTriple>
void put_neck(Output& out, const std::optional<NeckTriple>& angles) {
    if (angles) {
        out.values({angles->yaw, angles->pitch, angles->roll});
    } else {
        out.none();
    }
}

// The draws of one pose, in the order random_poses.py makes them.
struct Pose {
    double theta_a, theta_b;  // [-2, 2): the loop closes for about half
    quorbel::Vec3 direction;  // each component in [-1, 1); see target()
    quorbel::JointPair near;  // [-4, 4)
    quorbel::Vec3 rate;       // direction rate, each in [-1, 1)
    quorbel::NeckAngles neck; // yaw, roll in [-4, 4), pitch in [-2, 2)
    quorbel::Vec3 omega;      // neck angular velocity, each in [-1, 1)
};

Pose draw(SplitMix64& random) {
    Pose p;
    p.theta_a = random.uniform(2.0);
    p.theta_b = random.uniform(2.0);
    p.direction.x = random.uniform(1.0);
    p.direction.y = random.uniform(1.0);
    p.direction.z = random.uniform(1.0);
    p.near.theta_a = random.uniform(4.0);
    p.near.theta_b = random.uniform(4.0);
    p.rate.x = random.uniform(1.0);
    p.rate.y = random.uniform(1.0);
    p.rate.z = random.uniform(1.0);
    p.neck.yaw = random.uniform(4.0);
    p.neck.pitch = random.uniform(2.0);
    p.neck.roll = random.uniform(4.0);
    p.omega.x = random.uniform(1.0);
    p.omega.y = random.uniform(1.0);
    p.omega.z = random.uniform(1.0);
    return p;
}

// The direction the inverse kinematics is asked for: near the pose's own
// pointing direction when the loop closes (a random vector mostly misses the
// workspace), the random direction otherwise. 0.25 r is exact, so each
// component is rounded once.
quorbel::Vec3 target(const std::optional<quorbel::Vec3>& direction, const Pose& p) {
    if (!direction) {
        return p.direction;
    }
    return {direction->x + 0.25 * p.rate.x, direction->y + 0.25 * p.rate.y,
            direction->z + 0.25 * p.rate.z};
}

void arm_lines(Output& out, unsigned long i, const char* name, const quorbel::Arm& arm,
               const Pose& p) {
    const quorbel::FkResult fk = quorbel::forward_kinematics(arm, p.theta_a, p.theta_b);
    out.begin(i, name, "fk");
    if (fk) {
        put_rotation(out, fk->rotation);
    } else {
        out.none();
    }
    out.end();
    out.begin(i, name, "direction");
    const std::optional<quorbel::Vec3> direction =
        quorbel::pointing_direction(arm, p.theta_a, p.theta_b);
    if (direction) {
        put_vector(out, *direction);
    } else {
        out.none();
    }
    out.end();
    if (fk) {
        out.begin(i, name, "ik");
        put_pair(out, quorbel::ik(arm, fk->rotation));
        out.end();
    }
    const quorbel::Vec3 wanted = target(direction, p);
    out.begin(i, name, "ik_from_direction");
    put_pair(out, quorbel::ik_from_direction(arm, wanted, std::nullopt));
    out.end();
    out.begin(i, name, "ik_from_direction_near");
    put_pair(out, quorbel::ik_from_direction(arm, wanted, p.near));
    out.end();
    out.begin(i, name, "direction_jacobian");
    put_mat3x2(out, quorbel::direction_jacobian(arm, p.theta_a, p.theta_b));
    out.end();
    out.begin(i, name, "angular_jacobian");
    put_mat3x2(out, quorbel::angular_jacobian(arm, p.theta_a, p.theta_b));
    out.end();
    out.begin(i, name, "singular_values");
    const std::optional<quorbel::SingularValues> s =
        quorbel::singular_values(arm, p.theta_a, p.theta_b);
    if (s) {
        out.values({s->largest, s->smallest});
    } else {
        out.none();
    }
    out.end();
    out.begin(i, name, "joint_rates");
    put_pair(out, quorbel::joint_rates(arm, p.theta_a, p.theta_b, p.rate, 0.0));
    out.end();
    out.begin(i, name, "joint_rates_damped");
    put_pair(out, quorbel::joint_rates(arm, p.theta_a, p.theta_b, p.rate, DAMPING));
    out.end();
    out.begin(i, name, "nearest_reachable_near");
    const std::optional<quorbel::ReachableDirection> reached =
        quorbel::nearest_reachable(arm, wanted, p.near);
    if (reached) {
        put_vector(out, reached->direction);
        out.values({reached->joints.theta_a, reached->joints.theta_b});
    } else {
        out.none();
    }
    out.end();
}

void neck_lines(Output& out, unsigned long i, const Pose& p) {
    const quorbel::Mat3 r = quorbel::neck_forward_kinematics(p.neck);
    out.begin(i, "neck", "fk");
    put_rotation(out, r);
    out.end();
    out.begin(i, "neck", "ik");
    put_neck(out, quorbel::neck_inverse_kinematics(r));
    out.end();
    out.begin(i, "neck", "angular_jacobian");
    put_rotation(out, quorbel::neck_angular_jacobian(p.neck));
    out.end();
    out.begin(i, "neck", "joint_rates");
    put_neck(out, quorbel::neck_joint_rates(p.neck, p.omega));
    out.end();
}

}  // namespace

int main(int argc, char** argv) {
    char* end = nullptr;
    const unsigned long count = argc == 2 ? std::strtoul(argv[1], &end, 10) : 0;
    if (argc != 2 || end == argv[1] || *end != '\0') {
        std::fprintf(stderr, "usage: random_poses POSES > lines.txt\n");
        return 2;
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const quorbel::Arm arms[3] = {
        quorbel::Arm(quorbel::default_left_geometry()),
        quorbel::Arm(quorbel::default_right_geometry()),
        quorbel::Arm(quorbel::SphericalLinkGeometry{quorbel::DEFAULT_ARM_ARC,
                                                    quorbel::DEFAULT_COUPLER_ARC,
                                                    quorbel::Branch::negative, true}),
    };
    const char* const names[3] = {"left", "right", "negative"};
    SplitMix64 random{SEED};
    {
        Output out;
        for (unsigned long i = 0; i < count; ++i) {
            const Pose p = draw(random);
            arm_lines(out, i, names[i % 3], arms[i % 3], p);
            neck_lines(out, i, p);
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
