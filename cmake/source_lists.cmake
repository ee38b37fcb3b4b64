# The project's source lists, written out: the core library, the Python
# boundary the benchmark's floor module shares, the extension module, and the
# array package's kernel extension.
# Included by the top-level CMakeLists.txt and by bench/CMakeLists.txt;
# fuzz/ sees them through the top level.
set(QTK_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)

# The pure C++ core (no Python): include/quorbel/ holds its public headers.
set(QTK_CORE_SOURCES
  ${QTK_SOURCE_ROOT}/src/maths/vector.cpp
  ${QTK_SOURCE_ROOT}/src/maths/rotation.cpp
  ${QTK_SOURCE_ROOT}/src/maths/mat3x2.cpp
  ${QTK_SOURCE_ROOT}/src/maths/elementary/fma_dispatch.cpp
  ${QTK_SOURCE_ROOT}/src/maths/elementary/range_reduction.cpp
  ${QTK_SOURCE_ROOT}/src/maths/elementary/sin_cos.cpp
  ${QTK_SOURCE_ROOT}/src/maths/elementary/asin_acos.cpp
  ${QTK_SOURCE_ROOT}/src/maths/elementary/atan2.cpp
  ${QTK_SOURCE_ROOT}/src/arm/geometry.cpp
  ${QTK_SOURCE_ROOT}/src/arm/close_loop.cpp
  ${QTK_SOURCE_ROOT}/src/arm/forward_kinematics.cpp
  ${QTK_SOURCE_ROOT}/src/arm/unit_direction.cpp
  ${QTK_SOURCE_ROOT}/src/arm/joint_limits.cpp
  ${QTK_SOURCE_ROOT}/src/arm/inverse_kinematics.cpp
  ${QTK_SOURCE_ROOT}/src/arm/nearest_frame.cpp
  ${QTK_SOURCE_ROOT}/src/arm/frame_pose.cpp
  ${QTK_SOURCE_ROOT}/src/arm/frame_searches.cpp
  ${QTK_SOURCE_ROOT}/src/arm/velocity_kinematics.cpp
  ${QTK_SOURCE_ROOT}/src/arm/nearest_reachable.cpp
  ${QTK_SOURCE_ROOT}/src/arm/closing_limit.cpp
  ${QTK_SOURCE_ROOT}/src/arm/limit_lines.cpp
  ${QTK_SOURCE_ROOT}/src/arms_json/json_scanner.cpp
  ${QTK_SOURCE_ROOT}/src/arms_json/arms_json.cpp
  ${QTK_SOURCE_ROOT}/src/neck/neck_kinematics.cpp
  ${QTK_SOURCE_ROOT}/src/neck/neck_velocity.cpp
  ${QTK_SOURCE_ROOT}/src/batch/lane_choice.cpp
  ${QTK_SOURCE_ROOT}/src/batch/batch_kinematics.cpp
  ${QTK_SOURCE_ROOT}/src/torso/mount.cpp
  ${QTK_SOURCE_ROOT}/src/torso/example_torso.cpp
  ${QTK_SOURCE_ROOT}/src/torso/look_at_arm.cpp
  ${QTK_SOURCE_ROOT}/src/torso/look_at_neck.cpp
  ${QTK_SOURCE_ROOT}/src/torso/look_at_torso.cpp
  ${QTK_SOURCE_ROOT}/src/torso/torso_json_reader.cpp
  ${QTK_SOURCE_ROOT}/src/torso/torso_json_writer.cpp)

# The boundary's parts that know no class: argument parser, converters,
# result builders, heap types and the internal error.
set(QTK_BOUNDARY_SOURCES
  ${QTK_SOURCE_ROOT}/src/module/argument_parser.cpp
  ${QTK_SOURCE_ROOT}/src/module/converters.cpp
  ${QTK_SOURCE_ROOT}/src/module/heap_types.cpp
  ${QTK_SOURCE_ROOT}/src/module/internal_error.cpp
  ${QTK_SOURCE_ROOT}/src/module/result_builders.cpp)

# The extension module: the boundary, the two classes and the module.
set(QTK_MODULE_SOURCES
  ${QTK_BOUNDARY_SOURCES}
  ${QTK_SOURCE_ROOT}/src/module/arm_class.cpp
  ${QTK_SOURCE_ROOT}/src/module/arm_kinematics_methods.cpp
  ${QTK_SOURCE_ROOT}/src/module/neck_class.cpp
  ${QTK_SOURCE_ROOT}/src/module/module_init.cpp)

# The array package's kernels, quorbel_torso._kernels: loops over the core.
# Per mechanism (arm_*, neck_*, torso_*), then the plumbing they share.
set(QTK_ARRAY_SOURCES
  ${QTK_SOURCE_ROOT}/src/arrays/arm_kernels.cpp
  ${QTK_SOURCE_ROOT}/src/arrays/arm_velocity_kernels.cpp
  ${QTK_SOURCE_ROOT}/src/arrays/arm_velocity_loops.cpp
  ${QTK_SOURCE_ROOT}/src/arrays/arm_option_kernels.cpp
  ${QTK_SOURCE_ROOT}/src/arrays/arm_option_loops.cpp
  ${QTK_SOURCE_ROOT}/src/arrays/arm_json_kernel.cpp
  ${QTK_SOURCE_ROOT}/src/arrays/neck_kernels.cpp
  ${QTK_SOURCE_ROOT}/src/arrays/torso_kernels.cpp
  ${QTK_SOURCE_ROOT}/src/arrays/prepared_arm.cpp
  ${QTK_SOURCE_ROOT}/src/arrays/kernel_call.cpp
  ${QTK_SOURCE_ROOT}/src/arrays/single_pose.cpp
  ${QTK_SOURCE_ROOT}/src/arrays/numpy_api.cpp
  ${QTK_SOURCE_ROOT}/src/arrays/signature_report.cpp
  ${QTK_SOURCE_ROOT}/src/arrays/simd_choice.cpp
  ${QTK_SOURCE_ROOT}/src/arrays/kernel_module.cpp)
