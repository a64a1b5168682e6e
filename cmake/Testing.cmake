# Tests are GoogleTest executables cross-built for Windows and run by ctest under Wine
# (tools/testenv/wine-exec.sh is the emulator). Keep a few executables per subsystem:
# every Wine start costs time.
enable_testing()
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tools/testenv/wine-exec.sh)

# dv_add_gtest(NAME <target> SOURCES <files...> LIBS <libs...> [TIMEOUT <seconds>] [SCREEN])
# SCREEN marks a test that shows a window: such tests share one X display, where real input goes to
# the active window and a new window takes the foreground, so they take the "screen" lock and never
# run beside each other. Tests that show no window run beside them.
# COST orders a fresh build folder's first run, which has no timings of an earlier one: ctest starts
# the tests of highest cost first. The tests that hold the display are one chain that runs one at a
# time, so they go first (cost 1000 and up) and the others fill the remaining slots; elsewhere the
# cost is a test's seconds on two cores, for the long ones.
function(dv_add_gtest)
  cmake_parse_arguments(ARG "SCREEN" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} deps::gmock deps::gtest_main)
  target_include_directories(${ARG_NAME} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${ARG_NAME} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
                       ENVIRONMENT "DV_SOURCE_DIR=${CMAKE_SOURCE_DIR};DV_BINARY_DIR=${CMAKE_BINARY_DIR}")
  if(ARG_SCREEN)
    set_tests_properties(${ARG_NAME} PROPERTIES RESOURCE_LOCK screen COST 1000)
  endif()
endfunction()
