# wexel.exe carries its version and an application manifest, compiled by
# the resource compiler (MinGW's windres) from wexel.rc.in. The resource
# holds no time stamp, so the program stays byte-reproducible.
enable_language(RC)
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE WEXEL_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
if(NOT WEXEL_COPYRIGHT)
  message(FATAL_ERROR "No Copyright line in LICENSE for wexel.exe's version resource")
endif()
set(WEXEL_MANIFEST ${CMAKE_CURRENT_LIST_DIR}/wexel.exe.manifest)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wexel.rc.in ${CMAKE_CURRENT_BINARY_DIR}/wexel.rc @ONLY)
target_sources(wexel PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/wexel.rc)
# windres reads the manifest itself; the build must know to redo it.
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/wexel.rc PROPERTIES
  OBJECT_DEPENDS ${WEXEL_MANIFEST})

# The notes the .zip holds for Windows users, in Windows line endings.
configure_file(${CMAKE_CURRENT_LIST_DIR}/README-Windows.txt.in
  ${CMAKE_CURRENT_BINARY_DIR}/README-Windows.txt @ONLY NEWLINE_STYLE CRLF)
