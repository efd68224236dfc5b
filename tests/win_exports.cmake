# Checks the plug-in's PE headers the way the host will meet them: a DLL of
# the host's width (FORMAT, objdump's name for it: pei-i386 or pei-x86-64) that exports exactly its two entry points under their plain names,
# and that imports only DLLs every Windows system has (no MinGW runtime DLLs
# beside it).
#
#   cmake -DOBJDUMP=<objdump> -DPLUGIN=<velmor.vdf> -DFORMAT=<format> -P win_exports.cmake
cmake_minimum_required(VERSION 3.20)
foreach(var OBJDUMP PLUGIN FORMAT)
  if(NOT ${var})
    message(FATAL_ERROR "win_exports.cmake: ${var} is not set")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${PLUGIN}
  OUTPUT_VARIABLE dump ERROR_VARIABLE errors RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${PLUGIN} failed (${rc}): ${errors}")
endif()

set(failures "")

if(NOT dump MATCHES "file format ${FORMAT}\n")
  string(REGEX MATCH "file format [^\n]*" format "${dump}")
  list(APPEND failures "expected file format ${FORMAT}, found '${format}'")
endif()
if(NOT dump MATCHES "\n\tDLL\n")
  list(APPEND failures "the image is not marked as a DLL")
endif()

# Exports: the entries of the name table, one "\t[ n] name" line each.
string(REPLACE ";" "," lines "${dump}")
string(REPLACE "\n" ";" lines "${lines}")
set(exports "")
set(inNames OFF)
foreach(line IN LISTS lines)
  if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(inNames ON)
  elseif(inNames)
    if(line MATCHES "^\t\\[ *[0-9]+\\] (.+)$")
      list(APPEND exports "${CMAKE_MATCH_1}")
    else()
      set(inNames OFF)
    endif()
  endif()
endforeach()
list(SORT exports)
set(expected VirtualdubFilterModuleDeinit VirtualdubFilterModuleInit2)
if(NOT exports STREQUAL expected)
  list(LENGTH exports count)
  list(SUBLIST exports 0 8 shown)
  list(APPEND failures "expected exactly the exports '${expected}', found ${count}: '${shown}'")
endif()

# Imports: system DLLs only, compared without regard to case.
set(allowed kernel32.dll msvcrt.dll user32.dll gdi32.dll comctl32.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" importLines "${dump}")
set(imports "")
foreach(line IN LISTS importLines)
  string(REGEX REPLACE "^DLL Name: " "" name "${line}")
  string(STRIP "${name}" name)
  list(APPEND imports "${name}")
  string(TOLOWER "${name}" lower)
  if(lower MATCHES "^(libgcc|libstdc\\+\\+|libwinpthread)")
    list(APPEND failures "imports the MinGW runtime DLL ${name}: link it statically")
  elseif(NOT lower IN_LIST allowed)
    list(APPEND failures "imports ${name}, which is not one of: ${allowed}")
  endif()
endforeach()
if(NOT imports)
  list(APPEND failures "no imports found: objdump's output was not understood")
endif()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "${PLUGIN}:\n  ${text}")
endif()
message(STATUS "${PLUGIN}: ${FORMAT} DLL; exports ${exports}; imports ${imports}")
