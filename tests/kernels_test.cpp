// Every kernel path this CPU runs against the straightforward loops.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "deep_correct.h"
#include "frame_run.h"
#include "frame_stats.h"
#include "oracle_kernels.h"
#include "test_frames.h"

namespace {

enum class Content { Random, Flat, Runs, ConstantAlpha, Narrow, Sparse, Titles, Dark };
const Content kContents[] = {Content::Random,        Content::Flat,   Content::Runs,
                             Content::ConstantAlpha, Content::Narrow, Content::Sparse,
                             Content::Titles,        Content::Dark};

void paint(TestFrame& f, Content c, std::mt19937& rng) {
    f.randomize(rng); // padding too: it must never be read into a count
    const std::uint32_t flat = rng();
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) {
            std::uint8_t* p = f.pixel(x, y);
            switch (c) {
            case Content::Random:
                break;
            case Content::Flat:
                std::memcpy(p, &flat, 4);
                break;
            case Content::Runs: // stretches of equal pixels of any length, between noise
                if (x > 0 && (x / 48) % 3 != 2 && rng() % (y % 2 ? 9 : 60))
                    std::memcpy(p, p - 4, 4);
                break;
            case Content::ConstantAlpha:
                p[3] = 0; // now and then one bit set, to tell a bit left out of a comparison
                if (rng() % 50 == 0) p[3] = std::uint8_t(1u << (rng() % 8));
                break;
            case Content::Narrow:
                for (int b = 0; b < 4; ++b) p[b] = std::uint8_t(100 + p[b] % 20);
                break;
            case Content::Sparse: // windows of 16 values with gaps, one window, one value
                p[0] &= 0x8F, p[1] = std::uint8_t((p[1] & 0x3F) | 0x40);
                p[2] = std::uint8_t((p[2] & 0x0F) | 0xD0), p[3] = 0xFF;
                break;
            case Content::Titles: // ink or card in one or two windows a channel, alpha
                                  // of any value for a kept fourth byte
                p[0] = rng() % 3 ? 16 : 235, p[1] = std::uint8_t(16 + p[1] % 4);
                p[2] = std::uint8_t(p[2] % 8 + (rng() % 2 ? 8 : 0));
                break;
            case Content::Dark: // every colour in a single window: the maps' choice
                p[0] &= 0x0F, p[1] &= 0x0F, p[2] = std::uint8_t(0x30 | (p[2] & 0x0F));
                p[3] &= 0x0F;
                break;
            }
        }
}

struct Shape {
    int width, height, padding;
    bool upsideDown; // memory row 0 at the highest address
};

FrameView viewOf(TestFrame& f, bool upsideDown) {
    FrameView v = f.view();
    if (upsideDown) {
        v.data = reinterpret_cast<FramePixel*>(f.pixel(0, f.height - 1));
        v.pitch = -v.pitch;
    }
    return v;
}

class Kernels : public ::testing::TestWithParam<KernelPath> {
  protected:
    void SetUp() override {
        if (!forceKernelPath(GetParam())) GTEST_SKIP() << "this CPU or build lacks the path";
    }
    void TearDown() override { forceKernelPath(KernelPath::Auto); }
};

const Shape kShapes[] = {{1, 1, 0, false},    {3, 2, 4, true},    {15, 3, 0, false},
                         {16, 4, 8, true},    {17, 5, 12, false}, {33, 7, 0, true},
                         {64, 2, 4, false},   {129, 9, 0, false}, {1000, 3, 40, true},
                         {257, 256, 12, true}}; // the last: large enough for paired tables

