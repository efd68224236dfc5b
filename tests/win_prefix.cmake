# Makes the private Wine prefix named by $ENV{WINEPREFIX} ready before any
# Windows program runs in it: the first start creates and fills it (the slow
# part), and waiting for the Wine server to leave puts its registry on disk,
# so the tests that follow start quickly and never race the setup.
#
#   cmake -DWINE=<wine> [-DWINESERVER=<wineserver>] -P win_prefix.cmake
cmake_minimum_required(VERSION 3.20)
if(NOT WINE)
  message(FATAL_ERROR "win_prefix.cmake: WINE is not set")
endif()
if(NOT DEFINED ENV{WINEPREFIX})
  message(FATAL_ERROR "win_prefix.cmake: WINEPREFIX is not set")
endif()

execute_process(COMMAND ${WINE} wineboot --init
  INPUT_FILE /dev/null
  OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc
  TIMEOUT 540)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "wineboot --init failed (${rc}) in $ENV{WINEPREFIX}:\n${out}")
endif()
if(WINESERVER)
  execute_process(COMMAND ${WINESERVER} --wait INPUT_FILE /dev/null TIMEOUT 60)
endif()
message(STATUS "Wine prefix ready: $ENV{WINEPREFIX}")
