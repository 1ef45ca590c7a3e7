# The libraries, the tools and the install tree.
#
# segmix_static is libsegmix.a (segmix::segmix_static): the tools, the tests
# and the benchmarks link it, and it holds the C entry points of
# include/segmix/segmix.h. segmix_shared is libsegmix.so, or segmix.dll with
# its import library on Windows (segmix::segmix). Both are made of the same
# position-independent objects, whose symbols are hidden: the shared library
# exports the C entry points alone. Only the entry points' file (api.cpp) is
# compiled for each, since on Windows the header marks the functions for
# export from the DLL (DEFINE_SYMBOL) and for neither import nor export in the
# static library (SEGMIX_STATIC).
#
# cmake --install puts the tools, the header, both libraries, the CMake package
# (find_package(segmix)) and a pkg-config file (segmix.pc) under the prefix.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

foreach(kind IN ITEMS static shared)
  string(TOUPPER ${kind} type)
  add_library(segmix_${kind} ${type} src/front/api.cpp $<TARGET_OBJECTS:segmix_objects>)
  target_link_libraries(segmix_${kind} PRIVATE $<BUILD_INTERFACE:segmix_flags>)
  target_include_directories(segmix_${kind} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
    PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_BINARY_DIR}/generated)
  set_target_properties(segmix_${kind} PROPERTIES
    OUTPUT_NAME segmix
    EXPORT_NAME segmix_${kind}
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
endforeach()
set_target_properties(segmix_shared PROPERTIES
  EXPORT_NAME segmix
  DEFINE_SYMBOL SEGMIX_BUILDING_DLL
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR})
# A program that links the static library on Windows must not look for the
# functions in a DLL.
target_compile_definitions(segmix_static PUBLIC SEGMIX_STATIC)
# What the layers below the entry points offer the tools, the tests and the
# benchmarks: their headers, in the build tree only.
target_include_directories(segmix_static PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src> $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/generated>)
# A C program is linked by the C driver, which leaves out the C++ runtime that
# the static library needs.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_link_libraries(segmix_static INTERFACE "$<$<LINK_LANGUAGE:C>:stdc++;m>")
endif()
if(WIN32)
  # segmix.dll, carrying its own C++ runtime, so that it needs no other DLL.
  set_target_properties(segmix_shared PROPERTIES PREFIX "")
  if(MINGW)
    target_link_options(segmix_shared PRIVATE -static)
  endif()
endif()

# The tools. What only a tool's process needs (its command line, wide on
# Windows) is in segmix_tool.
add_library(segmix_tool STATIC src/front/command_line.cpp)
target_link_libraries(segmix_tool PUBLIC segmix_static PRIVATE segmix_flags)
if(WIN32)
  target_link_libraries(segmix_tool PUBLIC shell32)
endif()
add_executable(segmix src/front/main.cpp)
add_executable(segjoin src/front/segjoin.cpp)
# The picture of a phrase (src/view/: placement, reduction, SVG), below the
# front ends; it needs only render/ and wave/.
add_library(segmix_view STATIC
  src/view/place.cpp
  src/view/reduce.cpp
  src/view/svg.cpp
  src/view/text.cpp)
target_link_libraries(segmix_view PUBLIC segmix_static PRIVATE segmix_flags)
# segmix-batch: the runs of a whole phrase in one process, one per line; and
# segmix-view, which reads the same lines, beside it in one library so that
# either front end can call the other.
add_library(segmix_batch_core STATIC src/front/batch.cpp src/front/view.cpp)
target_link_libraries(segmix_batch_core PUBLIC segmix_static segmix_view PRIVATE segmix_flags)
add_executable(segmix-batch src/front/batch_main.cpp)
add_executable(segmix-view src/front/view_main.cpp)
target_link_libraries(segmix PRIVATE segmix_tool segmix_flags)
target_link_libraries(segjoin PRIVATE segmix_tool segmix_flags)
target_link_libraries(segmix-batch PRIVATE segmix_batch_core segmix_tool segmix_flags)
target_link_libraries(segmix-view PRIVATE segmix_batch_core segmix_tool segmix_flags)
if(SEGMIX_STATIC_TOOLS AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
  foreach(tool IN ITEMS segmix segjoin segmix-batch segmix-view)
    target_link_options(${tool} PRIVATE -static)
  endforeach()
endif()

install(TARGETS segmix segjoin segmix-batch segmix-view RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS segmix_static segmix_shared EXPORT segmix-targets
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

# The readme and the licence: beside bin/ on Windows, where a user unpacks the
# package and looks first; under share/doc/segmix elsewhere.
if(WIN32)
  set(segmix_doc_dir .)
else()
  set(segmix_doc_dir ${CMAKE_INSTALL_DOCDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${segmix_doc_dir})

# The release package: cpack archives whatever the install rules above install,
# as segmix-<version>-win64.zip for Windows and segmix-<version>-Linux.tar.gz
# for Linux, each holding one folder of the archive's name.
set(SEGMIX_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR} CACHE PATH "Where cpack puts the package")
set(CPACK_PACKAGE_NAME segmix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the segmix authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Renders the notes of a phrase one by one into a growing WAVE output")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${SEGMIX_PACKAGE_DIRECTORY})
set(CPACK_PACKAGE_CHECKSUM SHA256)
if(WIN32)
  # CPack names only MSVC's 64-bit builds win64.
  math(EXPR segmix_bits "8 * ${CMAKE_SIZEOF_VOID_P}")
  set(CPACK_SYSTEM_NAME win${segmix_bits})
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_SYSTEM_NAME ${CMAKE_SYSTEM_NAME})
  set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git" "/build/")
include(CPack)
