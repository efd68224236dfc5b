// The frame-state lock on the standard library's mutex, which is constant-
// initialised: nothing runs at load time.
#include "frame_state_lock.h"

#include <mutex>

namespace {
std::mutex frameStateMutex;
}

void lockFrameState() {
    frameStateMutex.lock();
}

void unlockFrameState() {
    frameStateMutex.unlock();
}
