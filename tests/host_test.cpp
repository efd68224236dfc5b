// The plug-in as the host meets it: registration, the definition, the
// procedures and the texts, all through the host's copy of the definition.
// The same source runs against the linked-in adapter (Linux) and against
// velmor.vdf loaded like the host loads it (Windows, under Wine).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "frame_run.h"
#include "host_harness.h"

namespace {

constexpr bool kHost32 = sizeof(void*) == 4; // the host's own layout

class Loaded : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(pluginLibrary().init2, nullptr) << pluginLibrary().error;
        host.log = &calls;
        int version = 0, compat = 0;
        ASSERT_EQ(host.load(&version, &compat), 0);
    }
    HostCallLog calls;
    PluginHost host{pluginLibrary()};
};

// ---- registration -------------------------------------------------------

TEST(Registration, RegistersOnceAndRemovesTheHostsHandle) {
    ASSERT_NE(pluginLibrary().init2, nullptr) << pluginLibrary().error;
    PluginHost host(pluginLibrary());
    HostCallLog calls;
    host.log = &calls;
    int version = -1, compat = -1;
    ASSERT_EQ(host.load(&version, &compat), 0);
    EXPECT_EQ(calls.addCalls, 1);
    EXPECT_EQ(calls.addSize, static_cast<int>(sizeof(FilterDefinition)));
    if (kHost32) {
        EXPECT_EQ(calls.addSize, 72);
    }
    EXPECT_EQ(calls.addModule, &host.module);
    EXPECT_EQ(version, 7);
    EXPECT_EQ(compat, 4);
    ASSERT_NE(host.registered(), nullptr);
    ASSERT_NE(host.registered(), calls.offered);

    host.unload();
    EXPECT_EQ(calls.removeCalls, 1);
    EXPECT_EQ(calls.removed, host.registered()); // the host's copy, not the library's record
}

TEST(Registration, RefusedRegistrationFailsAndLeavesTheVersionsAlone) {
    ASSERT_NE(pluginLibrary().init2, nullptr) << pluginLibrary().error;
    PluginHost host(pluginLibrary());
    HostCallLog calls;
    calls.refuseRegistration = true;
    host.log = &calls;
    int version = 12345, compat = -678;
    EXPECT_EQ(host.load(&version, &compat), 1);
    EXPECT_EQ(calls.addCalls, 1);
    EXPECT_EQ(version, 12345);
    EXPECT_EQ(compat, -678);
    EXPECT_EQ(calls.removeCalls, 0);
}

TEST_F(Loaded, LibraryDefinitionDescribesTheFilter) {
    const FilterDefinition& d = *calls.offered;
    EXPECT_STREQ(d.name, "Velmor Filter+");
    EXPECT_STREQ(d.desc, "Automatically adjusts the static picture");
    EXPECT_STREQ(d.maker, "tal_ovek");
    EXPECT_EQ(d.inst_data_size, static_cast<std::ptrdiff_t>(sizeof(FilterSettings)));
    if (kHost32) {
        EXPECT_EQ(d.inst_data_size, 32);
    }
    // The host links and fills these in its own copy.
    EXPECT_EQ(d.next, nullptr);
    EXPECT_EQ(d.prev, nullptr);
    EXPECT_EQ(d.module, nullptr);
    EXPECT_EQ(d.private_data, nullptr);
    EXPECT_EQ(d.deinitProc, nullptr);

    const struct {
        const char* name;
        bool present;
    } procs[] = {
        {"initProc", d.initProc != nullptr},     {"runProc", d.runProc != nullptr},
        {"paramProc", d.paramProc != nullptr},   {"configProc", d.configProc != nullptr},
        {"stringProc", d.stringProc != nullptr}, {"startProc", d.startProc != nullptr},
        {"endProc", d.endProc != nullptr},       {"fssProc", d.fssProc != nullptr},
        {"script_obj", d.script_obj != nullptr},
    };
    for (const auto& p : procs) EXPECT_TRUE(p.present) << p.name;

    ASSERT_NE(d.script_obj, nullptr);
    const ScriptFunctionEntry* list = d.script_obj->functions;
    ASSERT_NE(list, nullptr);
    EXPECT_NE(list[0].function, nullptr);
    EXPECT_STREQ(list[0].name, "Config");
    EXPECT_STREQ(list[0].signature, "0iiiii");
    EXPECT_EQ(list[1].function, nullptr);
    EXPECT_EQ(list[1].name, nullptr);
    EXPECT_EQ(list[1].signature, nullptr);
}

