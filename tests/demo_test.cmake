# Configures this source tree as a machine without GoogleTest and Google
# Benchmark would, builds the demo, and checks that it rendered its phrase.
#
#   cmake -DSOURCE_DIR=<tree> -DWORK=<folder> -DGENERATOR=<generator>
#         -DCXX=<compiler> -P demo_test.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/script_steps.cmake)
require_variables(demo_test.cmake SOURCE_DIR WORK GENERATOR CXX)

file(REMOVE_RECURSE ${WORK})
run("configuring without the test libraries" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK} -G ${GENERATOR}
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=${CXX}
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON)
if(NOT "${out}${err}" MATCHES "GoogleTest was not found")
  message(FATAL_ERROR "the configure step did not say that the tests need GoogleTest:\n${out}${err}")
endif()
run("building the demo" ${CMAKE_COMMAND} --build ${WORK} --target demo -j2)
set(out "${out}${err}")
if(NOT out MATCHES "demo phrase: ([^\n]*phrase\\.wav)")
  message(FATAL_ERROR "the demo printed no phrase:\n${out}")
endif()
if(NOT EXISTS "${CMAKE_MATCH_1}")
  message(FATAL_ERROR "the demo's phrase is not there: ${CMAKE_MATCH_1}")
endif()
if(NOT out MATCHES "demo picture: ([^\n]*phrase\\.svg)")
  message(FATAL_ERROR "the demo printed no picture:\n${out}")
endif()
if(NOT EXISTS "${CMAKE_MATCH_1}")
  message(FATAL_ERROR "the demo's picture is not there: ${CMAKE_MATCH_1}")
endif()
# And ctest says what is missing instead of passing.
execute_process(COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${WORK} -R GoogleTest -V
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT out MATCHES "install it and configure again")
  message(FATAL_ERROR "ctest did not say that GoogleTest is missing:\n${out}${err}")
endif()