TEST_P(Kernels, CountAndMapEqualTheOracle) {
    std::mt19937 rng(21);
    std::uint8_t tables[4][256];
    static MapCache oracleCache, cache;
    for (const Shape& s : kShapes)
        for (Content c : kContents)
            for (FourthByte fourth : {FourthByte::channel, FourthByte::kept}) {
                SCOPED_TRACE(::testing::Message()
                             << s.width << "x" << s.height << " pad " << s.padding << " content "
                             << int(c) << " fourth " << int(fourth));
                TestFrame f(s.width, s.height, s.padding);
                paint(f, c, rng);
                const FrameView v = viewOf(f, s.upsideDown);
                std::uint32_t want[4][256] = {}, got[4][256] = {};
                oracleKernels.count(v, want, fourth);
                const ChannelValues values = channelValuesOf(want, fourth);
                want[1][7] += 5, got[1][7] = 5; // counts add to what is there
                frameKernels().count(v, got, fourth);
                ASSERT_EQ(0, std::memcmp(want, got, sizeof want));

                for (auto& t : tables)
                    for (auto& e : t) e = std::uint8_t(rng());
                if (fourth == FourthByte::kept) // as the frame run hands a kept byte's table over
                    for (int i = 0; i < 256; ++i) tables[kAlpha][i] = std::uint8_t(i);
                TestFrame expected = f, inPlace = f, separate(s.width, s.height, s.padding + 4);
                std::memset(separate.bytes.data(), 0xEE, separate.bytes.size());
                TestFrame guard = separate;
                oracleKernels.map(v, viewOf(expected, s.upsideDown), tables, values, oracleCache);
                frameKernels().map(viewOf(inPlace, s.upsideDown), viewOf(inPlace, s.upsideDown),
                                   tables, values, cache);
                ASSERT_EQ(expected.bytes, inPlace.bytes); // padding untouched as well
                // In place at a smaller pitch, as the frame run writes at the
                // destination's: each row must be read before it is written
                // over. (Upright only: upside down, each output row would lie
                // over the unread rest of its own input row.)
                if (!s.upsideDown) {
                    TestFrame narrowed = f, narrowedWant = f;
                    FrameView narrowOut = narrowed.view(), narrowWantOut = narrowedWant.view();
                    narrowOut.pitch = narrowWantOut.pitch = 4 * std::ptrdiff_t(s.width);
                    oracleKernels.map(narrowedWant.view(), narrowWantOut, tables, values,
                                      oracleCache);
                    frameKernels().map(narrowed.view(), narrowOut, tables, values, cache);
                    ASSERT_EQ(narrowedWant.bytes, narrowed.bytes);
                }
                frameKernels().map(v, viewOf(separate, s.upsideDown), tables, kAnyChannelValues,
                                   cache);
                for (int y = 0; y < s.height; ++y) {
                    ASSERT_EQ(0,
                              std::memcmp(separate.pixel(0, y), expected.pixel(0, y), 4 * s.width));
                    ASSERT_EQ(0, std::memcmp(separate.pixel(s.width, y), guard.pixel(s.width, y),
                                             separate.pitch - 4 * s.width));
                }
            }
}

// Trial n of a frame run test: a frame of the n-th shape and content, and
// settings drawn at random (a gamma every third trial, the overlay where
// `stats` says).
struct Trial {
    Shape shape;
    TestFrame frame;
    FilterSettings settings;
};

// The frame as the video host would hand it over: every fourth byte 0.
void clearFourthBytes(TestFrame& f) {
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) f.pixel(x, y)[3] = 0;
}

Trial trialFrame(int n, std::mt19937& rng, bool stats) {
    const Shape& s = kShapes[n % 10];
    Trial t = {s, TestFrame(s.width, s.height, s.padding), FilterSettings{}};
    paint(t.frame, kContents[n % 8], rng);
    setDefaultSettings(t.settings);
    t.settings.gainPercent = int(rng() % 130);
    t.settings.gamma = n % 3 ? 1.0 : 0.5 + (rng() % 300) * 0.01;
    t.settings.bypassTitles = int(rng() % 2);
    t.settings.showStats = stats;
    return t;
}

TEST_P(Kernels, FrameRunsEqualTheOracle) {
    std::mt19937 rng(5);
    for (int trial = 0; trial < 60; ++trial) {
        Trial t = trialFrame(trial, rng, trial % 7 == 0);
        const Shape& s = t.shape;
        TestFrame& f = t.frame;
        const FilterSettings& settings = t.settings;
        TestFrame expected = f;
        useFrameKernels(&oracleKernels);
        runFrame(settings, viewOf(expected, s.upsideDown), viewOf(expected, s.upsideDown));
        const FrameStats want = sharedFrameState.stats;
        forceKernelPath(GetParam());
        runFrame(settings, viewOf(f, s.upsideDown), viewOf(f, s.upsideDown));
        ASSERT_EQ(f.bytes, expected.bytes) << trial;
        ASSERT_EQ(0, std::memcmp(&want, &sharedFrameState.stats, sizeof want)) << trial;
    }
}

