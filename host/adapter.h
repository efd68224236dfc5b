// The filter's face to the host: the definition it registers and the
// procedures the definition names. The definition gathers the procedures
// of script.h and config_proc.h; they reach an instance's settings through
// instance.h alone, so the dependencies run one way, from here out.
#pragma once

#include "config_proc.h"
#include "host_api.h"
#include "script.h"

extern const FilterDefinition filterDefinition;
extern FilterDefinition* registeredDefinition; // what addFilter returned, possibly null

int VELMOR_CDECL initProc(FilterActivation* fa, const FilterFunctions* ff);
int VELMOR_CDECL runProc(const FilterActivation* fa, const FilterFunctions* ff);
long VELMOR_CDECL paramProc(FilterActivation* fa, const FilterFunctions* ff);
int VELMOR_CDECL startProc(FilterActivation* fa, const FilterFunctions* ff);
int VELMOR_CDECL endProc(FilterActivation* fa, const FilterFunctions* ff);