// ---- instance record ----------------------------------------------------

TEST_F(Loaded, InitWritesTheDefaultsOverGarbage) {
    PluginInstance inst(host);
    ASSERT_EQ(inst.init(), 0);
    const FilterSettings& s = inst.settings();
    EXPECT_EQ(s.gainPercent, 100);
    EXPECT_EQ(s.threshold, 10);
    EXPECT_EQ(s.gamma, 1.0);
    EXPECT_EQ(s.sCurve, 0);
    EXPECT_EQ(s.bypassTitles, 0);
    EXPECT_EQ(s.showStats, 0);
    const std::vector<std::uint8_t> bytes = inst.recordBytes();
    for (std::size_t i = 0; i < sizeof s.preview; ++i)
        EXPECT_EQ(bytes[offsetof(FilterSettings, preview) + i], kHostGarbage) << "preview byte " << i;
    EXPECT_TRUE(inst.guardIntact());
}

TEST_F(Loaded, ParamStartAndEndDoNothing) {
    PluginInstance inst(host);
    ASSERT_EQ(inst.init(), 0);
    inst.scriptConfig(150, -5, 0, 7, 1);
    std::vector<std::uint8_t> pixels(4 * 16, 0x42);
    inst.setFrame(pixels.data(), 3, 4, 16);
    const std::vector<std::uint8_t> record = inst.recordBytes();
    const std::vector<std::uint8_t> frame = pixels;

    const struct {
        const char* name;
        long result;
    } calls[] = {{"param", inst.param()}, {"start", inst.start()}, {"end", inst.end()}};
    for (const auto& c : calls) EXPECT_EQ(c.result, 0) << c.name;
    EXPECT_EQ(inst.recordBytes(), record);
    EXPECT_EQ(pixels, frame);
    for (const VBitmap* b : {&inst.src, &inst.dst}) {
        EXPECT_EQ(b->data, pixels.data());
        EXPECT_EQ(b->w, 3);
        EXPECT_EQ(b->h, 4);
        EXPECT_EQ(b->pitch, 16);
    }
    EXPECT_TRUE(inst.guardIntact());
}

// ---- texts --------------------------------------------------------------

struct Args {
    std::int32_t gain, threshold, gamma, sCurve, bypassTitles;
};

TEST_F(Loaded, SummaryShowsGainAndThreshold) {
    const struct {
        bool useDefaults;
        Args args;
        const char* summary;
    } cases[] = {
        {true, {}, " gain 100 t 10"},
        {false, {150, -5, 0, 7, 1}, " gain 150 t -5"},
        // The longest summary: 31 characters and the terminator fill the buffer.
        {false, {INT_MIN, INT_MIN, 0, 0, 0}, " gain -2147483648 t -2147483648"},
    };
    for (const auto& c : cases) {
        PluginInstance inst(host);
        ASSERT_EQ(inst.init(), 0);
        if (!c.useDefaults)
            inst.scriptConfig(c.args.gain, c.args.threshold, c.args.gamma, c.args.sCurve,
                              c.args.bypassTitles);
        char buffer[32 + 8];
        std::memset(buffer, 0x5A, sizeof buffer);
        inst.definition().stringProc(&inst.fa, &host.functions, buffer);
        EXPECT_EQ(inst.summary(), c.summary);
        for (std::size_t i = 32; i < sizeof buffer; ++i)
            EXPECT_EQ(buffer[i], 0x5A) << c.summary << ": wrote past 32 bytes at " << i;
    }
}

