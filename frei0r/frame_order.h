// Whether a frame follows the one before, for smoothing over time.
//
// Smoothing carries the clip points from frame to frame, which means
// something only when the frames come in order. A frei0r host says each
// frame's time and nothing else, so:
//   - the last frame's time again is the same frame again (MLT renders the
//     last frame of a clip several times): it is smoothed as it was before;
//   - a time before the last one (a seek back, frames of several threads
//     interleaved) starts anew;
//   - MLT's times are frame positions over the frame rate, so there a step
//     longer than one and a half of the shortest step seen so far (a seek
//     forward, a frame MLT dropped to keep real time) starts anew too.
//     Other hosts' steps may vary with the frame rate (ffmpeg's timestamps
//     of variable-rate video), and a longer step there is just a longer
//     frame.
#pragma once

struct FrameOrder {
    bool seen = false;
    double time = 0;
    double shortestStep = 0; // 0: no step seen yet
};

enum class FrameFollows { yes, again, no };

// Records `time` and says whether the frame follows the last one.
// `stepsAreFrames`: the host's times are frame positions (MLT).
FrameFollows nextFrameAt(FrameOrder& order, double time, bool stepsAreFrames);
