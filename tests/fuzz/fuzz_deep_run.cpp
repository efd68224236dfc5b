// The deep run at any depth from 8 to 16 bits, any size, any value of
// every settings field, any fourth-sample mode, packed or as planes (with
// or without an alpha plane, padded rows, upside down), by a kernel path
// the input chooses, against the packed run over the straightforward
// loops. Frames sit in buffers of exactly their size, so AddressSanitizer
// sees any access outside them.
#include <cstring>
#include <memory>
#include <vector>

#include "deep_correct.h"
#include "fuzz_input.h"
#include "oracle_kernels.h"

namespace {

struct Case {
    int width, height, bits, padding;
    bool planar, alphaPlane, upsideDown;
    FourthByte fourth;
    FilterSettings settings;
};

Case takeCase(FuzzInput& in) {
    Case c{};
    c.width = in.take<std::uint8_t>() % 70; // 0 too: an empty frame
    c.height = in.take<std::uint8_t>() % 20;
    c.bits = 8 + in.take<std::uint8_t>() % 9;
    c.padding = in.take<std::uint8_t>() % 4; // samples beyond each row
    const std::uint8_t layout = in.take<std::uint8_t>();
    c.planar = layout & 1, c.alphaPlane = layout & 2, c.upsideDown = layout & 4;
    c.fourth = FourthByte((layout >> 3) % 3);
    c.settings.gainPercent = in.take<std::int32_t>();
    c.settings.threshold = in.take<std::int32_t>();
    // A few gammas mostly, so that the runs' tone curves (65,536 powers at
    // 16 bits) are mostly reused and the fuzzer stays quick; any double now
    // and then, NaN and infinities too.
    const std::uint8_t gammaKind = in.take<std::uint8_t>();
    c.settings.gamma = gammaKind % 8 == 0 ? in.take<double>() : 0.5 + (gammaKind % 9) * 0.25;
    c.settings.sCurve = in.take<std::int8_t>();
    c.settings.bypassTitles = in.take<std::int32_t>();
    return c;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in{data, size};
    const KernelPath path = KernelPath(in.take<std::uint8_t>() % 6);
    const Case c = takeCase(in);
    const std::size_t pixels = std::size_t(c.width) * c.height;
    const std::uint32_t top = (1u << c.bits) - 1;
    // The packed frame the oracle runs on; colour samples below 2^bits,
    // alpha too where the run counts it.
    std::vector<DeepPixel> packed(pixels);
    std::vector<std::uint16_t> planes[4];
    for (std::size_t i = 0; i < pixels; ++i) {
        std::uint16_t s[4];
        for (auto& v : s) v = in.size ? std::uint16_t(in.data[(2 * i) % in.size] * 257u ^ i) : 0;
        packed[i] = {std::uint16_t(s[0] & top), std::uint16_t(s[1] & top),
                     std::uint16_t(s[2] & top),
                     c.fourth == FourthByte::channel ? std::uint16_t(s[3] & top) : s[3]};
    }
    const bool alpha = !c.planar || c.alphaPlane;
    const FourthByte oracleFourth = alpha ? c.fourth : FourthByte::kept;
    static auto want = std::make_unique<DeepState>(), got = std::make_unique<DeepState>();
    std::vector<DeepPixel> expected = packed;
    useFrameKernels(&oracleKernels);
    runDeepFrame(c.settings, {expected.data(), c.width, c.height, std::ptrdiff_t(c.width) * 8, c.bits},
                 oracleFourth, *want);
    if (!forceKernelPath(path)) forceKernelPath(KernelPath::Auto);
    const std::size_t stride = std::size_t(c.width) + c.padding;
    if (!c.planar) {
        runDeepFrame(c.settings, {packed.data(), c.width, c.height, std::ptrdiff_t(c.width) * 8, c.bits},
                     c.fourth, *got);
        if (pixels != 0 && std::memcmp(packed.data(), expected.data(), pixels * 8) != 0)
            __builtin_trap();
        return 0;
    }
    DeepPlanes view = {{}, {}, c.width, c.height, c.bits};
    for (int k = 0; k < 4; ++k) {
        if (k == kAlpha && !c.alphaPlane) continue;
        planes[k].assign(stride * c.height, 0xABCD);
        for (std::size_t i = 0; i < pixels; ++i)
            planes[k][i / c.width * stride + i % c.width] =
                reinterpret_cast<const std::uint16_t*>(&packed[i])[3 - k];
        if (c.height == 0) continue;
        const bool flip = c.upsideDown;
        view.plane[k] = planes[k].data() + (flip ? (c.height - 1) * stride : 0);
        view.stride[k] = std::ptrdiff_t(stride * 2) * (flip ? -1 : 1);
    }
    runDeepPlanes(c.settings, view, c.fourth, *got);
    for (int k = 0; k < 4; ++k)
        for (std::size_t i = 0; i < planes[k].size(); ++i) {
            const std::size_t x = i % stride, y = i / stride;
            const std::uint16_t want = x >= std::size_t(c.width)
                                           ? 0xABCD
                                           : reinterpret_cast<const std::uint16_t*>(
                                                 &expected[y * c.width + x])[3 - k];
            if (planes[k][i] != want) __builtin_trap();
        }
    return 0;
}
