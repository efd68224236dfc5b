// The video host's edition's frame state, constant-initialised: nothing runs
// at load time, and the cache lies in zeroed memory.
#include "frame_stats.h"

namespace {
MapCache sharedMapCache;
}

FrameState sharedFrameState = {
    {{}, {0, 0, 0, 0}, {255, 255, 255, 255}, 0, 0, 0, 0}, {}, {}, &sharedMapCache};
