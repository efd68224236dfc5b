# The Windows release: velmor-<version>-windows.zip with both plug-ins, a
# plain-text readme (Windows line ends) and the licence, nothing else.
#
#   cmake -DPLUGIN32=<velmor.vdf> -DPLUGIN64=<velmor64.vdf> -DVERSION=<version>
#         -DOUT_DIR=<dir> -P windows_zip.cmake
cmake_minimum_required(VERSION 3.20)
foreach(var PLUGIN32 PLUGIN64 VERSION OUT_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "windows_zip.cmake: ${var} is not set")
  endif()
endforeach()
foreach(plugin ${PLUGIN32} ${PLUGIN64})
  if(NOT EXISTS ${plugin})
    message(FATAL_ERROR "${plugin} does not exist: build the Windows trees first")
  endif()
endforeach()

set(stage ${OUT_DIR}/velmor-${VERSION}-windows)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
file(COPY ${PLUGIN32} ${PLUGIN64} DESTINATION ${stage})
# Text for Notepad: CR LF line ends.
function(windows_text from to)
  file(READ ${from} text)
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${to} "${text}")
endfunction()
file(READ ${CMAKE_CURRENT_LIST_DIR}/windows-readme.txt readme)
string(REPLACE "@VERSION@" "${VERSION}" readme "${readme}")
file(WRITE ${stage}/README.in "${readme}")
windows_text(${stage}/README.in ${stage}/README.txt)
file(REMOVE ${stage}/README.in)
windows_text(${CMAKE_CURRENT_LIST_DIR}/../LICENSE ${stage}/LICENSE.txt)

set(zip ${OUT_DIR}/velmor-${VERSION}-windows.zip)
file(REMOVE ${zip})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip
                        velmor.vdf velmor64.vdf README.txt LICENSE.txt
  WORKING_DIRECTORY ${stage} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "could not write ${zip}")
endif()
message(STATUS "${zip}")