// A kept fourth byte: the frame run on a state of its own gives what the
// video host's run gives on the frame with its fourth bytes cleared, each
// pixel's own fourth byte put back afterwards (the overlay's too), into
// memory of its own and in place.
TEST_P(Kernels, FrameRunsKeepingTheFourthByteEqualTheHostsRunWithItPutBack) {
    std::mt19937 rng(8);
    static MapCache cache;
    FrameState state = {};
    state.mapCache = &cache;
    for (int trial = 0; trial < 70; ++trial) {
        Trial t = trialFrame(trial, rng, trial % 2 == 1);
        const Shape& s = t.shape;
        TestFrame& f = t.frame;
        const FilterSettings& settings = t.settings;
        TestFrame expected = f;
        clearFourthBytes(expected);
        useFrameKernels(&oracleKernels);
        runFrame(settings, viewOf(expected, s.upsideDown), viewOf(expected, s.upsideDown),
                 OverlayPeaks::thisFrame);
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) expected.pixel(x, y)[3] = f.pixel(x, y)[3];
        forceKernelPath(GetParam());

        TestFrame separate(s.width, s.height, s.padding), inPlace = f;
        std::memset(separate.bytes.data(), 0xEE, separate.bytes.size());
        runFrameKeepingFourthByte(state, settings, viewOf(f, s.upsideDown),
                                  viewOf(separate, s.upsideDown));
        for (int y = 0; y < s.height; ++y) {
            ASSERT_EQ(0, std::memcmp(separate.pixel(0, y), expected.pixel(0, y), 4 * s.width))
                << trial;
            for (int i = 4 * s.width; i < separate.pitch; ++i) // the padding untouched
                ASSERT_EQ(separate.pixel(0, y)[i], 0xEE) << trial;
        }
        runFrameKeepingFourthByte(state, settings, viewOf(inPlace, s.upsideDown),
                                  viewOf(inPlace, s.upsideDown));
        ASSERT_EQ(inPlace.bytes, expected.bytes) << trial;
    }
}

// A zeroed fourth byte: the video host's run (shared state, last computed
// peaks, the overlay) on the frame with its fourth bytes cleared, in one
// run on the frame as it is, whatever its fourth bytes hold; flat frames
// fail the gate and are copied with their fourth bytes 0.
TEST_P(Kernels, FrameRunsZeroingTheFourthByteEqualTheHostsRunOnTheClearedFrame) {
    std::mt19937 rng(9);
    for (int trial = 0; trial < 70; ++trial) {
        Trial t = trialFrame(trial, rng, trial % 3 == 1);
        const Shape& s = t.shape;
        TestFrame& f = t.frame;
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) f.pixel(x, y)[3] = std::uint8_t(trial % 2 ? 255 : rng());
        TestFrame expected = f;
        clearFourthBytes(expected);
        useFrameKernels(&oracleKernels);
        runFrame(t.settings, viewOf(expected, s.upsideDown), viewOf(expected, s.upsideDown));
        const FrameStats want = sharedFrameState.stats;
        forceKernelPath(GetParam());
        runFrame(t.settings, viewOf(f, s.upsideDown), viewOf(f, s.upsideDown),
                 OverlayPeaks::lastComputed, FourthByte::zeroed);
        ASSERT_EQ(f.bytes, expected.bytes) << trial;
        ASSERT_EQ(0, std::memcmp(&want, &sharedFrameState.stats, sizeof want)) << trial;
    }
}

// Deep frames: samples of 8 to 16 bits in rows of eight-byte pixels, with
// padding after each row (random, and never to be read into a count nor
// written), viewed upright or upside down (negative pitch).
enum class DeepContent { Noise, Unmasked, Ramp, Flat, Title, VaryingAlpha, RareAlpha, Edges };
const DeepContent kDeepContents[] = {
    DeepContent::Noise, DeepContent::Unmasked,     DeepContent::Ramp,      DeepContent::Flat,
    DeepContent::Title, DeepContent::VaryingAlpha, DeepContent::RareAlpha, DeepContent::Edges};

struct DeepFrame {
    std::int32_t width, height;
    std::ptrdiff_t pitch;
    std::vector<std::uint8_t> bytes;
    DeepFrame(std::int32_t w, std::int32_t h, std::ptrdiff_t padding)
        : width(w), height(h), pitch(8 * w + padding), bytes(std::size_t(pitch) * h) {}
    std::uint16_t* sample(int x, int y, int channelByte) {
        return reinterpret_cast<std::uint16_t*>(&bytes[y * pitch + 8 * x + 2 * channelByte]);
    }
    DeepView view(int bits, bool upsideDown) {
        DeepView v = {reinterpret_cast<DeepPixel*>(bytes.data()), width, height, pitch, bits};
        if (upsideDown) {
            v.data = reinterpret_cast<DeepPixel*>(&bytes[(height - 1) * pitch]);
            v.pitch = -pitch;
        }
        return v;
    }
};

