# The library and the install tree.
#
# segmix_core is also the static library libsegmix.a (segmix::segmix_static):
# the tools, the tests and the benchmarks link it, and it holds the C entry
# points of include/segmix/segmix.h. segmix_shared is libsegmix.so, or
# segmix.dll with its import library on Windows (segmix::segmix). Both are
# built from the same position-independent objects, whose symbols are hidden:
# the shared library exports the C entry points alone.
#
# cmake --install puts the tools, the header, both libraries, the CMake package
# (find_package(segmix)) and a pkg-config file (segmix.pc) under the prefix.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set_target_properties(segmix_core PROPERTIES
  OUTPUT_NAME segmix
  EXPORT_NAME segmix_static
  POSITION_INDEPENDENT_CODE ON
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
target_include_directories(segmix_core PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
# On Windows the header marks its functions for import from the DLL unless told
# that the static library is linked.
target_compile_definitions(segmix_core PUBLIC SEGMIX_STATIC)
# A C program is linked by the C driver, which leaves out the C++ runtime that
# the static library needs.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_link_libraries(segmix_core INTERFACE "$<$<LINK_LANGUAGE:C>:stdc++;m>")
endif()

add_library(segmix_shared SHARED src/front/api.cpp)
target_link_libraries(segmix_shared PRIVATE segmix_core)
target_compile_definitions(segmix_shared PRIVATE SEGMIX_BUILDING_DLL)
target_include_directories(segmix_shared PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(segmix_shared PROPERTIES
  OUTPUT_NAME segmix
  EXPORT_NAME segmix
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR}
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
if(WIN32)
  # segmix.dll, carrying its own C++ runtime, so that it needs no other DLL.
  set_target_properties(segmix_shared PROPERTIES PREFIX "")
  if(MINGW)
    target_link_options(segmix_shared PRIVATE -static)
  endif()
endif()

# The tools start as fast as a process can: statically linked, they load no
# shared library. Not with the sanitizers, which need the dynamic runtime.
option(SEGMIX_STATIC_TOOLS "Link segmix, segjoin and segmix-batch statically" ON)
string(TOUPPER "${CMAKE_BUILD_TYPE}" segmix_config)
if(SEGMIX_STATIC_TOOLS AND CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT
   "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${segmix_config}} ${CMAKE_EXE_LINKER_FLAGS}" MATCHES "-fsanitize")
  foreach(tool IN ITEMS segmix segjoin segmix-batch)
    target_link_options(${tool} PRIVATE -static)
  endforeach()
endif()

install(TARGETS segmix segjoin segmix-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS segmix_core segmix_shared EXPORT segmix-targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/segmix/segmix.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/segmix)

set(segmix_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/segmix)
install(EXPORT segmix-targets NAMESPACE segmix:: DESTINATION ${segmix_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/segmix-config-version.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/segmix-config.cmake
  ${PROJECT_BINARY_DIR}/segmix-config-version.cmake
  DESTINATION ${segmix_cmake_dir})

# segmix.pc finds the prefix from its own place, so the tree can be moved.
set(segmix_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH SEGMIX_PC_TO_PREFIX /prefix/${segmix_pc_dir} /prefix)
string(REGEX REPLACE "/$" "" SEGMIX_PC_TO_PREFIX "${SEGMIX_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/segmix.pc.in ${PROJECT_BINARY_DIR}/segmix.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/segmix.pc DESTINATION ${segmix_pc_dir})
