// Every method's parameter table: its name in messages, its parameter names
// and their converters. Shared by the module's classes and the benchmark's
// floor module, whose calls are bound exactly as the module's are.
#pragma once

#include "module/argument_parser.hpp"
#include "module/converters.hpp"

namespace quorbel::module {

inline Parameters<DoubleArg, DoubleArg, BoolArg> arm_new_parameters{
    "QuorbelArmKinematics.__new__()", 0, {"arm_arc", "coupler_arc", "mirror"}};
inline Parameters<TextArg> arm_from_json_parameters{
    "QuorbelArmKinematics.from_json()", 1, {"json"}};
inline Parameters<DoubleArg, DoubleArg> arm_fk_parameters{
    "QuorbelArmKinematics.fk()", 2, {"theta_a", "theta_b"}};
inline Parameters<DoubleArg, DoubleArg> arm_direction_parameters{
    "QuorbelArmKinematics.direction()", 2, {"theta_a", "theta_b"}};
inline Parameters<DoubleArg, DoubleArg> arm_is_reachable_joints_parameters{
    "QuorbelArmKinematics.is_reachable_joints()", 2, {"theta_a", "theta_b"}};
inline Parameters<Mat3Arg> arm_ik_parameters{"QuorbelArmKinematics.ik()", 1, {"r_target"}};
inline Parameters<Mat3Arg> arm_is_reachable_orientation_parameters{
    "QuorbelArmKinematics.is_reachable_orientation()", 1, {"r_target"}};
inline Parameters<Vec3Arg, OptionalJointPairArg> arm_ik_from_direction_parameters{
    "QuorbelArmKinematics.ik_from_direction()", 1, {"v3", "near"}};
inline Parameters<Vec3Arg> arm_is_reachable_direction_parameters{
    "QuorbelArmKinematics.is_reachable_direction()", 1, {"v3"}};

inline Parameters<> neck_new_parameters{"QuorbelNeckKinematics.__new__()"};
inline Parameters<Vec3Arg> neck_fk_parameters{"QuorbelNeckKinematics.fk()", 1, {"joints"}};
inline Parameters<Mat3Arg> neck_ik_parameters{"QuorbelNeckKinematics.ik()", 1, {"r"}};

}  // namespace quorbel::module
