// The settings dialog. This build has no dialog manager yet: the dialog
// cannot be shown, and the configuration procedure keeps the settings.
#include "config_dialog.h"

long runConfigDialog(const void*, WindowHandle, FilterSettings*) {
    return -1;
}
