// Registration, the filter definition, and the procedures that need no
// dialog: init writes the defaults, run turns the host's bitmaps into frame
// views and runs the frame, and parameter, start and end do nothing (the
// host processes this filter in place, so source and destination describe
// the same pixels after the parameter procedure).
#include "adapter.h"

#include "frame_run.h"
#include "instance.h"
#include "settings.h"

FilterDefinition* registeredDefinition = nullptr;

const FilterDefinition filterDefinition = {
    nullptr, // next
    nullptr, // prev
    nullptr, // module: the host fills its own copy
    "Velmor Filter+",
    "Automatically adjusts the static picture",
    "tal_ovek",
    nullptr, // private_data
    sizeof(FilterSettings),
    initProc,
    nullptr, // deinitProc
    runProc,
    paramProc,
    configProc,
    stringProc,
    startProc,
    endProc,
    &scriptObject,
    fssProc,
};

extern "C" int VELMOR_CDECL VirtualdubFilterModuleInit2(FilterModule* module,
                                                        const FilterFunctions* functions,
                                                        int* vdfd_ver, int* vdfd_compat) {
    // The host takes the definition as writable, though it only copies it.
    registeredDefinition = functions->addFilter(
        module, const_cast<FilterDefinition*>(&filterDefinition), sizeof(FilterDefinition));
    if (registeredDefinition == nullptr) return 1;
    *vdfd_ver = 7;
    *vdfd_compat = 4;
    return 0;
}

extern "C" void VELMOR_CDECL VirtualdubFilterModuleDeinit(FilterModule*,
                                                          const FilterFunctions* functions) {
    functions->removeFilter(registeredDefinition);
}

int VELMOR_CDECL initProc(FilterActivation* fa, const FilterFunctions*) {
    FilterSettings& s = settingsOf(fa);
    setDefaultSettings(s);
    s.showStats = 0; // the host's new record is not promised to be zeroed
    return 0;
}

static FrameView viewOf(const VBitmap& b) {
    return {static_cast<FramePixel*>(b.data), b.w, b.h, b.pitch};
}

int VELMOR_CDECL runProc(const FilterActivation* fa, const FilterFunctions*) {
    runFrame(settingsOf(fa), viewOf(*fa->src), viewOf(*fa->dst));
    return 0;
}

long VELMOR_CDECL paramProc(FilterActivation*, const FilterFunctions*) {
    return 0;
}
int VELMOR_CDECL startProc(FilterActivation*, const FilterFunctions*) {
    return 0;
}
int VELMOR_CDECL endProc(FilterActivation*, const FilterFunctions*) {
    return 0;
}
