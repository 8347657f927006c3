# The Windows build's tests (preset win32): GoogleTest compiled from Debian's source of it
# (package googletest, /usr/src/googletest) with this build's compiler, and each test
# program registered as one ctest test that runs it whole under Wine (the toolchain file sets
# wine as the emulator): one Wine start per program, not one per test case. All of them run
# in one Wine prefix in the build tree, set up once by the fixture win32.wine-prefix.
set(ZUB_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's source (Debian: googletest)")
if(NOT EXISTS ${ZUB_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest source in ${ZUB_GTEST_SOURCE_DIR} (apt-get install googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# It names its targets GTest::gtest, GTest::gmock ... as find_package(GTest) does.
add_subdirectory(${ZUB_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# Paths compiled into the tests are paths of this machine: under Wine, drive Z: is its root.
set(ZUB_TEST_DRIVE "Z:")
set(ZUB_TEST_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)

if(CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME win32.wine-prefix
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/win32/wine-prefix.sh ${ZUB_TEST_WINE_PREFIX}
                   ${ZUB_BIN_DIR}/gbp-host.exe)
  set_tests_properties(win32.wine-prefix PROPERTIES FIXTURES_SETUP zub_wine_prefix
                       LABELS "win32;wine" TIMEOUT 300)
endif()

# Registers the test program `target` (a target of this build) with the labels `label` and
# win32 (every test of this build has it: scripts/win32 runs them by it).
function(zub_wine_test target label)
  if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME win32.${target} COMMAND bash -c "echo 'skipped: wine is not installed'; exit 77")
    set_tests_properties(win32.${target} PROPERTIES SKIP_RETURN_CODE 77 LABELS "${label};win32;wine")
    return()
  endif()
  add_test(NAME win32.${target} COMMAND ${target} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  set_tests_properties(win32.${target} PROPERTIES
    LABELS "${label};win32;wine"
    FIXTURES_REQUIRED zub_wine_prefix
    TIMEOUT 900
    ENVIRONMENT "WINEPREFIX=${ZUB_TEST_WINE_PREFIX};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")
endfunction()
