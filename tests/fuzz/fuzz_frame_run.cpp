// The frame run over any width, height, pitch (padding, negative) and any
// value of every settings field, by a kernel path the input chooses,
// against the straightforward loops; the frei0r edition's run (fourth byte
// kept, a state of its own) against the host's run on the frame with its
// fourth bytes cleared and put back afterwards. Frames sit in buffers of exactly
// their size, so AddressSanitizer sees any access outside them.
#include <cmath>
#include <cstring>
#include <vector>

#include "frame_run.h"
#include "frame_stats.h"
#include "fuzz_input.h"
#include "oracle_kernels.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in{data, size};
    const int width = in.take<std::uint8_t>() % 80; // 0 too: an empty frame
    const int height = in.take<std::uint8_t>() % 40;
    const int padding = 4 * (in.take<std::uint8_t>() % 4); // bytes beyond each row
    const std::uint8_t layout = in.take<std::uint8_t>();
    const bool upsideDown = layout & 1; // memory row 0 at the top address
    const bool kept = layout & 2;       // the frei0r edition's run, fourth byte kept
    const KernelPath path = KernelPath(in.take<std::uint8_t>() % 6);
    FilterSettings s{};
    s.showStats = in.take<std::uint8_t>();
    s.gainPercent = in.take<std::int32_t>();
    s.threshold = in.take<std::int32_t>();
    const std::uint8_t gammaKind = in.take<std::uint8_t>();
    s.gamma = gammaKind % 3 == 0   ? in.take<std::int32_t>() * 0.01 // what a script stores
              : gammaKind % 3 == 1 ? 0.2 + (in.take<std::uint16_t>() % 481) * 0.01
                                   : in.take<double>(); // anything at all, NaN and infinities too
    s.sCurve = in.take<std::int32_t>();
    s.bypassTitles = in.take<std::int32_t>();

    const std::size_t pitch = std::size_t(width) * 4 + padding;
    const std::size_t bytes = pitch * height;
    std::vector<std::uint8_t> frame(bytes), expected;
    for (std::size_t i = 0; i < bytes; ++i) frame[i] = in.size ? in.data[i % in.size] : 0;
    expected = frame;
    auto view = [&](std::vector<std::uint8_t>& f) {
        FrameView v = {reinterpret_cast<FramePixel*>(f.data()), width, height,
                       std::ptrdiff_t(pitch)};
        if (upsideDown && height > 0) {
            v.data = reinterpret_cast<FramePixel*>(f.data() + pitch * (height - 1));
            v.pitch = -v.pitch;
        }
        return v;
    };
    useFrameKernels(&oracleKernels);
    if (kept) { // the host's run on the frame with its fourth bytes cleared, then put back
        for (std::size_t i = 0; i < bytes; ++i)
            if (i % pitch < std::size_t(width) * 4 && i % 4 == 3) expected[i] = 0;
        runFrame(s, view(expected), view(expected), OverlayPeaks::thisFrame);
        for (std::size_t i = 0; i < bytes; ++i)
            if (i % 4 == 3) expected[i] = frame[i];
    } else {
        runFrame(s, view(expected), view(expected));
    }
    const FrameStats want = sharedFrameState.stats;
    if (!forceKernelPath(path)) forceKernelPath(KernelPath::Auto);
    static MapCache cache;
    static FrameState state = {{}, {}, {}, &cache};
    FrameState& used = kept ? state : sharedFrameState;
    if (kept)
        runFrameKeepingFourthByte(state, s, view(frame), view(frame));
    else
        runFrame(s, view(frame), view(frame));
    if (frame != expected) __builtin_trap();
    if (!kept && std::memcmp(&want, &sharedFrameState.stats, sizeof want) != 0) __builtin_trap();
    if (used.stats.w_min < 0 || used.stats.w_min > 256) __builtin_trap();
    return 0;
}