TEST_F(Loaded, ScriptFunctionStoresItsIntegersAndTheFormSavesThem) {
    const struct {
        Args args;
        double gamma;
        const char* form;
    } cases[] = {
        {{150, -5, 0, 7, 1}, 0.0, "Config(150, -5, 0, 7, 1)"},
        {{100, 10, 29, 0, 0}, 0.29, "Config(100, 10, 28, 0, 0)"},
        {{-1, 0, 250, 1, 0}, 2.5, "Config(-1, 0, 250, 1, 0)"},
        // Integers the host's scripts can hold but no dialog would produce.
        {{INT_MIN, INT_MAX, INT_MAX, INT_MIN, -1},
         INT_MAX * 0.01,
         "Config(-2147483648, 2147483647, 2147483647, -2147483648, -1)"},
        {{0, 0, INT_MIN, 0, 0}, INT_MIN * 0.01, "Config(0, 0, -2147483648, 0, 0)"},
    };
    for (const auto& c : cases) {
        PluginInstance inst(host);
        ASSERT_EQ(inst.init(), 0);
        inst.settings().showStats = 1;
        inst.scriptConfig(c.args.gain, c.args.threshold, c.args.gamma, c.args.sCurve,
                          c.args.bypassTitles);
        const FilterSettings& s = inst.settings();
        EXPECT_EQ(s.gainPercent, c.args.gain) << c.form;
        EXPECT_EQ(s.threshold, c.args.threshold) << c.form;
        EXPECT_EQ(s.gamma, c.gamma) << c.form;
        EXPECT_EQ(s.sCurve, c.args.sCurve) << c.form;
        EXPECT_EQ(s.bypassTitles, c.args.bypassTitles) << c.form;
        EXPECT_EQ(s.showStats, 1) << c.form; // not the script's
        EXPECT_EQ(inst.scriptForm(), c.form);
        EXPECT_TRUE(inst.guardIntact());
    }
}

TEST_F(Loaded, DefaultScriptForm) {
    PluginInstance inst(host);
    ASSERT_EQ(inst.init(), 0);
    char buffer[128] = {};
    EXPECT_TRUE(inst.definition().fssProc(&inst.fa, &host.functions, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "Config(100, 10, 100, 0, 0)");
}

std::string formWithGamma(std::int32_t gamma) {
    return "Config(100, 10, " + std::to_string(gamma) + ", 0, 0)";
}

TEST_F(Loaded, GammaHundredthsLoseOneOnlyOnTheFirstRoundTrip) {
    // Loading multiplies by 0.01, saving truncates gamma * 100.0.
    const std::int32_t dropping[] = {29, -29, 58, 116, 205, 207, 232, 410, 414, 439, 464, 489};
    const std::int32_t keeping[] = {28, 100, 57, 115, 204, 206, 231, 409, 413, 438, 463, 488};
    PluginInstance inst(host);
    ASSERT_EQ(inst.init(), 0);
    for (std::int32_t g : dropping) {
        inst.scriptConfig(100, 10, g, 0, 0);
        const std::int32_t saved = g > 0 ? g - 1 : g + 1;
        EXPECT_EQ(inst.scriptForm(), formWithGamma(saved)) << g;
        inst.scriptConfig(100, 10, saved, 0, 0);
        EXPECT_EQ(inst.scriptForm(), formWithGamma(saved)) << g << ", second cycle";
    }
    for (std::int32_t g : keeping) {
        inst.scriptConfig(100, 10, g, 0, 0);
        EXPECT_EQ(inst.scriptForm(), formWithGamma(g));
    }
}

TEST_F(Loaded, GammaBeyondTheIntegerRangeSavesSaturated) {
    const struct {
        double gamma;
        const char* form;
    } cases[] = {
        {1e300, "Config(100, 10, 2147483647, 0, 0)"},
        {-1e300, "Config(100, 10, -2147483648, 0, 0)"},
        {21474836.48, "Config(100, 10, 2147483647, 0, 0)"},
        {-21474836.49, "Config(100, 10, -2147483648, 0, 0)"},
    };
    PluginInstance inst(host);
    ASSERT_EQ(inst.init(), 0);
    for (const auto& c : cases) {
        inst.settings().gamma = c.gamma;
        EXPECT_EQ(inst.scriptForm(), c.form) << c.gamma;
    }
}

TEST_F(Loaded, ShortScriptBuffersGetTheTerminatedStartOfTheText) {
    const std::string text = "Config(100, 10, 100, 0, 0)"; // 26 characters: 26 and 27 are the edges
    constexpr std::size_t kGuard = 16;
    PluginInstance inst(host);
    ASSERT_EQ(inst.init(), 0);
    for (int length : {0, 1, 2, 10, 26, 27, 72}) {
        std::vector<char> buffer(static_cast<std::size_t>(length) + kGuard, 'x');
        const bool ok = inst.definition().fssProc(&inst.fa, &host.functions, buffer.data(), length);
        EXPECT_TRUE(ok) << length;
        for (std::size_t i = static_cast<std::size_t>(length); i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], 'x') << "length " << length << ": wrote byte " << i;
        if (length == 0) continue;
        const auto* end = static_cast<const char*>(std::memchr(buffer.data(), '\0', length));
        ASSERT_NE(end, nullptr) << "length " << length << ": not terminated";
        const std::string kept(static_cast<const char*>(buffer.data()), end);
        const std::size_t expected = std::min<std::size_t>(text.size(), length - 1);
        EXPECT_EQ(kept, text.substr(0, expected)) << length;
    }
}

