// The two passes over the pixels, in one version per instruction set: the
// histogram count of the measurement and the table mapping of the
// correction. Everything else in a frame run is per frame, not per pixel.
#pragma once

#include <cstdint>

#include "frame.h"

// What a frame's histograms tell the map about the values it will meet, per
// channel k: bit w of windows[k] is set when some pixel's channel holds a
// value in 16w..16w+15, and single[k] is the one value every pixel holds
// there (the usual constant alpha), or -1. A map may skip the table entries
// of unset windows and write a single-valued channel as a constant, so the
// description must cover every pixel the map reads.
struct ChannelValues {
    std::uint16_t windows[4];
    std::int16_t single[4];
};

// The description of a frame with these histograms (as the count leaves
// them for the frame the map then reads).
ChannelValues channelValuesOf(const std::uint32_t (*histogram)[256]);

// Allows every value: for a map of a frame that was not counted.
constexpr ChannelValues kAnyChannelValues = {{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, {-1, -1, -1, -1}};

struct FrameKernels {
    const char* name;
    // Adds every pixel of a non-empty frame to histogram[channel][value]
    // (channel k counts pixel byte 3 - k).
    void (*count)(const FrameView& frame, std::uint32_t (*histogram)[256]);
    // Writes tables[3 - b][input byte b] to output byte b of every pixel;
    // `output` supplies its base and pitch and may be the input's memory.
    // `values` describes the input's values (see ChannelValues).
    void (*map)(const FrameView& input, const FrameView& output, const std::uint8_t (*tables)[256],
                const ChannelValues& values);
};

// From the best to the floor: the selector takes the first the CPU runs.
enum class KernelPath { Auto, Portable, Sse2, Ssse3, Avx2, Avx512 };

// The kernels in use: the best this CPU runs, chosen on first use, unless a
// path was forced.
const FrameKernels& frameKernels();

// Forces a path (Auto: back to the CPU's best). Returns false, changing
// nothing, when this build or CPU cannot run it. For tests and benchmarks.
bool forceKernelPath(KernelPath path);

// The path's name ("avx2", ...; "absent" where this build lacks it).
const char* kernelPathName(KernelPath path);

// Installs any kernels (nullptr: back to the chosen path), such as the
// straightforward ones the tests compare against.
void useFrameKernels(const FrameKernels* kernels);

// The versions, where this build has them (the x86 ones only in x86 builds).
extern const FrameKernels portableKernels;
const FrameKernels* sse2Kernels();
const FrameKernels* ssse3Kernels();
const FrameKernels* avx2Kernels();
const FrameKernels* avx512Kernels();
