// The filter as a frei0r plug-in (velmor.so), for ffmpeg, MLT and GStreamer.
//
// A frei0r frame is packed BGRA, top row first, and its fourth byte is the
// host's alpha (255 where the picture is opaque). Rows are width * 4 bytes
// apart, except in ffmpeg releases that pad them (frame_layout.h): the
// instance learns its host's row pitch when it is made, and refuses a width
// it cannot correct exactly there. Finding an ffmpeg's pitch makes a probe
// instance of this plug-in inside that ffmpeg's library, which only looks
// at the frames it is handed (layout_probe.h). The filter corrects frames as the video
// host presents them: alpha 0 and the bottom row first in memory. So each
// frame is run straight from the input into the output, seen bottom-up
// (the views' bases are the last rows and their pitches negative, so the
// statistics overlay lands on the host's picture rows), with the fourth
// byte kept: the count reads it as the video host's 0, and the map and the
// overlay write each input pixel's own fourth byte back. Nothing is copied
// or cleared beforehand and nothing restored afterwards.
// The views hold the first round(picture width * frame width) columns of
// every row: a caller that padded its frames itself says how much of each
// row is picture, and only that part is measured and corrected; the padding
// comes out as it came in.
//
// Instances are independent and frames may run on any thread in any order
// (MLT renders with an instance per thread, GStreamer's branches run side
// by side): each instance has a frame state of its own, so frame runs of
// different instances go on at once, and nothing carries from one frame to
// the next, so the overlay prints each frame's own peak shares. The one
// exception is the smoothing parameter: its running clip points carry over
// while the frames come in order from one thread (frame_order.h), and
// start anew or switch off, with a message, when they do not. One thing
// the plug-in cannot do is correct a frame it sees only part of: MLT, when
// a filter's `threads` property is set, hands one instance horizontal
// bands of each frame. Bands of one frame come at the same time stamp,
// exactly a band apart in memory; once that is seen the instance says so
// and passes frames unchanged.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "bands.h"
#include "config_line.h"
#include "frame_layout.h"
#include "frame_order.h"
#include "frame_run.h"
#include "frei0r_api.h"
#include "layout_probe.h"
#include "params.h"
#include "settings.h"
#include "smoothing.h"
#include "velmor_version.h"

