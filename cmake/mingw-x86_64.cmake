# Cross-build for x86_64 Windows with Debian's MinGW-w64 (posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The tests run under Wine's 64-bit loader, called by its own name where it
# has one: Debian's `wine` always starts the 32-bit loader when wine32 is
# installed, and a kernel without 32-bit support cannot run that.
find_program(QM_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine)
if(QM_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QM_WINE64})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
