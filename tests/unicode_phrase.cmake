# Runs a phrase whose sources, outputs and folders have Japanese, accented and
# emoji names with the Linux build and with the Windows build (under Wine, in
# each locale given that the machine has), and requires the same files, under
# the same names, byte for byte.
#
#   cmake -DNATIVE_SEGMIX=... -DNATIVE_BATCH=... -DNATIVE_SEGJOIN=...
#         -DWINDOWS_SEGMIX=... -DWINDOWS_BATCH=... -DWINDOWS_SEGJOIN=...
#         -DSOURCE=<a WAVE file> -DEMULATOR=... -DWORK=<folder>
#         "-DLOCALES=C.UTF-8;ja_JP.UTF-8" -P unicode_phrase.cmake
#
# A Windows program under Wine gets its command line from the Unix one in the
# locale's character set, so each run of the Windows build sets LC_ALL; in a
# Japanese locale its ANSI code page is 932, in the others 1252.
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/script_steps.cmake)
require_variables(unicode_phrase.cmake NATIVE_SEGMIX NATIVE_BATCH NATIVE_SEGJOIN WINDOWS_SEGMIX
                  WINDOWS_BATCH WINDOWS_SEGJOIN SOURCE EMULATOR WORK LOCALES)

# The names, in UTF-8: a folder 声の/dé 🎵, a source 声.wav, an output 出力 é🎵,
# a batch file 音符.txt and a joined phrase フレーズ.wav.
set(folder "声の/dé 🎵")
set(source "声.wav")
set(output "出力 é🎵")
set(batch "音符.txt")
set(joined "フレーズ.wav")

# The runs, each in the folder of one build: two notes one process each, the
# same two through segmix-batch into a second output, and the joins.
function(run_all dir segmix segbatch segjoin env)
  file(REMOVE_RECURSE "${dir}")
  file(MAKE_DIRECTORY "${dir}/${folder}")
  file(COPY_FILE "${SOURCE}" "${dir}/${source}")
  file(WRITE "${dir}/${folder}/${batch}"
    "'${folder}/b ${output}' '${source}' 0 400 10 10\n"
    "'${folder}/b ${output}' '${source}' 900 300 10 10 0 100 90 80 70 40\n")
  # One run a line, its words separated by "|" (a list in a list would flatten).
  string(REPLACE ";" "|" segmix "${segmix}")
  string(REPLACE ";" "|" segbatch "${segbatch}")
  string(REPLACE ";" "|" segjoin "${segjoin}")
  set(runs
    "${segmix}|${folder}/${output}|${source}|0|400|10|10"
    "${segmix}|${folder}/${output}|${source}|900|300|10|10|0|100|90|80|70|40"
    "${segbatch}|${folder}/${batch}"
    "${segjoin}|${folder}/${output}|${folder}/${joined}"
    "${segjoin}|${folder}/b ${output}")
  foreach(line IN LISTS runs)
    string(REPLACE "|" ";" run "${line}")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env ${env} ${run}
      WORKING_DIRECTORY "${dir}" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${run} (${env}) failed with ${rc}:\n${out}${err}")
    endif()
  endforeach()
endfunction()

# Every file below dir, with its name, its size and its hash.
function(describe dir out_list)
  file(GLOB_RECURSE files RELATIVE "${dir}" "${dir}/*")
  list(FILTER files EXCLUDE REGEX "\\.lock$")
  list(SORT files)
  set(listing "")
  foreach(f IN LISTS files)
    file(SHA256 "${dir}/${f}" hash)
    file(SIZE "${dir}/${f}" size)
    string(APPEND listing "${f} ${size} ${hash}\n")
  endforeach()
  set(${out_list} "${listing}" PARENT_SCOPE)
endfunction()

run_all("${WORK}/linux" "${NATIVE_SEGMIX}" "${NATIVE_BATCH}" "${NATIVE_SEGJOIN}" "LC_ALL=C.UTF-8")
describe("${WORK}/linux" linux)
foreach(name IN ITEMS "${folder}/${output}.dat" "${folder}/${joined}" "${folder}/b ${output}")
  if(NOT EXISTS "${WORK}/linux/${name}")
    message(FATAL_ERROR "the Linux build wrote no ${name}:\n${linux}")
  endif()
endforeach()

execute_process(COMMAND locale -a OUTPUT_VARIABLE available ERROR_QUIET)
string(TOLOWER "${available}" available)
set(compared 0)
foreach(locale IN LISTS LOCALES)
  # locale -a lists ja_JP.UTF-8 as ja_JP.utf8.
  string(TOLOWER "${locale}" wanted)
  string(REPLACE "utf-8" "utf8" wanted "${wanted}")
  if(NOT available MATCHES "(^|\n)${wanted}(\n|$)")
    message(STATUS "locale ${locale} is not on this machine: the Windows build is not run in it")
    continue()
  endif()
  set(dir "${WORK}/windows-${locale}")
  run_all("${dir}" "${EMULATOR};${WINDOWS_SEGMIX}" "${EMULATOR};${WINDOWS_BATCH}"
    "${EMULATOR};${WINDOWS_SEGJOIN}" "LC_ALL=${locale}")
  describe("${dir}" windows)
  if(NOT windows STREQUAL linux)
    message(FATAL_ERROR "In ${locale} the Windows build wrote other files than the Linux build:\n"
      "Linux:\n${linux}Windows:\n${windows}")
  endif()
  math(EXPR compared "${compared} + 1")
endforeach()
if(compared EQUAL 0)
  message(FATAL_ERROR "no locale of ${LOCALES} is on this machine")
endif()
message(STATUS "The builds agree on names of any script in ${compared} locale(s)")
