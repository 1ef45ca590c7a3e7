# Installs a build tree into a fresh prefix, or unpacks a release package into
# a fresh folder, and builds and runs a C program against it, through the CMake
# package and, where pkg-config is found, through segmix.pc.
#
#   cmake -DBUILD_DIR=<build tree> -DCONSUMER=<tests/install> -DWORK=<folder>
#         -DGENERATOR=<generator> [-DLINK_FLAGS=<flags>] -P install_test.cmake
#   cmake -DARCHIVE=<package> ... [-DTOOLCHAIN=<file> -DEMULATOR=<wine>] -P install_test.cmake
#
# LINK_FLAGS are the build's own flags for linking programs (the sanitizers'
# runtimes, in a sanitized build); the consumer is linked with them too.
# ARCHIVE is a package that cpack made (.tar.gz or .zip, holding one folder).
# With TOOLCHAIN the consumer is cross-compiled with that toolchain file and
# run through EMULATOR, with the package's DLLs copied beside it as a user of
# the DLL would; pkg-config is then not tried.
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/script_steps.cmake)

# The consumer prints "ok" after checking every result (on Windows its line
# ends in CR LF). Its output goes through a file, not a pipe: processes that
# Wine starts beside a program may hold its pipes open long after it ends.
function(check_consumer exe)
  file(REMOVE_RECURSE ${WORK}/run)
  file(MAKE_DIRECTORY ${WORK}/run)
  execute_process(COMMAND ${EMULATOR} ${exe} ${WORK}/run RESULT_VARIABLE status
    OUTPUT_FILE ${WORK}/run.out ERROR_FILE ${WORK}/run.err)
  file(READ ${WORK}/run.out out)
  file(READ ${WORK}/run.err err)
  if(NOT status STREQUAL "0" OR NOT out MATCHES "ok\r?\n$")
    message(FATAL_ERROR "${exe} ended with ${status} and printed:\n${out}\n${err}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
if(DEFINED ARCHIVE)
  # The package holds one folder, the prefix.
  file(ARCHIVE_EXTRACT INPUT ${ARCHIVE} DESTINATION ${WORK}/unpacked)
  file(GLOB prefix ${WORK}/unpacked/*)
  list(LENGTH prefix count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "${ARCHIVE} holds ${count} entries at its top, not one folder: ${prefix}")
  endif()
else()
  set(prefix ${WORK}/prefix)
  run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
endif()
foreach(file IN ITEMS include/segmix/segmix.h)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

set(options "")
if(TOOLCHAIN)
  # A toolchain file confines find_package to its own root: point it at the
  # package's CMake files.
  file(GLOB_RECURSE config ${prefix}/segmix-config.cmake)
  get_filename_component(config_dir "${config}" DIRECTORY)
  list(APPEND options -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -Dsegmix_DIR=${config_dir})
endif()
if(DEFINED LINK_FLAGS)
  list(APPEND options "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}")
endif()
run("configuring the consumer" ${CMAKE_COMMAND} -S ${CONSUMER} -B ${WORK}/build -G ${GENERATOR}
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH=${prefix} ${options})
run("building the consumer" ${CMAKE_COMMAND} --build ${WORK}/build)
if(TOOLCHAIN)
  # A program that uses the DLL finds it in its own folder.
  file(GLOB dlls ${prefix}/bin/*.dll)
  file(COPY ${dlls} DESTINATION ${WORK}/build)
  set(exe .exe)
endif()
check_consumer(${WORK}/build/consumer_shared${exe})
check_consumer(${WORK}/build/consumer_static${exe})
if(TOOLCHAIN)
  return()
endif()

find_program(PKG_CONFIG NAMES pkg-config pkgconf)
find_program(CC NAMES cc gcc)
if(PKG_CONFIG AND CC)
  file(GLOB_RECURSE pc ${prefix}/*/segmix.pc)
  get_filename_component(pc_dir "${pc}" DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} ${pc_dir})
  run("pkg-config" ${PKG_CONFIG} --cflags --libs segmix)
  separate_arguments(flags UNIX_COMMAND "${out} ${LINK_FLAGS}")
  run("pkg-config --variable=libdir" ${PKG_CONFIG} --variable=libdir segmix)
  string(STRIP "${out}" libdir)
  run("building with pkg-config's flags" ${CC} -std=c11 -Wall -Wextra -Wpedantic -Wconversion -Werror
    ${CONSUMER}/consumer.c -o ${WORK}/consumer_pc ${flags} -Wl,-rpath,${libdir})
  check_consumer(${WORK}/consumer_pc)
endif()