// Samples below 2^bits except in Unmasked, whose high bits the kernels must
// ignore; alpha is any 16-bit value where the fourth sample is kept.
void paintDeep(DeepFrame& f, DeepContent c, int bits, FourthByte fourth, std::mt19937& rng) {
    for (auto& b : f.bytes) b = std::uint8_t(rng());
    const std::uint32_t top = (1u << bits) - 1;
    const std::uint16_t card = std::uint16_t(rng() & top), ink = std::uint16_t(rng() & top);
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) {
            std::uint16_t v[4];
            for (auto& s : v) s = std::uint16_t(rng() & top);
            switch (c) {
            case DeepContent::Noise:
            case DeepContent::VaryingAlpha:
                break;
            case DeepContent::Unmasked:
                for (auto& s : v) s = std::uint16_t(rng());
                break;
            case DeepContent::Ramp: // neighbours equal or a step apart, alpha constant
                for (int b = 0; b < 3; ++b)
                    v[b] =
                        std::uint16_t((x * std::uint64_t(top) / f.width + 3 * b + rng() % 2) & top);
                v[3] = std::uint16_t(top);
                break;
            case DeepContent::Flat:
                v[0] = v[1] = v[2] = card, v[3] = ink;
                break;
            case DeepContent::Title: // runs of card between ink, on some rows only
                v[0] = v[1] = v[2] = (y % 3 == 1 && rng() % 3 == 0) ? ink : card;
                v[3] = 0;
                break;
            case DeepContent::RareAlpha: // one alpha, now and then one bit off
                v[3] = std::uint16_t(rng() % 40 ? 0 : (1u << (rng() % bits)));
                break;
            case DeepContent::Edges: { // two 64-value windows a channel, their edge values
                v[0] = std::uint16_t(63 + rng() % 2);
                v[1] = std::uint16_t(top - 64 + rng() % 2);
                v[2] = std::uint16_t(rng() % 2 ? 63 : top);
                v[3] = std::uint16_t(top - rng() % 2);
                if (rng() % 2) v[rng() % 4] |= std::uint16_t(rng() << bits); // bits above M
                break;
            }
            }
            if (c == DeepContent::VaryingAlpha || c == DeepContent::Flat) {
                v[0] = v[1] = v[2] = card; // runs that only alpha breaks
                if (c == DeepContent::VaryingAlpha) v[3] = std::uint16_t((x / 5) & top);
            }
            if (fourth == FourthByte::kept && c != DeepContent::Flat)
                v[3] = std::uint16_t(rng()); // not picture: any value comes back as it was
            for (int b = 0; b < 4; ++b) *f.sample(x, y, b) = v[b];
        }
}

struct DeepShape {
    int width, height, padding;
    bool upsideDown;
};
const DeepShape kDeepShapes[] = {{1, 1, 0, false},  {3, 2, 8, true},   {17, 3, 0, false},
                                 {33, 4, 24, true}, {64, 2, 8, false}, {1921, 3, 16, true}};

struct DeepHistograms {
    std::uint32_t h[4][65536];
};

// Counts by the straightforward loops into `want` and by the path under
// test into `got`, both cleared and seeded alike (a count adds to what is
// there); whether they agree. `want` is left with the count alone.
template <class Count>
bool countsAgree(Count count, DeepHistograms& want, DeepHistograms& got) {
    std::memset(&want, 0, sizeof want);
    std::memset(&got, 0, sizeof got);
    want.h[kGreen][3] = got.h[kGreen][3] = 9;
    count(oracleKernels, want.h);
    count(frameKernels(), got.h);
    const bool same = std::memcmp(&want, &got, sizeof want) == 0;
    want.h[kGreen][3] -= 9;
    return same;
}

// Tables of random samples of `bits` bits, for the maps.
void randomTables(std::uint16_t (*tables)[65536], int bits, std::mt19937& rng) {
    for (int k = 0; k < 4; ++k)
        for (std::uint32_t i = 0; i < 65536; ++i)
            tables[k][i] = std::uint16_t(rng() & ((1u << bits) - 1));
}

