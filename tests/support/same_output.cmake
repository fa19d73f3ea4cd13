# Runs a reference command and a command under test, each writing one file, and fails unless the
# two files are byte for byte the same.
#   cmake -DREFERENCE="cmd|args" -DREFERENCE_OUTPUT=file -DTESTED="cmd|args" -DTESTED_OUTPUT=file
#         -P same_output.cmake
# Arguments are separated by "|", so that a command can pass through add_test as one argument.
foreach(side REFERENCE TESTED)
  string(REPLACE "|" ";" ${side} "${${side}}")
  file(REMOVE ${${side}_OUTPUT})
  execute_process(COMMAND ${${side}} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT EXISTS ${${side}_OUTPUT})
    message(FATAL_ERROR "${${side}} failed (${status}):\n${out}${err}")
  endif()
  file(SIZE ${${side}_OUTPUT} size)
  file(SHA256 ${${side}_OUTPUT} hash)
  message(STATUS "${side}: ${size} bytes, sha256 ${hash}")
  set(${side}_HASH ${hash})
endforeach()
if(NOT REFERENCE_HASH STREQUAL TESTED_HASH)
  message(FATAL_ERROR "${TESTED_OUTPUT} differs from ${REFERENCE_OUTPUT}")
endif()
