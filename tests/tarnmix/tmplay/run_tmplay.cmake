# Runs tmplay under Wine and checks its exit code and what it says.
#   cmake -DWINE_RUN=... -DPREFIX=... -DHOME=... -DFOLDER=... -DARGS=a;b -DEXIT=n -DEXPECT=regex
#         -P run_tmplay.cmake
execute_process(COMMAND env WINEPREFIX=${PREFIX} HOME=${HOME} ${WINE_RUN} tmplay.exe ${ARGS}
                WORKING_DIRECTORY ${FOLDER} INPUT_FILE /dev/null RESULT_VARIABLE code
                OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
message("${out}${err}")
if(NOT code STREQUAL EXIT)
  message(FATAL_ERROR "tmplay exited with ${code}, expected ${EXIT}")
endif()
foreach(pattern IN LISTS EXPECT)
  if(NOT "${out}${err}" MATCHES "${pattern}")
    message(FATAL_ERROR "tmplay did not say '${pattern}'")
  endif()
endforeach()
