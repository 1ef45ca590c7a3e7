# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 toolchain
# (package g++-mingw-w64-x86-64). The posix-threads variant of the compilers
# gives GoogleTest the std::mutex and std::condition_variable it needs.
# Every executable (and DLL) is linked statically, so it runs on a bare Windows
# machine without the toolchain's DLLs. The tests run under Wine (package wine64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SEGMIX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SEGMIX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SEGMIX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SEGMIX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SEGMIX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# ctest and gtest_discover_tests run the Windows executables through Wine.
# Debian's wine64 package installs /usr/lib/wine/wine64; the wine package adds
# a `wine` launcher on the PATH.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(SEGMIX_WINE NAMES wine64 wine PATHS /usr/lib/wine
    DOC "Wine, which runs the Windows executables for the tests")
  if(SEGMIX_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${SEGMIX_WINE})
  endif()
endif()
