# Install rules and the packages made from them: a .deb on Linux, a .zip on
# Windows. `cmake --build <dir> --target package` makes the one that fits the
# build; both are meant to be made from Release builds.
include(GNUInstallDirs)

if(CMAKE_BUILD_TYPE AND NOT CMAKE_BUILD_TYPE STREQUAL "Release")
  message(WARNING "Packages are made from Release builds; this one is ${CMAKE_BUILD_TYPE}.")
endif()

install(TARGETS wexel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(WIN32)
  # Windows users unzip and read: the notes sit beside the bin folder.
  install(FILES README.md LICENSE DESTINATION .)
else()
  install(FILES doc/wexel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # bash-completion loads a command's completion on first use from this
  # folder, by the command's name.
  install(FILES completion/wexel
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  install(FILES README.md CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # Debian looks for the licence under this name.
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
endif()

set(CPACK_PACKAGE_NAME wexel)
set(CPACK_PACKAGE_VENDOR "The wexel developers")
set(CPACK_PACKAGE_CONTACT "The wexel developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "measure one run of a command: its times, peak memory and exit code")
set(CPACK_PACKAGE_DESCRIPTION
    "wexel runs a command, waits for it and prints its kernel, user, process and
wall-clock times and its peak virtual and resident memory, then exits with
the command's own exit status.")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  # CPack names only MSVC builds win64; a MinGW-w64 build is 64-bit too.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The wexel developers")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # A static wexel needs no library; a dynamic one gets what dpkg-shlibdeps
  # finds it needs.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
