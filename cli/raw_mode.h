// --raw: raw frames on standard input, corrected, on standard output.
#pragma once

#include "options.h"

// 8-bit BGRA frames go through the plug-in, driven as its host drives it;
// deeper ones (--depth) through the core's deep run. 0 or an exit status.
int rawFrames(const Options& o);
