# The settings dialog in Wine's window system, worked with real mouse and
# keyboard input by a small host program (win_dialog_test.cpp). Wine needs
# an X display for it: the wrapper uses the caller's DISPLAY or starts a
# private Xvfb. The test has a prefix of its own, so that its Wine server
# and desktop (which hold the display) are never shared with the tests that
# run without one. Leaves a picture of the dialog, dialog.bmp, in this
# directory.

add_executable(win_dialog_test ${CMAKE_CURRENT_LIST_DIR}/win_dialog_test.cpp)
target_include_directories(win_dialog_test PRIVATE ${PROJECT_SOURCE_DIR}/host ${PROJECT_SOURCE_DIR}/filter ${PROJECT_SOURCE_DIR}/dialog)
target_link_libraries(win_dialog_test PRIVATE comctl32 gdi32 user32)
target_link_options(win_dialog_test PRIVATE -static -static-libgcc -static-libstdc++)
target_compile_definitions(win_dialog_test PRIVATE VELMOR_PLUGIN_FILE="${VELMOR_PLUGIN_NAME}.vdf")
add_dependencies(win_dialog_test velmor)

find_program(VELMOR_WINE NAMES wine)
add_test(NAME win_dialog
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/run_under_xvfb.sh
          ${VELMOR_WINE} $<TARGET_FILE:win_dialog_test>
          --shot ${CMAKE_CURRENT_BINARY_DIR}/dialog.bmp $<TARGET_FILE:velmor>)
set_tests_properties(win_dialog PROPERTIES
  ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-dialog;WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml="
  TIMEOUT 180)
