// The module-wide state, constant-initialised: nothing runs at load time.
#include "frame_stats.h"

FrameStats frameStats = {{}, {0, 0, 0, 0}, {255, 255, 255, 255}, 0, 0, 0, 0};
std::uint8_t channelTable[4][256] = {};
std::uint8_t toneTable[256] = {};
