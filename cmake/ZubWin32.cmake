# The 32-bit Windows side (host/): gbp-host.exe, the simulator as Windows libraries and the
# serial tests' stand-in device library, built into bin/win32 whenever the MinGW-w64 i686
# cross compiler is installed. It is a project of its own with a clean flag set: none of this
# build's options (sanitizers, fuzzing hooks, the environment's CXXFLAGS/LDFLAGS) reach it.
# Sets ZUB_WIN32_DIR and the target zub_win32 when it is built.
option(ZUB_BUILD_WIN32 "Build the 32-bit Windows host and simulator when MinGW-w64 is present" ON)

set(ZUB_WIN32_DIR ${ZUB_BIN_DIR}/win32)
# The tests' own Windows library: in the build tree, never beside the program.
set(ZUB_WIN32_TEST_DIR ${CMAKE_BINARY_DIR}/test-libs/win32-scripted)
if(NOT ZUB_BUILD_WIN32)
  return()
endif()
find_program(ZUB_MINGW32_CXX i686-w64-mingw32-g++-posix)
if(NOT ZUB_MINGW32_CXX)
  message(STATUS "i686-w64-mingw32-g++-posix not found: no gbp-host.exe and no win32 simulator")
  return()
endif()

include(ExternalProject)
ExternalProject_Add(zub_win32
  SOURCE_DIR ${PROJECT_SOURCE_DIR}/host
  BINARY_DIR ${CMAKE_BINARY_DIR}/win32-build
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/Mingw32Toolchain.cmake
    -DCMAKE_BUILD_TYPE=Release
    -DZUB_WIN32_OUT=${ZUB_WIN32_DIR}
    -DZUB_WIN32_TEST_OUT=${ZUB_WIN32_TEST_DIR}
    -DCMAKE_CXX_FLAGS=
    -DCMAKE_C_FLAGS=
    -DCMAKE_EXE_LINKER_FLAGS=
    -DCMAKE_SHARED_LINKER_FLAGS=
  INSTALL_COMMAND ""
  # The sources live in this tree: let the sub-build decide what changed.
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${ZUB_WIN32_DIR}/gbp-host.exe ${ZUB_WIN32_DIR}/gbp.dll
                   ${ZUB_WIN32_DIR}/cte_gbp.dll ${ZUB_WIN32_DIR}/serial/gbp.dll
                   ${ZUB_WIN32_TEST_DIR}/gbp.dll)
