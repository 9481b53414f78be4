# Cross build for 32-bit Windows with MinGW-w64 (i686-w64-mingw32).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
find_program(CMAKE_CXX_COMPILER i686-w64-mingw32-g++)
find_program(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
if(NOT CMAKE_CXX_COMPILER OR NOT CMAKE_RC_COMPILER)
  message(FATAL_ERROR "i686-w64-mingw32-g++ and i686-w64-mingw32-windres are needed for this build "
                      "(Debian: apt-get install g++-mingw-w64-i686-win32)")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
