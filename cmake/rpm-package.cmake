# The .rpm, for Fedora, RHEL, openSUSE and their kin, made by CPack's RPM
# generator from the same install as the .deb. Two builds of one release
# give the same bytes: every date inside is the release day (rpmbuild reads
# SOURCE_DATE_EPOCH, set for cpack in CPACK_PROJECT_CONFIG_FILE), and the
# build host it records is a fixed name rather than the builder's.
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_RELEASE 1)
set(CPACK_RPM_PACKAGE_LICENSE MIT)
set(CPACK_RPM_PACKAGE_GROUP "Development/Tools")
set(CPACK_RPM_PACKAGE_VENDOR "The wexel developers")
set(CPACK_RPM_PACKAGE_SUMMARY "Measure one run of a command: its times, peak memory and exit code")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(CPACK_RPM_PACKAGE_ARCHITECTURE aarch64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$")
  set(CPACK_RPM_PACKAGE_ARCHITECTURE x86_64)
endif()
# xz is what every rpm of the last ten years reads; one thread keeps the
# payload's bytes the same on every machine.
set(CPACK_RPM_COMPRESSION_TYPE xz)
# The program is stripped and the manual page compressed by the build
# already; rpmbuild's own post-install steps would run this machine's strip
# on a cross-built program.
set(CPACK_RPM_SPEC_INSTALL_POST "%{nil}")
# Debian's rpm keeps its database in ~/.rpmdb, and rpmbuild opens it to
# check build dependencies (there are none): it is kept in the build
# folder, so that making a package leaves the builder's home as it was.
set(CPACK_RPM_SPEC_MORE_DEFINE "\
Packager: ${WEXEL_MAINTAINER}
%define _dbpath %{_topdir}/rpmdb
%define _buildhost reproducible
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_date_epoch 1
%define _build_id_links none")
# The system's folders are the filesystem package's, and those of the
# shells' own, which wexel does not depend on; the folders that only its
# files are in, completions' included, are wexel's, and go with it.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
  /usr/share/man /usr/share/man/man1 /usr/share/licenses /usr/share/zsh /usr/share/fish
  /usr/share/bash-completion)
set(CPACK_RPM_USER_FILELIST "%license /usr/share/licenses/wexel/LICENSE")

# The %changelog is CHANGELOG.md, as for the .deb.
set(WEXEL_RPM_CHANGELOG ${CMAKE_CURRENT_BINARY_DIR}/docs/rpm-changelog)
add_custom_command(OUTPUT ${WEXEL_RPM_CHANGELOG}
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/cmake/package-changelog.sh rpm
    ${CMAKE_CURRENT_SOURCE_DIR}/CHANGELOG.md ${WEXEL_MAINTAINER} ${CPACK_RPM_PACKAGE_RELEASE}
    > ${WEXEL_RPM_CHANGELOG}
  DEPENDS CHANGELOG.md cmake/package-changelog.sh
  VERBATIM)
add_custom_target(wexel_rpm_changelog ALL DEPENDS ${WEXEL_RPM_CHANGELOG})
set(CPACK_RPM_CHANGELOG_FILE ${WEXEL_RPM_CHANGELOG})
