// --demo: a washed-out sample clip made with ffmpeg, corrected, and a
// before/after picture of the two side by side.
#pragma once

#include "options.h"

int demo(const Options& o);
