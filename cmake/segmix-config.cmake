# find_package(segmix): the targets segmix::segmix (the shared library) and
# segmix::segmix_static (the static library; a C program that links it is
# linked as C++, since the library needs the C++ runtime).
include("${CMAKE_CURRENT_LIST_DIR}/segmix-targets.cmake")
