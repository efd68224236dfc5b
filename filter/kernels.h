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
// description must cover every pixel the map reads, but for a channel whose
// table gives every value the same entry (a zeroed fourth byte): that one
// may be described as holding 0 alone, whatever the pixels hold.
// With fourthKept, the alpha table is the identity (FourthByte::kept): a map
// may copy the fourth byte instead of looking it up, and the alpha entries
// of windows and single then say nothing about the bytes the map reads.
struct ChannelValues {
    std::uint16_t windows[4];
    std::int16_t single[4];
    bool fourthKept;
};

// The description of a frame with these histograms (as the count leaves
// them for the frame the map then reads), counted with `fourth`.
ChannelValues channelValuesOf(const std::uint32_t (*histogram)[256], FourthByte fourth);

// Allows every value: for a map of a frame that was not counted.
constexpr ChannelValues kAnyChannelValues = {
    {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, {-1, -1, -1, -1}, false};

// What the maps keep from one frame to the next of one frame state: the
// paired tables of the portable map (blue and green of a pixel's low
// half-word looked up at once, red and alpha of its high half-word),
// 2 x 128 KiB, rebuilt only when the channel tables change.
struct MapCache {
    std::uint16_t low[65536];  // [green << 8 | blue]  = out green << 8 | out blue
    std::uint16_t high[65536]; // [alpha << 8 | red]   = out alpha << 8 | out red
    std::uint8_t builtFrom[4][256];
    bool built;
};

// What a deep frame's histograms tell the deep map about its samples, per
// channel k: single[k] is the one value (below 2^bits) every pixel holds
// there, or -1; bit w % 64 of windows[k][w / 64] is set when some pixel's
// sample s has s & M in 64w..64w+63. A map may write a single-valued channel
// as a constant and skip the table entries of unset windows, so the
// description must cover every pixel the map reads, but for a channel whose
// table gives every sample the same entry (a zeroed alpha), which may be
// described as holding 0 alone. With fourthKept the
// alpha samples are written back as read (FourthByte::kept) and
// single[kAlpha] and windows[kAlpha] say nothing about them.
struct DeepChannelValues {
    std::int32_t single[4];
    std::uint64_t windows[4][16];
    bool fourthKept;
};

// The description of a deep frame of `pixels` pixels whose histograms of
// 2^bits bins the count left as these, counted with `fourth`.
DeepChannelValues deepChannelValuesOf(const std::uint32_t (*histogram)[65536], int bits,
                                      std::uint64_t pixels, FourthByte fourth);

struct FrameKernels {
    const char* name;
    // Adds every pixel of a non-empty frame to histogram[channel][value]
    // (channel k counts pixel byte 3 - k; with FourthByte::kept, every
    // pixel counts as alpha 0).
    void (*count)(const FrameView& frame, std::uint32_t (*histogram)[256], FourthByte fourth);
    // Writes tables[3 - b][input byte b] to output byte b of every pixel;
    // `output` supplies its base and pitch and may be the input's memory.
    // `values` describes the input's values (see ChannelValues); `cache` is
    // the frame state's, used by one map at a time.
    void (*map)(const FrameView& input, const FrameView& output, const std::uint8_t (*tables)[256],
                const ChannelValues& values, MapCache& cache);
    // The same two passes over a deep frame (bits 8..16, M = 2^bits - 1):
    // deepCount adds every pixel of a non-empty frame to
    // histogram[channel][sample & M] (with FourthByte::kept every pixel
    // counts as alpha 0); deepMap replaces, in place, every sample s of
    // channel k by tables[k][s & M], except the alpha samples under
    // values.fourthKept, which stay as they are.
    void (*deepCount)(const DeepView& frame, std::uint32_t (*histogram)[65536], FourthByte fourth);
    void (*deepMap)(const DeepView& frame, const std::uint16_t (*tables)[65536],
                    const DeepChannelValues& values);
    // The same two passes over a deep frame of planes: deepPlaneCount adds
    // every pixel to histogram[channel][sample & M], the alpha plane's
    // samples with FourthByte::channel where there is one, otherwise every
    // pixel as alpha 0; deepPlaneMap replaces, in place, every sample s of
    // plane k by tables[k][s & M], but for an absent alpha plane and, under
    // values.fourthKept, the alpha plane.
    void (*deepPlaneCount)(const DeepPlanes& frame, std::uint32_t (*histogram)[65536],
                           FourthByte fourth);
    void (*deepPlaneMap)(const DeepPlanes& frame, const std::uint16_t (*tables)[65536],
                         const DeepChannelValues& values);
};

// The paths, from the floor up (the selector's table lists them best first).
enum class KernelPath { Auto, Portable, Sse2, Ssse3, Avx2, Avx512 };

// CPU features the paths need, as bits of one word.
enum CpuFeature : unsigned {
    kCpuSse2 = 1u << 0,
    kCpuSsse3 = 1u << 1,
    kCpuAvx2 = 1u << 2,
    kCpuBmi2 = 1u << 3,
    kCpuPopcnt = 1u << 4,
    kCpuAvx512 = 1u << 5, // F, BW, VL and VBMI together
};

// This CPU's features, asked once.
unsigned cpuFeatures();

// One row of the selector's table: a path, its kernels (nullptr where this
// build lacks the path; their name is the path's name), and the features
// it needs.
struct KernelPathRow {
    KernelPath path;
    const FrameKernels* (*kernels)();
    unsigned needs;
};

// The row `path` selects on a CPU with `features`: for Auto the best row the
// build has and the features cover; for a named path its row, if it runs
// there; otherwise nullptr. A pure function of its arguments.
const KernelPathRow* selectKernels(KernelPath path, unsigned features);

// The kernels in use: Auto's choice on this CPU, made on first use, until
// a path is forced.
const FrameKernels& frameKernels();

// The one way to change the path: the kernels `path` selects on this CPU
// (Auto: back to the CPU's best). Returns false, changing nothing, when
// this build or CPU cannot run it. For tests and benchmarks.
bool forceKernelPath(KernelPath path);

// The path's name ("avx2", ...; "absent" where this build lacks it).
const char* kernelPathName(KernelPath path);

// Installs kernels from outside the table, such as the straightforward ones
// the tests compare against (nullptr: back to Auto's choice).
void useFrameKernels(const FrameKernels* kernels);

// The versions, where this build has them (the x86 ones only in x86 builds).
extern const FrameKernels portableKernels;
const FrameKernels* sse2Kernels();
const FrameKernels* ssse3Kernels();
const FrameKernels* avx2Kernels();
const FrameKernels* avx512Kernels();
