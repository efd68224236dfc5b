// The window-system calls the settings dialog makes. On Windows they are
// USER32's and the common controls' own; elsewhere this header declares the
// same few calls, with the same names, meanings and constant values, for a
// stand-in that the tests provide (there is no dialog manager on Linux).
#pragma once

#include <cstdint>

#include "dialog_ids.h"

#if defined(_WIN32)
#include <windows.h>
#include <commctrl.h>
#else
struct DialogWindow;
using HWND = DialogWindow*;
using HINSTANCE = void*;
using UINT = unsigned int;
using BOOL = int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;
using LONG_PTR = std::intptr_t;
#define CALLBACK

constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_USER = 0x0400;
constexpr UINT TBM_GETPOS = WM_USER;
constexpr UINT TBM_SETPOS = WM_USER + 5;
constexpr UINT TBM_SETRANGE = WM_USER + 6;
constexpr UINT TBM_SETTICFREQ = WM_USER + 20;
constexpr UINT EN_KILLFOCUS = 0x0200;
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int DWLP_USER = 2 * sizeof(void*); // after the result and the procedure

inline unsigned LOWORD(WPARAM w) {
    return static_cast<unsigned>(w & 0xFFFF);
}
inline unsigned HIWORD(WPARAM w) {
    return static_cast<unsigned>((w >> 16) & 0xFFFF);
}
inline LPARAM MAKELPARAM(unsigned low, unsigned high) {
    return static_cast<LPARAM>((low & 0xFFFF) | ((high & 0xFFFF) << 16));
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
BOOL CheckDlgButton(HWND dialog, int id, UINT state);
UINT IsDlgButtonChecked(HWND dialog, int id);
HWND GetDlgItem(HWND dialog, int id);
LONG_PTR GetWindowLongPtrA(HWND window, int index);
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
BOOL EndDialog(HWND dialog, INT_PTR result);
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);
inline const char* MAKEINTRESOURCEA(int id) {
    return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(id));
}
// Without a dialog manager this returns -1: the dialog cannot be created.
INT_PTR DialogBoxParamA(void* module, const char* dialogTemplate, HWND parent, DLGPROC procedure,
                        LPARAM parameter);
#endif


INT_PTR CALLBACK configDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
double getItemDouble(HWND dialog, int id);
void setItemDouble(HWND dialog, int id, double value);
