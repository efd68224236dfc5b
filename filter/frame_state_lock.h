// One lock over the video host's shared frame state.
//
// Every instance of the video host's edition shares the histograms, clip
// points, channel and tone tables and the maps' cache (sharedFrameState),
// and hosts do run frames of several instances on several threads at once.
// A frame run holds this lock from its first histogram count to its last
// overlay pixel, and the settings dialog holds it while it rebuilds the
// tone table, so each frame comes out exactly as if the frames had run one
// after another, and what carries over from one frame to the next (the
// peak shares the overlay prints) is the last finished frame's. Not
// recursive: nothing that holds it calls back into a frame run. Frame runs
// on states of their own (the frei0r edition's) never take it.
#pragma once

void lockFrameState();
void unlockFrameState();

struct FrameStateLock {
    FrameStateLock() { lockFrameState(); }
    ~FrameStateLock() { unlockFrameState(); }
    FrameStateLock(const FrameStateLock&) = delete;
    FrameStateLock& operator=(const FrameStateLock&) = delete;
};
