# qv_add_gtest(<name> SOURCES <files...> [LIBS <targets...>] [GUI])
# One test executable, registered as one CTest test and run whole: under Wine a
# process start costs seconds, so no per-case processes. GUI tests get the X display
# that the test session fixture starts.
set(QV_TEST_DISPLAY "" CACHE STRING
    "X display for the test session; empty: the X server takes a free one at each run")
# Runs a command with DISPLAY set to the test session's display, which is known only once the
# session has started: GUI tests go through it, and every program under Wine through the
# emulator made of it. Each is one file, as the test scripts take the emulator as one word.
set(QV_TEST_RUN ${CMAKE_BINARY_DIR}/in-test-session)
file(WRITE ${QV_TEST_RUN} "#!/bin/sh\nexec '${CMAKE_SOURCE_DIR}/scripts/test-session' run '${CMAKE_BINARY_DIR}' \"$@\"\n")
file(CHMOD ${QV_TEST_RUN} FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
     GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# What every test program under Wine runs with: the session's prefix and display, and no
# debugger (a crash fails the test at once instead of waiting for winedbg).
set(QV_WINE_ENV)
set(QV_WINE_TIMEOUT_SCALE 1)
if(CMAKE_CROSSCOMPILING)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-in-test-session)
  file(WRITE ${CMAKE_CROSSCOMPILING_EMULATOR} "#!/bin/sh\nexec '${QV_TEST_RUN}' '${QV_WINE}' \"$@\"\n")
  file(CHMOD ${CMAKE_CROSSCOMPILING_EMULATOR} FILE_PERMISSIONS OWNER_READ OWNER_WRITE
       OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(QV_WINE_ENV "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix" "WINEDEBUG=-all"
      "WINEDLLOVERRIDES=mscoree,mshtml,winedbg.exe=d")
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    # On a kernel without 32-bit support, 32-bit code runs under instruction emulation,
    # about four times slower.
    set(QV_WINE_TIMEOUT_SCALE 3)
  endif()
endif()

# qv_test_environment(<test> [ENV <VAR=value>...] [TIMEOUT <seconds on Linux>])
# Every test asks for the card simulator's default card, which it serves to no process that
# did not ask (a test that names a configuration or a replay gets that instead).
# Under Wine: the session fixture, QV_WINE_ENV and the timeout scaled for the emulation.
function(qv_test_environment test)
  cmake_parse_arguments(E "" "TIMEOUT" "ENV" ${ARGN})
  set(env "VODRA_OX952_SIM_DEFAULT=1" ${E_ENV})
  if(NOT E_TIMEOUT)
    set(E_TIMEOUT 120)
  endif()
  if(QV_SANITIZE)
    list(APPEND env "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1"
         "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
         "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
  endif()
  if(QV_TSAN)
    list(APPEND env "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=${CMAKE_SOURCE_DIR}/tests/tsan.supp")
  endif()
  if(CMAKE_CROSSCOMPILING)
    list(APPEND env ${QV_WINE_ENV})
    math(EXPR E_TIMEOUT "${E_TIMEOUT} * ${QV_WINE_TIMEOUT_SCALE}")
    set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED test_session)
  endif()
  set_tests_properties(${test} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${E_TIMEOUT})
endfunction()

add_test(NAME test_session_start COMMAND ${CMAKE_SOURCE_DIR}/scripts/test-session start
         ${CMAKE_BINARY_DIR} ${QV_TEST_DISPLAY})
add_test(NAME test_session_stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/test-session stop
         ${CMAKE_BINARY_DIR} ${QV_TEST_DISPLAY})
set_tests_properties(test_session_start PROPERTIES FIXTURES_SETUP test_session)
set_tests_properties(test_session_stop PROPERTIES FIXTURES_CLEANUP test_session)
if(CMAKE_CROSSCOMPILING)
  set_property(TEST test_session_start test_session_stop APPEND PROPERTY ENVIRONMENT
               "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix" "WINEDEBUG=-all"
               "WINEDLLOVERRIDES=mscoree,mshtml,winedbg.exe=d"
               "WINE=${QV_WINE}")
endif()

function(qv_add_gtest name)
  cmake_parse_arguments(T "GUI" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  set(env "QV_SOURCE_DIR=${CMAKE_SOURCE_DIR}" "QV_BINARY_DIR=${CMAKE_BINARY_DIR}")
  if(T_GUI AND NOT CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${QV_TEST_RUN} $<TARGET_FILE:${name}> --gtest_brief=1)
  else()
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  endif()
  if(CMAKE_CROSSCOMPILING)
    # qv_test_environment adds the Wine environment
  elseif(T_GUI)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED test_session)
  else()
    # Without a display the monitor window is the off-screen one.
    list(APPEND env "DISPLAY=" "WAYLAND_DISPLAY=")
  endif()
  qv_test_environment(${name} ENV ${env} TIMEOUT ${T_TIMEOUT})
endfunction()
