// Whether a frame follows the one before, for smoothing over time.
//
// Smoothing carries the clip points from frame to frame, which means
// something only when the frames come in order. A frei0r host says each
// frame's time and nothing else. The rules, the same for every host:
//   the first frame   follows nothing: the window starts with it.
//   no time           a frame without a time, or after one, follows: a host
//                     with no times hands frames over in order (GStreamer
//                     gives an image sequence without a frame rate time 0,
//                     then "none", 2^64 - 1 ns, for every later frame). A
//                     time is missing when it is not a number or lies beyond
//                     kNoTimeBeyond seconds either way.
//   the same time     may be the last frame again (MLT renders the last frame
//                     of a clip several times) or a new frame of a source
//                     whose times stand still. The picture decides: it is the
//                     last frame again only if it measures the same
//                     (mayBeLastAgain in smoothing.h), and then comes out as
//                     it did; otherwise it follows.
//   an earlier time   a seek back: starts anew.
//   a later time      follows. Where times are frame positions (MLT), a step
//                     longer than one and a half of the shortest seen so far
//                     (a seek forward, a frame dropped to keep real time)
//                     starts anew instead; nothing gives the length of a
//                     frame, so the first step counts as one. Elsewhere a
//                     longer step may just be a longer frame of
//                     variable-rate video.
// What the times are depends on the host:
//   positions  MLT: frame positions over the frame rate.
//   stamps     GStreamer and other hosts: timestamps.
//   order      ffmpeg: its filter graph hands every frame once, in order,
//              and never seeks, so every frame but the first follows,
//              whatever its time.
#pragma once

struct FrameOrder {
    bool seen = false;
    double time = 0;         // the last frame's, as given (perhaps no time)
    double shortestStep = 0; // 0: no step seen yet
};

enum class HostTimes { positions, stamps, order };

enum class FrameFollows { yes, maybeAgain, no };

// Beyond this many seconds from 0 a time is no time: 2^32 s, 136 years,
// which no host's clip reaches; GStreamer's "none" reads as 1.8e10 s.
constexpr double kNoTimeBeyond = 4294967296.0;

// True when `time` is no time (see kNoTimeBeyond).
bool isNoTime(double time);

// Records `time` and says whether the frame follows the last one.
FrameFollows nextFrameAt(FrameOrder& order, double time, HostTimes times);
