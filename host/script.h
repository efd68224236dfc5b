// The settings as text for the host: the summary beside the filter's name,
// the script form the host saves, and the script object whose "Config"
// function a saved script calls.
#pragma once

#include "host_api.h"

void VELMOR_CDECL stringProc(const FilterActivation* fa, const FilterFunctions* ff, char* buffer);
bool VELMOR_CDECL fssProc(FilterActivation* fa, const FilterFunctions* ff, char* buffer,
                          int length);
void VELMOR_CDECL configScriptFunction(void* interpreter, void* activation,
                                       const ScriptValue* arguments, int count);
extern const ScriptObject scriptObject;
