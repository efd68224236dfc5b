// How far apart a frei0r host puts the rows of the frames it hands over.
//
// frei0r frames carry no row pitch: the interface says rows are width * 4
// bytes apart. MLT and GStreamer keep to that. ffmpeg's frei0r filter has
// not always: in 5.1 it pads both frames' rows to 16 pixels, before 5.1 it
// padded the output to the CPU's alignment and passed the input as the
// previous filter left it, and later releases pack them. So when the caller
// is libavfilter, the layout at the instance's width is asked of that very
// library, once per width and process (layout_probe.h):
//   the filter lays out both frames itself   pitch = what the probe saw
//   it does not (or cannot be asked)         widths that are multiples of
//                                            64 are taken as packed (every
//                                            alignment leaves them so);
//                                            every other width is refused
//   anything else                            pitch = width * 4 bytes
// So the plug-in reaches past width * 4 * height bytes of a frame only
// where the running library was seen to hand over frames that large.
// The host is told by the code that calls the plug-in: the shared object
// holding the caller's return address.
#pragma once

#include <cstdint>
#include <string>

enum class Frei0rHost { other, ffmpeg, mlt };

struct Frei0rCaller {
    Frei0rHost host = Frei0rHost::other;
    unsigned libavfilterVersion = 0; // major << 16 | minor << 8 | micro, for ffmpeg
    const char* library = nullptr;   // the caller's file, for ffmpeg (valid while loaded)
};

// The host whose code holds `returnAddress` (a return address inside it).
Frei0rCaller frei0rCallerAt(const void* returnAddress);

struct RowLayout {
    std::int64_t pitchBytes; // 0: the width cannot be corrected exactly here
    std::string refusal;     // why not, and the command that works instead
};

// The layout at `width` for this caller: for ffmpeg, from the probe of its
// library (run the first time a width is asked; thread-safe).
RowLayout rowLayoutFor(const Frei0rCaller& caller, std::int32_t width);

// The layout that a probe's finding gives (LayoutSeen: layout_probe.h).
struct LayoutSeen;
RowLayout rowLayoutFrom(const LayoutSeen& seen, std::int32_t width);
