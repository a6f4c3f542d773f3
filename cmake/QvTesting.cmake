# qv_add_gtest(<name> SOURCES <files...> [LIBS <targets...>] [GUI])
# One test executable, registered as one CTest test and run whole: under Wine a
# process start costs seconds, so no per-case processes. GUI tests get the X display
# that the test session fixture starts.
set(QV_TEST_DISPLAY ":87" CACHE STRING "X display that the test session starts with Xvfb")

add_test(NAME test_session_start COMMAND ${CMAKE_SOURCE_DIR}/scripts/test-session start
         ${CMAKE_BINARY_DIR} ${QV_TEST_DISPLAY})
add_test(NAME test_session_stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/test-session stop
         ${CMAKE_BINARY_DIR} ${QV_TEST_DISPLAY})
set_tests_properties(test_session_start PROPERTIES FIXTURES_SETUP test_session)
set_tests_properties(test_session_stop PROPERTIES FIXTURES_CLEANUP test_session)
if(CMAKE_CROSSCOMPILING)
  set_property(TEST test_session_start test_session_stop APPEND PROPERTY ENVIRONMENT
               "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix" "WINE=${CMAKE_CROSSCOMPILING_EMULATOR}")
endif()

function(qv_add_gtest name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set(env "QV_SOURCE_DIR=${CMAKE_SOURCE_DIR}" "QV_BINARY_DIR=${CMAKE_BINARY_DIR}")
  if(CMAKE_CROSSCOMPILING)
    list(APPEND env "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix" "WINEDEBUG=-all"
         "WINEDLLOVERRIDES=mscoree,mshtml=" "DISPLAY=${QV_TEST_DISPLAY}")
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED test_session)
  elseif(T_GUI)
    list(APPEND env "DISPLAY=${QV_TEST_DISPLAY}")
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED test_session)
  else()
    # Without a display the monitor window is the off-screen one.
    list(APPEND env "DISPLAY=" "WAYLAND_DISPLAY=")
  endif()
  if(QV_SANITIZE)
    list(APPEND env "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1"
         "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
         "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 600)
endfunction()
