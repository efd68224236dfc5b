// Whether a frame follows the one before; see frame_order.h.
#include "frame_order.h"

FrameFollows nextFrameAt(FrameOrder& order, double time, bool stepsAreFrames) {
    const bool seen = order.seen;
    const double last = order.time;
    order.seen = true;
    order.time = time;
    if (seen && time == last) return FrameFollows::again;
    if (!seen || !(time > last)) return FrameFollows::no; // not-a-number too
    const double step = time - last;
    const bool skipped = stepsAreFrames && order.shortestStep > 0 && step > order.shortestStep * 1.5;
    if (order.shortestStep == 0 || step < order.shortestStep) order.shortestStep = step;
    return skipped ? FrameFollows::no : FrameFollows::yes;
}
