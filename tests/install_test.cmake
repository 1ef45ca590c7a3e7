# Installs a build tree into a fresh prefix and builds and runs a C program
# against it, through the CMake package and, where pkg-config is found,
# through segmix.pc.
#
#   cmake -DBUILD_DIR=<build tree> -DCONSUMER=<tests/install> -DWORK=<folder>
#         -DGENERATOR=<generator> [-DLINK_FLAGS=<flags>] -P install_test.cmake
#
# LINK_FLAGS are the build's own flags for linking programs (the sanitizers'
# runtimes, in a sanitized build); the consumer is linked with them too.
cmake_minimum_required(VERSION 3.25)

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status STREQUAL "0")
    message(FATAL_ERROR "${what} failed (${status}):\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

# The consumer prints "ok" after checking every result.
function(check_consumer exe)
  file(REMOVE_RECURSE ${WORK}/run)
  file(MAKE_DIRECTORY ${WORK}/run)
  run("${exe}" ${exe} ${WORK}/run)
  if(NOT out MATCHES "ok\n$")
    message(FATAL_ERROR "${exe} printed:\n${out}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)
run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file IN ITEMS include/segmix/segmix.h)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

run("configuring the consumer" ${CMAKE_COMMAND} -S ${CONSUMER} -B ${WORK}/build -G ${GENERATOR}
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH=${prefix} "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}")
run("building the consumer" ${CMAKE_COMMAND} --build ${WORK}/build)
check_consumer(${WORK}/build/consumer_shared)
check_consumer(${WORK}/build/consumer_static)

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
