// The configuration procedure: snapshot the settings, run the modal dialog
// with the call's preview attached, and put the snapshot back on anything
// but OK (Cancel, Escape, the close box, or a dialog that cannot be shown).
#include "config_proc.h"

#include <cstring>

#include "config_dialog.h"
#include "instance.h"
#include "settings.h"

int VELMOR_CDECL configProc(FilterActivation* fa, const FilterFunctions*, WindowHandle parent) {
    FilterSettings& settings = settingsOf(fa);
    // Byte copies, so that Cancel gives the host back every byte of its record.
    FilterSettings snapshot;
    std::memcpy(&snapshot, &settings, sizeof snapshot);
    settings.preview = fa->ifp;
    const void* module = fa->filter->module ? fa->filter->module->hInstModule : nullptr;
    if (runConfigDialog(module, parent, &settings) == 0) return 0;
    std::memcpy(&settings, &snapshot, sizeof snapshot);
    return 1;
}
