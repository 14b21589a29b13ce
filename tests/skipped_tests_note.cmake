# The one line the configure step prints when the tests cannot be built:
# what is missing and how to get it. Missing packages can be installed, and
# bash tests/run installs them itself on Debian and Ubuntu; a CMake older
# than the tests need is not mended by installing the system's cmake again,
# so then the note promises no such thing.
# wexel_skipped_tests_note(<out> <cmake version> <missing> <packages>)
function(wexel_skipped_tests_note out cmake_version missing packages)
  set(steps "")
  if(cmake_version VERSION_LESS 3.16)
    list(INSERT missing 0 "CMake 3.16 or newer (this is ${cmake_version})")
    list(APPEND steps "use a CMake of 3.16 or newer (Debian 11 and Ubuntu 20.04 have one)")
  endif()
  if(packages)
    string(REPLACE ";" " " names "${packages}")
    list(APPEND steps "apt-get install ${names} (as root, or with sudo)")
  endif()
  if(NOT steps)
    list(APPEND steps "install what is missing")
  endif()
  string(REPLACE ";" " and " missing "${missing}")
  string(REPLACE ";" ", " steps "${steps}")
  set(text "${missing} not found. For the tests, ${steps}, then configure again")
  if(packages AND NOT cmake_version VERSION_LESS 3.16)
    string(APPEND text " (bash tests/run installs them itself on Debian and Ubuntu)")
  endif()
  set(${out} "${text}." PARENT_SCOPE)
endfunction()
