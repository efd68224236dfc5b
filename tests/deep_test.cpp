// The correction at depth: at 8 bits exactly the 8-bit frame run; on 8-bit
// content promoted to 10 or 16 bits within one 8-bit step of it; no stretch
// and no curve leave every sample as it was; and a stretch never merges the
// levels of a low-contrast deep frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "deep_correct.h"
#include "frame_run.h"

namespace {

struct Settings {
    std::int32_t gain = 100, threshold = 10;
    double gamma = 1.0;
    std::int32_t sCurve = 0, bypass = 0;
    // How far, in 8-bit steps, promoted content may come out from the 8-bit
    // result: one step where the 8-bit arithmetic is within half a step of
    // the true curve; where it truncates clip points after a gain (bypass
    // titles) or looks a truncated value up in a steep tone curve, its own
    // error grows by that curve's slope, and the deep result is the truer.
    long steps = 1;
};

FilterSettings filterSettings(const Settings& c) {
    FilterSettings s{};
    s.gainPercent = c.gain, s.threshold = c.threshold, s.gamma = c.gamma;
    s.sCurve = c.sCurve, s.bypassTitles = c.bypass;
    return s;
}

// The settings the properties are checked under: plain, weakened, low
// contrast below the threshold, bypass titles, both curves.
const Settings kSettings[] = {
    {},
    {60, 10, 1.0, 0, 0, 1},
    {100, 200, 1.0, 0, 0, 1},
    {100, 10, 1.0, 0, 1, 2},
    {80, 30, 2.2, 0, 1, 2},
    {100, 10, 0.45, 1, 0, 5}, // the S-curve's slope at 0.45 is about 4 in the middle
    {100, 10, 1.7, 1, 1, 2},
};

// An 8-bit frame of values lo..hi in the colour bytes (a title card's flat
// field on some rows), alpha 0 as the host has it.
std::vector<FramePixel> eightBit(int w, int h, int lo, int hi, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<FramePixel> f(std::size_t(w) * h);
    for (std::size_t i = 0; i < f.size(); ++i) {
        const bool flat = (i / w) % 5 == 0;
        auto v = [&] { return std::uint8_t(flat ? lo + 7 : lo + rng() % (hi - lo + 1)); };
        f[i] = {v(), v(), v(), 0};
    }
    return f;
}

std::vector<DeepPixel> promoted(const std::vector<FramePixel>& f, int bits) {
    auto up = [bits](std::uint16_t v) {
        return std::uint16_t(bits == 16 ? v * 257 : (v << (bits - 8)) | (v >> (16 - bits)));
    };
    std::vector<DeepPixel> d(f.size());
    for (std::size_t i = 0; i < f.size(); ++i)
        d[i] = {up(f[i].blue), up(f[i].green), up(f[i].red), up(f[i].alpha)};
    return d;
}

// The run's state, for its clip points.
std::unique_ptr<DeepState> runDeep(const Settings& c, std::vector<DeepPixel>& d, int w, int h,
                                   int bits) {
    auto state = std::make_unique<DeepState>();
    runDeepFrame(filterSettings(c), {d.data(), w, h, std::ptrdiff_t(w) * 8, bits},
                 FourthByte::channel, *state);
    return state;
}

TEST(DeepFrames, EightBitsAreTheFrameRunAndPromotedContentStaysWithinAStep) {
    const int w = 97, h = 41;
    for (const Settings& c : kSettings)
        for (const auto& [lo, hi] : {std::pair{40, 190}, std::pair{100, 140}, std::pair{0, 255}}) {
            SCOPED_TRACE(::testing::Message()
                         << "gain " << c.gain << " threshold " << c.threshold << " gamma "
                         << c.gamma << " s-curve " << c.sCurve << " bypass " << c.bypass
                         << " range " << lo);
            auto frame = eightBit(w, h, lo, hi, unsigned(lo + c.gain));
            auto deep8 = promoted(frame, 8);
            runDeep(c, deep8, w, h, 8);
            const auto original = frame;
            const FrameView v = {frame.data(), w, h, std::ptrdiff_t(w) * 4};
            runFrame(filterSettings(c), v, v);
            for (std::size_t i = 0; i < frame.size(); ++i)
                ASSERT_TRUE(deep8[i].blue == frame[i].blue && deep8[i].green == frame[i].green &&
                            deep8[i].red == frame[i].red && deep8[i].alpha == frame[i].alpha)
                    << "pixel " << i;
            for (int bits : {10, 16}) {
                auto deep = promoted(original, bits);
                runDeep(c, deep, w, h, bits);
                const double scale = 255.0 / ((1 << bits) - 1);
                for (std::size_t i = 0; i < frame.size(); ++i)
                    ASSERT_LE(std::abs(std::lround(deep[i].green * scale) - frame[i].green),
                              c.steps)
                        << bits << " bits, pixel " << i << ": " << deep[i].green << " vs "
                        << int(frame[i].green) << " from " << int(original[i].green);
            }
        }
}

TEST(DeepFrames, NoStretchKeepsEverySampleAndAStretchKeepsEveryLevel) {
    const int w = 120, h = 64;
    for (int bits : {10, 12, 16}) {
        SCOPED_TRACE(bits);
        const std::uint32_t top = (1u << bits) - 1;
        std::mt19937 rng{static_cast<unsigned>(bits)};
        std::vector<DeepPixel> in(std::size_t(w) * h);
        // A low-contrast frame: 3/8 to 5/8 of the range.
        for (auto& p : in) {
            auto v = [&] { return std::uint16_t(top * 3 / 8 + rng() % (top / 4)); };
            p = {v(), v(), v(), 0};
        }
        auto kept = in;
        runDeep({0, 10, 1.0, 0, 0}, kept, w, h, bits);
        for (std::size_t i = 0; i < in.size(); ++i)
            ASSERT_TRUE(kept[i].blue == in[i].blue && kept[i].green == in[i].green &&
                        kept[i].red == in[i].red)
                << i;
        // Every level between the clip points keeps a level of its own (the
        // tails beyond them go to 0 and the top, as in 8 bits).
        auto stretched = in;
        const auto state = runDeep({}, stretched, w, h, bits);
        std::set<std::uint16_t> inside, after;
        for (std::size_t i = 0; i < in.size(); ++i) {
            if (in[i].red >= state->lowClip[kRed] && in[i].red <= state->highClip[kRed])
                inside.insert(in[i].red);
            after.insert(stretched[i].red);
        }
        EXPECT_GE(after.size(), inside.size());
        EXPECT_GT(inside.size(), 200u);
        EXPECT_EQ(*after.rbegin() - *after.begin(), int(top)); // stretched over the whole range
    }
}

// One state through changing settings and depths gives what a fresh state
// gives each frame (the tone table it keeps is rebuilt when they change).
TEST(DeepFrames, AReusedStateGivesAFreshStatesFrames) {
    const int w = 40, h = 24;
    const auto frame = eightBit(w, h, 30, 200, 5);
    auto reused = std::make_unique<DeepState>();
    const struct {
        Settings settings;
        int bits;
    } runs[] = {{{100, 10, 2.0, 0, 0}, 16}, {{100, 10, 0.5, 0, 0}, 16}, {{100, 10, 0.5, 1, 0}, 16},
                {{100, 10, 0.5, 1, 0}, 10}, {{100, 10, 2.0, 0, 0}, 16}};
    for (const auto& r : runs) {
        auto a = promoted(frame, r.bits), b = a;
        runDeepFrame(filterSettings(r.settings), {a.data(), w, h, std::ptrdiff_t(w) * 8, r.bits},
                     FourthByte::channel, *reused);
        runDeep(r.settings, b, w, h, r.bits);
        ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * 8), 0) << r.settings.gamma;
    }
}

