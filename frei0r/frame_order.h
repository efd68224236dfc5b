// Whether a frame follows the one before, for smoothing over time.
//
// Smoothing carries the clip points from frame to frame, which means
// something only when the frames come in order. A frei0r host says each
// frame's time and nothing else, and what the time tells depends on the
// host:
//   positions  MLT: times are frame positions over the frame rate. The last
//              frame's time again is the same frame again (MLT renders the
//              last frame of a clip several times): it is smoothed as it
//              was before. A time before the last one (a seek back) starts
//              anew, and so does a step longer than one and a half of the
//              shortest step seen so far (a seek forward, a frame dropped
//              to keep real time).
//   stamps     GStreamer and other hosts: timestamps, whose steps may vary
//              with the frame rate. The last time again is the same frame
//              again, and a time before it (a seek back) starts anew; any
//              later time follows, since a longer step may just be a longer
//              frame.
//   order      ffmpeg: its filter graph hands every frame in order, one at a
//              time, and never seeks; its times may be missing (the same
//              number for every frame). Every frame follows.
// The first frame follows nothing.
#pragma once

struct FrameOrder {
    bool seen = false;
    double time = 0;
    double shortestStep = 0; // 0: no step seen yet
};

enum class HostTimes { positions, stamps, order };

enum class FrameFollows { yes, again, no };

// Records `time` and says whether the frame follows the last one.
FrameFollows nextFrameAt(FrameOrder& order, double time, HostTimes times);
