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
# The tests run under Wine's 64-bit loader, named directly: the "wine"
# script prefers the i386 loader whenever wine32 is installed, and that one
# cannot start where the kernel runs no 32-bit programs.
find_program(QM_WINE64_LOADER NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
if(QM_WINE64_LOADER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QM_WINE64_LOADER})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
