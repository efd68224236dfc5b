// The portable deep kernels, which the vector paths fall back on.
//
// count: a sample per channel looked up and incremented, pixel by pixel.
// map: each looked-up sample written back in place.
#include "kernels.h"
#include "kernels_common.h"

void countDeepPortable(const DeepView& frame, std::uint32_t (*histogram)[65536],
                       FourthByte fourth) {
    const std::uint32_t top = (1u << frame.bits) - 1;
    const bool alpha = fourth == FourthByte::channel;
    std::uint32_t* ha = histogram[kAlpha];
    std::uint32_t* hr = histogram[kRed];
    std::uint32_t* hg = histogram[kGreen];
    std::uint32_t* hb = histogram[kBlue];
    for (std::int32_t r = 0; r < frame.height; ++r) {
        const DeepPixel* p = reinterpret_cast<const DeepPixel*>(deepRowBytes(frame, r));
        for (std::int32_t x = 0; x < frame.width; ++x) {
            ++hb[p[x].blue & top];
            ++hg[p[x].green & top];
            ++hr[p[x].red & top];
            if (alpha) ++ha[p[x].alpha & top];
        }
    }
    if (!alpha)
        ha[0] += static_cast<std::uint32_t>(std::uint64_t(frame.width) * std::uint64_t(frame.height));
}

void mapDeepPortable(const DeepView& frame, const std::uint16_t (*tables)[65536],
                     const DeepChannelValues& values) {
    const std::uint32_t top = (1u << frame.bits) - 1;
    const std::uint16_t* ta = tables[kAlpha];
    const std::uint16_t* tr = tables[kRed];
    const std::uint16_t* tg = tables[kGreen];
    const std::uint16_t* tb = tables[kBlue];
    for (std::int32_t r = 0; r < frame.height; ++r) {
        DeepPixel* p = reinterpret_cast<DeepPixel*>(deepRowBytes(frame, r));
        for (std::int32_t x = 0; x < frame.width; ++x) {
            DeepPixel& q = p[x];
            q = {tb[q.blue & top], tg[q.green & top], tr[q.red & top],
                 values.fourthKept ? q.alpha : ta[q.alpha & top]};
        }
    }
}
