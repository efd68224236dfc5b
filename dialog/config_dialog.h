#pragma once

#include "host_api.h"
#include "settings.h"

// Runs the settings dialog (template 101 of `module`) modally over `parent`
// and returns its result: 0 for OK, 1 for Cancel, -1 when it cannot be shown.
// Where the platform has no dialog manager it is always -1.
long runConfigDialog(const void* module, WindowHandle parent, FilterSettings* settings);
