// Asking a running libavfilter how its frei0r filter lays out frames.
//
// frei0r frames carry no row pitch, and ffmpeg's frei0r filter has put the
// rows of the frames it hands over in different places across releases
// (padded to 16 pixels in 5.1, exactly width * 4 bytes apart later, the
// output padded to the CPU's alignment and the input as the previous filter
// left it before 5.1), with more to come. So rather than tell from a
// version number, the plug-in runs two probe frames of the instance's width
// through that very library's frei0r filter, in a graph of its own
// (buffer -> frei0r=<this plug-in> -> buffersink), and looks:
//   - the output: the frame the filter handed the plug-in is the one the
//     sink returns, so its pitch is the returned frame's linesize;
//   - the input: each probe frame's pixels are numbered, and the plug-in,
//     in probe mode, keeps the first width * 4 * height bytes it was handed
//     (no more: that much is there at any pitch); the distance at which row
//     1's numbers appear is the input's pitch.
// The first probe frame has packed rows, the second rows at a pitch the
// filter would not choose itself. When both reach the plug-in at the
// output's pitch, the filter lays out both frames itself, and that pitch is
// the layout; otherwise the input comes as the previous filter left it and
// there is no layout to read.
//
// The probe graph loads this plug-in by its own file name, as the frei0r
// filter found it, so its instance is made in this very image on this very
// thread: the thread's probe (layoutProbeOnThisThread) tells f0r_construct
// to make a probe instance, whose frames go to layoutProbeSaw instead of the
// filter. The graph runs on the calling thread alone; nothing is called on
// the host's own graph.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the probe found at one width.
struct LayoutSeen {
    std::int64_t pitchBytes = 0; // both frames' pitch; 0: no layout to read
    std::string why;             // when 0: what was seen, for the refusal
};

// The probe run on this thread, or null (then f0r_construct makes a normal
// instance).
struct LayoutProbe;
LayoutProbe* layoutProbeOnThisThread();

// A probe instance's frame: keeps the first width * 4 * height bytes of
// `input` and where both frames are.
void layoutProbeSaw(LayoutProbe& probe, std::int32_t width, std::int32_t height,
                    const std::uint8_t* input, const std::uint8_t* output);

// Runs the probe frames of `width` columns through the frei0r filter of the
// libavfilter at `libraryPath` (already loaded: the caller's), loading the
// plug-in as `pluginName` (its file name without ".so").
LayoutSeen probeLibavfilter(const char* libraryPath, const std::string& pluginName,
                            std::int32_t width);

// The parts of the probe that need no library, for the tests.

// Rows of a probe frame: enough that a pitch of up to 256 pixels of padding
// puts part of row 1 inside the first width * 4 * height bytes.
std::int32_t probeHeight(std::int32_t width);

// The number the probe writes into pixel (row, column) of frame `frame`.
std::uint32_t probePixel(int frame, std::int32_t row, std::int32_t column);

// The pitch at which the numbered rows of probe frame `frame` sit in `seen`
// (the first width * 4 * height bytes the plug-in was handed); 0 when row 0
// is not there or no pitch puts every visible row's numbers in place.
std::int64_t probeRowPitch(const std::vector<std::uint8_t>& seen, int frame, std::int32_t width,
                           std::int32_t height);

// What two probe frames tell: the input's pitch as the plug-in saw it, and
// the output's, for each (0: not seen).
struct ProbeFrame {
    std::int64_t inputPitch, outputPitch;
};
LayoutSeen judgeProbeFrames(const ProbeFrame& packed, const ProbeFrame& odd, std::int32_t width);
