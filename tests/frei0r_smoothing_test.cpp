// Smoothing over time in the frei0r plug-in: the parameter's place, which
// frames follow each other, and what an instance does when they do not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "frame_order.h"
#include "frei0r_api.h"
#include "frei0r_reference.h"
#include "params.h"

namespace {

TEST(Frei0rSmoothing, TheParameterIsLastAndTheOthersKeepTheirPlaces) {
    const char* const names[] = {"config", "gain",          "threshold",   "gamma",
                                 "s-curve", "bypass titles", "statistics", "picture width",
                                 "gamma value", "smoothing"};
    f0r_plugin_info_t plugin;
    f0r_get_plugin_info(&plugin);
    ASSERT_EQ(plugin.num_params, 10);
    for (int i = 0; i < plugin.num_params; ++i) {
        f0r_param_info_t p;
        f0r_get_param_info(&p, i);
        EXPECT_STREQ(p.name, names[i]) << i;
    }
    EXPECT_EQ(frei0rParam(kParamSmoothing).type, F0R_PARAM_DOUBLE);
    EXPECT_EQ(frei0rParam(kParamSmoothing).defaultValue, 0.0); // off
}

// GStreamer's time for a buffer without one: 2^64 - 1 ns, in seconds.
const double kGstNone = 18446744073709551615.0 / 1e9;

TEST(Frei0rSmoothing, FramesFollowWhenTheirTimesDo) {
    using F = FrameFollows;
    const struct Case {
        const char* name;
        HostTimes host;
        std::vector<double> times;
        std::vector<F> expected;
    } cases[] = {
        {"the first frame follows nothing", HostTimes::order, {5}, {F::no}},
        {"ffmpeg: every frame follows, whatever its time", HostTimes::order,
         {-9.2e18, -9.2e18, 0.04, 0}, {F::no, F::yes, F::yes, F::yes}},
        {"stamps: any later time follows, the same may be the frame again", HostTimes::stamps,
         {0, 0.04, 0.2, 0.2, 0.24}, {F::no, F::yes, F::yes, F::maybeAgain, F::yes}},
        {"stamps: no time, and the time after none, follow", HostTimes::stamps,
         {0, kGstNone, kGstNone, 0.04, -kGstNone, NAN, 0.02, 0.02},
         {F::no, F::yes, F::yes, F::yes, F::yes, F::yes, F::yes, F::maybeAgain}},
        {"stamps: the edge of no time", HostTimes::stamps,
         {0, kNoTimeBeyond, std::nextafter(kNoTimeBeyond, INFINITY), 0.5},
         {F::no, F::yes, F::yes, F::yes}},
        {"stamps: back in time starts anew", HostTimes::stamps, {0, 0.04, 0.08, 0.04, 0.08},
         {F::no, F::yes, F::yes, F::no, F::yes}},
        {"MLT: steps of one frame follow", HostTimes::positions, {1, 1.04, 1.08, 1.12},
         {F::no, F::yes, F::yes, F::yes}},
        {"MLT: the same time may be the same frame again", HostTimes::positions,
         {0, 0.04, 0.04, 0.08}, {F::no, F::yes, F::maybeAgain, F::yes}},
        {"MLT: back in time starts anew", HostTimes::positions, {0, 0.04, 0.08, 0.04, 0.08},
         {F::no, F::yes, F::yes, F::no, F::yes}},
        {"MLT: a skipped frame starts anew", HostTimes::positions, {0, 0.04, 0.08, 0.16, 0.2},
         {F::no, F::yes, F::yes, F::no, F::yes}},
        {"MLT: not a number is no time, and follows", HostTimes::positions, {0, NAN, 0.04},
         {F::no, F::yes, F::yes}},
    };
    for (const Case& c : cases) {
        FrameOrder order;
        for (std::size_t i = 0; i < c.times.size(); ++i)
            EXPECT_EQ(nextFrameAt(order, c.times[i], c.host), c.expected[i]) << c.name << " " << i;
    }
}

constexpr int kWidth = 48, kHeight = 30, kFrames = 12;
constexpr std::size_t kFrameBytes = std::size_t(kWidth) * kHeight * 4;

// Washed-out frames whose range breathes from frame to frame (by less than
// a cut), so that smoothing changes them.
std::vector<std::uint8_t> breathing() {
    std::mt19937 rng(33);
    std::vector<std::uint8_t> v(kFrameBytes * kFrames);
    for (std::size_t i = 0; i < v.size(); ++i) {
        const int t = int(i / kFrameBytes);
        v[i] = i % 4 == 3 ? std::uint8_t(rng()) : std::uint8_t(50 + rng() % (90 + 12 * (t % 4)));
    }
    return v;
}

std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& v, int from, int to) {
    return {v.begin() + from * kFrameBytes, v.begin() + to * kFrameBytes};
}

