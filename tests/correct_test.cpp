#include <gtest/gtest.h>

#include <cmath>

#include "correct.h"
#include "frame_run.h"
#include "frame_stats.h"
#include "measure.h"
#include "test_frames.h"
#include "tone.h"

namespace {

constexpr std::uint32_t kMinus1 = 0xFFFFFFFFu;

FilterSettings defaults() {
    FilterSettings s{};
    setDefaultSettings(s);
    return s;
}

// Sets the clip points as a measurement would have left them and corrects
// a ramp, so that sharedFrameState.channelTable and the mapped ramp can be checked.
void correctWithClips(const FilterSettings& s, std::initializer_list<std::uint32_t> lowAndHigh) {
    TestFrame ramp = rampFrame();
    measureChannels(sharedFrameState.stats, ramp.view(),
                    FourthByte::channel); // the histograms the map is told the values by
    auto v = lowAndHigh.begin();
    for (int k = 0; k < 4; ++k) {
        sharedFrameState.stats.lowClip[k] = *v++;
        sharedFrameState.stats.highClip[k] = *v++;
    }
    correctFrame(sharedFrameState, s, ramp.view(), ramp.view(), FourthByte::channel);
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(ramp.pixel(i, 0)[3 - k], sharedFrameState.channelTable[k][i])
                << "mapping of " << k << "," << i;
}

struct Entry {
    int channel, input, output;
};

void expectEntries(std::initializer_list<Entry> entries) {
    for (auto e : entries)
        EXPECT_EQ(sharedFrameState.channelTable[e.channel][e.input], e.output)
            << "channel " << e.channel << " input " << e.input;
}

void expectClips(std::initializer_list<std::uint32_t> lowAndHigh) {
    auto v = lowAndHigh.begin();
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(sharedFrameState.stats.lowClip[k], *v++) << "low " << k;
        EXPECT_EQ(sharedFrameState.stats.highClip[k], *v++) << "high " << k;
    }
}

TEST(CorrectFrame, OrdinaryFrameStretchesHalfwayValuesUpward) {
    correctWithClips(defaults(), {1, kMinus1, 16, 236, 16, 236, 16, 236});
    EXPECT_EQ(sharedFrameState.stats.w_min, 220);
    for (int k : {kRed, kGreen, kBlue})
        expectEntries({{k, 0, 0},
                       {k, 16, 0},
                       {k, 17, 1},
                       {k, 125, 126},
                       {k, 126, 128},
                       {k, 235, 254},
                       {k, 236, 255},
                       {k, 255, 255}});
    for (int i = 0; i < 256; ++i) EXPECT_EQ(sharedFrameState.channelTable[kAlpha][i], 0);

    FilterSettings s = defaults();
    s.gamma = 2.0;
    correctWithClips(s, {1, kMinus1, 16, 236, 16, 236, 16, 236});
    for (int k : {kRed, kGreen, kBlue})
        expectEntries({{k, 17, 16}, {k, 126, 181}, {k, 235, 254}, {k, 236, 255}});
}

TEST(CorrectFrame, GainPullsClipPointsBack) {
    FilterSettings s = defaults();
    s.gainPercent = 50;
    correctWithClips(s, {1, kMinus1, 20, 200, 20, 200, 20, 200});
    expectClips({0, 127, 10, 228, 10, 228, 10, 228});
    EXPECT_EQ(sharedFrameState.stats.w_min, 218);
    expectEntries(
        {{kRed, 10, 0}, {kRed, 11, 1}, {kRed, 119, 128}, {kRed, 228, 255}, {kRed, 255, 255}});

    s.gainPercent = 0; // no stretch at all: identity, or the tone curve alone
    correctWithClips(s, {1, kMinus1, 20, 200, 30, 90, 0, 254});
    expectClips({0, 255, 0, 255, 0, 255, 0, 255});
    EXPECT_EQ(sharedFrameState.stats.w_min, 255);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(sharedFrameState.channelTable[kGreen][i], i);
    s.gamma = 2.0;
    correctWithClips(s, {1, kMinus1, 20, 200, 30, 90, 0, 254});
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(sharedFrameState.channelTable[kAlpha][i], sharedFrameState.toneTable[i]);

    s.gamma = 1.0; // above 100 acts as 100
    s.gainPercent = 150;
    correctWithClips(s, {1, kMinus1, 20, 200, 20, 200, 20, 200});
    expectClips({1, kMinus1, 20, 200, 20, 200, 20, 200});
}

