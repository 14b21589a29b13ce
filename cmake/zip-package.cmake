# Makes the Windows .zip from what cpack staged (CPack's External
# generator). CPack's own zip writer records the builder's user and group
# ids, so two people building one release would get two different files;
# `zip -X` records neither, and every member is dated the release day, named
# in sorted order and given fixed modes.
set(top ${CPACK_PACKAGE_FILE_NAME})
set(tree ${CPACK_TOPLEVEL_DIRECTORY}/zip-tree)
set(zip_file ${CPACK_TOPLEVEL_DIRECTORY}/${top}.zip)
find_program(WEXEL_ZIP zip)
if(NOT WEXEL_ZIP)
  message(FATAL_ERROR "The Windows .zip is made with zip: apt-get install zip")
endif()

file(REMOVE_RECURSE ${tree} ${zip_file})
file(MAKE_DIRECTORY ${tree})
file(COPY ${CPACK_TEMPORARY_DIRECTORY}/ DESTINATION ${tree}/${top}
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
  DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                        GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(GLOB_RECURSE members RELATIVE ${tree} ${tree}/*)
list(SORT members)
if(NOT members)
  message(FATAL_ERROR "Nothing was staged in ${CPACK_TEMPORARY_DIRECTORY}")
endif()

# zip stores local time: in UTC, the release day's midnight.
set(ENV{TZ} UTC)
execute_process(COMMAND touch -h -d @$ENV{SOURCE_DATE_EPOCH} ${members}
  WORKING_DIRECTORY ${tree} RESULT_VARIABLE touched)
execute_process(COMMAND ${WEXEL_ZIP} -q -X -D -9 ${zip_file} ${members}
  WORKING_DIRECTORY ${tree} RESULT_VARIABLE zipped)
if(NOT touched EQUAL 0 OR NOT zipped EQUAL 0)
  message(FATAL_ERROR "Could not make ${zip_file}")
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES ${zip_file})
# From CMake 3.19 on, cpack copies what the script names to the build
# folder; before (Debian 11 has 3.18), the script puts it there itself.
if(CMAKE_VERSION VERSION_LESS 3.19)
  file(COPY ${zip_file} DESTINATION ${CPACK_PACKAGE_DIRECTORY})
endif()
