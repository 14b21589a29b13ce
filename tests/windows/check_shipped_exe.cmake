# Checks the wexel.exe that ships: it imports from KERNEL32.dll and msvcrt.dll
# alone (no Psapi.dll: the memory query is looked up at run time, and no
# libgcc or libstdc++ DLL), its printf is msvcrt's own (MinGW's replacement
# knows no "I64") and the only output function it imports besides fprintf
# and fwrite (no puts or putchar the compiler put in for it), it carries no
# symbols, it stays under 40 KiB, and it carries its version VERSION in a
# version resource and an asInvoker manifest for Windows 7 to 11.
# Usage: cmake -DOBJDUMP=... -DEXE=.../wexel.exe -DVERSION=X.Y.Z -P check_shipped_exe.cmake

function(fail message)
  message(FATAL_ERROR "${EXE}: ${message}")
endfunction()

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
if(failed)
  fail("objdump -p failed")
endif()

# The import table lists each DLL as "DLL Name: X" and its functions below
# it, one to a line, until an empty line.
string(REGEX MATCHALL "DLL Name: [^\n]+" dll_lines "${headers}")
string(REPLACE "DLL Name: " "" dlls "${dll_lines}")
if(NOT dlls STREQUAL "KERNEL32.dll;msvcrt.dll")
  fail("imports from '${dlls}', expected KERNEL32.dll and msvcrt.dll alone")
endif()
string(REGEX MATCH "DLL Name: msvcrt\\.dll\n[^\n]*\n(([^\n]+\n)+)" msvcrt_block "${headers}")
set(msvcrt_functions "${CMAKE_MATCH_1}")
if(NOT msvcrt_functions MATCHES "[ \t]printf\n")
  fail("printf is not imported from msvcrt.dll")
endif()
if(msvcrt_functions MATCHES "[ \t](puts|putchar|putc|fputs)\n")
  fail("imports ${CMAKE_MATCH_1}, which its source never calls: built without -fno-builtin-printf?")
endif()
if(headers MATCHES "__mingw_")
  fail("MinGW's own stdio is linked in (__mingw_ imports)")
endif()
if(headers MATCHES "GetProcessMemoryInfo")
  fail("the memory query is imported instead of looked up")
endif()

if(NOT headers MATCHES "symbols stripped")
  fail("not stripped: no 'symbols stripped' characteristic")
endif()
execute_process(COMMAND ${OBJDUMP} -t ${EXE} OUTPUT_VARIABLE symbols)
if(NOT symbols MATCHES "no symbols")
  fail("carries a symbol table")
endif()
execute_process(COMMAND ${OBJDUMP} -h ${EXE} OUTPUT_VARIABLE sections)
if(sections MATCHES "\\.debug")
  fail("carries debug sections")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/check_version_resource.cmake)
check_version_resource("${headers}")

file(SIZE ${EXE} size)
message(STATUS "wexel.exe: ${size} bytes, imports ${dlls}")
if(size GREATER_EQUAL 40960)
  fail("${size} bytes, expected under 40 KiB")
endif()