// ---- configuration ------------------------------------------------------

// A preview that only counts the calls it gets.
class CountingPreview : public IFilterPreview {
public:
    int calls = 0;
    void slot0() override { ++calls; }
    void slot1() override { ++calls; }
    void slot2() override { ++calls; }
    void Toggle(WindowHandle) override { ++calls; }
    void slot4() override { ++calls; }
    void RedoFrame() override { ++calls; }
    void slot6() override { ++calls; }
    void slot7() override { ++calls; }
    void InitButton(WindowHandle) override { ++calls; }
};

#if !defined(_WIN32)
// Without a dialog manager, configuration is a Cancel that leaves the record
// exactly as it was. (The plug-in's real dialog has a test of its own.)
class ConfigDialogUnavailable : public Loaded {};

TEST_F(ConfigDialogUnavailable, CancelsAndKeepsTheRecordByteForByte) {
    for (bool defaults : {true, false}) {
        PluginInstance inst(host);
        ASSERT_EQ(inst.init(), 0);
        if (!defaults) {
            inst.scriptConfig(-7, 300, 215, 1, 1);
            inst.settings().showStats = 1;
        }
        const std::vector<std::uint8_t> before = inst.recordBytes();
        CountingPreview preview;
        EXPECT_EQ(inst.config(&preview, nullptr), 1);
        EXPECT_EQ(inst.recordBytes(), before) << (defaults ? "defaults" : "configured");
        EXPECT_EQ(preview.calls, 0);
        EXPECT_TRUE(inst.guardIntact());
    }
}

#endif

// ---- frames -------------------------------------------------------------

struct RunCase {
    std::int32_t width, height, padding;
    int lowValue, spread; // pixel bytes drawn from lowValue .. lowValue + spread - 1
    std::uint8_t showStats;
    std::int32_t gain, threshold;
    double gamma;
    std::int32_t sCurve, bypassTitles;
};

std::vector<std::uint8_t> randomPixels(std::mt19937& rng, const RunCase& c) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(c.width * 4 + c.padding) * c.height);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(c.lowValue + rng() % c.spread);
    return bytes;
}

