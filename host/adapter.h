// The filter's face to the host: the definition it registers and the
// procedures the definition names.
#pragma once

#include "host_api.h"
#include "settings.h"

extern const FilterDefinition filterDefinition;
extern FilterDefinition* registeredDefinition; // what addFilter returned, possibly null
extern const ScriptObject scriptObject;

int VELMOR_CDECL initProc(FilterActivation* fa, const FilterFunctions* ff);
int VELMOR_CDECL runProc(const FilterActivation* fa, const FilterFunctions* ff);
long VELMOR_CDECL paramProc(FilterActivation* fa, const FilterFunctions* ff);
int VELMOR_CDECL startProc(FilterActivation* fa, const FilterFunctions* ff);
int VELMOR_CDECL endProc(FilterActivation* fa, const FilterFunctions* ff);
void VELMOR_CDECL stringProc(const FilterActivation* fa, const FilterFunctions* ff, char* buffer);
bool VELMOR_CDECL fssProc(FilterActivation* fa, const FilterFunctions* ff, char* buffer,
                          int length);
void VELMOR_CDECL configScriptFunction(void* interpreter, void* activation,
                                       const ScriptValue* arguments, int count);
int VELMOR_CDECL configProc(FilterActivation* fa, const FilterFunctions* ff, WindowHandle parent);

// The instance's settings, which the host hands over as filter_data.
inline FilterSettings& settingsOf(const FilterActivation* fa) {
    return *static_cast<FilterSettings*>(fa->filter_data);
}

