# Checks the two release packages, each unpacked into a fresh folder.
#
#   cmake -DCHECK=contents -DZIP=<.zip> -DTARBALL=<.tar.gz> -DOBJDUMP=<objdump>
#         -DSTATIC_TOOLS=<ON|OFF> -DSOURCE_DIR=<source tree> -DWORK=<folder>
#         -P package_test.cmake
#   cmake -DCHECK=demo -DZIP=... -DTARBALL=... -DEMULATOR=<wine>
#         -DSOURCE_DIR=... -DWORK=... -P package_test.cmake
#
# contents: each package holds one folder of its own name, and in it the
# tools, the libraries, the header, the CMake package and segmix.pc, the readme
# and the licence; the Windows executables and DLLs import no DLL but those
# that Windows itself has, and (with STATIC_TOOLS) the Linux tools need no
# shared library. OBJDUMP reads both PE and ELF files (MinGW-w64's does).
#
# demo: the demo phrase (demo/render_phrase.cmake) rendered with the Windows
# package's segmix.exe and segjoin.exe through EMULATOR and with the Linux
# package's segmix and segjoin: the header, data and WAVE files must be the
# same byte for byte.
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/../script_steps.cmake)
require_variables(package_test.cmake CHECK ZIP TARBALL SOURCE_DIR WORK)
require_files(package_test.cmake "cpack makes it (cmake --workflow --preset package)" "${ZIP}" "${TARBALL}")
if(NOT DEFINED ENV{WINEDEBUG})
  set(ENV{WINEDEBUG} "-all")
endif()

file(REMOVE_RECURSE "${WORK}")

# Unpacks archive into WORK/<name> and sets out_top to the one folder in it,
# which must bear the archive's name.
function(unpack archive name out_top)
  file(ARCHIVE_EXTRACT INPUT "${archive}" DESTINATION "${WORK}/${name}")
  file(GLOB top RELATIVE "${WORK}/${name}" "${WORK}/${name}/*")
  get_filename_component(file_name "${archive}" NAME)
  string(REGEX REPLACE "(\\.zip|\\.tar\\.gz)$" "" folder "${file_name}")
  if(NOT top STREQUAL folder)
    message(FATAL_ERROR "${file_name} should hold the one folder ${folder}, not: ${top}")
  endif()
  set(${out_top} "${WORK}/${name}/${folder}" PARENT_SCOPE)
endfunction()

