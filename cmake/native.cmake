# The build for this machine beside a cross build for Windows: the same source
# tree configured again in native/ with this machine's C++ compiler and no
# toolchain file, and built as part of the cross build's `all` (an external
# project). The cross-build tests compare the Windows tools with its segmix,
# segjoin and segmix-batch; with SEGMIX_PACKAGES it is built whole, without tests or
# benchmarks, and its CPack configuration makes the Linux package beside the
# Windows one.
#
# Sets SEGMIX_NATIVE_DIR, where its tools are.
include(ExternalProject)

# CMAKE_FIND_ROOT_PATH_MODE_PROGRAM is NEVER in the toolchain file: this finds
# the compiler of the build machine, not the cross compiler.
find_program(SEGMIX_HOST_CXX NAMES c++ g++ clang++
  DOC "The C++ compiler of the build machine, for the build beside the cross build")
if(NOT SEGMIX_HOST_CXX)
  message(FATAL_ERROR "No C++ compiler for the build machine (c++, g++ or clang++): "
                      "the build beside the cross build needs one")
endif()

set(SEGMIX_NATIVE_DIR ${PROJECT_BINARY_DIR}/native)
if(SEGMIX_PACKAGES)
  set(native_targets "")
else()
  set(native_targets segmix segjoin segmix-batch)
endif()
if(CMAKE_GENERATOR MATCHES "Makefiles")
  # Recursive make shares the cross build's jobs.
  set(native_build "$(MAKE)" ${native_targets})
elseif(native_targets)
  set(native_build ${CMAKE_COMMAND} --build <BINARY_DIR> --target ${native_targets})
else()
  set(native_build ${CMAKE_COMMAND} --build <BINARY_DIR>)
endif()

ExternalProject_Add(segmix_native
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${SEGMIX_NATIVE_DIR}
  CMAKE_ARGS
    -DCMAKE_CXX_COMPILER=${SEGMIX_HOST_CXX}
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DCMAKE_COMPILE_WARNING_AS_ERROR=${CMAKE_COMPILE_WARNING_AS_ERROR}
    -DSEGMIX_TESTS=OFF
    -DSEGMIX_BENCH=OFF
    -DSEGMIX_FUZZ=OFF
    -DSEGMIX_STATIC_TOOLS=${SEGMIX_STATIC_TOOLS}
    -DSEGMIX_PACKAGE_DIRECTORY=${SEGMIX_PACKAGE_DIRECTORY}
  BUILD_COMMAND ${native_build}
  # The sources are this tree's own: build (incrementally) whenever the cross
  # build is built, so that both are always of the same sources.
  BUILD_ALWAYS ON
  INSTALL_COMMAND "")
