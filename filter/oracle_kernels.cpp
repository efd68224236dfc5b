#include "oracle_kernels.h"

namespace {

void countOracle(const FrameView& frame, std::uint32_t (*h)[256], FourthByte fourth) {
    for (std::int32_t r = 0; r < frame.height; ++r) {
        const std::uint8_t* p = frameRowBytes(frame, r);
        for (std::int32_t x = 0; x < frame.width; ++x, p += 4) {
            ++h[kAlpha][fourth == FourthByte::kept ? 0 : p[3]];
            ++h[kRed][p[2]];
            ++h[kGreen][p[1]];
            ++h[kBlue][p[0]];
        }
    }
}

// A kept fourth byte goes through its identity table like any other.
void mapOracle(const FrameView& input, const FrameView& output, const std::uint8_t (*t)[256],
               const ChannelValues&, MapCache&) {
    for (std::int32_t r = 0; r < input.height; ++r) {
        const std::uint8_t* in = frameRowBytes(input, r);
        std::uint8_t* out = frameRowBytes(output, r);
        for (std::int32_t x = 0; x < input.width; ++x, in += 4, out += 4) {
            out[0] = t[kBlue][in[0]];
            out[1] = t[kGreen][in[1]];
            out[2] = t[kRed][in[2]];
            out[3] = t[kAlpha][in[3]];
        }
    }
}

void countDeepOracle(const DeepView& frame, std::uint32_t (*h)[65536], FourthByte fourth) {
    const std::uint32_t top = (1u << frame.bits) - 1;
    for (std::int32_t r = 0; r < frame.height; ++r) {
        const DeepPixel* p = reinterpret_cast<const DeepPixel*>(deepRowBytes(frame, r));
        for (std::int32_t x = 0; x < frame.width; ++x) {
            ++h[kAlpha][fourth == FourthByte::kept ? 0 : p[x].alpha & top];
            ++h[kRed][p[x].red & top];
            ++h[kGreen][p[x].green & top];
            ++h[kBlue][p[x].blue & top];
        }
    }
}

void mapDeepOracle(const DeepView& frame, const std::uint16_t (*t)[65536],
                   const DeepChannelValues& values) {
    const std::uint32_t top = (1u << frame.bits) - 1;
    for (std::int32_t r = 0; r < frame.height; ++r) {
        DeepPixel* p = reinterpret_cast<DeepPixel*>(deepRowBytes(frame, r));
        for (std::int32_t x = 0; x < frame.width; ++x) {
            p[x].blue = t[kBlue][p[x].blue & top];
            p[x].green = t[kGreen][p[x].green & top];
            p[x].red = t[kRed][p[x].red & top];
            if (!values.fourthKept) p[x].alpha = t[kAlpha][p[x].alpha & top];
        }
    }
}

void countDeepPlanesOracle(const DeepPlanes& frame, std::uint32_t (*h)[65536],
                           FourthByte fourth) {
    const std::uint32_t top = (1u << frame.bits) - 1;
    const bool alpha = frame.plane[kAlpha] != nullptr && fourth == FourthByte::channel;
    for (std::int32_t r = 0; r < frame.height; ++r)
        for (std::int32_t x = 0; x < frame.width; ++x) {
            ++h[kAlpha][alpha ? deepPlaneRow(frame, kAlpha, r)[x] & top : 0];
            ++h[kRed][deepPlaneRow(frame, kRed, r)[x] & top];
            ++h[kGreen][deepPlaneRow(frame, kGreen, r)[x] & top];
            ++h[kBlue][deepPlaneRow(frame, kBlue, r)[x] & top];
        }
}

void mapDeepPlanesOracle(const DeepPlanes& frame, const std::uint16_t (*t)[65536],
                         const DeepChannelValues& values) {
    const std::uint32_t top = (1u << frame.bits) - 1;
    const bool alpha = frame.plane[kAlpha] != nullptr && !values.fourthKept;
    for (int k = 0; k < 4; ++k) {
        if (k == kAlpha && !alpha) continue;
        for (std::int32_t r = 0; r < frame.height; ++r) {
            std::uint16_t* p = deepPlaneRow(frame, k, r);
            for (std::int32_t x = 0; x < frame.width; ++x) p[x] = t[k][p[x] & top];
        }
    }
}

} // namespace

const FrameKernels oracleKernels = {"oracle",        countOracle,          mapOracle,
                                    countDeepOracle, mapDeepOracle,        countDeepPlanesOracle,
                                    mapDeepPlanesOracle};
