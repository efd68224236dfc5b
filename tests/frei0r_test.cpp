// The frei0r plug-in's own code, its entry points called directly (so the
// sanitized build checks it too): the parameter mapping for every value the
// dialog can set, frames against the core's result, and instances on
// several threads at once.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

#include <dlfcn.h>
#include <vector>

#include "bands.h"
#include "frame_layout.h"
#include "layout_probe.h"
#include "frei0r_api.h"
#include "frei0r_reference.h"
#include "params.h"

namespace {

// A number outside frei0r's 0..1 is named once, with what it reads as and,
// where it is a value of the setting itself, the value in 0..1 that means it.
TEST(Frei0rParams, ValuesOutsideTheUnitRangeAreNamedWithWhatTheyMeant) {
    const struct {
        int index;
        double value;
        const char* message; // "" for none
    } cases[] = {
        {kParamGamma, 1.4, "velmor: gamma 1.4 is outside 0..1, the range of every frei0r "
                           "parameter, and reads as 5.00; for gamma 1.40 give 0.25\n"},
        {kParamGain, 70, "velmor: gain 70 is outside 0..1, the range of every frei0r parameter, "
                         "and reads as 100; for gain 70 give 0.7\n"},
        {kParamThreshold, 20, "velmor: threshold 20 is outside 0..1, the range of every frei0r "
                              "parameter, and reads as 255; for threshold 20 give 0.0784\n"},
        {kParamThreshold, 300, "velmor: threshold 300 is outside 0..1, the range of every frei0r "
                               "parameter, and reads as 255\n"},
        {kParamGain, -1, "velmor: gain -1 is outside 0..1, the range of every frei0r parameter, "
                         "and reads as 0\n"},
        {kParamGain, NAN, "velmor: gain nan is outside 0..1, the range of every frei0r "
                          "parameter, and reads as 0\n"},
        {kParamPictureWidth, 2, "velmor: picture width 2 is outside 0..1, the range of every "
                                "frei0r parameter, and reads as 1\n"},
        {kParamSmoothing, 12, "velmor: smoothing 12 is outside 0..1, the range of every frei0r "
                              "parameter, and reads as 100 frames; for 12 frames give 0.12\n"},
        {kParamSmoothing, 1.4, "velmor: smoothing 1.4 is outside 0..1, the range of every frei0r "
                               "parameter, and reads as 100 frames; for 1 frame give 0.01\n"},
        {kParamGain, 1, ""},
        {kParamGamma, 0, ""},
        {kParamSCurve, 2, ""},     // a switch: 0.5 and above is on
        {kParamStatistics, 5, ""}, // likewise
    };
    for (const auto& c : cases)
        EXPECT_EQ(outOfRangeMessage(c.index, c.value), c.message) << c.index << " " << c.value;
}

// A caller padding width W to a multiple of 16 gives W / padded, exactly or
// printed with six decimals; the settings' own values are the table's.
TEST(Frei0rParams, PaddedWidthMapsExactlyAndSettingsComeFromTheTable) {
    char text[64];
    for (int w = 1; w <= 8192; ++w) {
        const int padded = (w + 15) / 16 * 16;
        std::snprintf(text, sizeof text, "%.6f", double(w) / padded);
        ASSERT_EQ(unitToSteps(double(w) / padded, padded), w);
        ASSERT_EQ(unitToSteps(std::strtod(text, nullptr), padded), w) << text;
    }
    for (int k = 0; k < kSettingCount; ++k) {
        const Frei0rParamInfo& p = frei0rParam(kParamFirstSetting + k);
        EXPECT_STREQ(p.name, kSettingTable[k].name);
        EXPECT_EQ(settingFromUnit(SettingIndex(k), p.defaultValue), kSettingTable[k].defaultValue);
    }
}

// Washed-out random pixels (values 40..199) with every alpha byte, opaque
// rows among them.
std::vector<std::uint8_t> washedOut(int width, int height, int frames, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(std::size_t(width) * height * 4 * frames);
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = i % 4 == 3 ? std::uint8_t(i / 4 / width % 3 == 0 ? 255 : rng())
                          : std::uint8_t(40 + rng() % 160);
    return v;
}

struct Params {
    double gain = 1.0, threshold = 10 / 255.0, gamma = 80 / 480.0;
    double sCurve = 0, bypass = 0, stats = 0, pictureWidth = 1.0;
    const char* config = "";
    double gammaValue = 0; // "gamma value": unset
    double smoothing = 0;  // off
};

f0r_instance_t makeInstance(int width, int height, const Params& p) {
    f0r_instance_t in = f0r_construct(width, height);
    const double values[] = {0, p.gain, p.threshold, p.gamma, p.sCurve,
                             p.bypass, p.stats, p.pictureWidth, p.gammaValue, p.smoothing};
    static_assert(sizeof values / sizeof *values == kParamCount, "every parameter");
    for (int i = kParamGain; i < kParamCount; ++i)
        f0r_set_param_value(in, const_cast<double*>(&values[i]), i);
    f0r_param_string config = const_cast<char*>(p.config);
    f0r_set_param_value(in, &config, kParamConfig);
    return in;
}

std::vector<std::uint8_t> runFrames(f0r_instance_t in, int width, int height,
                                    const std::vector<std::uint8_t>& frames, bool inPlace) {
    const std::size_t frameBytes = std::size_t(width) * height * 4;
    std::vector<std::uint32_t> a(frameBytes / 4), b(frameBytes / 4);
    std::vector<std::uint8_t> out(frames.size());
    for (std::size_t f = 0; f < frames.size(); f += frameBytes) {
        std::memcpy(a.data(), &frames[f], frameBytes);
        f0r_update(in, 0.04 * f, a.data(), inPlace ? a.data() : b.data());
        std::memcpy(&out[f], inPlace ? a.data() : b.data(), frameBytes);
    }
    return out;
}

TEST(Frei0rFrames, EqualTheCoresResultOnTheHostsFrames) {
    const struct Case {
        const char* name;
        int width, height, pictureWidth;
        Params params;
        FilterSettings expected;
        bool inPlace;
    } cases[] = {
        {"defaults", 64, 81, 64, {}, referenceSettings(100, 10, 1.0, 0, 0, false), false},
        {"numbers and S-curve, in place", 37, 5, 37,
         {0.8, 20 / 255.0, 130 / 480.0, 1, 1, 0, 1.0, ""},
         referenceSettings(80, 20, 1.5, 1, 1, false), true},
        {"overlay, bottom-up rows", 480, 97, 480, {1.0, 10 / 255.0, 80 / 480.0, 0, 0, 1, 1.0, ""},
         referenceSettings(100, 10, 1.0, 0, 0, true), false},
        {"script line wins over the numbers", 50, 40, 50,
         {0.3, 0.9, 0.9, 0, 0, 1, 1.0, " Config(150, -5, 29, 7, 1);"},
         referenceSettings(150, -5, 29 * 0.01, 7, 1, true), false},
        {"a line that does not parse leaves the numbers", 50, 40, 50,
         {0.3, 0.0, 0.5, 0, 0, 0, 1.0, "Config(1, 2, 3)"},
         referenceSettings(30, 0, 2.6, 0, 0, false), false},
        {"gamma value replaces the gamma", 50, 40, 50,
         {0.8, 20 / 255.0, 0.9, 0, 0, 0, 1.0, "", 0.246},
         referenceSettings(80, 20, 1.23, 0, 0, false), false},
        {"gamma value below 0.20 gives 0.20", 50, 40, 50,
         {1.0, 10 / 255.0, 0.9, 1, 0, 0, 1.0, "", 0.001},
         referenceSettings(100, 10, 0.2, 1, 0, false), false},
        {"641 columns of rows padded to 656", 656, 90, 641,
         {1.0, 10 / 255.0, 80 / 480.0, 0, 0, 1, 641 / 656.0, ""},
         referenceSettings(100, 10, 1.0, 0, 0, true), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto frames = washedOut(c.width, c.height, 3, c.width);
        f0r_instance_t in = makeInstance(c.width, c.height, c.params);
        const auto got = runFrames(in, c.width, c.height, frames, c.inPlace);
        f0r_destruct(in);
        EXPECT_TRUE(got == referenceFrames(c.expected, frames, c.width, c.height, c.pictureWidth));
        EXPECT_TRUE(got != frames); // the correction did something
    }
}

TEST(Frei0rFrames, KeepTheParametersAsSetAndCopyTheScriptLine) {
    f0r_instance_t in = makeInstance(8, 8, {0.25, 0.5, 0.75, 1, 0, 1, 0.5, "", 0.3, 0.12});
    char line[] = "Config(100, 10, 120, 1, 0)";
    f0r_param_string p = line;
    f0r_set_param_value(in, &p, kParamConfig);
    line[0] = 'X'; // the caller's text is the caller's
    f0r_param_string back = nullptr;
    f0r_get_param_value(in, &back, kParamConfig);
    EXPECT_STREQ(back, "Config(100, 10, 120, 1, 0)");
    const double expected[] = {0, 0.25, 0.5, 0.75, 1, 0, 1, 0.5, 0.3, 0.12};
    for (int i = kParamGain; i < kParamCount; ++i) {
        double v = -1;
        f0r_get_param_value(in, &v, i);
        EXPECT_EQ(v, expected[i]) << i;
    }
    f0r_destruct(in);
}

TEST(Frei0rFrames, InstancesOnSeveralThreadsGiveTheSerialResult) {
    const int width = 96, height = 60, threads = 4;
    std::vector<std::vector<std::uint8_t>> frames, serial(threads), parallel(threads);
    std::vector<Params> params;
    for (int t = 0; t < threads; ++t) {
        frames.push_back(washedOut(width, height, 40, 100 + t));
        params.push_back({1.0 - 0.2 * t, t / 255.0, t / 10.0, double(t & 1), 0, 1.0, 1.0, ""});
    }
    auto work = [&](int t, std::vector<std::uint8_t>& out) {
        f0r_instance_t in = makeInstance(width, height, params[t]);
        out = runFrames(in, width, height, frames[t], false);
        f0r_destruct(in);
    };
    for (int t = 0; t < threads; ++t) work(t, serial[t]);
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) pool.emplace_back(work, t, std::ref(parallel[t]));
    for (auto& th : pool) th.join();
    for (int t = 0; t < threads; ++t) EXPECT_TRUE(parallel[t] == serial[t]) << t;
}

// Row pitch from what the probe of the caller's library saw: its own
// pitch when it lays out both frames itself, else only multiples of 64
// (packed under every alignment), any other width refused with the
// command that works and what was seen; hosts other than ffmpeg pack.
// MLT's bands of one frame against whole frames: a frame is 1000 bytes,
// the last call was at t = 1 with input 0x10000 and output 0x40000.
TEST(Frei0rBands, OnlyTheSameTimeAndWholeFramesApartOnBothSidesAreBands) {
    const LastCall last = {true, 1.0, 0x10000, 0x40000};
    const struct {
        const char* what;
        bool seen;
        double time;
        std::uintptr_t input, output;
        bool band;
    } cases[] = {
        {"the next band", true, 1.0, 0x10000 + 1000, 0x40000 + 1000, true},
        {"a band before", true, 1.0, 0x10000 - 3000, 0x40000 - 3000, true},
        {"255 frames on", true, 1.0, 0x10000 + 255000, 0x40000 + 255000, true},
        {"256 frames on", true, 1.0, 0x10000 + 256000, 0x40000 + 256000, false},
        {"another time", true, 2.0, 0x10000 + 1000, 0x40000 + 1000, false},
        {"the same frame again", true, 1.0, 0x10000, 0x40000, false},
        {"no call before", false, 1.0, 0x10000 + 1000, 0x40000 + 1000, false},
        {"sides moved apart", true, 1.0, 0x10000 + 1000, 0x40000 + 2000, false},
        {"part of a frame", true, 1.0, 0x10000 + 500, 0x40000 + 500, false},
    };
    for (const auto& c : cases) {
        LastCall l = last;
        l.seen = c.seen;
        EXPECT_EQ(isBandOfSameFrame(l, c.time, c.input, c.output, 1000), c.band) << c.what;
    }
}

TEST(Frei0rRows, PitchFromWhatTheLibraryShowed) {
    const char* asLeft = "hands the plug-in the input's rows as the filter before it left them";
    const struct Case {
        std::int64_t seenPitch; // bytes; 0: no layout seen
        std::int32_t width;
        std::int64_t pitch; // bytes; 0: refused
    } cases[] = {
        {2564, 641, 2564},  // packed rows (ffmpeg after 5.1)
        {3456, 854, 3456},  // 16-pixel rows (ffmpeg 5.1)
        {64, 3, 64},        {12, 3, 12},
        {2560, 640, 2560},  {0, 1920, 7680}, // no layout: a multiple of 64 is packed anyway
        {0, 656, 0},        {0, 854, 0},
        {2560, 641, 0},     // narrower than the picture: no layout
    };
    for (const Case& c : cases) {
        const RowLayout layout = rowLayoutFrom({c.seenPitch, c.seenPitch ? "" : asLeft}, c.width);
        EXPECT_EQ(layout.pitchBytes, c.pitch) << c.width << " " << c.seenPitch;
        EXPECT_EQ(layout.refusal.empty(), c.pitch != 0);
    }
    EXPECT_EQ(rowLayoutFor({Frei0rHost::other, 0, nullptr}, 641).pitchBytes, 641 * 4);
    EXPECT_EQ(rowLayoutFor({Frei0rHost::mlt, 0, nullptr}, 3).pitchBytes, 12);
    const std::string why = rowLayoutFrom({0, asLeft}, 656).refusal;
    EXPECT_NE(why.find("pad=704:ih,frei0r=velmor:|1|0.0392|0.1667|n|n|n|0.931818,crop=656:ih"),
              std::string::npos)
        << why;
    EXPECT_NE(why.find(asLeft), std::string::npos) << why;
}

// The bytes a probe instance keeps of probe frame `frame` laid out at
// `pitch`: its first width * 4 * height bytes, the padding between rows
// holding `stale` (a pool frame's earlier contents, or zeros).
std::vector<std::uint8_t> probeBytes(int frame, std::int32_t width, std::int64_t pitch,
                                     const std::vector<std::uint8_t>& stale) {
    const std::int32_t height = probeHeight(width);
    std::vector<std::uint8_t> bytes(std::size_t(width) * 4 * height);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::int64_t r = std::int64_t(i) / pitch, x = std::int64_t(i) % pitch / 4;
        if (x < width) {
            const std::uint32_t v = probePixel(frame, std::int32_t(r), std::int32_t(x));
            bytes[i] = std::uint8_t(v >> (8 * (i % 4)));
        } else {
            bytes[i] = stale.empty() ? 0 : stale[i % stale.size()];
        }
    }
    return bytes;
}

