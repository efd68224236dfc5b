// The two passes over the pixels, in one version per instruction set: the
// histogram count of the measurement and the table mapping of the
// correction. Everything else in a frame run is per frame, not per pixel.
#pragma once

#include <cstdint>

#include "frame.h"

struct FrameKernels {
    const char* name;
    // Adds every pixel of a non-empty frame to histogram[channel][value]
    // (channel k counts pixel byte 3 - k).
    void (*count)(const FrameView& frame, std::uint32_t (*histogram)[256]);
    // Writes tables[3 - b][input byte b] to output byte b of every pixel;
    // `output` supplies its base and pitch and may be the input's memory.
    void (*map)(const FrameView& input, const FrameView& output, const std::uint8_t (*tables)[256]);
};

enum class KernelPath { Auto, Scalar, Sse2, Avx2, Avx512 };

// The kernels in use: the best this CPU runs, chosen on first use, unless a
// path was forced.
const FrameKernels& frameKernels();

// Forces a path (Auto: back to the CPU's best). Returns false, changing
// nothing, when this build or CPU cannot run it. For tests and benchmarks.
bool forceKernelPath(KernelPath path);

// Installs any kernels (nullptr: back to the chosen path), such as the
// straightforward ones the tests compare against.
void useFrameKernels(const FrameKernels* kernels);

// The versions, where this build has them (nullptr otherwise).
extern const FrameKernels scalarKernels;
const FrameKernels* sse2Kernels();
const FrameKernels* avx2Kernels();
const FrameKernels* avx512Kernels();