TEST(CorrectFrame, ThresholdScalesDistancesToTheEnds) {
    correctWithClips(defaults(), {1, kMinus1, 100, 104, 10, 240, 20, 230});
    expectClips({0, 153, 40, 195, 4, 249, 8, 245});
    EXPECT_EQ(sharedFrameState.stats.w_min, 4);
    expectEntries({{kRed, 0, 0},
                   {kRed, 40, 0},
                   {kRed, 41, 2},
                   {kRed, 100, 99},
                   {kRed, 104, 105},
                   {kRed, 118, 128},
                   {kRed, 195, 255},
                   {kRed, 255, 255}});

    FilterSettings s = defaults();
    s.threshold = 0; // never triggers; a zero range gives the zero table
    correctWithClips(s, {1, kMinus1, 100, 100, 10, 240, 20, 230});
    EXPECT_EQ(sharedFrameState.stats.w_min, 0);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(sharedFrameState.channelTable[kRed][i], 0);
}

TEST(CorrectFrame, GateCopiesFramesThatCannotBeStretched) {
    struct {
        std::uint8_t b, g, r, a;
    } colours[] = {{128, 128, 128, 0}, {10, 200, 30, 1}, {0, 255, 90, 255}, {0, 0, 0, 17}};
    for (auto c : colours) {
        TestFrame f(7, 5, 12);
        std::mt19937 rng(c.a);
        f.randomize(rng);
        f.fill(c.b, c.g, c.r, c.a);
        const auto before = f.bytes;
        TestFrame out(7, 5, 12);
        FilterSettings s = defaults();
        measureChannels(sharedFrameState.stats, f.view(), FourthByte::channel);
        correctFrame(sharedFrameState, s, f.view(), out.view(), FourthByte::channel);
        for (int y = 0; y < 5; ++y)
            EXPECT_EQ(0, std::memcmp(out.pixel(0, y), f.pixel(0, y), 28)) << int(c.a);
        runFrame(s, f.view(), f.view());
        EXPECT_EQ(f.bytes, before);
        EXPECT_EQ(sharedFrameState.stats.w_min, 256);
    }
}

TEST(CorrectFrame, AllZeroFrame) {
    FilterSettings s = defaults();
    for (int bypass : {0, 1}) {
        s.bypassTitles = bypass;
        TestFrame f(16, 16);
        runFrame(s, f.view(), f.view());
        EXPECT_EQ(sharedFrameState.stats.w_min, bypass ? 255 : 256);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(sharedFrameState.channelTable[kRed][i], bypass ? i : 0);
        for (auto b : f.bytes) ASSERT_EQ(b, 0);
    }
    EXPECT_EQ(sharedFrameState.stats.redPeak, 256u);
}

// Clip points of 100/155 make the effective gain visible as the new low clip point.
std::uint32_t effectiveGain(std::int32_t gainPercent, int redPeak, int greenPeak, int bluePeak) {
    FilterSettings s = defaults();
    s.gainPercent = gainPercent;
    s.bypassTitles = 1;
    const int peaks[4] = {0, redPeak, greenPeak, bluePeak};
    for (int k = 1; k < 4; ++k) {
        // N = 256: the share is the count of bin 37; the rest, one to a bin.
        for (int i = 0, rest = 256 - peaks[k]; i < 256; ++i)
            sharedFrameState.stats.histogram[k][i] = i == 37 ? std::uint32_t(peaks[k]) : rest-- > 0;
        sharedFrameState.stats.lowClip[k] = 100;
        sharedFrameState.stats.highClip[k] = 155;
    }
    sharedFrameState.stats.lowClip[0] = 100;
    sharedFrameState.stats.highClip[0] = 155;
    TestFrame f(16, 16);
    correctFrame(sharedFrameState, s, f.view(), f.view(), FourthByte::channel);
    EXPECT_EQ(sharedFrameState.stats.redPeak, std::uint32_t(redPeak));
    return sharedFrameState.stats.lowClip[kRed];
}

