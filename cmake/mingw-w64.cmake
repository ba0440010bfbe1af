# Cross build for 64-bit Windows with Debian's mingw-w64 (the posix thread model, which has
# std::mutex and std::thread for GoogleTest). Tests run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The test programs carry no DLLs beside them: link the compiler's run-time libraries in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests run in a wine prefix of the build's own, quiet, without offers to fetch Mono or Gecko, also
# when CTest is started by hand. scripts/test-windows.sh starts wine's server for it first.
find_program(WINE64 NAMES wine64 wine PATHS /usr/lib/wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/bin/env "WINEPREFIX=${CMAKE_BINARY_DIR}/wine" WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml="
    "${WINE64}")