// A kept fourth sample: the colours come out as the run gives them on the
// frame with alpha 0 throughout, and each pixel keeps its own alpha sample,
// whatever its value (a file's alpha may use all 16 bits at any depth). An
// opaque frame's alpha, counted, would close the gate (its low clip point
// above its high one); kept, it does not.
TEST(DeepFrames, AKeptAlphaIsCountedAsZeroAndWrittenBackAsItWas) {
    const int w = 53, h = 19;
    std::mt19937 rng(3);
    for (int bits : {8, 10, 16})
        for (bool opaque : {false, true})
            for (const Settings& c : kSettings) {
                SCOPED_TRACE(::testing::Message()
                             << bits << " bits, gamma " << c.gamma << " opaque " << opaque);
                auto frame = promoted(eightBit(w, h, 30, 220, unsigned(bits)), bits);
                for (auto& p : frame)
                    p.alpha = opaque ? std::uint16_t((1u << bits) - 1) : std::uint16_t(rng());
                auto kept = frame, zeroed = frame;
                for (auto& p : zeroed) p.alpha = 0;
                auto state = std::make_unique<DeepState>();
                runDeepFrame(filterSettings(c), {kept.data(), w, h, std::ptrdiff_t(w) * 8, bits},
                             FourthByte::kept, *state);
                runDeep(c, zeroed, w, h, bits);
                for (std::size_t i = 0; i < frame.size(); ++i)
                    ASSERT_TRUE(kept[i].blue == zeroed[i].blue &&
                                kept[i].green == zeroed[i].green && kept[i].red == zeroed[i].red &&
                                kept[i].alpha == frame[i].alpha)
                        << "pixel " << i;
            }
}

} // namespace
