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
# share a wineserver. Wine also writes into the home folder (menu entries,
# file associations, ~/.ssh) and the temporary one: both are folders of this
# build's too (tests/windows/CMakeLists.txt makes them), and the menu
# builder, which a console program has no use for, is not run at all.
# WINEDEBUG=-all keeps Wine's diagnostics off the output the tests compare.
set(WEXEL_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(WEXEL_WINE_HOME ${CMAKE_BINARY_DIR}/wine-home)
# Wine 10 (Debian 13) aborts setting a prefix up ("free(): invalid pointer")
# when TMPDIR names any folder but /tmp; it then keeps its server's socket
# in a folder of its own under /tmp.
set(WEXEL_WINE_TMPDIR TMPDIR=${WEXEL_WINE_HOME}/tmp)
execute_process(COMMAND wine --version OUTPUT_VARIABLE WEXEL_WINE_VERSION ERROR_QUIET)
if(WEXEL_WINE_VERSION MATCHES "^wine-([0-9]+)" AND CMAKE_MATCH_1 GREATER_EQUAL 10)
  set(WEXEL_WINE_TMPDIR "")
endif()
set(WEXEL_WINE_ENV
    env WINEPREFIX=${WEXEL_WINEPREFIX} WINEARCH=win64 WINEDEBUG=-all
        WINEDLLOVERRIDES=winemenubuilder.exe=d
        HOME=${WEXEL_WINE_HOME} ${WEXEL_WINE_TMPDIR}
        XDG_CONFIG_HOME=${WEXEL_WINE_HOME}/.config XDG_DATA_HOME=${WEXEL_WINE_HOME}/.local/share
        XDG_CACHE_HOME=${WEXEL_WINE_HOME}/.cache)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WEXEL_WINE_ENV} wine)