// The input's pitch is found wherever the host put the rows, up to 256
// pixels of padding, also with the padding holding the other probe frame's
// numbers; rows that are not the probe's give none.
TEST(Frei0rRows, ProbeFindsTheInputRows) {
    const struct Case {
        int frame;
        std::int32_t width;
        std::int64_t pitch;   // where the host put the rows
        int staleFrame;       // -1: zeros between the rows
        std::int64_t found;   // 0: none
    } cases[] = {
        {0, 1, 4, -1, 4},          {0, 1, 64, -1, 64},        {1, 1, 1028, 0, 1028},
        {0, 3, 12, -1, 12},        {0, 3, 64, -1, 64},        {1, 3, 64, 0, 64},
        {0, 853, 3412, -1, 3412},  {0, 853, 3456, -1, 3456},  {1, 853, 3476, 0, 3476},
        {1, 854, 3456, 1, 3456},   {0, 641, 2624, -1, 2624},  {0, 2, 8 + 1100, -1, 0},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> stale;
        if (c.staleFrame >= 0) stale = probeBytes(c.staleFrame, c.width, c.width * 4, {});
        const auto bytes = probeBytes(c.frame, c.width, c.pitch, stale);
        EXPECT_EQ(probeRowPitch(bytes, c.frame, c.width, probeHeight(c.width)), c.found)
            << c.width << " " << c.pitch;
        // The other frame's numbers are not this frame's rows.
        EXPECT_EQ(probeRowPitch(bytes, 1 - c.frame, c.width, probeHeight(c.width)), 0);
    }
    for (std::int32_t w : {1, 2, 3, 63, 641, 853, 4096})
        EXPECT_GE(std::int64_t(w) * 4 * probeHeight(w), std::int64_t(w) * 4 + 256 * 4 + 4) << w;
}

