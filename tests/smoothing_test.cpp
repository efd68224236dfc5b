// Smoothing over time: the running clip points, the cut test on generated
// scenes, and smoothing 0 leaving every kernel path's frames as they were.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "deep_correct.h"
#include "frame_run.h"
#include "kernels.h"
#include "smoothing.h"
#include "test_frames.h"

namespace {

constexpr int kWidth = 64, kHeight = 36;

// A grey frame: a washed-out pattern between low and high, panned by
// `shift` columns, with a white card over columns cardFrom..cardTo-1.
TestFrame scene(int low, int high, int shift, int cardFrom = 0, int cardTo = 0) {
    TestFrame f(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int u = ((x + shift) * 7 + y * 13) % 97;
            int v = low + (high - low) * u / 96;
            if (x >= cardFrom && x < cardTo && y >= 8 && y < 18) v = 250;
            f.set(x, y, std::uint8_t(v), std::uint8_t(v), std::uint8_t(v), 0);
        }
    return f;
}

using Clip = std::vector<TestFrame>;

Clip cardClip() { // a card of 7 % of the frame slides in from the right
    Clip c;
    for (int t = 0; t < 40; ++t) {
        const int from = t < 10 ? kWidth : std::max(kWidth - (t - 10) * 3, 40);
        c.push_back(scene(70, 180, t, from, kWidth));
    }
    return c;
}

Clip cutClip() { // a dark pan, then a still bright scene
    Clip c;
    for (int t = 0; t < 20; ++t) c.push_back(scene(20, 130 + t % 4 * 8, t));
    for (int t = 0; t < 16; ++t) c.push_back(scene(110, 235, 0));
    return c;
}

Clip fadeClip() { // through black over 12 frames each way
    Clip c;
    for (int t = 0; t < 10; ++t) c.push_back(scene(60, 200, t));
    for (int i = 1; i <= 12; ++i) c.push_back(scene(60 * (12 - i) / 12, 200 * (12 - i) / 12, 10));
    for (int i = 1; i <= 12; ++i) c.push_back(scene(50 * i / 12, 190 * i / 12, 20));
    return c;
}

Clip flashClip() { // one white frame in a pan
    Clip c;
    for (int t = 0; t < 30; ++t) c.push_back(t == 15 ? scene(200, 255, 0) : scene(60, 170, t));
    return c;
}

struct ClipRun {
    std::vector<TestFrame> frames; // corrected
    std::vector<double> grey128;   // the level input grey 128 maps to (green)
    std::vector<std::int64_t> high; // the green high clip point the overlay prints (8 bits)
    std::int64_t cuts = 0;
};

// The clip through the 8-bit run with its own state (fourth byte kept), or
// promoted to 16 bits through the deep run, smoothing over `window` frames.
ClipRun runClip(const Clip& clip, int window, bool deep) {
    static MapCache cache;
    FrameState state = {};
    state.mapCache = &cache;
    auto deepState = std::make_unique<DeepState>();
    Smoothing smoothing;
    setSmoothingWindow(smoothing, window);
    FilterSettings settings{};
    setDefaultSettings(settings);
    ClipRun r;
    for (TestFrame f : clip) {
        if (!deep) {
            runFrameKeepingFourthByte(state, settings, f.view(), f.view(), &smoothing);
            r.grey128.push_back(state.channelTable[kGreen][128]);
            r.high.push_back(signedWord(state.stats.highClip[kGreen]));
        } else {
            std::vector<std::uint16_t> d(f.bytes.begin(), f.bytes.end() - 1);
            for (auto& v : d) v = static_cast<std::uint16_t>(v << 8);
            runDeepFrame(settings,
                         {reinterpret_cast<DeepPixel*>(d.data()), kWidth, kHeight, kWidth * 8, 16},
                         FourthByte::kept, *deepState, &smoothing);
            r.grey128.push_back(deepState->table[kGreen][128 << 8] / 256.0);
            for (std::size_t i = 0; i < d.size(); ++i) f.bytes[i] = std::uint8_t(d[i] >> 8);
        }
        r.frames.push_back(f);
    }
    r.cuts = smoothing.cuts;
    return r;
}

double largestStep(const std::vector<double>& v, int skip) {
    double most = 0;
    for (std::size_t t = 1; t < v.size(); ++t)
        if (int(t) != skip) most = std::max(most, std::fabs(v[t] - v[t - 1]));
    return most;
}

TEST(Smoothing, RunningMeanOverTheWindowRoundedHalfUp) {
    const struct Case {
        const char* name;
        int window;
        std::vector<std::int32_t> highs; // this frame's own high clip point (A, R, G, B alike)
        std::vector<std::int32_t> used;  // the running value the frame gets
    } cases[] = {
        {"window 3: the oldest leaves", 3, {200, 200, 230, 230, 230}, {200, 200, 210, 220, 230}},
        {"half rounds up", 2, {200, 201, 203}, {200, 201, 202}},
        {"-1 (an empty channel) counts as -1", 2, {-1, 0, -1, -1}, {-1, 0, 0, -1}},
        {"window 1 is every frame's own", 1, {10, 250, 3}, {10, 250, 3}},
        {"window 0 changes nothing", 0, {10, 250, 3}, {10, 250, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Smoothing s;
        setSmoothingWindow(s, c.window);
        std::uint32_t h[256] = {};
        h[100] = 10; // the same histogram every frame: no cut
        const std::uint32_t* const rgb[3] = {h, h, h};
        for (std::size_t i = 0; i < c.highs.size(); ++i) {
            std::uint32_t low[4] = {1, 2, 3, 4}, high[4];
            for (auto& x : high) x = static_cast<std::uint32_t>(c.highs[i]);
            smoothClipPoints(s, rgb, 10, low, high);
            for (int k = 0; k < 4; ++k) {
                EXPECT_EQ(static_cast<std::int32_t>(high[k]), c.used[i]) << i;
                EXPECT_EQ(low[k], std::uint32_t(k + 1)) << i;
            }
        }
    }
}

// The generated scenes, on the 8-bit and the deep run: the card moves
// grey 128 gradually, a cut and a flash restart (the new scene's frames
// are their own corrections), a fade is no cut.
TEST(Smoothing, ScenesCardsCutsFadesAndFlashes) {
    const struct Case {
        const char* name;
        std::function<Clip()> make;
        std::int64_t cuts;   // restarts, the first frame's included
        int ownFrom;         // from this frame on, every frame is its own correction (-1: none)
        bool gradual;        // the largest step is at most a quarter of per-frame correction's
    } cases[] = {
        {"card crossing a pan", cardClip, 1, -1, true},
        {"cut from a dark pan to a still bright scene", cutClip, 2, 20, false},
        {"fade through black", fadeClip, 1, -1, false},
        {"single-frame flash", flashClip, 3, -1, false},
    };
    for (bool deep : {false, true})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (deep ? ", 16 bits" : ", 8 bits"));
            const Clip clip = c.make();
            const ClipRun off = runClip(clip, 0, deep), on = runClip(clip, 12, deep);
            EXPECT_EQ(on.cuts, c.cuts);
            EXPECT_EQ(on.frames[0].bytes, off.frames[0].bytes); // the first frame: its own
            if (c.ownFrom >= 0) {
                for (std::size_t t = c.ownFrom; t < clip.size(); ++t)
                    EXPECT_EQ(on.frames[t].bytes, off.frames[t].bytes) << t;
                EXPECT_TRUE(on.frames[c.ownFrom - 1].bytes != off.frames[c.ownFrom - 1].bytes);
            }
            if (c.gradual && !deep) { // the overlay's clip point is the window's mean
                for (std::size_t t = 0; t < clip.size(); ++t) {
                    const std::size_t from = t >= 11 ? t - 11 : 0, n = t - from + 1;
                    std::int64_t sum = 0;
                    for (std::size_t i = from; i <= t; ++i) sum += off.high[i];
                    EXPECT_EQ(on.high[t], (2 * sum + std::int64_t(n)) / (2 * std::int64_t(n))) << t;
                }
            }
            if (c.gradual) {
                const double before = largestStep(off.grey128, -1);
                EXPECT_GE(before, 20);
                EXPECT_LE(largestStep(on.grey128, -1) * 4, before);
            }
            if (std::string(c.name) == "single-frame flash") { // restarts at and after it
                EXPECT_EQ(on.frames[15].bytes, off.frames[15].bytes);
                EXPECT_EQ(on.frames[16].bytes, off.frames[16].bytes);
            }
        }
}

class SmoothingOff : public ::testing::TestWithParam<KernelPath> {
  protected:
    void SetUp() override {
        if (!forceKernelPath(GetParam())) GTEST_SKIP() << "this CPU or build lacks the path";
    }
    void TearDown() override { forceKernelPath(KernelPath::Auto); }
};

// Smoothing 0 gives the frames and statistics of the runs without it, on
// every path: the video host's run, the kept-fourth-byte run, the deep run.
TEST_P(SmoothingOff, GivesTodaysBytesOnEveryRun) {
    std::mt19937 rng(33);
    Clip clip = cutClip();
    for (int t = 0; t < 6; ++t) {
        TestFrame f(37, 11, 8);
        f.randomize(rng);
        clip.push_back(f);
    }
    Smoothing zero;
    setSmoothingWindow(zero, 0);
    FilterSettings settings{};
    setDefaultSettings(settings);
    settings.showStats = 0;
    static MapCache cacheA, cacheB;
    FrameState a = {}, b = {};
    a.mapCache = &cacheA, b.mapCache = &cacheB;
    auto deepA = std::make_unique<DeepState>(), deepB = std::make_unique<DeepState>();
    for (std::size_t t = 0; t < clip.size(); ++t) {
        SCOPED_TRACE(t);
        TestFrame want = clip[t], got = clip[t];
        runFrame(settings, want.view(), want.view());
        const FrameStats stats = sharedFrameState.stats;
        runFrame(settings, got.view(), got.view(), OverlayPeaks::lastComputed, FourthByte::channel,
                 &zero);
        EXPECT_EQ(got.bytes, want.bytes);
        EXPECT_EQ(0, std::memcmp(&stats, &sharedFrameState.stats, sizeof stats));
        want = clip[t], got = clip[t];
        runFrameKeepingFourthByte(a, settings, want.view(), want.view());
        runFrameKeepingFourthByte(b, settings, got.view(), got.view(), &zero);
        EXPECT_EQ(got.bytes, want.bytes);
        std::vector<std::uint16_t> dw(clip[t].bytes.size()), dg;
        for (std::size_t i = 0; i < dw.size(); ++i) dw[i] = std::uint16_t(clip[t].bytes[i] * 257);
        dg = dw;
        const TestFrame& f = clip[t];
        const DeepView vw = {reinterpret_cast<DeepPixel*>(dw.data()), f.width, f.height, f.pitch * 2,
                             16};
        DeepView vg = vw;
        vg.data = reinterpret_cast<DeepPixel*>(dg.data());
        runDeepFrame(settings, vw, FourthByte::channel, *deepA);
        runDeepFrame(settings, vg, FourthByte::channel, *deepB, &zero);
        EXPECT_EQ(dg, dw);
    }
    EXPECT_EQ(zero.cuts, 0); // never even looked
}

std::string pathName(const ::testing::TestParamInfo<KernelPath>& p) {
    return kernelPathName(p.param);
}

INSTANTIATE_TEST_SUITE_P(Paths, SmoothingOff,
                         ::testing::Values(KernelPath::Portable, KernelPath::Sse2,
                                           KernelPath::Ssse3, KernelPath::Avx2,
                                           KernelPath::Avx512),
                         pathName);

} // namespace
