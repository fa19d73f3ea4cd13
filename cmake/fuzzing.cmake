# libFuzzer targets, built in native clang trees with QZ_FUZZ only. Each target is compiled with
# the sources it tests (or a library built with coverage) so that libFuzzer sees their coverage.
# CI runs each for 20 seconds on a corpus folder of its own and any seed folders; long runs are
# made by hand.
function(qz_add_fuzzer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBRARIES;SEEDS;FIXTURES")
  if(NOT (QZ_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND NOT WIN32))
    return()
  endif()
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  file(MAKE_DIRECTORY ${corpus})
  add_test(NAME ${name}_brief
           COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1 $<TARGET_FILE:${name}>
                   -max_total_time=20 -rss_limit_mb=2048 -timeout=20 ${corpus} ${arg_SEEDS})
  set_tests_properties(${name}_brief PROPERTIES LABELS fuzz TIMEOUT 120)
  if(arg_FIXTURES)
    set_tests_properties(${name}_brief PROPERTIES FIXTURES_REQUIRED ${arg_FIXTURES})
  endif()
endfunction()

# Seed files written from text: qz_fuzz_seeds(FOLDER text...) makes FOLDER/seedN for each text.
function(qz_fuzz_seeds folder)
  set(n 0)
  foreach(text IN LISTS ARGN)
    file(WRITE ${folder}/seed${n} "${text}")
    math(EXPR n "${n} + 1")
  endforeach()
endfunction()
