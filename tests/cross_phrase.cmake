# Runs one fixed multi-note scenario with two builds of segmix and segjoin, the
# Linux one and the Windows one (through an emulator such as Wine), each in a
# folder of its own, and requires the same files byte for byte and the same
# standard output and exit statuses (the Windows output once its CR LF line
# ends are folded to "\n").
#
#   cmake -DNATIVE_SEGMIX=... -DNATIVE_SEGJOIN=... -DWINDOWS_SEGMIX=...
#         -DWINDOWS_SEGJOIN=... -DWAVGEN=... -DEMULATOR=... -DWORK=<folder>
#         -P cross_phrase.cmake
#
# WAVGEN (tests/wavgen.cpp, Windows build, run through EMULATOR) writes the
# source recordings. Every run works in its own folder with relative names, so
# that both builds see the same arguments and print the same names.
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/script_steps.cmake)
require_variables(cross_phrase.cmake NATIVE_SEGMIX NATIVE_SEGJOIN WINDOWS_SEGMIX WINDOWS_SEGJOIN
                  WAVGEN EMULATOR WORK)
require_files(cross_phrase.cmake "the Windows build's own build makes it (cmake --build build/windows)"
              "${NATIVE_SEGMIX}" "${NATIVE_SEGJOIN}")
if(NOT DEFINED ENV{WINEDEBUG})
  set(ENV{WINEDEBUG} "-all")
endif()

file(REMOVE_RECURSE "${WORK}")
set(src_dir "${WORK}/sources")
file(MAKE_DIRECTORY "${src_dir}")

# Source recordings: mono at 44100 Hz for 1 s, stereo at 22050 Hz for 0.5 s,
# and a file that is no WAVE file.
foreach(source IN ITEMS "mono.wav 1 44100 44100" "stereo.wav 2 22050 11025")
  separate_arguments(source UNIX_COMMAND "${source}")
  # Standard error to a file: processes that Wine starts beside the program may
  # hold a pipe open for seconds after it ends.
  execute_process(COMMAND ${EMULATOR} ${WAVGEN} ${source}
    WORKING_DIRECTORY "${src_dir}" RESULT_VARIABLE rc ERROR_FILE "${WORK}/wavgen.err")
  if(NOT rc EQUAL 0)
    file(READ "${WORK}/wavgen.err" err)
    message(FATAL_ERROR "wavgen ${source} failed (${rc}): ${err}")
  endif()
endforeach()
file(WRITE "${src_dir}/text.wav" "hello, this is text and no recording\n")

# One run a line: the value of the environment variable samples ("-": unset),
# the tool, then its arguments. Long-form columns: outfile infile offset length
# p1 p2 p3 v1 v2 v3 v4 ovr p4 p5 v5.
set(runs
  # A first run, short form.
  "-      segmix  phrase mono.wav 100 250 20 30"
  # Long form with an overlap into the earlier note.
  "-      segmix  phrase mono.wav 300 200 10 20 30 80 100 60 50 40"
  # All fifteen, the tempo form and a gap of silence before the note.
  "-      segmix  phrase mono.wav 520 480@150+3 15 25 35 120 90 70 40 -15 20 10 95"
  # Gains of 300 % over an overlap: the mix clips at both limits.
  "-      segmix  phrase mono.wav 0 100 10 10 5 300 300 300 300 60 5 5 300"
  # Time points out of order: the message, -1, nothing written.
  "-      segmix  phrase mono.wav 0 100 60 60"
  # A stereo source at another rate, overlapped.
  "-      segmix  phrase stereo.wav 200 150 30 30 20 100 100 80 80 25 10 10 100"
  # A note that runs past the end of its source.
  "-      segmix  phrase mono.wav 950 200 10 10 10 100 100 100 100 10 10"
  # A missing source: silence.
  "-      segmix  phrase missing.wav 0 50 0 0"
  # An overlap longer than all the output so far.
  "-      segmix  phrase mono.wav 10 30 5 5 5 100 100 100 100 5000 5"
  # Sources that are refused.
  "-      segmix  phrase text.wav 0 50 0 0"
  "-      segmix  phrase mono.wav 0 50"
  "-      segjoin phrase phrase.wav"
  # A second output whose fresh header takes its rate from samples.
  "22050  segmix  rate22 stereo.wav 0 300 50 50"
  "abc    segmix  rate22 mono.wav 100 200 20 20 20 100 100 100 100 -30"
  "22050  segmix  rate22 mono.wav 400 120 20 20 20 70 70 70 70 30 20 0 70"
  "-      segjoin rate22"
  "-      segjoin missing"
)

