#include <gtest/gtest.h>

#include <cmath>

#include "frame_stats.h"
#include "measure.h"
#include "test_frames.h"

namespace {

constexpr std::uint32_t kMinus1 = 0xFFFFFFFFu;

struct ClipCase {
    const char* name;
    TestFrame frame;
    std::uint32_t low[4]; // A, R, G, B
    std::uint32_t high[4];
};

TestFrame filled(int w, int h, std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a) {
    TestFrame f(w, h);
    f.fill(b, g, r, a);
    return f;
}

TestFrame withBrightPixels(int count) {
    TestFrame f(10, 10);
    for (int i = 0; i < count; ++i) f.set(i, 3, 255, 255, 255, 0);
    return f;
}

TestFrame halfBright() {
    TestFrame f(20, 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 10; x < 20; ++x) f.set(x, y, 255, 255, 255, 0);
    return f;
}

TestFrame distinctValues() { // 99 pixels, values 10..108 once each
    TestFrame f(9, 11);
    for (int i = 0; i < 99; ++i) {
        auto v = static_cast<std::uint8_t>(10 + i);
        f.set(i % 9, i / 9, v, v, v, v);
    }
    return f;
}

// Padding bytes that would move every clip point if they were counted.
TestFrame paddedOneColour() {
    TestFrame f(10, 10, 24);
    std::fill(f.bytes.begin(), f.bytes.end(), 0xEE);
    f.fill(40, 80, 120, 0);
    return f;
}

TEST(MeasureChannels, ClipPoints) {
    ClipCase cases[] = {
        {"zeros", filled(10, 10, 0, 0, 0, 0), {1, 1, 1, 1}, {kMinus1, kMinus1, kMinus1, kMinus1}},
        {"one colour", filled(10, 10, 40, 80, 120, 0), {1, 121, 81, 41}, {kMinus1, 119, 79, 39}},
        {"all 255", filled(10, 10, 255, 255, 255, 255), {256, 256, 256, 256}, {254, 254, 254, 254}},
        {"one bright pixel",
         withBrightPixels(1),
         {1, 1, 1, 1},
         {kMinus1, kMinus1, kMinus1, kMinus1}},
        {"two bright pixels", withBrightPixels(2), {1, 1, 1, 1}, {kMinus1, 254, 254, 254}},
        {"half bright", halfBright(), {1, 1, 1, 1}, {kMinus1, 254, 254, 254}},
        {"ramp", rampFrame(), {2, 2, 2, 2}, {253, 253, 253, 253}},
        {"distinct values", distinctValues(), {11, 11, 11, 11}, {107, 107, 107, 107}},
        {"1x1 of 7", filled(1, 1, 7, 7, 7, 7), {8, 8, 8, 8}, {6, 6, 6, 6}},
        {"1x1 of 0", filled(1, 1, 0, 0, 0, 0), {1, 1, 1, 1}, {kMinus1, kMinus1, kMinus1, kMinus1}},
        {"1x1 of 255",
         filled(1, 1, 255, 255, 255, 255),
         {256, 256, 256, 256},
         {254, 254, 254, 254}},
        {"pitch padding", paddedOneColour(), {1, 121, 81, 41}, {kMinus1, 119, 79, 39}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        measureChannels(sharedFrameState.stats, c.frame.view(), FourthByte::channel);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(sharedFrameState.stats.lowClip[k], c.low[k]) << "channel " << k;
            EXPECT_EQ(sharedFrameState.stats.highClip[k], c.high[k]) << "channel " << k;
            std::uint64_t sum = 0;
            for (auto n : sharedFrameState.stats.histogram[k]) sum += n;
            EXPECT_EQ(sum, std::uint64_t(c.frame.width) * c.frame.height);
        }
    }
}

TEST(MeasureChannels, ClipLimitIsHalfPercentRoundedHalfUp) {
    struct {
        std::uint64_t pixels, limit;
    } cases[] = {{0, 0},           {99, 0},           {100, 1},          {300, 2},
                 {320 * 240, 384}, {640 * 480, 1536}, {720 * 576, 2074}, {1920 * 1080, 10368}};
    for (auto c : cases) EXPECT_EQ(clipLimitFor(c.pixels), c.limit) << c.pixels;
    // The integer form equals trunc(N * 0.005 + 0.5) in double over the 32-bit range.
    std::mt19937 rng(7);
    for (int i = 0; i < 200000; ++i) {
        std::uint64_t n = i < 100000 ? std::uint64_t(i) : rng() & 0x7FFFFFFFu;
        ASSERT_EQ(clipLimitFor(n), static_cast<std::uint64_t>(n * 0.005 + 0.5)) << n;
    }
}

TEST(MeasureChannels, EmptyFrameReadsNothingAndStaysInRange) {
    for (auto size : {std::pair<int, int>{0, 5}, {5, 0}, {-3, -3}}) {
        measureChannels(sharedFrameState.stats, FrameView{nullptr, size.first, size.second, 20},
                        FourthByte::channel);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(sharedFrameState.stats.lowClip[k], 256u);
            EXPECT_EQ(sharedFrameState.stats.highClip[k], kMinus1);
        }
    }
}

} // namespace