TEST_P(Kernels, DeepCountAndMapEqualTheStraightforwardLoops) {
    std::mt19937 rng(34);
    auto want = std::make_unique<DeepHistograms>(), got = std::make_unique<DeepHistograms>();
    auto tables = std::make_unique<std::uint16_t[][65536]>(4);
    for (int bits : {8, 9, 10, 12, 16})
        for (const DeepShape& s : kDeepShapes)
            for (DeepContent c : kDeepContents)
                for (FourthByte fourth : {FourthByte::channel, FourthByte::kept}) {
                    SCOPED_TRACE(::testing::Message()
                                 << bits << " bits, " << s.width << "x" << s.height << " pad "
                                 << s.padding << " content " << int(c) << " fourth "
                                 << int(fourth));
                    DeepFrame f(s.width, s.height, s.padding);
                    paintDeep(f, c, bits, fourth, rng);
                    const DeepView v = f.view(bits, s.upsideDown);
                    ASSERT_TRUE(countsAgree(
                        [&](const FrameKernels& k, auto h) { k.deepCount(v, h, fourth); }, *want,
                        *got));
                    const DeepChannelValues values = deepChannelValuesOf(
                        want->h, bits, std::uint64_t(s.width) * s.height, fourth);
                    randomTables(tables.get(), bits, rng);
                    DeepFrame expected = f;
                    oracleKernels.deepMap(expected.view(bits, s.upsideDown), tables.get(), values);
                    frameKernels().deepMap(v, tables.get(), values);
                    ASSERT_EQ(expected.bytes, f.bytes); // the padding untouched as well
                }
}

// Frames of more pixels than a 16-bit count holds in one bin, counted pixel
// by pixel (blue noise stops every run) with green on one value, red on two
// and alpha on one or varying: the same histograms as the straightforward
// loops, so no count is lost or wraps on its way.
TEST_P(Kernels, DeepCountsOfManyPixelsInOneBinEqualTheStraightforwardLoops) {
    std::mt19937 rng(5);
    auto want = std::make_unique<DeepHistograms>(), got = std::make_unique<DeepHistograms>();
    const struct {
        int bits, width, height;
        bool varyingAlpha;
    } cases[] = {
        {10, 512, 300, false}, {8, 1021, 150, true}, {9, 640, 260, false}, {12, 512, 300, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.bits << " bits, " << c.width << "x" << c.height);
        DeepFrame f(c.width, c.height, 0);
        const std::uint32_t top = (1u << c.bits) - 1;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                *f.sample(x, y, 0) = std::uint16_t(rng() & top);
                *f.sample(x, y, 1) = std::uint16_t(top / 3);
                *f.sample(x, y, 2) = std::uint16_t(rng() % 2 ? 0 : top);
                *f.sample(x, y, 3) = std::uint16_t(c.varyingAlpha ? x % 3 : top);
            }
        std::memset(want.get(), 0, sizeof *want);
        std::memset(got.get(), 0, sizeof *got);
        oracleKernels.deepCount(f.view(c.bits, false), want->h, FourthByte::channel);
        frameKernels().deepCount(f.view(c.bits, false), got->h, FourthByte::channel);
        ASSERT_EQ(0, std::memcmp(want.get(), got.get(), sizeof *want));
    }
}

// The whole deep run on every path gives the straightforward loops' bytes,
// both fourth-sample modes, with and without a tone curve.
TEST_P(Kernels, DeepFrameRunsEqualTheStraightforwardLoops) {
    std::mt19937 rng(12);
    auto wantState = std::make_unique<DeepState>(), state = std::make_unique<DeepState>();
    int trial = 0;
    for (int bits : {8, 10, 12, 16})
        for (DeepContent c : kDeepContents)
            for (FourthByte fourth : {FourthByte::channel, FourthByte::kept}) {
                if (c == DeepContent::Unmasked && fourth == FourthByte::channel) continue;
                const DeepShape& s = kDeepShapes[++trial % 6];
                SCOPED_TRACE(::testing::Message()
                             << bits << " bits, content " << int(c) << " fourth " << int(fourth));
                FilterSettings settings{};
                setDefaultSettings(settings);
                settings.gamma = trial % 3 ? 1.0 : 0.6;
                settings.bypassTitles = trial % 2;
                DeepFrame f(s.width, s.height, s.padding);
                paintDeep(f, c, bits, fourth, rng);
                DeepFrame expected = f;
                useFrameKernels(&oracleKernels);
                runDeepFrame(settings, expected.view(bits, s.upsideDown), fourth, *wantState);
                forceKernelPath(GetParam());
                runDeepFrame(settings, f.view(bits, s.upsideDown), fourth, *state);
                ASSERT_EQ(expected.bytes, f.bytes);
            }
}

