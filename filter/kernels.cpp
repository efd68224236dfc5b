// Kernel selection: the CPU is asked once, on first use, and the best path
// it runs is kept; a forced path replaces it until forced back to Auto.
#include "kernels.h"

#include <initializer_list>

#include "kernels_common.h"

namespace {

const FrameKernels* chosen = nullptr;

bool cpuRuns(KernelPath path) {
#if defined(__i386__) || defined(__x86_64__)
    __builtin_cpu_init();
    switch (path) {
    case KernelPath::Sse2:
        return __builtin_cpu_supports("sse2");
    case KernelPath::Avx2:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
    case KernelPath::Avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi");
    default:
        return true;
    }
#else
    return path == KernelPath::Scalar || path == KernelPath::Auto;
#endif
}

const FrameKernels* kernelsFor(KernelPath path) {
    switch (path) {
    case KernelPath::Scalar:
        return &scalarKernels;
    case KernelPath::Sse2:
        return sse2Kernels();
    case KernelPath::Avx2:
        return avx2Kernels();
    case KernelPath::Avx512:
        return avx512Kernels();
    case KernelPath::Auto:
        break;
    }
    for (KernelPath p : {KernelPath::Avx512, KernelPath::Avx2, KernelPath::Sse2})
        if (kernelsFor(p) && cpuRuns(p)) return kernelsFor(p);
    return &scalarKernels;
}

} // namespace

const FrameKernels& frameKernels() {
    if (chosen == nullptr) chosen = kernelsFor(KernelPath::Auto);
    return *chosen;
}

bool forceKernelPath(KernelPath path) {
    const FrameKernels* k = kernelsFor(path);
    if (k == nullptr || !cpuRuns(path)) return false;
    chosen = k;
    return true;
}

void useFrameKernels(const FrameKernels* kernels) {
    chosen = kernels ? kernels : kernelsFor(KernelPath::Auto);
}

namespace {
PartialHistograms partials;
}
PartialHistograms& partialHistograms() {
    return partials;
}

#if !(defined(__i386__) || defined(__x86_64__))
const FrameKernels* sse2Kernels() {
    return nullptr;
}
const FrameKernels* avx2Kernels() {
    return nullptr;
}
const FrameKernels* avx512Kernels() {
    return nullptr;
}
#endif
