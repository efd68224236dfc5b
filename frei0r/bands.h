// Telling the bands of one frame from whole frames.
//
// MLT, when a filter's `threads` property is set, hands one instance
// horizontal bands of each frame, each as if it were a frame of the
// instance's size. The bands of one frame come at the same time stamp,
// and their input and output both stand the same whole number of frames
// (band-sized: the instance's pitch times its height) apart in memory from
// the band before, fewer than 256 of them; a new frame comes at a new time
// or at the same place again (a filter applied twice to one frame).
#pragma once

#include <cstdint>

// What an instance remembers of the call before.
struct LastCall {
    bool seen = false;
    double time = 0;
    std::uintptr_t input = 0, output = 0;
};

// True when a call at `time` with these frames is a band of the same frame
// as `last`; frameBytes is the instance's pitch times its height.
bool isBandOfSameFrame(const LastCall& last, double time, std::uintptr_t input,
                       std::uintptr_t output, std::uintptr_t frameBytes);
