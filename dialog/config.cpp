// The configuration procedure: snapshot the settings, run the modal dialog
// with the call's preview attached, and put the snapshot back on anything
// but OK (Cancel, Escape, the close box, or a dialog that cannot be shown).
#include "adapter.h"
#include "config_dialog.h"
#include "settings.h"

int VELMOR_CDECL configProc(FilterActivation* fa, const FilterFunctions*, WindowHandle parent) {
    FilterSettings& settings = *static_cast<FilterSettings*>(fa->filter_data);
    const FilterSettings snapshot = settings;
    settings.preview = fa->ifp;
    const void* module = fa->filter->module ? fa->filter->module->hInstModule : nullptr;
    if (runConfigDialog(module, parent, &settings) == 0) return 0;
    settings = snapshot;
    return 1;
}
