// The configuration procedure: the settings dialog over an instance.
#pragma once

#include "host_api.h"

int VELMOR_CDECL configProc(FilterActivation* fa, const FilterFunctions* ff, WindowHandle parent);