# Runs every line with the given segmix and segjoin commands (lists: emulator
# and executable) in folder dir; sets log to what they printed, line ends
# folded, each run headed by its line and followed by its exit status.
function(run_all dir segmix segjoin windows out_log)
  file(MAKE_DIRECTORY "${dir}")
  file(COPY "${src_dir}/" DESTINATION "${dir}")
  set(log "")
  foreach(line IN LISTS runs)
    separate_arguments(words UNIX_COMMAND "${line}")
    list(POP_FRONT words samples tool)
    if(samples STREQUAL "-")
      set(env --unset=samples)
    else()
      set(env "samples=${samples}")
    endif()
    # Standard output through a file, read as hexadecimal: execute_process and
    # file(READ) would drop the CR of CR LF. One byte is two digits and a space.
    # Standard error to a file, as for wavgen.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env ${env} ${${tool}} ${words}
      WORKING_DIRECTORY "${dir}" RESULT_VARIABLE rc OUTPUT_FILE "${dir}.out" ERROR_FILE "${dir}.err")
    file(READ "${dir}.out" text)
    file(READ "${dir}.out" hex HEX)
    string(REGEX REPLACE "(..)" "\\1 " bytes "${hex}")
    if(windows)
      # A console program's "\n" reaches its caller as CR LF on Windows.
      string(REPLACE "0d 0a " "" bare "${bytes}")
      string(FIND "${bare}" "0a " lf)
      if(NOT lf EQUAL -1)
        message(FATAL_ERROR "${line}: a line of the Windows output ends without CR LF:\n${text}")
      endif()
      string(REPLACE "0d 0a " "0a " bytes "${bytes}")
    endif()
    string(APPEND log "> ${line}\n${text}${bytes}\n= ${rc}\n")
  endforeach()
  set(${out_log} "${log}" PARENT_SCOPE)
endfunction()

run_all("${WORK}/linux" "${NATIVE_SEGMIX}" "${NATIVE_SEGJOIN}" OFF linux_log)
run_all("${WORK}/windows" "${EMULATOR};${WINDOWS_SEGMIX}" "${EMULATOR};${WINDOWS_SEGJOIN}" ON windows_log)
file(WRITE "${WORK}/linux.log" "${linux_log}")
file(WRITE "${WORK}/windows.log" "${windows_log}")

set(failures "")
if(NOT linux_log STREQUAL windows_log)
  string(APPEND failures "standard output or exit statuses differ: compare ${WORK}/linux.log and ${WORK}/windows.log\n")
endif()
file(GLOB linux_files RELATIVE "${WORK}/linux" "${WORK}/linux/*")
file(GLOB windows_files RELATIVE "${WORK}/windows" "${WORK}/windows/*")
list(SORT linux_files)
list(SORT windows_files)
if(NOT linux_files STREQUAL windows_files)
  string(APPEND failures "the files differ: Linux ${linux_files}, Windows ${windows_files}\n")
endif()
# The runs above must have written these; a scenario that writes nothing would
# compare equal too.
foreach(name IN ITEMS phrase.whd phrase.dat phrase.wav rate22.whd rate22.dat rate22)
  if(NOT name IN_LIST linux_files)
    string(APPEND failures "the Linux build wrote no ${name}\n")
  endif()
endforeach()
foreach(name IN LISTS linux_files)
  if(name IN_LIST windows_files)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
      "${WORK}/linux/${name}" "${WORK}/windows/${name}" RESULT_VARIABLE same)
    if(NOT same EQUAL 0)
      file(SIZE "${WORK}/linux/${name}" linux_size)
      file(SIZE "${WORK}/windows/${name}" windows_size)
      string(APPEND failures "${name} differs: ${linux_size} bytes on Linux, ${windows_size} on Windows\n")
    endif()
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "The Linux and Windows builds disagree:\n${failures}")
endif()
list(LENGTH runs count)
message(STATUS "Both builds agree on ${count} runs and the files they wrote")
