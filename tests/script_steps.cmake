# What the test scripts (cmake -P) share: their arguments checked, and steps
# run with their output kept for the message when one fails.

# Stops unless every variable named is given (-Dname=... before -P).
function(require_variables script)
  foreach(var IN LISTS ARGN)
    if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
      message(FATAL_ERROR "${script}: pass -D${var}=... before -P")
    endif()
  endforeach()
endfunction()

# Stops unless every file named after the hint exists; the hint says what
# makes them.
function(require_files script hint)
  foreach(file IN LISTS ARGN)
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "${script}: ${file} not found; ${hint}")
    endif()
  endforeach()
endfunction()

# Runs a command; stops, with what it printed, unless it succeeds. Sets out
# and err to its standard output and standard error.
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status STREQUAL "0")
    message(FATAL_ERROR "${what} failed (${status}):\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()
