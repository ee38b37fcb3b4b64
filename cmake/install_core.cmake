# Installs the pure C++ core as a CMake package, for C++ programs that use the
# kinematics without Python:
#
#   find_package(quorbel_torso_kinematics 0.1 REQUIRED)
#   target_link_libraries(my_controller PRIVATE quorbel::core)
#   #include <quorbel/torso_kinematics.hpp>
#
# or, through pkg-config, `c++ -std=c++17 $(pkg-config --cflags --libs
# quorbel_torso_kinematics) ...`.
#
# Installed: the library (static, or shared with QTK_SHARED), the public
# headers (include/quorbel/, and nothing from src/; quorbel/eigen.hpp needs
# Eigen, which only a program that includes it has to find), the package's
# config, version and targets files under lib/cmake/quorbel_torso_kinematics,
# the pkg-config file, and the licence that covers them.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QTK_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/quorbel_torso_kinematics)

set_target_properties(quorbel_core PROPERTIES EXPORT_NAME core)
install(TARGETS quorbel_core
  EXPORT quorbel_torso_kinematics_targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/quorbel
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.hpp")
# The MIT licence asks for its notice in every copy; the name is spelled out
# because CMAKE_INSTALL_DOCDIR takes the first project() of an enclosing build.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quorbel_torso_kinematics)
install(EXPORT quorbel_torso_kinematics_targets
  NAMESPACE quorbel::
  FILE quorbel_torso_kinematicsTargets.cmake
  DESTINATION ${QTK_PACKAGE_DIR})

configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/quorbel_torso_kinematicsConfig.cmake.in
  ${PROJECT_BINARY_DIR}/quorbel_torso_kinematicsConfig.cmake
  INSTALL_DESTINATION ${QTK_PACKAGE_DIR})
# Before 1.0 a minor version may change the API.
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/quorbel_torso_kinematicsConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/quorbel_torso_kinematicsConfig.cmake
  ${PROJECT_BINARY_DIR}/quorbel_torso_kinematicsConfigVersion.cmake
  DESTINATION ${QTK_PACKAGE_DIR})

# The pkg-config file finds the prefix from its own place, so the installed
# tree can be moved (or installed with cmake --install --prefix).
set(QTK_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(QTK_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH QTK_PC_TO_PREFIX /prefix/${QTK_PKGCONFIG_DIR} /prefix)
  string(REGEX REPLACE "/$" "" QTK_PC_TO_PREFIX "${QTK_PC_TO_PREFIX}")
  set(QTK_PC_PREFIX "\${pcfiledir}/${QTK_PC_TO_PREFIX}")
endif()
if(QTK_SHARED)
  set(QTK_PC_CFLAGS " -DQUORBEL_SHARED")
else()
  set(QTK_PC_CFLAGS "")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/quorbel_torso_kinematics.pc.in
  ${PROJECT_BINARY_DIR}/quorbel_torso_kinematics.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quorbel_torso_kinematics.pc DESTINATION ${QTK_PKGCONFIG_DIR})