// Two probe frames, one with packed rows and one at an odd pitch: a layout
// only when both reach the plug-in at the output's one pitch.
TEST(Frei0rRows, ProbeFramesGiveALayoutOnlyWhenTheFilterLaysOutBoth) {
    const struct Case {
        const char* name;
        ProbeFrame packed, odd;
        std::int32_t width;
        std::int64_t pitch;  // 0: none
        const char* why;
    } cases[] = {
        {"packed rows, the odd input copied", {12, 12}, {12, 12}, 3, 12, ""},
        {"16-pixel rows, both inputs copied", {64, 64}, {64, 64}, 3, 64, ""},
        {"853 in 16-pixel rows", {3456, 3456}, {3456, 3456}, 853, 3456, ""},
        {"the input as it came", {12, 64}, {84, 64}, 3, 0, "as the filter before it left them"},
        {"the input as it came, same pitch once", {2560, 2560}, {2580, 2560}, 640, 0,
         "as the filter before it left them"},
        {"input rows not found", {0, 64}, {64, 64}, 3, 0, "where it cannot find them"},
        {"another frame passed on", {12, 0}, {12, 12}, 3, 0, "other than the one"},
        {"output pitches differ", {64, 64}, {128, 128}, 3, 0, "no one pitch"},
        {"output narrower than the picture", {8, 8}, {8, 8}, 3, 0, "no one pitch"},
    };
    for (const Case& c : cases) {
        const LayoutSeen seen = judgeProbeFrames(c.packed, c.odd, c.width);
        EXPECT_EQ(seen.pitchBytes, c.pitch) << c.name;
        EXPECT_NE(seen.why.find(c.why), std::string::npos) << c.name << ": " << seen.why;
    }
}

// The caller is told by the shared object its code sits in.
TEST(Frei0rRows, CallerInsideLibavfilterIsFfmpeg) {
    EXPECT_EQ(frei0rCallerAt(reinterpret_cast<const void*>(&f0r_update)).host, Frei0rHost::other);
    // Never unloaded: the libraries it brings in (pixman, gcrypt, gomp) keep
    // what their start-up allocated, which LeakSanitizer would report as
    // leaked once they were gone.
    void* lib = dlopen("libavfilter.so.8", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (lib == nullptr) GTEST_SKIP() << "no libavfilter.so.8 here";
    const void* inside = dlsym(lib, "avfilter_get_by_name");
    const auto version = reinterpret_cast<unsigned (*)()>(dlsym(lib, "avfilter_version"));
    ASSERT_TRUE(inside != nullptr && version != nullptr);
    const Frei0rCaller caller = frei0rCallerAt(inside);
    EXPECT_EQ(caller.host, Frei0rHost::ffmpeg);
    EXPECT_EQ(caller.libavfilterVersion, version());
}

} // namespace
