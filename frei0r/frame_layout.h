// How far apart a frei0r host puts the rows of the frames it hands over.
//
// frei0r frames carry no row pitch: the interface says rows are width * 4
// bytes apart. MLT and GStreamer keep to that. ffmpeg's frei0r filter does
// not: from libavfilter 8.44.100 (ffmpeg 5.1) on, both frames come from its
// frame pool with rows padded to 16 pixels (64 bytes), the input copied
// there when its own rows are laid out otherwise; before that, the output
// came from the pool with the CPU's alignment (up to 64 bytes) and the input
// as the previous filter left it. So:
//   ffmpeg >= 5.1   pitch = width rounded up to a multiple of 16 pixels
//   ffmpeg <  5.1   only widths that are multiples of 64 are known to be
//                   packed; every other width is refused
//   anything else   pitch = width
// The host is told by the code that calls the plug-in: the shared object
// holding the caller's return address.
#pragma once

#include <cstdint>
#include <string>

enum class Frei0rHost { other, ffmpeg, mlt };

struct Frei0rCaller {
    Frei0rHost host = Frei0rHost::other;
    unsigned libavfilterVersion = 0; // major << 16 | minor << 8 | micro, for ffmpeg
};

// The host whose code holds `returnAddress` (a return address inside it).
Frei0rCaller frei0rCallerAt(const void* returnAddress);

struct RowLayout {
    std::int64_t pitchPixels; // 0: the width cannot be corrected exactly here
    std::string refusal;      // why not, and the command that works instead
};

RowLayout rowLayoutFor(const Frei0rCaller& caller, std::int32_t width);
