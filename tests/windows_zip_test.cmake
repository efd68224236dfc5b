# The Windows release as a user gets it: the zip holds exactly the two
# plug-ins, the readme and the licence, and each plug-in, loaded from the
# unpacked folder by a test host of its own width, runs the digest cases
# (every frame checked against the reference frame run) under Wine.
#
#   cmake -DWINE=<wine> -DZIP_SCRIPT=<windows_zip.cmake> -DVERSION=<v>
#         -DTREE32=<build-win> -DTREE64=<build-win64> -DOUT_DIR=<dir> -P windows_zip_test.cmake
cmake_minimum_required(VERSION 3.20)
execute_process(COMMAND ${CMAKE_COMMAND} -DPLUGIN32=${TREE32}/host/velmor.vdf
                        -DPLUGIN64=${TREE64}/host/velmor64.vdf -DVERSION=${VERSION}
                        -DOUT_DIR=${OUT_DIR} -P ${ZIP_SCRIPT}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the zip was not made")
endif()
set(zip ${OUT_DIR}/velmor-${VERSION}-windows.zip)

execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${zip} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" names "${listing}")
list(SORT names)
set(expected LICENSE.txt README.txt velmor.vdf velmor64.vdf)
if(NOT rc EQUAL 0 OR NOT names STREQUAL expected)
  message(FATAL_ERROR "${zip} holds '${names}', expected exactly '${expected}'")
endif()

set(unpacked ${OUT_DIR}/unpacked)
file(REMOVE_RECURSE ${unpacked})
file(MAKE_DIRECTORY ${unpacked})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip} WORKING_DIRECTORY ${unpacked})
file(COPY_FILE ${TREE32}/tests/digest_cases.exe ${unpacked}/digest32.exe)
file(COPY_FILE ${TREE64}/tests/digest_cases.exe ${unpacked}/digest64.exe)
foreach(width 32 64)
  execute_process(COMMAND ${WINE} ${unpacked}/digest${width}.exe INPUT_FILE /dev/null
    OUTPUT_VARIABLE out ERROR_VARIABLE errors RESULT_VARIABLE rc TIMEOUT 600)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "\ncases [0-9]+ changed [0-9]+\n$")
    message(FATAL_ERROR "the ${width}-bit plug-in from the zip failed (${rc}): ${errors}")
  endif()
endforeach()
message(STATUS "${zip}: ${names}; both plug-ins load and run from it")
