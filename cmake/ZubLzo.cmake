# LZO, for the formats layer's LZO image: the target zub_lzo. Linux builds take Debian's
# library (pkg-config lzo2). The Windows build compiles the library's LZO1X part from
# Debian's own source of it (apt-get source lzo2, unpacked once into build/deps by
# scripts/deps.sh's zub_lzo_source), as a static library with this build's compiler.
add_library(zub_lzo INTERFACE)
if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LZO2 REQUIRED IMPORTED_TARGET lzo2)
  target_link_libraries(zub_lzo INTERFACE PkgConfig::LZO2)
  return()
endif()

set(ZUB_DEPS_DIR ${PROJECT_SOURCE_DIR}/build/deps CACHE PATH
    "Where the Windows build finds the unpacked source of its dependencies (lzo2-<version>)")
file(GLOB _zub_lzo_dirs LIST_DIRECTORIES true ${ZUB_DEPS_DIR}/lzo2-*)
list(SORT _zub_lzo_dirs)
list(POP_BACK _zub_lzo_dirs ZUB_LZO_SOURCE_DIR)
if(NOT ZUB_LZO_SOURCE_DIR OR NOT EXISTS ${ZUB_LZO_SOURCE_DIR}/src/lzo1x_9x.c)
  message(FATAL_ERROR "No LZO source in ${ZUB_DEPS_DIR}. Fetch it once with: "
                      "bash -c 'source scripts/deps.sh; zub_lzo_source ${ZUB_DEPS_DIR}' "
                      "(scripts/win32 does it).")
endif()
message(STATUS "LZO from ${ZUB_LZO_SOURCE_DIR}")
# The compressor and the safe decompressor the LZO image uses, with the library's own start-up
# check (lzo_init) and helpers; the other algorithms are left out.
file(GLOB _zub_lzo_sources ${ZUB_LZO_SOURCE_DIR}/src/lzo1x_*.c ${ZUB_LZO_SOURCE_DIR}/src/lzo_*.c)
add_library(zub_lzo_static STATIC ${_zub_lzo_sources})
target_include_directories(zub_lzo_static SYSTEM PUBLIC ${ZUB_LZO_SOURCE_DIR}/include)
target_include_directories(zub_lzo_static PRIVATE ${ZUB_LZO_SOURCE_DIR})
# Not our code: its own warnings are not ours to fix.
target_compile_options(zub_lzo_static PRIVATE -w)
target_link_libraries(zub_lzo INTERFACE zub_lzo_static)
