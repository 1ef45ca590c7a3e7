# Renders the demo phrase from a source recording, the way a driving program
# would: one segmix run per note, in order, then segjoin to make one WAVE file,
# then segmix-view to draw it.
#
#   cmake -DSEGMIX=<segmix> -DSEGJOIN=<segjoin> [-DSEGMIX_VIEW=<segmix-view>]
#         -DSOURCE=<voice.wav> -DOUT=<base> [-DEMULATOR=<wine>]
#         -P render_phrase.cmake
#
# Writes <base>.whd and <base>.dat note by note, joins them into <base>.wav and
# prints that file's path. Run by the `demo` target of the top-level project.
# With SEGMIX_VIEW it also writes the same runs as segmix-batch lines into
# <base>.notes, draws the output into <base>.svg and prints the picture's path.
# With EMULATOR (a command, such as Wine) the tools are run through it. What
# the tools print goes to <base>.log, not through a pipe: processes that Wine
# starts beside a program may hold its pipes open long after it ends.
cmake_minimum_required(VERSION 3.25)

foreach(var IN ITEMS SEGMIX SEGJOIN SOURCE OUT)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "render_phrase.cmake: pass -D${var}=... before -P")
  endif()
endforeach()
if(NOT EXISTS "${SOURCE}")
  message(FATAL_ERROR "render_phrase.cmake: source recording not found: ${SOURCE}")
endif()
get_filename_component(OUT "${OUT}" ABSOLUTE)
get_filename_component(out_dir "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${out_dir}")

# The source (demo/voice.wav, made by tools/make_voice.cpp) is a sung C major
# scale: tone k (0 = C4 ... 7 = C5) starts at k * 450 ms and is steady from
# about 30 ms to 410 ms into it. Each note's offset picks a stretch of its tone.
#
# Tempo 160: an eighth is 240@160 (187.5 ms), a quarter 480@160 (375 ms). Each
# note after the first overlaps the previous one by 25 ms (ovr 25), crossfading
# its 25 ms attack (p1) into the previous note's release, and is 25 ms longer
# than its written value (+25) so that every note still starts on its beat. The
# one rest is an eighth: its note leaves a gap of 187.5 - 25 = 162.5 ms after
# the 25 ms that the previous note runs over (ovr -162.5).
#
# The high C5 is an accent, sung out past full scale (gains of 175 % to 215 %):
# some of its samples clip, and the picture marks them in red.
#
# Envelope, long form: gain rises from 0 to v1 over p1, moves to v2 over p2 and
# to v5 over p5, runs to v3 where the last p3 + p4 begin, moves to v4 over p3,
# and falls to 0 over the last p4. Times in ms, gains in percent.
set(phrase
  # note  offset  length       p1  p2  p3  v1   v2  v3  v4  ovr     p4   p5  v5
  "C4     20      480@160+25   25  50  80  100  85  80  70  0       60   60  85"
  "E4     960     240@160+25   25  35  40  90   80  75  65  25      40   30  80"
  "G4     1920    240@160+25   25  35  40  90   80  75  65  25      40   30  80"
  "A4     2270    480@160+25   25  50  80  100  90  80  70  25      60   60  85"
  "G4     1820    480@160+25   25  50  80  95   85  75  65  25      60   60  80"
  "F4     1440    240@160+25   25  35  40  90   80  75  65  25      40   30  80"
  "E4     1050    240@160+25   25  35  40  85   75  70  60  25      40   30  75"
  "D4     470     480@160+25   25  50  80  95   85  75  60  25      60   60  80"
  "E4     1080    240@160+25   25  35  40  90   80  75  65  -162.5  40   30  80"
  "F4     1410    240@160+25   25  35  40  90   80  75  65  25      40   30  80"
  "G4     1970    240@160+25   25  35  40  95   85  80  70  25      40   30  85"
  "C5     3170    480@160+25   25  50  80  215  200 190 175 25      60   60  200"
  "B4     2800    240@160+25   25  35  40  90   80  75  65  25      40   30  80"
  "A4     2390    240@160+25   25  35  40  90   80  75  65  25      40   30  80"
  "G4     1825    480@160+25   25  50  80  95   85  75  65  25      60   60  80"
  "F4     1510    240@160+25   25  35  40  85   75  70  60  25      40   30  75"
  "D4     530     240@160+25   25  35  40  85   75  70  60  25      40   30  75"
  "E4     1020    240@160+25   25  35  40  90   80  75  65  25      40   30  80"
  "D4     630     240@160+25   25  35  40  85   75  70  60  25      40   30  75"
  "C4     20      480@160+25   25  50  40  95   85  75  70  25      200  60  80"
)

