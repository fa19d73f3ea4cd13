# GoogleTest from Debian's source package, built by every flavour with its own compiler. The
# shipping i686 flavour cannot run test binaries here (and its compiler lacks std::mutex): with
# QZ_GTEST off, test binaries are declared but never built, and only host-run checks are tests.
option(QZ_GTEST "Build the GoogleTest binaries" ON)

if(QZ_GTEST)
  set(QZ_GOOGLETEST_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${QZ_GOOGLETEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  include(GoogleTest)
endif()

# qz_discover_tests(target [TEST_PREFIX prefix] [TEST_FILTER filter] PROPERTIES name value...):
# the target's cases as tests, listed when ctest runs, each with the properties given. The
# properties are set by a file of our own once the cases are known: gtest_discover_tests would
# split list values (LABELS "unit;quick" becomes a label and a stray property name, and an
# ENVIRONMENT of two variables is dropped).
function(qz_discover_tests target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "TEST_PREFIX;TEST_FILTER" "PROPERTIES")
  string(MAKE_C_IDENTIFIER "${target}_${arg_TEST_PREFIX}tests" list)
  gtest_discover_tests(${target} TEST_PREFIX "${arg_TEST_PREFIX}" TEST_FILTER "${arg_TEST_FILTER}"
                       DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 TEST_LIST ${list})
  set(properties "")
  foreach(value IN LISTS arg_PROPERTIES)
    string(APPEND properties " [==[${value}]==]")
  endforeach()
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${list}_properties.cmake)
  file(WRITE ${file} "if(${list})\n  set_tests_properties(\${${list}} PROPERTIES${properties})\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()

# qz_add_gtest(name SOURCES... [LABELS label...]): a test binary whose cases ctest runs one by
# one (under Wine for the win64 flavour, through the cross-compiling emulator), labelled unit
# and the given labels (quick: in the subset CI runs).
function(qz_add_gtest name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LABELS")
  if(NOT QZ_GTEST)
    add_executable(${name} EXCLUDE_FROM_ALL ${arg_UNPARSED_ARGUMENTS})
    return()
  endif()
  add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main)
  qz_discover_tests(${name} PROPERTIES LABELS "unit;${arg_LABELS}")
endfunction()
