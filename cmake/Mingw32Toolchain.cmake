# Cross compiling for 32-bit Windows with Debian's MinGW-w64 i686 compiler, in its POSIX
# threads variant: the core's std::thread and std::mutex need it (the win32-threads variant of
# this compiler has neither). Programs and libraries link the runtime statically (see the
# callers), so nothing but Windows' own libraries is needed beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZUB_MINGW_PREFIX i686-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${ZUB_MINGW_PREFIX}-g++-posix REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${ZUB_MINGW_PREFIX}-gcc-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${ZUB_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZUB_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The Windows programs run on this machine under Wine: ctest starts each test program through
# it, and so does a build step that runs one of the programs.
find_program(ZUB_WINE wine)
if(ZUB_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZUB_WINE})
endif()
