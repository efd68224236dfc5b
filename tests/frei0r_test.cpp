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

#include "frame_layout.h"
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
};

f0r_instance_t makeInstance(int width, int height, const Params& p) {
    f0r_instance_t in = f0r_construct(width, height);
    const double values[] = {0, p.gain, p.threshold, p.gamma, p.sCurve,
                             p.bypass, p.stats, p.pictureWidth, p.gammaValue};
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
    f0r_instance_t in = makeInstance(8, 8, {0.25, 0.5, 0.75, 1, 0, 1, 0.5, "", 0.3});
    char line[] = "Config(100, 10, 120, 1, 0)";
    f0r_param_string p = line;
    f0r_set_param_value(in, &p, kParamConfig);
    line[0] = 'X'; // the caller's text is the caller's
    f0r_param_string back = nullptr;
    f0r_get_param_value(in, &back, kParamConfig);
    EXPECT_STREQ(back, "Config(100, 10, 120, 1, 0)");
    const double expected[] = {0, 0.25, 0.5, 0.75, 1, 0, 1, 0.5, 0.3};
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

// Row pitch per host: ffmpeg from 5.1 pads rows to 16 pixels, older ffmpeg
// is trusted only at multiples of 64 and otherwise refused with the
// command that works; every other host packs its rows.
TEST(Frei0rRows, PitchPerHostAndVersion) {
    const unsigned v51 = 8u << 16 | 44u << 8 | 100u, v44 = 7u << 16 | 110u << 8 | 100u;
    const struct Case {
        Frei0rHost host;
        unsigned version;
        std::int32_t width;
        std::int64_t pitch; // 0: refused
    } cases[] = {
        {Frei0rHost::other, 0, 641, 641},     {Frei0rHost::mlt, 0, 3, 3},
        {Frei0rHost::ffmpeg, v51, 854, 864},  {Frei0rHost::ffmpeg, v51, 3, 16},
        {Frei0rHost::ffmpeg, v51, 640, 640},  {Frei0rHost::ffmpeg, v51 + 0x10000, 641, 656},
        {Frei0rHost::ffmpeg, v44, 1920, 1920}, {Frei0rHost::ffmpeg, v44, 656, 0},
        {Frei0rHost::ffmpeg, v51 - 1, 854, 0},
    };
    for (const Case& c : cases) {
        const RowLayout layout = rowLayoutFor({c.host, c.version}, c.width);
        EXPECT_EQ(layout.pitchPixels, c.pitch) << c.width << " " << c.version;
        EXPECT_EQ(layout.refusal.empty(), c.pitch != 0);
    }
    const std::string why = rowLayoutFor({Frei0rHost::ffmpeg, v44}, 656).refusal;
    EXPECT_NE(why.find("pad=704:ih,frei0r=velmor:|1|0.0392|0.1667|n|n|n|0.931818,crop=656:ih"),
              std::string::npos)
        << why;
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
