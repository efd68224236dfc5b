// Telling the bands of one frame from whole frames (see bands.h).
#include "bands.h"

bool isBandOfSameFrame(const LastCall& last, double time, std::uintptr_t input,
                       std::uintptr_t output, std::uintptr_t frameBytes) {
    if (!last.seen || time != last.time || input == last.input || frameBytes == 0) return false;
    // Unsigned differences: the same wrap-around on both sides.
    if (input - last.input != output - last.output) return false;
    const std::uintptr_t apart = input > last.input ? input - last.input : last.input - input;
    return apart % frameBytes == 0 && apart / frameBytes < 256;
}