// The same at depth: the channel run on the frame with its alpha samples 0.
TEST_P(Kernels, DeepFrameRunsZeroingTheAlphaEqualTheRunOnTheClearedFrame) {
    std::mt19937 rng(13);
    auto wantState = std::make_unique<DeepState>(), state = std::make_unique<DeepState>();
    int trial = 0;
    for (int bits : {8, 10, 16})
        for (DeepContent c : kDeepContents) {
            if (c == DeepContent::Unmasked) continue;
            const DeepShape& s = kDeepShapes[++trial % 6];
            SCOPED_TRACE(::testing::Message() << bits << " bits, content " << int(c));
            FilterSettings settings{};
            setDefaultSettings(settings);
            settings.gamma = trial % 3 ? 1.0 : 0.6;
            DeepFrame f(s.width, s.height, s.padding);
            paintDeep(f, c, bits, FourthByte::kept, rng); // any alpha
            DeepFrame expected = f;
            for (int y = 0; y < s.height; ++y)
                for (int x = 0; x < s.width; ++x) *expected.sample(x, y, 3) = 0;
            useFrameKernels(&oracleKernels);
            runDeepFrame(settings, expected.view(bits, s.upsideDown), FourthByte::channel, *wantState);
            forceKernelPath(GetParam());
            // The state as a run of a frame with alpha of every value leaves
            // it: no table entry may stay behind from that run.
            DeepFrame before(s.width, s.height, s.padding);
            paintDeep(before, DeepContent::Noise, bits, FourthByte::channel, rng);
            runDeepFrame(settings, before.view(bits, false), FourthByte::channel, *state);
            runDeepFrame(settings, f.view(bits, s.upsideDown), FourthByte::zeroed, *state);
            ASSERT_EQ(expected.bytes, f.bytes);
        }
}

// The description of a deep frame's values: a window is set when any of
// its 64 bins counts a pixel (its first, its last, the frame's top), and a
// kept alpha's histogram says nothing.
TEST(DeepChannelValues, SetTheWindowsOfTheCountedValuesOnly) {
    auto h = std::make_unique<DeepHistograms>();
    const struct {
        int bits;
        std::uint32_t blueBins[3];
        FourthByte fourth;
        std::uint64_t blueWindows[16]; // expected, for blue
        std::int32_t single;
    } cases[] = {
        {10, {0, 0, 0}, FourthByte::channel, {1}, 0},
        {10, {63, 64, 64}, FourthByte::channel, {3}, -1},
        {10, {1023, 1023, 1023}, FourthByte::channel, {std::uint64_t{1} << 15}, 1023},
        {12,
         {127, 128, 4095},
         FourthByte::kept,
         {std::uint64_t{1} << 1 | std::uint64_t{1} << 2 | std::uint64_t{1} << 63},
         -1},
        {16,
         {0, 4096, 65535},
         FourthByte::channel,
         {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, std::uint64_t{1} << 63},
         -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.bits << " bits, bins " << c.blueBins[0] << " "
                                          << c.blueBins[1] << " " << c.blueBins[2]);
        std::memset(h.get(), 0, sizeof *h);
        for (std::uint32_t bin : c.blueBins) ++h->h[kBlue][bin];
        h->h[kGreen][64 * 5 + 17] = 3;
        h->h[kAlpha][0] = 3;
        const DeepChannelValues v = deepChannelValuesOf(h->h, c.bits, 3, c.fourth);
        for (int w = 0; w < 16; ++w) {
            EXPECT_EQ(v.windows[kBlue][w], c.blueWindows[w]) << w;
            EXPECT_EQ(v.windows[kGreen][w], w == 0 ? std::uint64_t{1} << 5 : 0) << w;
            EXPECT_EQ(v.windows[kRed][w], 0u) << w;
            EXPECT_EQ(v.windows[kAlpha][w],
                      w == 0 && c.fourth == FourthByte::channel ? std::uint64_t{1} : 0)
                << w;
        }
        EXPECT_EQ(v.single[kBlue], c.single);
        EXPECT_EQ(v.single[kGreen], 64 * 5 + 17);
    }
}

std::string pathName(const ::testing::TestParamInfo<KernelPath>& p) {
    const std::string name = kernelPathName(p.param);
    return name != "absent" ? name : "absent" + std::to_string(int(p.param));
}