std::vector<std::uint8_t> joined(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// How the frames reach one instance: at these times, the frames from
// `otherThreadFrom` on from a second thread, with smoothing 12 or these.
struct Delivery {
    const char* name;
    std::vector<double> times;
    int otherThreadFrom; // kFrames: all on one thread
    std::vector<int> windows = std::vector<int>(kFrames, 12);
};

std::vector<std::uint8_t> deliver(const Delivery& d, const std::vector<std::uint8_t>& frames) {
    f0r_instance_t in = f0r_construct(kWidth, kHeight);
    const double defaults[] = {1.0, 10 / 255.0, 80 / 480.0};
    for (int i = 0; i < 3; ++i)
        f0r_set_param_value(in, const_cast<double*>(&defaults[i]), kParamGain + i);
    std::vector<std::uint8_t> out(frames.size());
    auto run = [&](int from, int to) {
        std::vector<std::uint32_t> a(kFrameBytes / 4), b(kFrameBytes / 4);
        for (int f = from; f < to; ++f) {
            const double smoothing = d.windows[f] / 100.0;
            f0r_set_param_value(in, const_cast<double*>(&smoothing), kParamSmoothing);
            std::memcpy(a.data(), &frames[f * kFrameBytes], kFrameBytes);
            f0r_update(in, d.times[f], a.data(), b.data());
            std::memcpy(&out[f * kFrameBytes], b.data(), kFrameBytes);
        }
    };
    run(0, d.otherThreadFrom);
    std::thread(run, d.otherThreadFrom, kFrames).join();
    f0r_destruct(in);
    return out;
}

// Frames in order are smoothed, with times or without; a jump back starts
// anew; the same frame again comes out as before, and a new picture at the
// same time follows; frames from a second thread are each their own.
TEST(Frei0rSmoothing, AnInstanceSmoothsFramesInOrderOnly) {
    const auto frames = breathing();
    FilterSettings s{};
    setDefaultSettings(s);
    auto ref = [&](int from, int to, int window) {
        return referenceFrames(s, slice(frames, from, to), kWidth, kHeight, kWidth, window);
    };
    std::vector<double> inOrder, back = {}, again = {}, none(kFrames, kGstNone);
    for (int t = 0; t < kFrames; ++t) inOrder.push_back(t * 0.04);
    back = inOrder, again = inOrder, none[0] = 0; // GStreamer's image sequence
    for (int t = 6; t < kFrames; ++t) back[t] = (t - 6) * 0.04; // a seek back to 0
    again[7] = again[6];                                         // frame 6's time twice
    const struct {
        Delivery delivery;
        std::vector<std::uint8_t> expected;
    } cases[] = {
        {{"in order", inOrder, kFrames}, ref(0, kFrames, 12)},
        {{"without times", none, kFrames}, ref(0, kFrames, 12)},
        {{"a new picture at frame 6's time", again, kFrames}, ref(0, kFrames, 12)},
        {{"a seek back after frame 5", back, kFrames}, joined(ref(0, 6, 12), ref(6, kFrames, 12))},
        {{"from a second thread after frame 5", inOrder, 6}, joined(ref(0, 6, 12), ref(6, kFrames, 0))},
    };
    ASSERT_TRUE(ref(0, kFrames, 12) != ref(0, kFrames, 0)); // smoothing changes these frames
    for (const auto& c : cases)
        EXPECT_TRUE(deliver(c.delivery, frames) == c.expected) << c.delivery.name;
    // Frame 7 at frame 6's time is frame 6 again: given frame 6's pixels,
    // it comes out as frame 6 did.
    auto repeated = frames;
    std::memcpy(&repeated[7 * kFrameBytes], &frames[6 * kFrameBytes], kFrameBytes);
    const auto got = deliver({"again", again, kFrames}, repeated);
    EXPECT_TRUE(slice(got, 6, 7) == slice(got, 7, 8));
    EXPECT_TRUE(slice(got, 0, 7) == slice(ref(0, kFrames, 12), 0, 7));
}

// A value that changes from frame to frame (melt's keyframes, a host's
// command): each frame is smoothed as a run at its own value smooths it,
// the window keeping its frames; off and on again starts anew. The first
// change is named once. A ramp down, then values drawn at random.
TEST(Frei0rSmoothing, EachFrameIsSmoothedOverTheFramesSetForIt) {
    const auto frames = breathing();
    FilterSettings s{};
    setDefaultSettings(s);
    std::mt19937 rng(9);
    for (int run = 0; run < 20; ++run) {
        Delivery d = {"changing", {}, kFrames, {}};
        std::vector<std::uint8_t> want;
        for (int f = 0, on = 0; f < kFrames; ++f) {
            d.times.push_back(f * 0.04);
            d.windows.push_back(run == 0 ? 13 - f : rng() % 4 ? 1 + int(rng() % 14) : 0);
            on = d.windows[f] == 0 ? f + 1 : on;
            const auto r = referenceFrames(s, slice(frames, std::min(on, f), f + 1), kWidth,
                                           kHeight, kWidth, d.windows[f]);
            want.insert(want.end(), r.end() - kFrameBytes, r.end());
        }
        ::testing::internal::CaptureStderr();
        EXPECT_TRUE(deliver(d, frames) == want) << "run " << run;
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.find("velmor: smoothing changes from"), 0u) << said; // named,
        EXPECT_EQ(said.rfind("velmor:"), 0u) << said;                       // once
    }
}

} // namespace