if(CHECK STREQUAL "contents")
  if(NOT OBJDUMP)
    message(FATAL_ERROR "package_test.cmake: pass -DOBJDUMP=... before -P")
  endif()
  unpack("${ZIP}" windows windows)
  unpack("${TARBALL}" linux linux)

  # What each holds, as paths relative to its folder (the Linux library folder
  # is lib, or lib64 on some systems).
  set(windows_files
    bin/segmix.exe bin/segjoin.exe bin/segmix-batch.exe bin/segmix-view.exe bin/segmix.dll
    lib/libsegmix.dll.a lib/libsegmix.a include/segmix/segmix.h
    lib/cmake/segmix/segmix-config.cmake lib/cmake/segmix/segmix-config-version.cmake
    lib/cmake/segmix/segmix-targets.cmake lib/pkgconfig/segmix.pc
    README.md LICENSE)
  set(linux_files
    bin/segmix bin/segjoin bin/segmix-batch bin/segmix-view
    lib*/libsegmix.so lib*/libsegmix.a include/segmix/segmix.h
    lib*/cmake/segmix/segmix-config.cmake lib*/cmake/segmix/segmix-config-version.cmake
    lib*/cmake/segmix/segmix-targets.cmake lib*/pkgconfig/segmix.pc
    share/doc/segmix/README.md share/doc/segmix/LICENSE)
  set(failures "")
  foreach(platform IN ITEMS windows linux)
    foreach(pattern IN LISTS ${platform}_files)
      file(GLOB found "${${platform}}/${pattern}")
      if(NOT found)
        string(APPEND failures "the ${platform} package has no ${pattern}\n")
      endif()
    endforeach()
    # The documents are the source tree's own.
    foreach(document IN ITEMS README.md LICENSE)
      file(GLOB_RECURSE found "${${platform}}/${document}")
      foreach(file IN LISTS found)
        execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${file}" "${SOURCE_DIR}/${document}"
          RESULT_VARIABLE differ)
        if(differ)
          string(APPEND failures "the ${platform} package's ${document} is not the source tree's\n")
        endif()
      endforeach()
    endforeach()
  endforeach()

  # The DLLs that every Windows has. A tool that imported the toolchain's
  # runtime (libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll) would
  # not start on a machine without it.
  set(system_dll "^(kernel32|ntdll|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|shlwapi|ws2_32|bcrypt)\\.dll$")
  file(GLOB windows_binaries "${windows}/bin/*.exe" "${windows}/bin/*.dll")
  foreach(binary IN LISTS windows_binaries)
    execute_process(COMMAND ${OBJDUMP} -p "${binary}" RESULT_VARIABLE rc OUTPUT_VARIABLE dump ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${OBJDUMP} -p ${binary} failed (${rc}): ${err}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
    if(NOT imports)
      string(APPEND failures "${binary} imports no DLL at all: not a Windows program?\n")
    endif()
    foreach(import IN LISTS imports)
      string(REPLACE "DLL Name: " "" dll "${import}")
      string(TOLOWER "${dll}" dll)
      if(NOT dll MATCHES "${system_dll}")
        get_filename_component(name "${binary}" NAME)
        string(APPEND failures "${name} needs ${dll}, which Windows does not have\n")
      endif()
    endforeach()
  endforeach()
  if(STATIC_TOOLS)
    file(GLOB linux_tools "${linux}/bin/*")
    foreach(tool IN LISTS linux_tools)
      execute_process(COMMAND ${OBJDUMP} -p "${tool}" RESULT_VARIABLE rc OUTPUT_VARIABLE dump ERROR_VARIABLE err)
      if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${OBJDUMP} -p ${tool} failed (${rc}): ${err}")
      endif()
      string(REGEX MATCHALL "NEEDED +[^\r\n]+" needed "${dump}")
      if(needed)
        get_filename_component(name "${tool}" NAME)
        string(APPEND failures "${name} is linked statically, yet needs: ${needed}\n")
      endif()
    endforeach()
  endif()
  if(failures)
    message(FATAL_ERROR "The packages are not as released:\n${failures}")
  endif()
  list(LENGTH windows_binaries count)
  message(STATUS "Both packages hold what they should; ${count} Windows programs and DLLs need only Windows")

elseif(CHECK STREQUAL "demo")
  if(NOT EMULATOR)
    message(FATAL_ERROR "package_test.cmake: pass -DEMULATOR=... before -P")
  endif()
  unpack("${ZIP}" windows windows)
  unpack("${TARBALL}" linux linux)
  set(failures "")
  foreach(platform IN ITEMS windows linux)
    if(platform STREQUAL "windows")
      set(exe .exe)
      set(emulator "${EMULATOR}")
    else()
      set(exe "")
      set(emulator "")
    endif()
    set(run "${WORK}/${platform}-run")
    execute_process(COMMAND ${CMAKE_COMMAND}
        -DSEGMIX=${${platform}}/bin/segmix${exe} -DSEGJOIN=${${platform}}/bin/segjoin${exe}
        -DSOURCE=${SOURCE_DIR}/demo/voice.wav -DOUT=${run}/phrase "-DEMULATOR=${emulator}"
        -P "${SOURCE_DIR}/demo/render_phrase.cmake"
      RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "the demo phrase with the ${platform} package failed (${rc}):\n${out}")
    endif()
  endforeach()
  foreach(name IN ITEMS phrase.whd phrase.dat phrase.wav)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
      "${WORK}/linux-run/${name}" "${WORK}/windows-run/${name}" RESULT_VARIABLE differ)
    if(differ)
      file(SIZE "${WORK}/linux-run/${name}" linux_size)
      file(SIZE "${WORK}/windows-run/${name}" windows_size)
      string(APPEND failures "${name} differs: ${linux_size} bytes from the Linux package, ${windows_size} from the Windows one\n")
    endif()
  endforeach()
  if(failures)
    message(FATAL_ERROR "The packages render the demo phrase differently:\n${failures}")
  endif()
  file(SIZE "${WORK}/linux-run/phrase.wav" size)
  message(STATUS "Both packages render the demo phrase to the same ${size}-byte WAVE file")

else()
  message(FATAL_ERROR "package_test.cmake: CHECK is contents or demo, not ${CHECK}")
endif()