// Auto takes, on every feature set, the path the kernel benchmark measured
// fastest there: the widest vectors the CPU has. A named path runs only where
// its features are all present.
TEST(KernelSelection, AutoTakesTheFastestPathEachFeatureSetRuns) {
    const unsigned sse2 = kCpuSse2, ssse3 = sse2 | kCpuSsse3;
    const unsigned avx2 = ssse3 | kCpuAvx2 | kCpuBmi2 | kCpuPopcnt, avx512 = avx2 | kCpuAvx512;
    const bool x86 = selectKernels(KernelPath::Sse2, avx512) != nullptr;
    const struct {
        unsigned features;
        KernelPath best;
    } cases[] = {
        {0, KernelPath::Portable},
        {sse2, KernelPath::Sse2},
        {ssse3, KernelPath::Ssse3},
        {avx2, KernelPath::Avx2},
        {avx2 & ~kCpuPopcnt, KernelPath::Ssse3}, // the AVX2 count needs popcnt
        {avx512, KernelPath::Avx512},
        {ssse3 | kCpuAvx512, KernelPath::Ssse3}, // AVX-512 builds on AVX2
    };
    for (const auto& c : cases) {
        const KernelPathRow* row = selectKernels(KernelPath::Auto, c.features);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->path, x86 ? c.best : KernelPath::Portable) << c.features;
        EXPECT_EQ(selectKernels(c.best, c.features) != nullptr,
                  x86 || c.best == KernelPath::Portable);
    }
    EXPECT_EQ(selectKernels(KernelPath::Avx2, ssse3), nullptr);
    EXPECT_EQ(&frameKernels(), selectKernels(KernelPath::Auto, cpuFeatures())->kernels());
}

// The same samples as planes, one a channel (channel k is packed sample
// 3 - k), with random padding after each row, upright or upside down, with
// or without the alpha plane.
struct PlaneFrame {
    std::int32_t width, height;
    std::ptrdiff_t stride; // samples
    bool upsideDown;
    std::vector<std::uint16_t> planes[4];
    PlaneFrame(DeepFrame& f, std::ptrdiff_t padding, bool alpha, bool upside, std::mt19937& rng)
        : width(f.width), height(f.height), stride(f.width + padding), upsideDown(upside) {
        for (int k = 0; k < 4; ++k) {
            if (k == kAlpha && !alpha) continue;
            planes[k].resize(std::size_t(stride) * height);
            for (auto& v : planes[k]) v = std::uint16_t(rng());
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) planes[k][y * stride + x] = *f.sample(x, y, 3 - k);
        }
    }
    DeepPlanes view(int bits) {
        DeepPlanes v = {{}, {}, width, height, bits};
        for (int k = 0; k < 4; ++k) {
            if (planes[k].empty()) continue;
            v.plane[k] = planes[k].data() + (upsideDown ? (height - 1) * stride : 0);
            v.stride[k] = std::ptrdiff_t(sizeof(std::uint16_t)) * (upsideDown ? -stride : stride);
        }
        return v;
    }
    // Whether plane k holds packed sample 3 - k of f at every pixel.
    bool holds(DeepFrame& f, int k) const {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (planes[k][y * stride + x] != *f.sample(x, y, 3 - k)) return false;
        return true;
    }
};

TEST_P(Kernels, DeepPlaneCountAndMapEqualTheStraightforwardLoops) {
    std::mt19937 rng(35);
    auto want = std::make_unique<DeepHistograms>(), got = std::make_unique<DeepHistograms>();
    auto packed = std::make_unique<DeepHistograms>();
    auto tables = std::make_unique<std::uint16_t[][65536]>(4);
    int trial = 0;
    for (int bits : {8, 9, 10, 12, 16})
        for (const DeepShape& s : kDeepShapes)
            for (DeepContent c : kDeepContents)
                for (FourthByte fourth : {FourthByte::channel, FourthByte::kept})
                    for (bool alpha : {true, false}) {
                        SCOPED_TRACE(::testing::Message()
                                     << bits << " bits, " << s.width << "x" << s.height
                                     << " content " << int(c) << " fourth " << int(fourth)
                                     << (alpha ? " with" : " without") << " alpha");
                        DeepFrame f(s.width, s.height, s.padding);
                        paintDeep(f, c, bits, fourth, rng);
                        PlaneFrame p(f, ++trial % 3 * 5, alpha, s.upsideDown, rng);
                        const DeepPlanes v = p.view(bits);
                        ASSERT_TRUE(countsAgree(
                            [&](const FrameKernels& k, auto h) { k.deepPlaneCount(v, h, fourth); },
                            *want, *got));
                        // The layouts agree: the packed count of the same pixels.
                        std::memset(packed.get(), 0, sizeof *packed);
                        oracleKernels.deepCount(f.view(bits, false), packed->h,
                                                alpha ? fourth : FourthByte::kept);
                        ASSERT_EQ(0, std::memcmp(want.get(), packed.get(), sizeof *want));

                        const DeepChannelValues values = deepChannelValuesOf(
                            want->h, bits, std::uint64_t(s.width) * s.height, fourth);
                        randomTables(tables.get(), bits, rng);
                        PlaneFrame expected = p;
                        oracleKernels.deepPlaneMap(expected.view(bits), tables.get(), values);
                        frameKernels().deepPlaneMap(v, tables.get(), values);
                        for (int k = 0; k < 4; ++k)
                            ASSERT_EQ(expected.planes[k], p.planes[k]) << "plane " << k; // padding too
                    }
}