TEST(CorrectFrame, BypassTitlesWeakensTheGainByPeakShares) {
    struct {
        int gain, r, g, b;
        std::uint32_t expected;
    } cases[] = {{100, 128, 64, 32, 71},
                 {50, 128, 64, 32, 35},
                 {100, 200, 100, 50, 54},
                 {100, 256, 256, 256, 0},
                 {100, 129, 129, 129, 49}};
    for (auto c : cases)
        EXPECT_EQ(effectiveGain(c.gain, c.r, c.g, c.b), c.expected) << c.gain << " " << c.r;
}

TEST(CorrectFrame, EvenFrameStillLosesOnePercent) {
    TestFrame f(256, 1);
    for (int x = 0; x < 256; ++x) f.set(x, 0, std::uint8_t(x), std::uint8_t(x), std::uint8_t(x), 0);
    FilterSettings s = defaults();
    s.bypassTitles = 1;
    measureChannels(sharedFrameState.stats, f.view(), FourthByte::channel);
    sharedFrameState.stats.lowClip[kRed] = 100;
    sharedFrameState.stats.highClip[kRed] = 155;
    correctFrame(sharedFrameState, s, f.view(), f.view(), FourthByte::channel);
    EXPECT_EQ(sharedFrameState.stats.redPeak, 1u);
    EXPECT_EQ(sharedFrameState.stats.lowClip[kRed], 99u);
}

TEST(CorrectFrame, PeakSharesOfHugeFramesUse64Bits) {
    // 8192 x 4096 pixels from one row read 4096 times (pitch 0): 3/4 of the
    // red values are 201, a share of 192; 32-bit products would overflow.
    TestFrame row(8192, 1);
    for (int x = 0; x < 8192; ++x)
        row.set(x, 0, std::uint8_t(x), std::uint8_t(x), x % 4 ? 201 : x & 0xFF, 0);
    TestFrame out(8192, 1);
    FrameView in = row.view(), o = out.view();
    in.height = o.height = 4096;
    in.pitch = o.pitch = 0;
    FilterSettings s = defaults();
    s.bypassTitles = 1;
    measureChannels(sharedFrameState.stats, in, FourthByte::channel);
    correctFrame(sharedFrameState, s, in, o, FourthByte::channel);
    EXPECT_EQ(sharedFrameState.stats.redPeak, 192u);
    EXPECT_EQ(sharedFrameState.stats.greenPeak, 1u);
}

TEST(CorrectFrame, PeakIndexPrefersTheLowestIndex) {
    std::uint32_t h[256] = {};
    EXPECT_EQ(peakIndex(h), 0);
    h[7] = h[200] = 9;
    h[100] = 8;
    EXPECT_EQ(peakIndex(h), 7);
    h[255] = 0xFFFFFFFFu;
    EXPECT_EQ(peakIndex(h), 255);
}

TEST(CorrectFrame, GammaBandOfNoToneStep) {
    struct {
        double gamma;
        bool bends;
    } cases[] = {{0.999, false},
                 {1.001, false},
                 {1.0, false},
                 {std::nextafter(0.999, 0.0), true},
                 {std::nextafter(1.001, 2.0), true}};
    for (auto c : cases) {
        FilterSettings s = defaults();
        s.gamma = c.gamma;
        s.sCurve = 1;
        buildToneTable(sharedFrameState.toneTable, 0.5,
                       0); // a tone step rebuilds it near the identity
        correctWithClips(s, {0, 255, 0, 255, 0, 255, 0, 255});
        EXPECT_EQ(sharedFrameState.toneTable[64] != 16, c.bends) << c.gamma;
        if (!c.bends) {
            EXPECT_EQ(sharedFrameState.channelTable[kRed][64], 64);
        }
    }
}

