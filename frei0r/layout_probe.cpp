// The probe of a running libavfilter's frame layout; see layout_probe.h.
#include "layout_probe.h"

#include <cstdio>
#include <cstring>

#include <dlfcn.h>

// Reached through its own thread only: set while this thread runs a probe
// graph, read by the f0r_construct that graph makes.
struct LayoutProbe {
    std::int32_t width = 0, height = 0;
    int frames = 0;                   // frames handed to the probe instance
    bool otherSize = false;           // an instance of another size was probed
    const std::uint8_t* output = nullptr;
    std::vector<std::uint8_t> input;  // the first width * 4 * height bytes of the last input
};

namespace {

thread_local LayoutProbe* tProbe = nullptr;

// libavfilter's and libavutil's objects, never looked into but for the
// frame's head below.
struct LavGraph;
struct LavFilter;
struct LavContext;
struct LavFrame;

// The head of libavutil's AVFrame: the plane pointers, their line sizes,
// the size and the pixel format. These fields have kept their places since
// libavutil 52 (2013); a library that moved them would fail to make the
// probe's frame (av_frame_get_buffer checks size and format), so the probe
// ends with no layout rather than a wrong one.
struct FrameHead {
    std::uint8_t* data[8];
    int linesize[8];
    std::uint8_t** extendedData;
    int width, height;
    int samples;
    int format;
};

FrameHead& head(LavFrame* frame) {
    return *reinterpret_cast<FrameHead*>(frame);
}

constexpr int kOptSearchChildren = 1; // AV_OPT_SEARCH_CHILDREN: the filter's own options

// The calls the probe makes, looked up in the caller's libavfilter; the
// libavutil ones through it, so they are the ones it uses.
struct Api {
    LavGraph* (*graphAlloc)();
    void (*graphFree)(LavGraph**);
    const LavFilter* (*getByName)(const char*);
    LavContext* (*allocFilter)(LavGraph*, const LavFilter*, const char*);
    int (*initStr)(LavContext*, const char*);
    int (*link)(LavContext*, unsigned, LavContext*, unsigned);
    int (*graphConfig)(LavGraph*, void*);
    int (*addFrame)(LavContext*, LavFrame*, int);
    int (*getFrame)(LavContext*, LavFrame*);
    LavFrame* (*frameAlloc)();
    void (*frameFree)(LavFrame**);
    int (*frameGetBuffer)(LavFrame*, int);
    int (*optSet)(void*, const char*, const char*, int);
    int (*optSetInt)(void*, const char*, std::int64_t, int);
    int (*pixFmt)(const char*);
};

template <typename F>
bool find(void* library, const char* name, F& f) {
    void* symbol = dlsym(library, name);
    f = reinterpret_cast<F>(symbol);
    return symbol != nullptr;
}

bool load(void* library, Api& a) {
    return find(library, "avfilter_graph_alloc", a.graphAlloc) &&
           find(library, "avfilter_graph_free", a.graphFree) &&
           find(library, "avfilter_get_by_name", a.getByName) &&
           find(library, "avfilter_graph_alloc_filter", a.allocFilter) &&
           find(library, "avfilter_init_str", a.initStr) &&
           find(library, "avfilter_link", a.link) &&
           find(library, "avfilter_graph_config", a.graphConfig) &&
           find(library, "av_buffersrc_add_frame_flags", a.addFrame) &&
           find(library, "av_buffersink_get_frame", a.getFrame) &&
           find(library, "av_frame_alloc", a.frameAlloc) &&
           find(library, "av_frame_free", a.frameFree) &&
           find(library, "av_frame_get_buffer", a.frameGetBuffer) &&
           find(library, "av_opt_set", a.optSet) && find(library, "av_opt_set_int", a.optSetInt) &&
           find(library, "av_get_pix_fmt", a.pixFmt);
}

// The probe graph and frames, freed however the probe ends.
struct ProbeRun {
    const Api& api;
    LayoutProbe& probe;
    LavGraph* graph = nullptr;
    LavFrame* in = nullptr;
    LavFrame* out = nullptr;
    ~ProbeRun() {
        api.frameFree(&in);
        api.frameFree(&out);
        api.graphFree(&graph); // the probe instance is destructed here
        tProbe = nullptr;
    }
};

LayoutSeen notSeen(const char* why) {
    return {0, why};
}

LavContext* addFilter(ProbeRun& run, const char* filter, const char* name) {
    const LavFilter* f = run.api.getByName(filter);
    return f != nullptr ? run.api.allocFilter(run.graph, f, name) : nullptr;
}

LayoutSeen runProbe(const Api& api, const std::string& pluginName, std::int32_t width) {
    LayoutProbe probe;
    probe.width = width;
    probe.height = probeHeight(width);
    const std::int32_t height = probe.height;
    ProbeRun run{api, probe};
    run.graph = api.graphAlloc();
    if (run.graph == nullptr) return notSeen("could not make a filter graph");
    api.optSetInt(run.graph, "threads", 1, 0); // the probe stays on this thread
    LavContext* source = addFilter(run, "buffer", "velmor-probe-source");
    LavContext* frei0r = addFilter(run, "frei0r", "velmor-probe");
    LavContext* sink = addFilter(run, "buffersink", "velmor-probe-sink");
    if (source == nullptr || frei0r == nullptr || sink == nullptr)
        return notSeen("has no buffer, frei0r or buffersink filter to probe with");
    char sourceArgs[128];
    std::snprintf(sourceArgs, sizeof sourceArgs,
                  "video_size=%dx%d:pix_fmt=bgra:time_base=1/25:pixel_aspect=1/1",
                  static_cast<int>(width), static_cast<int>(height));
    tProbe = &probe;
    if (api.optSet(frei0r, "filter_name", pluginName.c_str(), kOptSearchChildren) < 0 ||
        api.initStr(source, sourceArgs) < 0 || api.initStr(frei0r, nullptr) < 0 ||
        api.initStr(sink, nullptr) < 0 || api.link(source, 0, frei0r, 0) < 0 ||
        api.link(frei0r, 0, sink, 0) < 0 || api.graphConfig(run.graph, nullptr) < 0)
        return notSeen("would not run a probe frame through this plug-in");
    const int bgra = api.pixFmt("bgra");
    ProbeFrame frames[2] = {};
    for (int k = 0; k < 2; ++k) {
        // Packed rows first; then rows at a pitch the filter would not
        // choose (its own output's and then 5 pixels more).
        const std::int64_t packed = std::int64_t{width} * 4;
        const std::int64_t pitch =
            k == 0 ? packed : (frames[0].outputPitch > 0 ? frames[0].outputPitch : packed) + 20;
        run.in = api.frameAlloc();
        run.out = api.frameAlloc();
        if (run.in == nullptr || run.out == nullptr) return notSeen("could not make a probe frame");
        FrameHead& in = head(run.in);
        in.width = width;
        in.height = height;
        in.format = bgra;
        in.linesize[0] = static_cast<int>(pitch);
        if (api.frameGetBuffer(run.in, 0) < 0 || in.data[0] == nullptr || in.linesize[0] != pitch)
            return notSeen("could not make a probe frame");
        for (std::int32_t r = 0; r < height; ++r)
            for (std::int32_t x = 0; x < width; ++x) {
                const std::uint32_t v = probePixel(k, r, x);
                std::memcpy(in.data[0] + r * pitch + x * 4, &v, 4);
            }
        if (api.addFrame(source, run.in, 0) < 0 || api.getFrame(sink, run.out) < 0 ||
            probe.frames != k + 1 || probe.otherSize)
            return notSeen("did not hand the probe frames to this plug-in");
        const FrameHead& out = head(run.out);
        frames[k].outputPitch = out.data[0] == probe.output ? out.linesize[0] : 0;
        frames[k].inputPitch = probeRowPitch(probe.input, k, width, height);
        api.frameFree(&run.in);
        api.frameFree(&run.out);
    }
    return judgeProbeFrames(frames[0], frames[1], width);
}

} // namespace

