// Whether a frame follows the one before; see frame_order.h.
#include "frame_order.h"

#include <cmath>

bool isNoTime(double time) {
    return !(std::fabs(time) <= kNoTimeBeyond); // not-a-number too
}

FrameFollows nextFrameAt(FrameOrder& order, double time, HostTimes times) {
    const bool seen = order.seen;
    const double last = order.time;
    order.seen = true;
    order.time = time;
    if (!seen) return FrameFollows::no;
    if (times == HostTimes::order || isNoTime(time) || isNoTime(last)) return FrameFollows::yes;
    if (time == last) return FrameFollows::maybeAgain;
    if (time < last) return FrameFollows::no;
    if (times == HostTimes::stamps) return FrameFollows::yes;
    const double step = time - last;
    const bool skipped = order.shortestStep > 0 && step > order.shortestStep * 1.5;
    if (order.shortestStep == 0 || step < order.shortestStep) order.shortestStep = step;
    return skipped ? FrameFollows::no : FrameFollows::yes;
}
