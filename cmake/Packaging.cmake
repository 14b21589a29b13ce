# Install rules and the packages made from them: a .deb on Linux, a .zip on
# Windows. `cmake --build <dir> --target package` makes the one that fits the
# build; both are meant to be made from Release builds. release/run makes
# every platform's packages this same way.
include(GNUInstallDirs)

if(CMAKE_BUILD_TYPE AND NOT CMAKE_BUILD_TYPE STREQUAL "Release")
  message(WARNING "Packages are made from Release builds; this one is ${CMAKE_BUILD_TYPE}.")
endif()

set(WEXEL_MAINTAINER "The wexel developers <wexel@wexel.dev>")

# Seconds from 1970-01-01 to the start of DATE (YYYY-MM-DD, UTC), counted
# here rather than asked of `date` so that every host, Windows too, gets the
# same number.
function(wexel_date_epoch date out_var)
  if(NOT date MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
    message(FATAL_ERROR "Not a YYYY-MM-DD date: ${date}")
  endif()
  # "1MM - 100" reads a month or day such as "09" as decimal.
  math(EXPR year "${CMAKE_MATCH_1}")
  math(EXPR month "1${CMAKE_MATCH_2} - 100")
  math(EXPR day "1${CMAKE_MATCH_3} - 100")
  # Days from the civil date, counting years from March so that the leap
  # day falls at a year's end.
  if(month LESS_EQUAL 2)
    math(EXPR year "${year} - 1")
  endif()
  math(EXPR era "${year} / 400")
  math(EXPR year_of_era "${year} - ${era} * 400")
  math(EXPR day_of_year "(153 * ((${month} + 9) % 12) + 2) / 5 + ${day} - 1")
  math(EXPR day_of_era
    "${year_of_era} * 365 + ${year_of_era} / 4 - ${year_of_era} / 100 + ${day_of_year}")
  math(EXPR epoch "(${era} * 146097 + ${day_of_era} - 719468) * 86400")
  set(${out_var} ${epoch} PARENT_SCOPE)
endfunction()

# Every file a package holds is dated the release day, whenever and wherever
# it is built, so that two builds of one release give the same bytes.
wexel_date_epoch(${WEXEL_RELEASE_DATE} WEXEL_SOURCE_DATE_EPOCH)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS wexel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(WIN32)
  # Windows users unzip and read: the notes sit beside the bin folder.
  install(FILES README.md LICENSE DESTINATION .)
else()
  # The compiler's version strings in .comment are of no use in the
  # program, and Debian's checks flag them.
  if(CMAKE_OBJCOPY)
    add_custom_command(TARGET wexel POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:wexel>
      VERBATIM)
  endif()

  # man and Debian want the manual page and the changelog compressed; -n
  # keeps the name and the time out of the gzip header. Each step is a
  # command of its own, so that a failed one fails the build.
  set(docs ${CMAKE_CURRENT_BINARY_DIR}/docs)
  file(MAKE_DIRECTORY ${docs})
  add_custom_command(OUTPUT ${docs}/wexel.1.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/doc/wexel.1 ${docs}/wexel.1
    COMMAND gzip -9nf ${docs}/wexel.1
    DEPENDS doc/wexel.1
    VERBATIM)
  add_custom_command(OUTPUT ${docs}/changelog.gz
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/cmake/debian-changelog.sh
      ${CMAKE_CURRENT_SOURCE_DIR}/CHANGELOG.md wexel ${WEXEL_MAINTAINER}
      > ${docs}/changelog
    COMMAND gzip -9nf ${docs}/changelog
    DEPENDS CHANGELOG.md cmake/debian-changelog.sh
    VERBATIM)
  add_custom_target(wexel_docs ALL DEPENDS ${docs}/wexel.1.gz ${docs}/changelog.gz)

  install(FILES ${docs}/wexel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # bash-completion loads a command's completion on first use from this
  # folder, by the command's name.
  install(FILES completion/wexel
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  install(FILES README.md CHANGELOG.md ${docs}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # Debian looks for the licence under this name.
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
  # lintian flags every static program; the override says why wexel is one.
  install(FILES cmake/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
          RENAME wexel)
endif()

set(CPACK_PACKAGE_NAME wexel)
set(CPACK_PACKAGE_VENDOR "The wexel developers")
set(CPACK_PACKAGE_CONTACT "${WEXEL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "measure one run of a command: its times, peak memory and exit code")
set(CPACK_PACKAGE_DESCRIPTION
    "wexel runs a command, waits for it and prints its kernel, user, process and
wall-clock times and its peak virtual and resident memory, then exits with
the command's own exit status.")
if(NOT WIN32)
  # wexel.exe is linked stripped already; stripping it again would give its
  # PE header a time stamp.
  set(CPACK_STRIP_FILES ON)
endif()
set(CPACK_SOURCE_GENERATOR "")
# cpack reads this file when it starts; the archive writers take their
# timestamps from SOURCE_DATE_EPOCH.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/CPackReleaseDate.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
  "set(ENV{SOURCE_DATE_EPOCH} ${WEXEL_SOURCE_DATE_EPOCH})\n")

if(WIN32)
  # CPack names only MSVC builds win64; a MinGW-w64 build is 64-bit too.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  endif()
  if(CMAKE_HOST_UNIX)
    # Released zips are made on Linux, by zip: see the script.
    set(CPACK_GENERATOR External)
    set(CPACK_EXTERNAL_ENABLE_STAGING ON)
    set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/cmake/zip-package.cmake)
  else()
    set(CPACK_GENERATOR ZIP)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${WEXEL_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # CPack asks dpkg for the architecture, which names the build machine's;
  # a cross build names the one it builds for.
  if(CMAKE_CROSSCOMPILING)
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
      set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
    elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$")
      set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
    else()
      message(WARNING "No Debian architecture known for ${CMAKE_SYSTEM_PROCESSOR}; "
                      "the .deb would be labelled with this machine's.")
    endif()
  endif()
  # A static wexel needs no library; a dynamic one gets what dpkg-shlibdeps
  # finds it needs.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
