// frei0r's interface header, whose declarations are C functions: the entry
// points this plug-in defines must have C linkage for hosts to find them.
#pragma once

extern "C" {
#include <frei0r.h>
}