TEST_F(Loaded, RunMatchesTheCoresFrameRunInPlace) {
    const RunCase cases[] = {
        {480, 90, 12, 0, 256, 0, 100, 10, 1.0, 0, 0},
        {480, 90, 12, 0, 256, 1, 100, 10, 1.0, 0, 0},   // the overlay drawn whole
        {503, 97, 4, 100, 30, 1, 50, 255, 0.5, 1, 1},   // low contrast, every step
        {37, 5, 8, 90, 60, 1, 150, 10, 2.0, 0, 1},      // the overlay clipped away
        {1, 1, 0, 0, 256, 1, 100, 10, 1.0, 0, 0},
        {64, 3, 0, 77, 1, 1, 100, 10, 1.0, 0, 0},       // one colour: passes unchanged
    };
    std::mt19937 rng(20240611);
    for (const RunCase& c : cases) {
        const std::string label = std::to_string(c.width) + "x" + std::to_string(c.height) +
                                  " stats " + std::to_string(c.showStats);
        const std::ptrdiff_t pitch = c.width * 4 + c.padding;
        PluginInstance inst(host);
        ASSERT_EQ(inst.init(), 0);

        // The overlay may print peak shares left by an earlier frame: give
        // the plug-in and the reference the same ones first.
        {
            const RunCase prime = {64, 64, 0, 0, 256, 0, 100, 10, 1.0, 0, 1};
            std::vector<std::uint8_t> a = randomPixels(rng, prime), b = a;
            inst.settings().bypassTitles = 1;
            inst.setFrame(a.data(), 64, 64, 256);
            ASSERT_EQ(inst.run(), 0);
            FrameView v = {reinterpret_cast<FramePixel*>(b.data()), 64, 64, 256};
            runFrame(inst.settings(), v, v);
            ASSERT_EQ(a, b);
        }

        FilterSettings& s = inst.settings();
        s.showStats = c.showStats;
        s.gainPercent = c.gain;
        s.threshold = c.threshold;
        s.gamma = c.gamma;
        s.sCurve = c.sCurve;
        s.bypassTitles = c.bypassTitles;
        const std::vector<std::uint8_t> record = inst.recordBytes();

        const std::vector<std::uint8_t> original = randomPixels(rng, c);
        std::vector<std::uint8_t> plugin = original, reference = original;
        inst.setFrame(plugin.data(), c.width, c.height, pitch);
        ASSERT_EQ(inst.run(), 0) << label;
        FrameView view = {reinterpret_cast<FramePixel*>(reference.data()), c.width, c.height,
                          pitch};
        runFrame(s, view, view);

        EXPECT_EQ(plugin, reference) << label;
        for (std::int32_t row = 0; row < c.height; ++row)
            for (std::ptrdiff_t i = c.width * 4; i < pitch; ++i)
                ASSERT_EQ(plugin[row * pitch + i], original[row * pitch + i])
                    << label << ": padding written in row " << row;
        EXPECT_EQ(inst.recordBytes(), record) << label;
        EXPECT_TRUE(inst.guardIntact());
    }
}

// ---- source and destination of their own ---------------------------------

// The run measures the source, writes the corrected rows through the
// source's base address stepped by the destination's pitch, and draws the
// statistics into the destination. With the destination's pitch below the
// source's, every corrected row lands where no later source row is still to
// be read, so the rows must equal those of the frame corrected in place.
TEST_F(Loaded, SourceAndDestinationKeepTheirRoles) {
    const std::int32_t w = 300, h = 120;
    const std::ptrdiff_t srcPitch = w * 4 + 64, dstPitch = w * 4 + 8;
    std::mt19937 rng(77);
    RunCase pixels = {w, h, 64, 40, 150, 0, 100, 10, 1.0, 0, 1};
    const std::vector<std::uint8_t> original = randomPixels(rng, pixels);

    PluginInstance inst(host);
    ASSERT_EQ(inst.init(), 0);
    FilterSettings& s = inst.settings();
    s.bypassTitles = 1; // the overlay's peak shares then come from this frame
    std::vector<std::uint8_t> corrected = original;
    FrameView inPlace = {reinterpret_cast<FramePixel*>(corrected.data()), w, h, srcPitch};
    runFrame(s, inPlace, inPlace); // showStats off: the rows alone

    const std::uint8_t kUntouched = 0x5A;
    for (bool viaHost : {false, true}) {
        const std::string label = viaHost ? "run procedure" : "core";
        s.showStats = 1;
        std::vector<std::uint8_t> source = original;
        std::vector<std::uint8_t> destination(static_cast<std::size_t>(dstPitch) * h, kUntouched);
        const FrameView src = {reinterpret_cast<FramePixel*>(source.data()), w, h, srcPitch};
        const FrameView dst = {reinterpret_cast<FramePixel*>(destination.data()), w, h, dstPitch};
        if (viaHost) {
            inst.setFrames(src, dst);
            ASSERT_EQ(inst.run(), 0);
        } else {
            runFrame(s, src, dst);
        }
        for (std::int32_t r = 0; r < h; ++r)
            ASSERT_EQ(0, std::memcmp(&source[r * dstPitch], &corrected[r * srcPitch], w * 4))
                << label << ": corrected row " << r << " is not at the destination's pitch";
        int ink = 0;
        for (std::size_t i = 0; i < destination.size(); i += 4) {
            std::uint32_t p;
            std::memcpy(&p, &destination[i], 4);
            if (p == 0x0000FF00u) {
                ++ink;
            } else {
                ASSERT_EQ(p, 0x5A5A5A5Au) << label << ": destination byte " << i << " written";
            }
        }
        EXPECT_GT(ink, 200) << label << ": the statistics belong in the destination";
    }
}

