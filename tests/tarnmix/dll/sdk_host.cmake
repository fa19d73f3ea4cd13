# The SDK as a game developer gets it: the shipping tree's tarnmix component installed into a
# fresh folder, examples/tarnmix-host configured against it with find_package(tarnmix) and the
# SDK's toolchain file, built, and run under 32-bit Wine for two seconds of song.
#   cmake -DSHIPPING=DIR -DEXAMPLE=DIR -DWORK=DIR -DSONG=FILE -DRUN=wine|args -P sdk_host.cmake
string(REPLACE "|" ";" run "${RUN}")
file(REMOVE_RECURSE ${WORK})

function(step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${out}\n${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

step("installing the SDK" ${CMAKE_COMMAND} --install ${SHIPPING} --component tarnmix
     --prefix ${WORK}/sdk)
step("configuring the host" ${CMAKE_COMMAND} -S ${EXAMPLE} -B ${WORK}/host -G Ninja
     -DCMAKE_PREFIX_PATH=${WORK}/sdk
     -DCMAKE_TOOLCHAIN_FILE=${WORK}/sdk/lib/cmake/tarnmix/mingw-i686.cmake)
step("building the host" ${CMAKE_COMMAND} --build ${WORK}/host)
step("running the host" ${run} ${WORK}/host/tarnmix-host.exe ${SONG} 2)
message("${output}")
# About 30 rows a second at the example's speed: rows counted by the callback, after 2 seconds.
if(NOT output MATCHES "2 s: ([0-9]+) rows" OR CMAKE_MATCH_1 LESS 30)
  message(FATAL_ERROR "the host reported no rows played:\n${output}")
endif()