// Settings only a saved script can store, on random frames with padding:
// no fault, no undefined behaviour (the sanitizer build checks), bytes only.
TEST(CorrectFrame, ScriptOnlyValuesStayDefined) {
    struct {
        std::int32_t gain, threshold;
        double gamma;
        std::int32_t sCurve, bypass;
    } cases[] = {{-5, 10, 1.0, 0, 1},        {-2147483647 - 1, -5, -1.0, 7, 9},
                 {2147483647, 0, 0.0, 0, 1}, {100, 2147483647, -0.01, 1, 0},
                 {-100, 300, 1e-300, -1, 1}, {0, -2147483647 - 1, 1e300, 0, -3}};
    std::mt19937 rng(3);
    for (auto c : cases) {
        FilterSettings s = defaults();
        s.gainPercent = c.gain, s.threshold = c.threshold, s.gamma = c.gamma;
        s.sCurve = c.sCurve, s.bypassTitles = c.bypass;
        TestFrame f(33, 9, 8);
        f.randomize(rng);
        const auto padding = f.bytes[33 * 4];
        runFrame(s, f.view(), f.view());
        EXPECT_EQ(f.bytes[33 * 4], padding);
    }
    buildToneTable(sharedFrameState.toneTable, -1.0, 0); // infinite powers clamp to the top
    EXPECT_EQ(sharedFrameState.toneTable[0], 255);
    EXPECT_EQ(sharedFrameState.toneTable[100], 255);
    buildToneTable(sharedFrameState.toneTable, 0.0,
                   0); // exponent infinite: every power of i/256 is 0
    EXPECT_EQ(sharedFrameState.toneTable[255], 0);
}

TEST(RunFrame, InPlaceEqualsSeparateOutput) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 40; ++trial) {
        const int w = 1 + int(rng() % 70), h = 1 + int(rng() % 40), pad = int(rng() % 3) * 4;
        FilterSettings s = defaults();
        s.gainPercent = int(rng() % 120);
        s.threshold = int(rng() % 300);
        s.gamma = (trial % 3) ? 1.0 : 0.2 + (rng() % 480) * 0.01;
        s.sCurve = int(rng() % 2);
        s.bypassTitles = int(rng() % 2);
        TestFrame a(w, h, pad);
        a.randomize(rng);
        for (int y = 0; y < h; ++y) // narrow the content so the gate mostly passes
            for (int x = 0; x < w; ++x) a.pixel(x, y)[3] = a.pixel(x, y)[0] / 3;
        TestFrame b = a, out(w, h, pad + 4);
        runFrame(s, a.view(), a.view());
        measureChannels(sharedFrameState.stats, b.view(), FourthByte::channel);
        correctFrame(sharedFrameState, s, b.view(), out.view(), FourthByte::channel);
        for (int y = 0; y < h; ++y)
            ASSERT_EQ(0, std::memcmp(a.pixel(0, y), out.pixel(0, y), std::size_t(w) * 4));
    }
}

TEST(RunFrame, EmptyFrameTouchesNothing) {
    measureChannels(sharedFrameState.stats, rampFrame().view(), FourthByte::channel);
    const FrameStats before = sharedFrameState.stats;
    FilterSettings s = defaults();
    s.showStats = 1;
    runFrame(s, FrameView{nullptr, 0, 480, 2560}, FrameView{nullptr, 0, 480, 2560});
    runFrame(s, FrameView{nullptr, 640, 0, 2560}, FrameView{nullptr, 640, 0, 2560});
    EXPECT_EQ(0, std::memcmp(&before, &sharedFrameState.stats, sizeof before));
}

} // namespace