LayoutProbe* layoutProbeOnThisThread() {
    return tProbe;
}

void layoutProbeSaw(LayoutProbe& probe, std::int32_t width, std::int32_t height,
                    const std::uint8_t* input, const std::uint8_t* output) {
    ++probe.frames;
    if (width != probe.width || height != probe.height) {
        probe.otherSize = true;
        return;
    }
    probe.output = output;
    probe.input.assign(input, input + std::size_t(width) * 4 * std::size_t(height));
}

LayoutSeen probeLibavfilter(const char* libraryPath, const std::string& pluginName,
                            std::int32_t width) {
    void* library = dlopen(libraryPath, RTLD_LAZY | RTLD_NOLOAD);
    if (library == nullptr) return notSeen("could not be opened again to ask");
    Api api{};
    const LayoutSeen seen = load(library, api)
                                ? runProbe(api, pluginName, width)
                                : notSeen("lacks part of libavfilter's graph calls");
    dlclose(library);
    return seen;
}

std::int32_t probeHeight(std::int32_t width) {
    // width * 4 * height >= width * 4 + 256 * 4 + 64: row 1's first 16
    // pixels are seen at any padding up to 256 pixels.
    const std::int64_t rows = 1 + (256 * 4 + 64 + std::int64_t{width} * 4 - 1) / (std::int64_t{width} * 4);
    return static_cast<std::int32_t>(rows < 2 ? 2 : rows);
}

