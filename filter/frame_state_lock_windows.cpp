// The frame-state lock in the Windows plug-in: the toolchain's thread model
// has no std::mutex, so a slim reader/writer lock, used exclusively. The one
// file of the core that names the platform, built only for Windows beside
// frame_state_lock.cpp, its standard library twin. It is
// statically initialised (nothing runs when the host loads the library) and
// needs no clean-up when it unloads.
#include "frame_state_lock.h"

#include <windows.h>

namespace {
SRWLOCK frameStateMutex = SRWLOCK_INIT;
}

void lockFrameState() {
    AcquireSRWLockExclusive(&frameStateMutex);
}

void unlockFrameState() {
    ReleaseSRWLockExclusive(&frameStateMutex);
}
