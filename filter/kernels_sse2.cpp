// SSE2 kernels: the floor of the 32-bit plug-in.
//
// count: chunks of 32 pixels, four per register (see countChunks).
// map: the portable version (SSE2 has no byte shuffle to look tables up with).
#include "kernels.h"
#include "kernels_x86.h"

namespace {

void countSse2(const FrameView& frame, std::uint32_t (*histogram)[256], FourthByte fourth) {
    countChunks(frame, histogram, fourth, allEqualSse2, inspectChunkSse2);
}

const FrameKernels kernels = {"sse2", countSse2, mapPortable, countDeepPortable,
                                  mapDeepPortable, countDeepPlanesPortable, mapDeepPlanesPortable};

} // namespace

const FrameKernels* sse2Kernels() {
    return &kernels;
}
