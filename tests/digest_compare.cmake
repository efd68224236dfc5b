# Runs the digest program of the Linux build and the Windows one (under
# Wine, with the plug-in DLL beside it) and requires the same output, byte
# for byte. Both outputs are kept in OUT_DIR for a look after a failure.
#
#   cmake -DWINE=<wine> -DWINDOWS_PROGRAM=<digest_cases.exe>
#         -DLINUX_PROGRAM=<digest_cases> -DOUT_DIR=<dir> -P digest_compare.cmake
cmake_minimum_required(VERSION 3.20)
foreach(var WINE WINDOWS_PROGRAM LINUX_PROGRAM OUT_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "digest_compare.cmake: ${var} is not set")
  endif()
endforeach()
if(NOT EXISTS "${WINDOWS_PROGRAM}")
  message(FATAL_ERROR "${WINDOWS_PROGRAM} does not exist: build the Windows tree first")
endif()

execute_process(COMMAND ${LINUX_PROGRAM}
  OUTPUT_VARIABLE linux ERROR_VARIABLE linuxErrors RESULT_VARIABLE linuxResult)
execute_process(COMMAND ${WINE} ${WINDOWS_PROGRAM}
  INPUT_FILE /dev/null
  OUTPUT_VARIABLE windows ERROR_VARIABLE windowsErrors RESULT_VARIABLE windowsResult
  TIMEOUT 600)
file(WRITE "${OUT_DIR}/digest_linux.txt" "${linux}")
file(WRITE "${OUT_DIR}/digest_windows.txt" "${windows}")

if(NOT linuxResult EQUAL 0)
  message(FATAL_ERROR "${LINUX_PROGRAM} failed (${linuxResult}): ${linuxErrors}")
endif()
if(NOT windowsResult EQUAL 0)
  message(FATAL_ERROR "wine ${WINDOWS_PROGRAM} failed (${windowsResult}): ${windowsErrors}")
endif()

if(NOT linux MATCHES "\ncases ([0-9]+) changed ([0-9]+)\n$")
  message(FATAL_ERROR "the Linux digest has no closing count line; see ${OUT_DIR}/digest_linux.txt")
endif()
set(cases ${CMAKE_MATCH_1})
set(changed ${CMAKE_MATCH_2})
# Most cases change the frame; a filter that passes frames through would
# still give two equal outputs.
math(EXPR least "${cases} / 2")
if(changed LESS least)
  message(FATAL_ERROR "only ${changed} of ${cases} frames were changed by the run")
endif()

if(NOT linux STREQUAL windows)
  string(REGEX REPLACE "\n$" "" linuxLines "${linux}")
  string(REGEX REPLACE "\n$" "" windowsLines "${windows}")
  string(REPLACE "\n" ";" linuxLines "${linuxLines}")
  string(REPLACE "\n" ";" windowsLines "${windowsLines}")
  list(LENGTH linuxLines linuxCount)
  list(LENGTH windowsLines windowsCount)
  set(differing 0)
  set(first "")
  math(EXPR last "${linuxCount} - 1")
  foreach(i RANGE ${last})
    list(GET linuxLines ${i} a)
    set(b "(missing)")
    if(i LESS windowsCount)
      list(GET windowsLines ${i} b)
    endif()
    if(NOT a STREQUAL b)
      math(EXPR differing "${differing} + 1")
      if(NOT first)
        set(first "line ${i}:\n  linux:   ${a}\n  windows: ${b}")
      endif()
    endif()
  endforeach()
  message(FATAL_ERROR
    "the builds differ on ${differing} of ${linuxCount} lines (the Windows output has "
    "${windowsCount}); first difference at ${first}\n"
    "outputs: ${OUT_DIR}/digest_linux.txt and ${OUT_DIR}/digest_windows.txt")
endif()
message(STATUS "Linux and Windows builds agree on all ${cases} cases (${changed} frames changed by the run)")
