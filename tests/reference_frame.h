// What a frame should come out as: the core's frame run over the
// straightforward per-pixel loops instead of the kernels the plug-in chose,
// on a copy of the frame as it went in. The programs that run frames through
// the plug-in check every frame against it, so a plug-in that does nothing
// or the wrong thing fails them, not just a comparison of two builds.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "frame_run.h"
#include "kernels.h"
#include "oracle_kernels.h"

// `before` holds the frame's bytes (pitch padding included) as they went in,
// memory row 0 at `row0` bytes from its start; `after`, as they came out.
inline bool matchesReference(const FilterSettings& settings, std::vector<std::uint8_t> before,
                             std::size_t row0, std::int32_t width, std::int32_t height,
                             std::ptrdiff_t pitch, const std::uint8_t* after) {
    const FrameView view = {reinterpret_cast<FramePixel*>(before.data() + row0), width, height,
                            pitch};
    useFrameKernels(&oracleKernels);
    runFrame(settings, view, view);
    useFrameKernels(nullptr);
    return std::memcmp(before.data(), after, before.size()) == 0;
}