// The settings the planar run is checked under: defaults, weakened, a
// threshold above the contrast, bypass titles, both curves.
struct RunSettings {
    std::int32_t gain, threshold;
    double gamma;
    std::int32_t sCurve, bypass;
};
const RunSettings kRunSettings[] = {{100, 10, 1.0, 0, 0}, {60, 10, 1.0, 0, 0},
                                    {100, 200, 1.0, 0, 0}, {100, 10, 1.0, 0, 1},
                                    {80, 30, 2.2, 0, 1},   {100, 10, 0.45, 1, 0}};

// The planar run on every path gives the packed run's samples on the same
// pixels (the straightforward loops'), at every depth from 9 to 16, every
// fourth-sample mode, with and without the alpha plane.
TEST_P(Kernels, DeepPlaneRunsEqualThePackedRun) {
    std::mt19937 rng(36);
    auto wantState = std::make_unique<DeepState>(), state = std::make_unique<DeepState>();
    int trial = 0;
    for (int bits = 9; bits <= 16; ++bits)
        for (const RunSettings& r : kRunSettings)
            for (FourthByte fourth : {FourthByte::channel, FourthByte::kept, FourthByte::zeroed})
                for (bool alpha : {true, false}) {
                    ++trial;
                    const DeepShape& s = kDeepShapes[1 + trial % 5];
                    const DeepContent c = kDeepContents[trial % 8];
                    if (c == DeepContent::Unmasked) continue; // the packed run's alpha must fit
                    SCOPED_TRACE(::testing::Message() << bits << " bits, settings " << r.gain << " "
                                 << r.threshold << " " << r.gamma << " " << r.sCurve << " "
                                 << r.bypass << ", content " << int(c) << " fourth " << int(fourth)
                                 << (alpha ? " with" : " without") << " alpha");
                    FilterSettings settings{};
                    setDefaultSettings(settings);
                    settings.gainPercent = r.gain, settings.threshold = r.threshold;
                    settings.gamma = r.gamma, settings.sCurve = r.sCurve;
                    settings.bypassTitles = r.bypass;
                    DeepFrame f(s.width, s.height, s.padding);
                    paintDeep(f, c, bits, fourth == FourthByte::channel ? fourth : FourthByte::kept,
                              rng);
                    PlaneFrame p(f, trial % 4, alpha, s.upsideDown, rng);
                    const PlaneFrame original = p;
                    useFrameKernels(&oracleKernels);
                    runDeepFrame(settings, f.view(bits, s.upsideDown),
                                 alpha ? fourth : FourthByte::kept, *wantState);
                    forceKernelPath(GetParam());
                    runDeepPlanes(settings, p.view(bits), fourth, *state);
                    for (int k : {kRed, kGreen, kBlue}) ASSERT_TRUE(p.holds(f, k)) << "plane " << k;
                    if (alpha) {
                        ASSERT_TRUE(p.holds(f, kAlpha));
                    }
                    for (int k = 0; k < 4; ++k) // the padding untouched
                        for (std::size_t i = 0; i < p.planes[k].size(); ++i) {
                            if (i % p.stride >= std::size_t(p.width)) {
                                ASSERT_EQ(original.planes[k][i], p.planes[k][i]);
                            }
                        }
                }
}

INSTANTIATE_TEST_SUITE_P(EveryPath, Kernels,
                         ::testing::Values(KernelPath::Portable, KernelPath::Sse2,
                                           KernelPath::Ssse3, KernelPath::Avx2, KernelPath::Avx512),
                         pathName);

} // namespace