std::uint32_t probePixel(int frame, std::int32_t row, std::int32_t column) {
    // A mix of the three, so that no two pixels of the probe frames share a
    // number and none looks like cleared or copied memory.
    std::uint32_t v = static_cast<std::uint32_t>(frame + 1) * 0x9E3779B1u ^
                      static_cast<std::uint32_t>(row) * 0x85EBCA77u ^
                      static_cast<std::uint32_t>(column) * 0xC2B2AE3Du;
    v ^= v >> 16;
    v *= 0x7FEB352Du;
    v ^= v >> 15;
    v *= 0x846CA68Bu;
    v ^= v >> 16;
    return v;
}

std::int64_t probeRowPitch(const std::vector<std::uint8_t>& seen, int frame, std::int32_t width,
                           std::int32_t height) {
    const std::int64_t total = std::int64_t{width} * 4 * height;
    if (width <= 0 || height < 2 || static_cast<std::int64_t>(seen.size()) != total) return 0;
    auto at = [&](std::int64_t offset) {
        std::uint32_t v;
        std::memcpy(&v, &seen[static_cast<std::size_t>(offset)], 4);
        return v;
    };
    for (std::int32_t x = 0; x < width; ++x)
        if (at(std::int64_t{x} * 4) != probePixel(frame, 0, x)) return 0;
    for (std::int64_t pitch = std::int64_t{width} * 4; pitch + 4 <= total; ++pitch) {
        if (at(pitch) != probePixel(frame, 1, 0)) continue;
        bool rows = true; // every pixel of rows 1.. that lies in what was seen
        for (std::int64_t r = 1; rows && r * pitch + 4 <= total; ++r)
            for (std::int64_t x = 0; rows && x < width && r * pitch + x * 4 + 4 <= total; ++x)
                rows = at(r * pitch + x * 4) ==
                       probePixel(frame, static_cast<std::int32_t>(r), static_cast<std::int32_t>(x));
        if (rows) return pitch;
    }
    return 0;
}

LayoutSeen judgeProbeFrames(const ProbeFrame& packed, const ProbeFrame& odd, std::int32_t width) {
    const std::int64_t rowBytes = std::int64_t{width} * 4;
    if (packed.outputPitch == 0 || odd.outputPitch == 0)
        return notSeen("passes on a frame other than the one it handed the plug-in");
    if (packed.outputPitch < rowBytes || odd.outputPitch != packed.outputPitch)
        return notSeen("hands the plug-in output frames of no one pitch");
    if (packed.inputPitch == 0 || odd.inputPitch == 0)
        return notSeen("hands the plug-in input rows where it cannot find them");
    if (packed.inputPitch != packed.outputPitch || odd.inputPitch != odd.outputPitch)
        return notSeen("hands the plug-in the input's rows as the filter before it left them");
    return {packed.outputPitch, ""};
}
