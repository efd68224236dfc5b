# The settings dialog in Wine's window system, worked with real mouse and
# keyboard input by a small host program (win_dialog_test.cpp). Wine needs
# an X display for it: the wrapper uses the caller's DISPLAY or starts a
# private Xvfb. The test has a prefix of its own, so that its Wine server
# and desktop (which hold the display) are never shared with the tests that
# run without one.

velmor_windows_program(win_dialog_test ${CMAKE_CURRENT_LIST_DIR}/win_dialog_test.cpp)
target_link_libraries(win_dialog_test PRIVATE gtest_main comctl32 gdi32 user32)

add_test(NAME win_dialog
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/run_under_xvfb.sh ${VELMOR_WINE} $<TARGET_FILE:win_dialog_test>)
set_tests_properties(win_dialog PROPERTIES
  ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-dialog;WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml="
  TIMEOUT 180)
