# Cross-compiles wexel.exe for Windows x86-64 with Debian's MinGW-w64 and runs
# what it builds under Wine:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix thread model is the one Debian ships a full libstdc++ for.
set(WEXEL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${WEXEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WEXEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${WEXEL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${WEXEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run their Windows programs through Wine in a prefix of this build's
# own, so that no user's ~/.wine is touched and two build directories never
# share a wineserver. WINEDEBUG=-all keeps Wine's diagnostics off the
# output the tests compare.
set(WEXEL_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(CMAKE_CROSSCOMPILING_EMULATOR
    env WINEPREFIX=${WEXEL_WINEPREFIX} WINEARCH=win64 WINEDEBUG=-all wine)
