# find_package(segmix): the targets segmix::segmix (the shared library) and
# segmix::segmix_static (the static library, which brings the C++ runtime
# into a C program's link).
include("${CMAKE_CURRENT_LIST_DIR}/segmix-targets.cmake")
