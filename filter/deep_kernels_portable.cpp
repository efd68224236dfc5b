// The portable deep kernels, which the vector paths fall back on.
//
// count: a sample per channel looked up and incremented, pixel by pixel
// (partial histogram sets, as the 8-bit count has, measured no faster here:
// the four increments of a pixel already stand between two of a channel).
// map: each looked-up sample written back in place.
#include "kernels.h"
#include "kernels_common.h"
#include "deep_kernels_common.h"

void countDeepPortable(const DeepView& frame, std::uint32_t (*histogram)[65536],
                       FourthByte fourth) {
    std::uint32_t* const h = &histogram[0][0];
    const std::uint32_t top = (1u << frame.bits) - 1;
    const bool alpha = fourth == FourthByte::channel;
    for (std::int32_t r = 0; r < frame.height; ++r) {
        const std::uint8_t* row = deepRowBytes(frame, r);
        for (std::int32_t x = 0; x < frame.width; ++x) {
            if (alpha)
                countDeepPixel<true>(h, loadDeepPixel(row + 8 * x), top);
            else
                countDeepPixel<false>(h, loadDeepPixel(row + 8 * x), top);
        }
    }
    if (!alpha)
        histogram[kAlpha][0] +=
            static_cast<std::uint32_t>(std::uint64_t(frame.width) * std::uint64_t(frame.height));
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
