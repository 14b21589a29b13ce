# check_version_resource(HEADERS): EXE, whose `objdump -p` output is
# HEADERS, holds a version resource (RT_VERSION, 16) and a manifest
# (RT_MANIFEST, 24); the resource's fixed file and product versions and its
# FileVersion and ProductVersion strings are VERSION, and it names the
# original file, the description and the licence; the manifest runs wexel
# as its invoker and declares Windows 7 to 11.

# The hexadecimal digits of TEXT in UTF-16LE, as file(READ ... HEX) shows
# the bytes of a resource string.
function(utf16_hex text out_var)
  string(HEX "${text}" bytes)
  string(REGEX REPLACE "(..)" "\\100" hex "${bytes}")
  set(${out_var} ${hex} PARENT_SCOPE)
endfunction()

# The 32-bit little-endian word HIGH << 16 | LOW, in hexadecimal digits.
function(version_word_hex high low out_var)
  set(hex "")
  foreach(half ${low} ${high})
    math(EXPR lo "${half} % 256" OUTPUT_FORMAT HEXADECIMAL)
    math(EXPR hi "${half} / 256" OUTPUT_FORMAT HEXADECIMAL)
    foreach(byte ${lo} ${hi})
      string(REGEX REPLACE "^0x" "" byte ${byte})
      string(LENGTH "${byte}" length)
      if(length EQUAL 1)
        set(byte 0${byte})
      endif()
      string(APPEND hex ${byte})
    endforeach()
  endforeach()
  string(TOLOWER ${hex} hex)
  set(${out_var} ${hex} PARENT_SCOPE)
endfunction()

# A StringFileInfo entry: the key, padding to a 32-bit boundary, the value.
function(expect_version_string key value)
  utf16_hex("${key}" key_hex)
  utf16_hex("${value}" value_hex)
  if(NOT image MATCHES "${key_hex}(0000)+${value_hex}0000")
    fail("the version resource's ${key} is not \"${value}\"")
  endif()
endfunction()

function(check_version_resource headers)
  if(NOT VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    fail("no X.Y.Z version to check against: '${VERSION}'")
  endif()
  set(major ${CMAKE_MATCH_1})
  set(minor ${CMAKE_MATCH_2})
  set(patch ${CMAKE_MATCH_3})
  foreach(type "0x000010:version" "0x000018:manifest")
    string(REGEX REPLACE ":.*" "" id ${type})
    string(REGEX REPLACE ".*:" "" name ${type})
    # The type table's entries stand three spaces in, under its offset.
    if(NOT headers MATCHES "\n[0-9a-f]+   Entry: ID: ${id},")
      fail("no ${name} resource")
    endif()
  endforeach()

  file(READ ${EXE} image HEX)
  # VS_FIXEDFILEINFO: its signature and structure version, then the file
  # version and the product version, each as two words.
  version_word_hex(${major} ${minor} ms)
  version_word_hex(${patch} 0 ls)
  if(NOT image MATCHES "bd04effe00000100${ms}${ls}${ms}${ls}")
    fail("the version resource's fixed file and product versions are not ${VERSION}.0")
  endif()
  expect_version_string(FileVersion ${VERSION})
  expect_version_string(ProductVersion ${VERSION})
  expect_version_string(ProductName wexel)
  expect_version_string(OriginalFilename wexel.exe)
  expect_version_string(FileDescription "wexel: measure one run of a command")
  utf16_hex("MIT License" licence_hex)
  if(NOT image MATCHES "${licence_hex}")
    fail("the version resource names no licence")
  endif()

  # The manifest is stored as it is written, in UTF-8.
  foreach(text "level=\"asInvoker\""
      "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}" "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}")
    string(HEX "${text}" text_hex)
    if(NOT image MATCHES "${text_hex}")
      fail("the manifest lacks ${text}")
    endif()
  endforeach()
endfunction()
