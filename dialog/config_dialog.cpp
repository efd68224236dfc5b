// Running the settings dialog through the platform's dialog manager.
#include "config_dialog.h"

#include "dialog_api.h"

long runConfigDialog(const void* module, WindowHandle parent, FilterSettings* settings) {
    return static_cast<long>(DialogBoxParamA(
        static_cast<HINSTANCE>(const_cast<void*>(module)), MAKEINTRESOURCEA(IDD_SETTINGS),
        static_cast<HWND>(parent), configDialogProc, reinterpret_cast<LPARAM>(settings)));
}
