// The example torso (examples/torso.json).
//
// Each preset arm points into a patch of about 60 degrees about a middle
// direction, (0.68, 0.27, 0.68) in the left arm's frame: between its joint A
// axis (z) and its joint B axis (x), symmetric in x and z. The left arm is
// turned by Rz(-15 deg) Ry(45 deg): Ry takes the x-z bisector to the torso's
// forward x, and Rz turns the patch's slight lean to the left back inward,
// so the patch spans about 70 degrees to the right to 60 to the left and up
// to 30 up and down, narrowing toward its ends. The right arm's directions
// are the left's turned half a turn about its z, and its patch is symmetric
// in x and z too, so S Rleft Q Rz(pi) (S mirrors the torso's y, Q swaps x
// and z, both reflections, so the product is a rotation) mounts it as the
// mirror image of the left one across the torso's x-z plane; both reach
// every target within about 20 degrees of straight ahead. The arms sit
// 0.18 m to either side; the neck 0.25 m above, unturned, so its zero pose
// looks forward. Limits: each arm joint within 1.6 rad of zero (the patch's
// middle needs about 1, its edge about 1.75), the neck turning 80 degrees
// either way, pitching 35 degrees up and 50 down (a positive pitch looks
// down), and rolling 30 degrees.
#include <quorbel/torso/torso.hpp>

namespace quorbel {

Torso example_torso() noexcept {
    constexpr double A = 0.6830127018922193;   // cos 15 cos 45
    constexpr double B = 0.18301270189221933;  // sin 15 cos 45
    constexpr double S = 0.25881904510252074;  // sin 15
    constexpr double C = 0.9659258262890683;   // cos 15
    constexpr double H = 0.7071067811865476;   // cos 45
    constexpr JointLimits ARM_LIMITS = {{-1.6, 1.6}, {-1.6, 1.6}};
    return Torso{
        {default_left_geometry(),
         {{{{A, S, A}, {-B, C, -B}, {-H, 0.0, H}}}, {0.0, 0.18, 0.0}},
         ARM_LIMITS},
        {default_right_geometry(),
         {{{{-A, -S, A}, {-B, C, B}, {-H, 0.0, -H}}}, {0.0, -0.18, 0.0}},
         ARM_LIMITS},
        {{IDENTITY, {0.0, 0.0, 0.25}},
         DEFAULT_GAZE_AXIS,
         {AngleInterval{-1.3962634015954636, 1.3962634015954636},
          AngleInterval{-0.6108652381980153, 0.8726646259971648},
          AngleInterval{-0.5235987755982988, 0.5235987755982988}}},
    };
}

}  // namespace quorbel