namespace {

// The last frame an MLT instance was handed, to tell bands of one frame.
struct LastFrame {
    std::mutex lock; // MLT runs the bands of a frame on several threads at once
    LastCall call;
    bool bands = false; // seen: this instance passes frames unchanged
};

struct Instance {
    std::int32_t width;
    std::int32_t height;
    std::ptrdiff_t pitch;       // bytes from one row to the next, as the host lays them out
    Frei0rHost host;
    LayoutProbe* probe;         // a probe instance's probe (layout_probe.h), else null
    double values[kParamCount]; // numbers and switches as the host set them
    bool rangeTold[kParamCount] = {}; // a value outside 0..1 was named, once
    std::string config;         // the script line as set
    bool configValid;           // it parses: it gives the five settings
    ScriptNumbers configValues;
    LastFrame last;
    // The frame state of this instance's runs. The lock only guards against
    // a host calling one instance on two threads at once (MLT's bands before
    // they are told); it is never contended otherwise.
    std::mutex run;
    FrameState state;
    MapCache mapCache;
    // Smoothing over time (the smoothing parameter), under `run` too.
    Smoothing smoothing;
    FrameOrder order;
    bool callerSeen = false;
    std::thread::id caller;   // the thread of the first frame
    bool restartTold = false; // a frame out of order was named, once
    bool threadsTold = false; // frames came from several threads: smoothing off
    bool changeTold = false;  // a change of the window in mid-clip was named, once
};

// The five settings from the script line when it is valid, else from the
// numeric parameters ("gamma value", when set, giving the gamma); the
// overlay switch always from its own parameter.
FilterSettings instanceSettings(const Instance& in) {
    FilterSettings s{};
    if (in.configValid) {
        storeScriptNumbers(in.configValues, s); // as a script's Config call stores them
    } else {
        double p[kSettingCount];
        for (int k = 0; k < kSettingCount; ++k) p[k] = in.values[kParamFirstSetting + k];
        storeHostValues(p, s);
        const double gammaValue = in.values[kParamGammaValue];
        if (gammaValue > 0.0)
            storeDialogNumber(kGammaSetting, settingFromProportion(kGammaSetting, gammaValue), s);
    }
    s.showStats = in.values[kParamStatistics] >= 0.5 ? 1 : 0; // frei0r's switches
    return s;
}

// True when this instance has been handed bands of a larger frame (see
// the head comment and bands.h); says so the first time.
bool isBandOfLargerFrame(Instance& in, double time, const void* input, const void* output) {
    const std::uintptr_t i = reinterpret_cast<std::uintptr_t>(input);
    const std::uintptr_t o = reinterpret_cast<std::uintptr_t>(output);
    const std::uintptr_t frameBytes =
        static_cast<std::uintptr_t>(in.pitch) * static_cast<std::uintptr_t>(in.height);
    std::lock_guard<std::mutex> hold(in.last.lock);
    LastFrame& last = in.last;
    if (!last.bands && isBandOfSameFrame(last.call, time, i, o, frameBytes)) {
        last.bands = true;
        std::fprintf(stderr,
                     "velmor: MLT hands this filter horizontal bands of each frame (its "
                     "'threads' property is set), and each band would be stretched on its "
                     "own; frames pass unchanged from here on. Remove 'threads' from the "
                     "filter: MLT's frame threads (the consumer's real_time) are fine.\n");
    }
    last.call = {true, time, i, o};
    return last.bands;
}

// Which thread renders MLT's frames with smoothing on: MLT's frame threads
// (a real_time other than 1 or -1) make an instance per thread, each of
// which sees the frames that thread happened to take. Nothing in a frei0r
// call tells them from one rendering thread until a second thread calls, so
// an instance smooths from its first frame and stops when that happens.
struct MltThreads {
    std::mutex lock;
    bool seen = false;
    std::thread::id first;
    bool several = false;
    bool told = false;
};
MltThreads mltThreads;

// True when frames come from a second thread: for MLT any instance's, for
// other hosts this instance's. Says so once.
bool severalThreads(Instance& in) {
    const std::thread::id self = std::this_thread::get_id();
    bool several = false, tell = false;
    if (in.host == Frei0rHost::mlt) {
        std::lock_guard<std::mutex> hold(mltThreads.lock);
        if (!mltThreads.seen) mltThreads.seen = true, mltThreads.first = self;
        mltThreads.several |= self != mltThreads.first;
        several = mltThreads.several;
        tell = several && !mltThreads.told;
        mltThreads.told |= several;
    } else {
        if (!in.callerSeen) in.callerSeen = true, in.caller = self;
        several = self != in.caller;
        tell = several && !in.threadsTold;
    }
    in.threadsTold |= several;
    if (tell)
        std::fputs("velmor: this filter's frames come from several threads (in MLT: frame "
                   "threads, a real_time other than 1 or -1), so which frames follow each other "
                   "depends on timing; smoothing is off, each frame corrected on its own. Render "
                   "with real_time=-1 to smooth.\n",
                   stderr);
    return several;
}

// What a host's times are (frame_order.h).
HostTimes hostTimes(Frei0rHost host) {
    switch (host) {
    case Frei0rHost::mlt: return HostTimes::positions;
    case Frei0rHost::ffmpeg: return HostTimes::order;
    default: return HostTimes::stamps;
    }
}

// Names the first change of the window after an instance's first frame (a
// keyframed parameter, or a host's command): the frames held stay, and each
// frame from there on is averaged over its own number of frames.
void tellWindowChange(Instance& in, std::int32_t window, double time) {
    const std::int32_t was = in.smoothing.window;
    if (window == was || !in.order.seen || in.changeTold) return;
    in.changeTold = true;
    std::fprintf(stderr,
                 "velmor: smoothing changes from %d to %d frames at %.3f s (a keyframe or the "
                 "host's command); the window keeps the frames it holds and each frame is "
                 "averaged over the number set for it (later changes are not named)\n",
                 static_cast<int>(was), static_cast<int>(window), time);
}

// The smoothing for a frame at `time`, or null when it is off: the window
// from the parameter, started anew when the frame does not follow the last
// one, and told that the frame may be the last one again when its time is
// the last one's (frame_order.h). Frames from several threads switch it off
// for good, since which frames follow each other on one thread depends on
// timing. Under `run`.
Smoothing* smoothingFor(Instance& in, double time) {
    const std::int32_t window =
        unitToSteps(in.values[kParamSmoothing], kSmoothingSetting.maximum);
    const double last = in.order.time;
    const bool first = !in.order.seen;
    if (!in.threadsTold) tellWindowChange(in, window, time);
    setSmoothingWindow(in.smoothing, window);
    const FrameFollows follows = nextFrameAt(in.order, time, hostTimes(in.host));
    if (window == 0 || in.threadsTold || severalThreads(in)) {
        restartSmoothing(in.smoothing); // the next frame that smooths starts anew
        return nullptr;
    }
    if (follows == FrameFollows::no) {
        restartSmoothing(in.smoothing);
        if (!first && !in.restartTold) {
            in.restartTold = true;
            std::fprintf(stderr,
                         "velmor: the frame at %.3f s does not follow the one at %.3f s (a seek "
                         "or a skipped frame); smoothing starts anew there and at every such "
                         "jump\n",
                         time, last);
        }
    }
    in.smoothing.mayBeLastAgain = follows == FrameFollows::maybeAgain;
    return &in.smoothing;
}

// Copies columns first..width-1 of every row (all of them from 0).
void copyColumns(const Instance& in, std::int32_t first, const std::uint8_t* from,
                 std::uint8_t* to) {
    if (from == to || first >= in.width) return;
    for (std::int32_t r = 0; r < in.height; ++r)
        std::memmove(to + r * in.pitch + first * 4, from + r * in.pitch + first * 4,
                     static_cast<std::size_t>(in.width - first) * 4);
}

// The frame's first `columns` columns as the video host sees them: bottom
// row first.
FrameView bottomUp(const Instance& in, std::uint8_t* frame, std::int32_t columns) {
    return {reinterpret_cast<FramePixel*>(frame + (in.height - 1) * in.pitch), columns, in.height,
            -in.pitch};
}

} // namespace