// ---- frames on several threads ---------------------------------------------

// Hosts run instances on several threads at once. Each thread here has its
// own instance with its own settings and content; every frame must equal the
// frame the same instance gives when everything runs on one thread. The
// overlay is on only where bypass titles is, so that the peak shares it
// prints come from the frame itself and not from whichever ran before.
TEST_F(Loaded, FramesOnSeveralThreadsEqualFramesRunOneAtATime) {
    const RunCase kinds[] = {
        {320, 240, 0, 0, 256, 0, 100, 10, 1.0, 0, 0},
        {288, 200, 16, 60, 90, 1, 80, 40, 2.0, 1, 1},
        {333, 181, 4, 10, 40, 0, 100, 255, 0.5, 0, 0},
        {256, 256, 0, 100, 1, 0, 100, 10, 1.0, 0, 0}, // one value: passes unchanged
        {301, 222, 8, 90, 120, 1, 50, 10, 3.0, 0, 1},
    };
    constexpr int kFrames = 16;
    const int n = static_cast<int>(sizeof kinds / sizeof kinds[0]);
    std::mt19937 rng(2026);
    std::vector<std::vector<std::vector<std::uint8_t>>> inputs(n);
    for (int i = 0; i < n; ++i)
        for (int f = 0; f < kFrames; ++f) inputs[i].push_back(randomPixels(rng, kinds[i]));

    std::vector<std::unique_ptr<PluginInstance>> instances;
    for (const RunCase& c : kinds) {
        instances.push_back(std::make_unique<PluginInstance>(host));
        PluginInstance& inst = *instances.back();
        ASSERT_EQ(inst.init(), 0);
        inst.scriptConfig(c.gain, c.threshold, static_cast<std::int32_t>(c.gamma * 100), c.sCurve,
                          c.bypassTitles);
        inst.settings().showStats = c.showStats;
    }
    auto runAll = [&](int i) {
        std::vector<std::vector<std::uint8_t>> out = inputs[i];
        const RunCase& c = kinds[i];
        for (auto& frame : out) {
            instances[i]->setFrame(frame.data(), c.width, c.height, c.width * 4 + c.padding);
            instances[i]->run();
        }
        return out;
    };
    std::vector<std::vector<std::vector<std::uint8_t>>> serial(n);
    for (int i = 0; i < n; ++i) serial[i] = runAll(i);

    for (int round = 0; round < 4; ++round) {
        std::vector<std::vector<std::vector<std::uint8_t>>> concurrent(n);
        std::vector<std::function<void()>> jobs;
        for (int i = 0; i < n; ++i) jobs.push_back([&, i] { concurrent[i] = runAll(i); });
        runOnThreads(jobs);
        for (int i = 0; i < n; ++i)
            for (int f = 0; f < kFrames; ++f)
                ASSERT_TRUE(concurrent[i][f] == serial[i][f])
                    << "round " << round << ", instance " << i << ", frame " << f;
    }
}

} // namespace
