# Install rules and the packages made from them: a .deb on Linux, a .zip on
# Windows. `cmake --build <dir> --target package` makes the one that fits the
# build; both are meant to be made from Release builds. release/run makes
# every platform's packages this same way.
include(GNUInstallDirs)

# The project has no contact address yet: the packages name one on a domain
# reserved for examples, which reaches no one, until it has.
set(WEXEL_MAINTAINER "The wexel developers <wexel@example.org>")

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

# wexel_install_for(FORMAT FILE DESTINATION [RENAME NAME]): installs FILE
# (relative to the source folder, or absolute) only into the package of
# FORMAT, DEB or RPM, or, for PLAIN, only where no package is being made:
# `cmake --install`, the tarballs, the .zip. cpack installs the project
# once for each package it makes; the file it reads first names that
# package in WEXEL_PACKAGE_FORMAT (see CPACK_PROJECT_CONFIG_FILE below).
function(wexel_install_for format file destination)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "RENAME" "")
  get_filename_component(file ${file} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  set(rename "")
  if(arg_RENAME)
    set(rename "RENAME \"${arg_RENAME}\"")
  endif()
  if(format STREQUAL "PLAIN")
    set(condition "NOT \"\$ENV{WEXEL_PACKAGE_FORMAT}\" MATCHES \"^(DEB|RPM)\$\"")
  else()
    set(condition "\"\$ENV{WEXEL_PACKAGE_FORMAT}\" STREQUAL \"${format}\"")
  endif()
  # Modes as install(FILES) gives them, whatever the umask the sources were
  # checked out under.
  install(CODE "if(${condition})
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${destination}\" TYPE FILE ${rename}
       PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
       FILES \"${file}\")
endif()")
endfunction()

# Every file a package holds is dated the release day, whenever and wherever
# it is built, so that two builds of one release give the same bytes.
wexel_date_epoch(${WEXEL_RELEASE_DATE} WEXEL_SOURCE_DATE_EPOCH)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS wexel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(WIN32)
  # Windows users unzip and read: the notes sit beside the bin folder.
  install(FILES README.md LICENSE CHANGELOG.md ${CMAKE_CURRENT_BINARY_DIR}/README-Windows.txt
          DESTINATION .)
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
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/cmake/package-changelog.sh deb
      ${CMAKE_CURRENT_SOURCE_DIR}/CHANGELOG.md wexel ${WEXEL_MAINTAINER}
      > ${docs}/changelog
    COMMAND gzip -9nf ${docs}/changelog
    DEPENDS CHANGELOG.md cmake/package-changelog.sh
    VERBATIM)
  add_custom_target(wexel_docs ALL DEPENDS ${docs}/wexel.1.gz ${docs}/changelog.gz)

  install(FILES ${docs}/wexel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # Each shell loads a command's completion on first use, by the command's
  # name, from a folder of its own: bash-completion from this one, fish from
  # its vendor folder, zsh from a folder on its fpath (see below).
  install(FILES completion/wexel
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  install(FILES completion/wexel.fish
          DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
  install(FILES README.md CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

  # What differs between a plain `cmake --install` and the .deb and the
  # .rpm: where the licence goes and under what name, the files only
  # Debian's tools read, and zsh's folder (Debian's zsh reads vendor
  # completions from a folder of its own; others, and /usr/local on Debian,
  # use site-functions).
  wexel_install_for(PLAIN LICENSE ${CMAKE_INSTALL_DOCDIR})
  wexel_install_for(PLAIN completion/_wexel ${CMAKE_INSTALL_DATADIR}/zsh/site-functions)
  # Debian looks for the licence under this name.
  wexel_install_for(DEB LICENSE ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
  wexel_install_for(DEB ${docs}/changelog.gz ${CMAKE_INSTALL_DOCDIR})
  # lintian flags every static program; the override says why wexel is one.
  wexel_install_for(DEB cmake/lintian-overrides ${CMAKE_INSTALL_DATADIR}/lintian/overrides
                    RENAME wexel)
  wexel_install_for(DEB completion/_wexel ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
  # RPM-based systems keep licences apart from the docs (marked %license).
  wexel_install_for(RPM LICENSE ${CMAKE_INSTALL_DATADIR}/licenses/wexel)
  wexel_install_for(RPM completion/_wexel ${CMAKE_INSTALL_DATADIR}/zsh/site-functions)
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
# cpack reads this file before it makes each package, with CPACK_GENERATOR
# naming that one: the archive writers and rpmbuild take their timestamps
# from SOURCE_DATE_EPOCH, and the install rules above read which package is
# being made. Only a build that makes a package is told what it is built as.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/CPackProjectConfig.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE} "\
set(ENV{SOURCE_DATE_EPOCH} ${WEXEL_SOURCE_DATE_EPOCH})
set(ENV{WEXEL_PACKAGE_FORMAT} \"\${CPACK_GENERATOR}\")
set(build_type \"${CMAKE_BUILD_TYPE}\")
if(build_type AND NOT build_type STREQUAL \"Release\" AND NOT DEFINED ENV{WEXEL_BUILD_TYPE_WARNED})
  set(ENV{WEXEL_BUILD_TYPE_WARNED} 1)
  message(WARNING \"Packages are made from Release builds; this one is \${build_type}.\")
endif()
")

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
  # The completion for bash needs bash-completion to be loaded on first use.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS bash-completion)

  # The .rpm is made beside the .deb wherever rpmbuild is at hand (Debian's
  # rpm package has it); release/run makes sure it is.
  find_program(WEXEL_RPMBUILD rpmbuild)
  if(WEXEL_RPMBUILD)
    list(APPEND CPACK_GENERATOR RPM)
    include(${CMAKE_CURRENT_LIST_DIR}/rpm-package.cmake)
  else()
    message(STATUS "No rpmbuild: `--target package` makes the .deb alone (apt-get install rpm)")
  endif()
endif()

include(CPack)