extern "C" {

int f0r_init() {
    return 1;
}

void f0r_deinit() {}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    // The display name with its '+' spelled out: GStreamer makes element
    // names of it (frei0r-filter-velmor-filter-plus), and its pipeline syntax
    // has no '+'.
    info->name = "Velmor Filter Plus";
    info->author = "tal_ovek";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_BGRA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = VELMOR_VERSION_MAJOR; // the project's version, kept in one place
    info->minor_version = VELMOR_VERSION_MINOR;
    info->num_params = kParamCount;
    info->explanation = "Automatically adjusts the static picture";
}

void f0r_get_param_info(f0r_param_info_t* info, int index) {
    if (index < 0 || index >= kParamCount) return;
    const Frei0rParamInfo& p = frei0rParam(index);
    info->name = p.name;
    info->type = p.type;
    info->explanation = p.explanation;
}

// Not inlined: the caller's address tells the host (frame_layout.h).
__attribute__((noinline)) f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    // The frame run counts in 32-bit sizes; a frame beyond them is refused.
    if (width > 0x7FFFFFFFu || height > 0x7FFFFFFFu) return nullptr;
    if (LayoutProbe* probe = layoutProbeOnThisThread()) { // made by a probe graph: only looks
        Instance* in = new (std::nothrow) Instance{};
        if (in == nullptr) return nullptr;
        in->width = static_cast<std::int32_t>(width);
        in->height = static_cast<std::int32_t>(height);
        in->probe = probe;
        for (int i = 0; i < kParamCount; ++i) in->values[i] = frei0rParam(i).defaultValue;
        return in;
    }
    const Frei0rCaller caller = frei0rCallerAt(__builtin_return_address(0));
    const RowLayout layout = rowLayoutFor(caller, static_cast<std::int32_t>(width));
    if (layout.pitchBytes == 0) {
        std::fputs(layout.refusal.c_str(), stderr);
        return nullptr; // the host stops: better than damaged frames
    }
    Instance* in = new (std::nothrow) Instance{};
    if (in == nullptr) return nullptr;
    in->width = static_cast<std::int32_t>(width);
    in->height = static_cast<std::int32_t>(height);
    in->pitch = static_cast<std::ptrdiff_t>(layout.pitchBytes);
    in->host = caller.host;
    for (int i = 0; i < kParamCount; ++i) in->values[i] = frei0rParam(i).defaultValue;
    in->state.mapCache = &in->mapCache;
    return in;
}

