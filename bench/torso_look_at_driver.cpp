// qtk_torso_look_at_driver: the C++ core's look_at for the whole example
// torso on one target, the cost of one tick of a gaze controller.
//
//   qtk_torso_look_at_driver TICKS X Y Z [X Y Z ...]
//
// For each target: the first aim, then TICKS ticks on that target each given
// the last aim's pose as the previous one (as a controller passes its
// joints); prints one line per target, the median thread CPU time per tick
// in nanoseconds over 9 rounds of TICKS / 9 ticks.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <vector>

#include <quorbel/torso/look_at.hpp>

using namespace quorbel;

namespace {

double thread_ns() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return 1e9 * static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec);
}

std::optional<TorsoPose> pose_of(const TorsoAim& aim) {
    if (!aim.left_arm || !aim.right_arm || !aim.neck) {
        return std::nullopt;
    }
    return TorsoPose{aim.left_arm->joints, aim.right_arm->joints, aim.neck->angles};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5 || (argc - 2) % 3 != 0) {
        std::fprintf(stderr, "usage: qtk_torso_look_at_driver TICKS X Y Z [X Y Z ...]\n");
        return 2;
    }
    const int ticks = std::max(9, std::atoi(argv[1]));
    const Torso torso = example_torso();
    double sink = 0.0;
    for (int i = 2; i + 2 < argc; i += 3) {
        const Vec3 target = {std::atof(argv[i]), std::atof(argv[i + 1]), std::atof(argv[i + 2])};
        TorsoAim aim = look_at(torso, target, std::nullopt);
        std::vector<double> rounds;
        for (int round = 0; round < 9; ++round) {
            const double start = thread_ns();
            for (int k = 0; k < ticks / 9; ++k) {
                aim = look_at(torso, target, pose_of(aim));
                sink += aim.left_arm ? aim.left_arm->leftover : 0.0;
            }
            rounds.push_back((thread_ns() - start) / (ticks / 9));
        }
        std::nth_element(rounds.begin(), rounds.begin() + 4, rounds.end());
        std::printf("%.1f\n", rounds[4]);
    }
    return sink == -1.0;
}
