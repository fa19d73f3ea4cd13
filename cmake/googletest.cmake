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

# qz_add_gtest(name SOURCES...): a test binary whose cases ctest runs one by one (under Wine for
# the win64 flavour, through the cross-compiling emulator).
function(qz_add_gtest name)
  if(NOT QZ_GTEST)
    add_executable(${name} EXCLUDE_FROM_ALL ${ARGN})
    return()
  endif()
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       PROPERTIES LABELS unit)
endfunction()