void f0r_destruct(f0r_instance_t instance) {
    delete static_cast<Instance*>(instance);
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    Instance* in = static_cast<Instance*>(instance);
    if (in == nullptr || param == nullptr || index < 0 || index >= kParamCount) return;
    if (index != kParamConfig) {
        const double value = *static_cast<const double*>(param);
        in->values[index] = value;
        // Hosts set every parameter before every frame: named once.
        if (!in->rangeTold[index])
            if (const std::string told = outOfRangeMessage(index, value); !told.empty()) {
                std::fputs(told.c_str(), stderr);
                in->rangeTold[index] = true;
            }
        return;
    }
    const char* text = *static_cast<const f0r_param_string*>(param);
    const std::string line = text != nullptr ? text : "";
    if (line == in->config) return; // hosts set every parameter before every frame
    in->config = line;
    in->configValid = parseConfigLine(line, in->configValues);
    if (!in->configValid && line.find_first_not_of(" \t\r\n") != std::string::npos)
        std::fprintf(stderr,
                     "velmor: config '%s' is not a script line Config(gain, threshold, gamma, "
                     "s-curve, bypass titles) with five whole numbers; using the other "
                     "parameters\n",
                     line.c_str());
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    const Instance* in = static_cast<const Instance*>(instance);
    if (in == nullptr || param == nullptr || index < 0 || index >= kParamCount) return;
    if (index == kParamConfig)
        *static_cast<f0r_param_string*>(param) = const_cast<char*>(in->config.c_str());
    else
        *static_cast<double*>(param) = in->values[index];
}

void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe,
                uint32_t* outframe) {
    Instance* in = static_cast<Instance*>(instance);
    if (in == nullptr || in->width == 0 || in->height == 0) return;
    auto* source = reinterpret_cast<std::uint8_t*>(const_cast<uint32_t*>(inframe)); // read only
    auto* target = reinterpret_cast<std::uint8_t*>(outframe);
    if (in->probe != nullptr) {
        layoutProbeSaw(*in->probe, in->width, in->height, source, target);
        return;
    }
    if (in->host == Frei0rHost::mlt && isBandOfLargerFrame(*in, time, inframe, outframe)) {
        copyColumns(*in, 0, source, target);
        return;
    }
    const std::int32_t columns = unitToSteps(in->values[kParamPictureWidth], in->width);
    const FilterSettings settings = instanceSettings(*in);
    {
        std::lock_guard<std::mutex> hold(in->run);
        runFrameKeepingFourthByte(in->state, settings, bottomUp(*in, source, columns),
                                  bottomUp(*in, target, columns), smoothingFor(*in, time));
    }
    copyColumns(*in, columns > 0 ? columns : 0, source, target); // the padding, as it came
}

} // extern "C"
