# GoogleTest: Debian's packaged build natively, built from Debian's sources
# for the MinGW cross build. Every test executable is one CTest test; the
# GoogleTest XML report of each run is what scripts/test counts.
if(CMAKE_CROSSCOMPILING)
  set(QUIL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(${QUIL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()

set(QUIL_TEST_REPORTS ${CMAKE_BINARY_DIR}/test-reports)
file(MAKE_DIRECTORY ${QUIL_TEST_REPORTS})

if(CMAKE_CROSSCOMPILING)
  set(QUIL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  # One wineserver for the whole run: started before the first Windows test,
  # stopped (and the prefix thrown away) after the last.
  add_test(NAME wine_start COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine-run --start-server)
  add_test(NAME wine_stop COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine-run --stop-server)
  set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine ENVIRONMENT QUIL_WINEPREFIX=${QUIL_WINEPREFIX})
  set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT QUIL_WINEPREFIX=${QUIL_WINEPREFIX})
endif()

# How long one test executable may run; scripts/faults sets less, so that
# a fault that hangs a test costs minutes, not a quarter of an hour.
set(QUIL_TEST_TIMEOUT 900 CACHE STRING "Seconds a test executable may run")

# The suites a preset has no use for (tests/README.md says which and why):
# still defined, so that they can be built and run by hand, but neither
# built by default nor run by ctest.
set(QUIL_SKIP_SUITES "" CACHE STRING "Test executables this build does not build or run by default")

# quil_add_test(name SOURCES ... LIBS ... [LABELS ...])
function(quil_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock project_warnings project_static_runtime)
  if(name IN_LIST QUIL_SKIP_SUITES)
    set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
    return()
  endif()
  if(WIN32)
    set(report "Z:${QUIL_TEST_REPORTS}/${name}.xml")
  else()
    set(report "${QUIL_TEST_REPORTS}/${name}.xml")
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_output=xml:${report})
  set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT ${QUIL_TEST_TIMEOUT})
  if(CMAKE_CROSSCOMPILING)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine
      ENVIRONMENT "QUIL_WINEPREFIX=${QUIL_WINEPREFIX}")
  endif()
endfunction()
