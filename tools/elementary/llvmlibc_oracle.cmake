# qtk_llvmlibc_oracle: LLVM libc's sin, cos, asin, acos and atan2 as
# llvmlibc_sin and so on (llvmlibc_oracle.hpp), made by
# make_llvmlibc_oracle.sh from libllvmlibc.a. For the comparison tool and the
# benchmark only. QTK_LLVMLIBC_FOUND says whether there is one.
file(GLOB QTK_LLVMLIBC_CANDIDATES /usr/lib/llvm-*/lib/libllvmlibc.a)
list(SORT QTK_LLVMLIBC_CANDIDATES COMPARE NATURAL)
list(REVERSE QTK_LLVMLIBC_CANDIDATES)
set(QTK_LLVMLIBC_DEFAULT "")
if(QTK_LLVMLIBC_CANDIDATES)
  list(GET QTK_LLVMLIBC_CANDIDATES 0 QTK_LLVMLIBC_DEFAULT)
endif()
set(QTK_LLVMLIBC "${QTK_LLVMLIBC_DEFAULT}" CACHE FILEPATH "LLVM libc's static library")
if(NOT EXISTS "${QTK_LLVMLIBC}")
  set(QTK_LLVMLIBC_FOUND OFF)
  return()
endif()
set(QTK_LLVMLIBC_FOUND ON)
set(QTK_LLVMLIBC_ORACLE ${CMAKE_CURRENT_BINARY_DIR}/libllvmlibc_oracle.a)
add_custom_command(OUTPUT ${QTK_LLVMLIBC_ORACLE}
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/make_llvmlibc_oracle.sh ${QTK_LLVMLIBC_ORACLE} ${QTK_LLVMLIBC}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make_llvmlibc_oracle.sh ${QTK_LLVMLIBC}
  COMMENT "Renaming LLVM libc's elementary functions")
add_custom_target(qtk_llvmlibc_oracle_archive DEPENDS ${QTK_LLVMLIBC_ORACLE})
add_library(qtk_llvmlibc_oracle STATIC IMPORTED GLOBAL)
set_target_properties(qtk_llvmlibc_oracle PROPERTIES IMPORTED_LOCATION ${QTK_LLVMLIBC_ORACLE}
  INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_CURRENT_LIST_DIR})
add_dependencies(qtk_llvmlibc_oracle qtk_llvmlibc_oracle_archive)
