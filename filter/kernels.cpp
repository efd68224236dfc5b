// Kernel selection: one table of the paths, best first, each with the CPU
// features it needs. The CPU is asked once, on first use, and the first path
// it runs is kept; a forced path replaces it until forced back to Auto.
#include "kernels.h"

#include "kernels_common.h"

namespace {

#if defined(__i386__) || defined(__x86_64__)
bool runsAvx512() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
           __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") &&
           __builtin_cpu_supports("popcnt");
}
bool runsAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") &&
           __builtin_cpu_supports("popcnt");
}
bool runsSsse3() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3");
}
bool runsSse2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2");
}
#endif
bool runsAnywhere() {
    return true;
}

const FrameKernels* portable() {
    return &portableKernels;
}

struct PathEntry {
    KernelPath path;
    const char* name;
    const FrameKernels* (*kernels)(); // nullptr where this build lacks the path
    bool (*cpuRuns)();
};

// Best first; the selector takes the first entry the build and CPU run.
const PathEntry kPaths[] = {
#if defined(__i386__) || defined(__x86_64__)
    {KernelPath::Avx512, "avx512", avx512Kernels, runsAvx512},
    {KernelPath::Avx2, "avx2", avx2Kernels, runsAvx2},
    {KernelPath::Ssse3, "ssse3", ssse3Kernels, runsSsse3},
    {KernelPath::Sse2, "sse2", sse2Kernels, runsSse2},
#endif
    {KernelPath::Portable, "portable", portable, runsAnywhere},
};

const FrameKernels* runnable(const PathEntry& e) {
    const FrameKernels* k = e.kernels();
    return k != nullptr && e.cpuRuns() ? k : nullptr;
}

const FrameKernels* best() {
    static const FrameKernels* const cpuBest = [] {
        for (const PathEntry& e : kPaths)
            if (const FrameKernels* k = runnable(e)) return k;
        return &portableKernels;
    }();
    return cpuBest;
}

const FrameKernels* chosen = nullptr;

} // namespace

const FrameKernels& frameKernels() {
    if (chosen == nullptr) chosen = best();
    return *chosen;
}

bool forceKernelPath(KernelPath path) {
    if (path == KernelPath::Auto) {
        chosen = best();
        return true;
    }
    for (const PathEntry& e : kPaths)
        if (e.path == path) {
            const FrameKernels* k = runnable(e);
            if (k != nullptr) chosen = k;
            return k != nullptr;
        }
    return false;
}

const char* kernelPathName(KernelPath path) {
    for (const PathEntry& e : kPaths)
        if (e.path == path) return e.name;
    return path == KernelPath::Auto ? "auto" : "absent";
}

void useFrameKernels(const FrameKernels* kernels) {
    chosen = kernels ? kernels : best();
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
