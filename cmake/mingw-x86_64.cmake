# Cross build for 64-bit Windows with MinGW-w64 (x86_64-w64-mingw32).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
find_program(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++)
find_program(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
if(NOT CMAKE_CXX_COMPILER OR NOT CMAKE_RC_COMPILER)
  message(FATAL_ERROR "x86_64-w64-mingw32-g++ and x86_64-w64-mingw32-windres are needed for this build "
                      "(Debian: apt-get install g++-mingw-w64-x86-64-win32)")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Release builds take -O2, as the native build does. At -O3, GCC vectorizes the core's reduction
# loops across steps, which needs shuffles, and the plain conversion's reduction ran three times
# slower (rounding twice as slow). The 32-bit build has no SSE2 to vectorize with: -O3 suits it.
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of the release build")
