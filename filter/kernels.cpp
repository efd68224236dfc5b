// Kernel selection: one table of the paths, best first, each with the CPU
// features it needs. selectKernels is a pure function of a path and a set
// of features; the filter asks the CPU once and keeps Auto's choice until a
// path is forced.
#include "kernels.h"

#include "kernels_common.h"

namespace {

const FrameKernels* portable() {
    return &portableKernels;
}

// Best first: on every feature set the first row the build and the CPU run
// is the fastest there (the kernel benchmark's finding, on noise, ramps,
// title cards and natural pictures).
const KernelPathRow kPaths[] = {
#if defined(__i386__) || defined(__x86_64__)
    {KernelPath::Avx512, avx512Kernels,
     kCpuAvx512 | kCpuAvx2 | kCpuBmi2 | kCpuPopcnt | kCpuSsse3 | kCpuSse2},
    {KernelPath::Avx2, avx2Kernels, kCpuAvx2 | kCpuBmi2 | kCpuPopcnt | kCpuSsse3 | kCpuSse2},
    {KernelPath::Ssse3, ssse3Kernels, kCpuSsse3 | kCpuSse2},
    {KernelPath::Sse2, sse2Kernels, kCpuSse2},
#endif
    {KernelPath::Portable, portable, 0},
};

bool runs(const KernelPathRow& row, unsigned features) {
    return row.kernels() != nullptr && (row.needs & ~features) == 0;
}

const FrameKernels* chosen = nullptr;

} // namespace

unsigned cpuFeatures() {
    static const unsigned features = [] {
        unsigned f = 0;
#if defined(__i386__) || defined(__x86_64__)
        __builtin_cpu_init();
        if (__builtin_cpu_supports("sse2")) f |= kCpuSse2;
        if (__builtin_cpu_supports("ssse3")) f |= kCpuSsse3;
        if (__builtin_cpu_supports("avx2")) f |= kCpuAvx2;
        if (__builtin_cpu_supports("bmi2")) f |= kCpuBmi2;
        if (__builtin_cpu_supports("popcnt")) f |= kCpuPopcnt;
        if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
            __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi"))
            f |= kCpuAvx512;
#endif
        return f;
    }();
    return features;
}

const KernelPathRow* selectKernels(KernelPath path, unsigned features) {
    for (const KernelPathRow& row : kPaths)
        if ((path == KernelPath::Auto || row.path == path) && runs(row, features)) return &row;
    return nullptr;
}

const FrameKernels& frameKernels() {
    if (chosen == nullptr) chosen = selectKernels(KernelPath::Auto, cpuFeatures())->kernels();
    return *chosen;
}

bool forceKernelPath(KernelPath path) {
    const KernelPathRow* row = selectKernels(path, cpuFeatures());
    if (row != nullptr) chosen = row->kernels();
    return row != nullptr;
}

const char* kernelPathName(KernelPath path) {
    if (path == KernelPath::Auto) return "auto";
    for (const KernelPathRow& row : kPaths)
        if (row.path == path && row.kernels() != nullptr) return row.kernels()->name;
    return "absent";
}

void useFrameKernels(const FrameKernels* kernels) {
    chosen =
        kernels != nullptr ? kernels : selectKernels(KernelPath::Auto, cpuFeatures())->kernels();
}

ChannelValues channelValuesOf(const std::uint32_t (*histogram)[256], FourthByte fourth) {
    ChannelValues v = {};
    v.fourthKept = fourth == FourthByte::kept;
    for (int k = 0; k < 4; ++k) {
        if (k == kAlpha && v.fourthKept) { // the histogram holds 0s, the frame any byte
            v.windows[k] = 0xFFFF, v.single[k] = -1;
            continue;
        }
        int held = 0, last = 0;
        for (int i = 0; i < 256; ++i)
            if (histogram[k][i] != 0) {
                v.windows[k] = std::uint16_t(v.windows[k] | 1u << (i >> 4));
                ++held;
                last = i;
            }
        v.single[k] = std::int16_t(held == 1 ? last : -1);
    }
    return v;
}

DeepChannelValues deepChannelValuesOf(const std::uint32_t (*histogram)[65536], int bits,
                                      std::uint64_t pixels, FourthByte fourth) {
    DeepChannelValues v = {};
    v.fourthKept = fourth == FourthByte::kept;
    const std::uint32_t bins = 1u << bits;
    for (int k = 0; k < 4; ++k) {
        v.single[k] = -1;
        if (k == kAlpha && v.fourthKept) continue; // the histogram holds 0s, the frame any alpha
        // The first value held: the only one when it holds every pixel.
        std::uint32_t i = 0;
        while (i < bins && histogram[k][i] == 0) ++i;
        if (i < bins && histogram[k][i] == pixels) v.single[k] = std::int32_t(i);
        for (std::uint32_t w = 0; w < bins / 64; ++w) {
            std::uint32_t held = 0;
            for (std::uint32_t j = 0; j < 64; ++j) held |= histogram[k][64 * w + j];
            if (held != 0) v.windows[k][w / 64] |= std::uint64_t{1} << (w % 64);
        }
    }
    return v;
}