# segmix reads its fresh-header sample rate from `samples`; keep the default.
unset(ENV{samples})

file(REMOVE "${OUT}.whd" "${OUT}.dat" "${OUT}.wav" "${OUT}.svg")
set(log_file "${OUT}.log")

# A word of a segmix-batch line: in single quotes, a quote inside as '\''.
function(quote_word word result)
  string(REPLACE "'" "'\\''" word "${word}")
  set(${result} "'${word}'" PARENT_SCOPE)
endfunction()
# The notes name the output and the source relative to the notes file's own
# folder, where they are read: the picture then says "phrase", wherever the
# build tree lies.
get_filename_component(out_name "${OUT}" NAME)
file(RELATIVE_PATH source_path "${out_dir}" "${SOURCE}")
quote_word("${out_name}" out_word)
quote_word("${source_path}" source_word)
set(notes "# The demo phrase as segmix-batch lines, run in this folder; segmix-view draws it.\n")

set(index 0)
set(data_bytes 0)
foreach(line IN LISTS phrase)
  math(EXPR index "${index} + 1")
  separate_arguments(fields UNIX_COMMAND "${line}")
  list(LENGTH fields count)
  if(NOT count EQUAL 14)
    message(FATAL_ERROR "render_phrase.cmake: note ${index} has ${count} fields, not 14: ${line}")
  endif()
  list(POP_FRONT fields name)
  string(REPLACE ";" " " words "${fields}")
  string(APPEND notes "${out_word} ${source_word} ${words}\n")
  execute_process(
    COMMAND ${EMULATOR} "${SEGMIX}" "${OUT}" "${SOURCE}" ${fields}
    RESULT_VARIABLE status
    OUTPUT_FILE "${log_file}"
    ERROR_FILE "${log_file}")
  file(READ "${log_file}" log)
  if(NOT status STREQUAL "0")
    string(REPLACE ";" " " args "${fields}")
    message(FATAL_ERROR
      "segmix failed on note ${index} (${name}) with exit status ${status}\n"
      "  arguments: ${OUT} ${SOURCE} ${args}\n${log}")
  endif()
  # A run can also end with status 0 without writing anything; every note of
  # this phrase adds more than it overlaps, so the data file must grow.
  set(previous ${data_bytes})
  if(EXISTS "${OUT}.dat")
    file(SIZE "${OUT}.dat" data_bytes)
  endif()
  if(NOT EXISTS "${OUT}.whd" OR NOT data_bytes GREATER previous)
    message(FATAL_ERROR "segmix wrote nothing for note ${index} (${name})\n${log}")
  endif()
endforeach()

execute_process(
  COMMAND ${EMULATOR} "${SEGJOIN}" "${OUT}" "${OUT}.wav"
  RESULT_VARIABLE status
  OUTPUT_FILE "${log_file}"
  ERROR_FILE "${log_file}")
file(READ "${log_file}" log)
file(REMOVE "${log_file}")
if(NOT status STREQUAL "0" OR NOT EXISTS "${OUT}.wav")
  message(FATAL_ERROR "segjoin failed with exit status ${status}\n${log}")
endif()

message(NOTICE "demo phrase: ${OUT}.wav")

# The picture, from the same runs written as segmix-batch lines.
if(DEFINED SEGMIX_VIEW AND NOT SEGMIX_VIEW STREQUAL "")
  file(WRITE "${OUT}.notes" "${notes}")
  execute_process(
    COMMAND ${EMULATOR} "${SEGMIX_VIEW}" "${out_name}.notes"
    WORKING_DIRECTORY "${out_dir}"
    RESULT_VARIABLE status
    OUTPUT_FILE "${log_file}"
    ERROR_FILE "${log_file}")
  file(READ "${log_file}" log)
  file(REMOVE "${log_file}")
  if(NOT status STREQUAL "0" OR NOT EXISTS "${OUT}.svg")
    message(FATAL_ERROR "segmix-view failed with exit status ${status}\n${log}")
  endif()
  message(NOTICE "demo picture: ${OUT}.svg")
endif()
