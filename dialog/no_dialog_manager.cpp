// The window system where there is none (Linux): the dialog cannot be
// created, so the configuration procedure keeps the settings, and the other
// calls are never reached. Every definition is weak: the tests link a
// stand-in that takes their place and drives the dialog message by message.
#include "dialog_api.h"

#if !defined(_WIN32)
#define STANDIN __attribute__((weak))

STANDIN INT_PTR DialogBoxParamA(void*, const char*, HWND, DLGPROC, LPARAM) {
    return -1;
}
STANDIN LRESULT SendDlgItemMessageA(HWND, int, UINT, WPARAM, LPARAM) {
    return 0;
}
STANDIN BOOL SetDlgItemInt(HWND, int, UINT, BOOL) {
    return 0;
}
STANDIN BOOL CheckDlgButton(HWND, int, UINT) {
    return 0;
}
STANDIN UINT IsDlgButtonChecked(HWND, int) {
    return 0;
}
STANDIN HWND GetDlgItem(HWND, int) {
    return nullptr;
}
STANDIN LONG_PTR GetWindowLongPtrA(HWND, int) {
    return 0;
}
STANDIN LONG_PTR SetWindowLongPtrA(HWND, int, LONG_PTR) {
    return 0;
}
STANDIN BOOL EndDialog(HWND, INT_PTR) {
    return 0;
}
#endif
