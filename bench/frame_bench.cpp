// The frame run on 1920x1080 BGRA frames of four kinds of content (noise, a
// washed-out ramp with grain, a title card, natural shading with grain), by
// every kernel path this build and CPU run, beside the straightforward loops
// (the tests' oracle).
//
// Every sample starts from a fresh copy of the frame, as a host hands over a
// frame it has just decoded (warm in the cache), and that copy is timed too:
// the memcpy of the frame, the yardstick of the table. Rounds interleave
// the paths and contents, each round in a rotated order, so that a change in
// the machine's speed falls on all of them alike; the table gives medians
// over the rounds, in milliseconds, of
//   count      the histogram count alone
//   map        the map alone, with the frame's own tables
//   host run   the video host's frame run (fourth byte 0, in place)
//   kept run   the frei0r edition's (alpha 255 kept, into a frame of its own)
// and marks the fastest path of each content. A second table times the
// byte-shuffle and permute maps alone on frames whose values fall in 1 to
// 16 of the 16-value windows that the shuffle maps look up one by one. A
// third times the deep run (runDeepFrame, in place) on the same contents
// promoted to 10 bits (v * 4 + v / 64) and 16 bits (v * 257), beside the
// 8-bit host run, with its count and map alone.
//
// frame_bench [ROUNDS]            the tables (default 25 rounds)
// frame_bench --deep [ROUNDS [PATH]]  the deep table alone (one path's rows)
// frame_bench --planar [ROUNDS [PATH]]  the planar deep run beside the 8-bit run
// frame_bench --raw FILE WxH      the frame run over a raw BGRA file
// frame_bench --raw FILE WxH N    the same without and with --smoothing N,
//                                 passes taking turns: two numbers
// A plain program with the steady clock, so the Windows cross build has it
// too (run it with wine).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

#include "bench_frames.h"
#include "deep_correct.h"
#include "frame_run.h"
#include "frame_stats.h"
#include "kernels.h"
#include "measure.h"
#include "oracle_kernels.h"
#include "smoothing.h"

namespace {

using Clock = std::chrono::steady_clock;

const int kWidth = 1920, kHeight = 1080;

std::string cpuName() {
#if defined(__i386__) || defined(__x86_64__)
    unsigned regs[12];
    for (unsigned i = 0; i < 3; ++i)
        if (!__get_cpuid(0x80000002u + i, &regs[4 * i], &regs[4 * i + 1], &regs[4 * i + 2],
                         &regs[4 * i + 3]))
            return "unknown CPU";
    char text[49] = {};
    std::memcpy(text, regs, 48);
    std::string s = text;
    s.erase(0, s.find_first_not_of(' '));
    return s;
#else
    return "unknown CPU";
#endif
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Path {
    std::string name;
    const FrameKernels* kernels;
    std::vector<double> count[kBenchContentCount], map[kBenchContentCount],
        host[kBenchContentCount], kept[kBenchContentCount];
};

struct Content {
    std::vector<std::uint8_t> pristine; // fourth byte 0, as the video host hands it over
    std::vector<std::uint8_t> opaque;   // alpha 255, as the frei0r hosts do
    std::uint8_t tables[4][256];        // the frame's own tables, for the map alone
    ChannelValues values;
    std::vector<double> copy;
};

int table(int rounds) {
    std::vector<Path> paths = {{"oracle", &oracleKernels, {}, {}, {}, {}}};
    for (KernelPath p : {KernelPath::Portable, KernelPath::Sse2, KernelPath::Ssse3,
                         KernelPath::Avx2, KernelPath::Avx512})
        if (forceKernelPath(p))
            paths.push_back({kernelPathName(p), &frameKernels(), {}, {}, {}, {}});
    forceKernelPath(KernelPath::Auto);
    const std::string selected = frameKernels().name;

    FilterSettings settings{};
    setDefaultSettings(settings);
    const std::size_t bytes = std::size_t(kWidth) * kHeight * 4;
    const std::size_t lastRow = bytes - std::size_t(kWidth) * 4;
    std::vector<std::uint8_t> work(bytes), output(bytes);
    // As the hosts store it: memory row 0 at the bottom, a negative pitch.
    const FrameView view = {reinterpret_cast<FramePixel*>(&work[lastRow]), kWidth, kHeight,
                            -std::ptrdiff_t(kWidth) * 4};
    const FrameView outputView = {reinterpret_cast<FramePixel*>(&output[lastRow]), kWidth, kHeight,
                                  -std::ptrdiff_t(kWidth) * 4};
    static MapCache keptCache;
    FrameState keptState = {};
    keptState.mapCache = &keptCache;
    Content contents[kBenchContentCount];
    for (int c = 0; c < kBenchContentCount; ++c) {
        Content& content = contents[c];
        content.pristine = benchFrame(kWidth, kHeight, c, 0);
        content.opaque = benchFrame(kWidth, kHeight, c, 255);
        work = content.pristine;
        useFrameKernels(&oracleKernels);
        runFrame(settings, view, view);
        std::memcpy(content.tables, sharedFrameState.channelTable, sizeof content.tables);
        content.values = channelValuesOf(sharedFrameState.stats.histogram, FourthByte::channel);
    }

    std::uint32_t histogram[4][256];
    auto restore = [&](Content& content, const std::vector<std::uint8_t>& from) {
        const auto start = Clock::now();
        std::memcpy(work.data(), from.data(), bytes);
        content.copy.push_back(msSince(start));
    };
    for (int round = 0; round < rounds; ++round)
        for (int i = 0; i < kBenchContentCount; ++i) {
            const int c = (i + round) % kBenchContentCount;
            Content& content = contents[c];
            for (std::size_t j = 0; j < paths.size(); ++j) {
                Path& path = paths[(j + std::size_t(round)) % paths.size()];
                useFrameKernels(path.kernels);
                restore(content, content.pristine);
                std::memset(histogram, 0, sizeof histogram);
                auto start = Clock::now();
                path.kernels->count(view, histogram, FourthByte::channel);
                path.count[c].push_back(msSince(start));
                restore(content, content.pristine);
                start = Clock::now();
                path.kernels->map(view, view, content.tables, content.values,
                                  *sharedFrameState.mapCache);
                path.map[c].push_back(msSince(start));
                restore(content, content.pristine);
                start = Clock::now();
                runFrame(settings, view, view);
                path.host[c].push_back(msSince(start));
                restore(content, content.opaque);
                start = Clock::now();
                runFrameKeepingFourthByte(keptState, settings, view, outputView);
                path.kept[c].push_back(msSince(start));
            }
        }
    useFrameKernels(nullptr);

    std::printf("%s, %dx%d BGRA, %d rounds, medians in ms; selected path: %s\n", cpuName().c_str(),
                kWidth, kHeight, rounds, selected.c_str());
    std::printf("| content | path | count | map | host run | kept run | host run / memcpy |\n"
                "|---|---|---|---|---|---|---|\n");
    for (int c = 0; c < kBenchContentCount; ++c) {
        const double copy = median(contents[c].copy);
        std::string fastest;
        double best = 1e30;
        for (const Path& p : paths)
            if (median(p.host[c]) < best) best = median(p.host[c]), fastest = p.name;
        for (const Path& p : paths) {
            const double host = median(p.host[c]);
            std::string mark = p.name == selected ? " (selected)" : "";
            if (p.name == fastest) mark += " (fastest)";
            std::printf("| %s | %s%s | %.2f | %.2f | %.2f | %.2f | %.2f |\n", kBenchContents[c],
                        p.name.c_str(), mark.c_str(), median(p.count[c]), median(p.map[c]), host,
                        median(p.kept[c]), host / copy);
        }
        std::printf("| %s | memcpy of the frame | | | %.2f | | 1.00 |\n", kBenchContents[c], copy);
    }
    return 0;
}

// The maps alone on frames whose colour bytes each fall in `windows` of the
// 16-value windows (spread evenly, values random within them; alpha 0):
// what the shuffle maps' cost depends on, and the permutes' does not.
int windowTable(int rounds) {
    const int counts[] = {1, 2, 4, 8, 16};
    std::vector<Path> paths;
    for (KernelPath p : {KernelPath::Ssse3, KernelPath::Avx2, KernelPath::Avx512})
        if (forceKernelPath(p))
            paths.push_back({kernelPathName(p), &frameKernels(), {}, {}, {}, {}});
    forceKernelPath(KernelPath::Auto);
    const std::size_t bytes = std::size_t(kWidth) * kHeight * 4;
    std::vector<std::uint8_t> work(bytes);
    const FrameView view = {reinterpret_cast<FramePixel*>(work.data()), kWidth, kHeight,
                            std::ptrdiff_t(kWidth) * 4};
    std::vector<std::uint8_t> frames[5];
    ChannelValues values[5];
    std::uint8_t tables[4][256];
    std::mt19937 rng(2);
    for (auto& t : tables)
        for (auto& e : t) e = std::uint8_t(rng());
    for (int c = 0; c < 5; ++c) {
        frames[c].resize(bytes);
        for (std::size_t i = 0; i < bytes; ++i)
            frames[c][i] =
                i % 4 == 3
                    ? 0
                    : std::uint8_t(16 * ((rng() % counts[c]) * (16 / counts[c])) + rng() % 16);
        std::uint32_t histogram[4][256] = {};
        work = frames[c];
        oracleKernels.count(view, histogram, FourthByte::channel);
        values[c] = channelValuesOf(histogram, FourthByte::channel);
    }
    std::vector<double> map[3][5];
    for (int round = 0; round < rounds; ++round)
        for (int c = 0; c < 5; ++c)
            for (std::size_t j = 0; j < paths.size(); ++j) {
                const std::size_t p = (j + std::size_t(round)) % paths.size();
                std::memcpy(work.data(), frames[c].data(), bytes);
                const auto start = Clock::now();
                paths[p].kernels->map(view, view, tables, values[c], *sharedFrameState.mapCache);
                map[p][c].push_back(msSince(start));
            }
    std::printf("\nThe maps alone, colour bytes in N of the 16-value windows, medians in ms\n"
                "| path | 1 | 2 | 4 | 8 | 16 |\n|---|---|---|---|---|---|\n");
    for (std::size_t p = 0; p < paths.size(); ++p) {
        std::printf("| %s |", paths[p].name.c_str());
        for (int c = 0; c < 5; ++c) std::printf(" %.2f |", median(map[p][c]));
        std::printf("\n");
    }
    return 0;
}

// The deep tables' times, per path: the 8-bit host run by content, and at
// 10 and 16 bits (index d) the layout's fresh copy of the frame, its count
// alone, its map alone (with the frame's own tables) and its whole run.
const int kDeepDepths[2] = {10, 16};

struct DeepTimes {
    std::string name;
    const FrameKernels* kernels;
    std::vector<double> eight[kBenchContentCount], copy[2][kBenchContentCount],
        count[2][kBenchContentCount], map[2][kBenchContentCount], run[2][kBenchContentCount];
};

// Times every path (or `only`) on the layout's frames, `rounds` rounds that
// take turns over contents and paths. A layout gives the 8-bit frames
// (eight), and for depth d and content c: restore (the fresh copy), count,
// map and run, on its own working frame.
template <class Layout>
std::vector<DeepTimes> timeDeepLayout(int rounds, const std::string& only, Layout& layout,
                                      std::string& selected) {
    std::vector<DeepTimes> paths;
    for (KernelPath p : {KernelPath::Portable, KernelPath::Sse2, KernelPath::Ssse3,
                         KernelPath::Avx2, KernelPath::Avx512})
        if ((only.empty() || only == kernelPathName(p)) && forceKernelPath(p))
            paths.push_back({kernelPathName(p), &frameKernels(), {}, {}, {}, {}, {}});
    forceKernelPath(KernelPath::Auto);
    selected = frameKernels().name;
    FilterSettings settings{};
    setDefaultSettings(settings);
    const std::size_t pixels = std::size_t(kWidth) * kHeight;
    std::vector<std::uint8_t> work(pixels * 4);
    const FrameView view = {reinterpret_cast<FramePixel*>(&work[(pixels - kWidth) * 4]), kWidth,
                            kHeight, -std::ptrdiff_t(kWidth) * 4};
    for (int round = 0; round < rounds; ++round)
        for (int i = 0; i < kBenchContentCount; ++i) {
            const int c = (i + round) % kBenchContentCount;
            for (std::size_t j = 0; j < paths.size(); ++j) {
                DeepTimes& path = paths[(j + std::size_t(round)) % paths.size()];
                useFrameKernels(path.kernels);
                std::memcpy(work.data(), layout.eight[c].data(), work.size());
                auto start = Clock::now();
                runFrame(settings, view, view);
                path.eight[c].push_back(msSince(start));
                for (int d = 0; d < 2; ++d) {
                    start = Clock::now();
                    layout.restore(d, c);
                    path.copy[d][c].push_back(msSince(start));
                    start = Clock::now();
                    layout.count(*path.kernels, d);
                    path.count[d][c].push_back(msSince(start));
                    layout.restore(d, c);
                    start = Clock::now();
                    layout.map(*path.kernels, d, c);
                    path.map[d][c].push_back(msSince(start));
                    layout.restore(d, c);
                    start = Clock::now();
                    layout.run(settings, d);
                    path.run[d][c].push_back(msSince(start));
                }
            }
        }
    useFrameKernels(nullptr);
    return paths;
}

// A promoted sample: 10 bits as v * 4 + v / 64, 16 bits as v * 257.
std::uint16_t promoted(std::uint8_t v, int bits) {
    return std::uint16_t(bits == 16 ? v * 257 : v * 4 + v / 64);
}

// The packed deep frame (bgra64le, bottom-up, in place, the fourth sample
// 0 and counted as a channel, as the raw mode runs it).
struct PackedLayout {
    struct Frame {
        std::vector<DeepPixel> pixels;
        std::uint16_t tables[4][65536];
        DeepChannelValues values;
    };
    std::vector<std::uint8_t> eight[kBenchContentCount];
    Frame frames[2][kBenchContentCount];
    std::vector<DeepPixel> work;
    DeepState state;

    DeepView view(int d) {
        return DeepView{&work[work.size() - kWidth], kWidth, kHeight,
                        -std::ptrdiff_t(kWidth) * 8, kDeepDepths[d]};
    }
    void prepare() {
        const std::size_t pixels = std::size_t(kWidth) * kHeight;
        FilterSettings settings{};
        setDefaultSettings(settings);
        useFrameKernels(&oracleKernels);
        for (int c = 0; c < kBenchContentCount; ++c) {
            eight[c] = benchFrame(kWidth, kHeight, c, 0);
            for (int d = 0; d < 2; ++d) {
                Frame& p = frames[d][c];
                p.pixels.resize(pixels);
                for (std::size_t i = 0; i < pixels; ++i) {
                    const std::uint8_t* b = &eight[c][4 * i];
                    const int bits = kDeepDepths[d];
                    p.pixels[i] = {promoted(b[0], bits), promoted(b[1], bits),
                                   promoted(b[2], bits), promoted(b[3], bits)};
                }
                work = p.pixels;
                runDeepFrame(settings, view(d), FourthByte::channel, state);
                std::memcpy(p.tables, state.table, sizeof p.tables);
                p.values = deepChannelValuesOf(state.histogram, kDeepDepths[d], pixels,
                                               FourthByte::channel);
            }
        }
        work.resize(pixels);
    }
    void restore(int d, int c) {
        std::memcpy(work.data(), frames[d][c].pixels.data(), work.size() * sizeof(DeepPixel));
    }
    void count(const FrameKernels& k, int d) {
        std::memset(state.histogram, 0, sizeof state.histogram);
        k.deepCount(view(d), state.histogram, FourthByte::channel);
    }
    void map(const FrameKernels& k, int d, int c) {
        k.deepMap(view(d), frames[d][c].tables, frames[d][c].values);
    }
    void run(const FilterSettings& settings, int d) {
        runDeepFrame(settings, view(d), FourthByte::channel, state);
    }
};

// The deep run beside the 8-bit host run, by every path: per content and
// path, medians in ms of the 8-bit host run, and at 10 and 16 bits of the
// deep count alone, the deep map alone (with the frame's own tables) and the
// whole deep run, each on a fresh copy of the frame (fourth sample 0,
// counted as a channel, as the raw mode runs it), and the memcpy of that copy,
// the yardstick of a pass that reads and writes every deep pixel once.
int deepTable(int rounds, const std::string& only) {
    static PackedLayout layout;
    layout.prepare();
    std::string selected;
    const std::vector<DeepTimes> paths = timeDeepLayout(rounds, only, layout, selected);
    std::printf("\n%s, %dx%d, the deep run (bgra64le, in place) beside the 8-bit host run, %d "
                "rounds, medians in ms; selected path: %s\n",
                cpuName().c_str(), kWidth, kHeight, rounds, selected.c_str());
    std::printf(
        "| content | path | 8-bit run | deep copy | 10-bit count | map | run | run / 8-bit | "
        "16-bit count | map | run | run / 8-bit |\n"
        "|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (int c = 0; c < kBenchContentCount; ++c) {
        double best[2] = {1e30, 1e30};
        for (const DeepTimes& p : paths)
            for (int d = 0; d < 2; ++d) best[d] = std::min(best[d], median(p.run[d][c]));
        for (const DeepTimes& p : paths) {
            const double base = median(p.eight[c]);
            std::vector<double> copies = p.copy[0][c];
            copies.insert(copies.end(), p.copy[1][c].begin(), p.copy[1][c].end());
            std::printf("| %s | %s%s |  %.2f | %.2f |", kBenchContents[c], p.name.c_str(),
                        p.name == selected ? " (selected)" : "", base, median(copies));
            for (int d = 0; d < 2; ++d) {
                const double run = median(p.run[d][c]);
                std::printf(" %.2f | %.2f | %.2f%s | %.2f |", median(p.count[d][c]),
                            median(p.map[d][c]), run, run == best[d] ? " (fastest)" : "",
                            run / base);
            }
            std::printf("\n");
        }
    }
    return 0;
}

// The planar deep frame as the deep route runs it: three planes of 16-bit
// samples (green, blue, red, top-down), no alpha, in place.
struct PlanarLayout {
    struct Frame {
        std::vector<std::uint16_t> samples;
        std::uint16_t tables[4][65536];
        DeepChannelValues values;
    };
    std::vector<std::uint8_t> eight[kBenchContentCount];
    Frame frames[2][kBenchContentCount];
    std::vector<std::uint16_t> work;
    DeepState state;

    DeepPlanes view(int d) {
        const std::size_t plane = std::size_t(kWidth) * kHeight;
        const std::ptrdiff_t stride = std::ptrdiff_t(kWidth) * 2;
        return {{nullptr, &work[2 * plane], &work[0], &work[plane]},
                {stride, stride, stride, stride}, kWidth, kHeight, kDeepDepths[d]};
    }
    void prepare() {
        const std::size_t pixels = std::size_t(kWidth) * kHeight;
        FilterSettings settings{};
        setDefaultSettings(settings);
        useFrameKernels(&oracleKernels);
        for (int c = 0; c < kBenchContentCount; ++c) {
            eight[c] = benchFrame(kWidth, kHeight, c, 0);
            for (int d = 0; d < 2; ++d) {
                Frame& p = frames[d][c];
                p.samples.resize(3 * pixels);
                for (std::size_t i = 0; i < pixels; ++i) { // BGRA into green, blue, red planes
                    p.samples[i] = promoted(eight[c][4 * i + 1], kDeepDepths[d]);
                    p.samples[pixels + i] = promoted(eight[c][4 * i], kDeepDepths[d]);
                    p.samples[2 * pixels + i] = promoted(eight[c][4 * i + 2], kDeepDepths[d]);
                }
                work = p.samples;
                runDeepPlanes(settings, view(d), FourthByte::kept, state);
                std::memcpy(p.tables, state.table, sizeof p.tables);
                p.values =
                    deepChannelValuesOf(state.histogram, kDeepDepths[d], pixels, FourthByte::kept);
            }
        }
    }
    void restore(int d, int c) {
        std::memcpy(work.data(), frames[d][c].samples.data(), work.size() * 2);
    }
    void count(const FrameKernels& k, int d) {
        std::memset(state.histogram, 0, sizeof state.histogram);
        k.deepPlaneCount(view(d), state.histogram, FourthByte::kept);
    }
    void map(const FrameKernels& k, int d, int c) {
        k.deepPlaneMap(view(d), frames[d][c].tables, frames[d][c].values);
    }
    void run(const FilterSettings& settings, int d) {
        runDeepPlanes(settings, view(d), FourthByte::kept, state);
    }
};

// The planar deep run as the deep route runs it (three planes of 16-bit
// samples, no alpha, in place), by every path, beside the packed 8-bit
// host run on the same content: per content and path, medians in ms of the
// 8-bit run, and at 10 and 16 bits of the planar count alone, the planar
// map alone (with the frame's own tables) and the whole planar run, each
// on a fresh copy of the planes.
int planarTable(int rounds, const std::string& only) {
    static PlanarLayout layout;
    layout.prepare();
    std::string selected;
    const std::vector<DeepTimes> paths = timeDeepLayout(rounds, only, layout, selected);
    std::printf("\n%s, %dx%d, the planar deep run (three 16-bit planes, in place) beside the "
                "packed 8-bit host run, %d rounds, medians in ms; selected path: %s\n",
                cpuName().c_str(), kWidth, kHeight, rounds, selected.c_str());
    std::printf("| content | path | 8-bit run | 10-bit count | map | run | run / 8-bit | "
                "16-bit count | map | run | run / 8-bit |\n"
                "|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (int c = 0; c < kBenchContentCount; ++c)
        for (const DeepTimes& p : paths) {
            const double base = median(p.eight[c]);
            std::printf("| %s | %s%s | %.2f |", kBenchContents[c], p.name.c_str(),
                        p.name == selected ? " (selected)" : "", base);
            for (int d = 0; d < 2; ++d)
                std::printf(" %.2f | %.2f | %.2f | %.2f |", median(p.count[d][c]),
                            median(p.map[d][c]), median(p.run[d][c]), median(p.run[d][c]) / base);
            std::printf("\n");
        }
    return 0;
}

// frame_bench --raw FILE WIDTHxHEIGHT: the frame run alone over the frames
// of a raw BGRA file (alpha set to 0, as the host's frames carry it), best
// of three passes, in milliseconds per frame: the filter's own cost without
// reading or writing, to set beside a peer's. With a smoothing window, five
// passes each without and with it, taking turns (a fresh window each pass),
// and the best of each.
int timeRawFrames(const char* path, const char* size, int window) {
    int w = 0, h = 0;
    if (std::sscanf(size, "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0) return 2;
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return 1;
    const std::size_t frameBytes = std::size_t(w) * h * 4;
    std::vector<std::vector<std::uint8_t>> frames;
    for (std::vector<std::uint8_t> b(frameBytes);
         std::fread(b.data(), 1, frameBytes, f) == frameBytes;) {
        for (std::size_t i = 3; i < frameBytes; i += 4) b[i] = 0;
        frames.push_back(b);
    }
    std::fclose(f);
    if (frames.empty()) return 1;
    FilterSettings settings{};
    setDefaultSettings(settings);
    // Each frame is copied into the working buffer just before its run, as a
    // host hands over a frame it has just decoded: warm in the cache.
    std::vector<std::uint8_t> work(frameBytes);
    const FrameView view = {reinterpret_cast<FramePixel*>(&work[frameBytes - std::size_t(w) * 4]),
                            w, h, -std::ptrdiff_t(w) * 4};
    double best[2] = {1e30, 1e30};
    const int kinds = window > 0 ? 2 : 1;
    for (int pass = 0; pass < (window > 0 ? 10 : 3); ++pass) {
        const int kind = pass % kinds;
        Smoothing smoothing;
        setSmoothingWindow(smoothing, window);
        std::chrono::duration<double, std::milli> took{0};
        for (const auto& frame : frames) {
            std::memcpy(work.data(), frame.data(), frameBytes);
            const auto start = Clock::now();
            runFrame(settings, view, view, OverlayPeaks::lastComputed, FourthByte::channel,
                     kind == 1 ? &smoothing : nullptr);
            took += Clock::now() - start;
        }
        best[kind] = std::min(best[kind], took.count() / double(frames.size()));
    }
    if (window > 0)
        std::printf("%.3f %.3f\n", best[0], best[1]);
    else
        std::printf("%.3f\n", best[0]);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if ((argc == 4 || argc == 5) && std::string(argv[1]) == "--raw")
        return timeRawFrames(argv[2], argv[3], argc == 5 ? std::atoi(argv[4]) : 0);
    if (argc >= 2 && argc <= 4 && std::string(argv[1]) == "--planar") {
        const int rounds = argc >= 3 ? std::atoi(argv[2]) : 25;
        return rounds > 0 ? planarTable(rounds, argc == 4 ? argv[3] : "") : 2;
    }
    if (argc >= 2 && argc <= 4 && std::string(argv[1]) == "--deep") {
        const int rounds = argc >= 3 ? std::atoi(argv[2]) : 25;
        return rounds > 0 ? deepTable(rounds, argc == 4 ? argv[3] : "") : 2;
    }
    const int rounds = argc == 2 ? std::atoi(argv[1]) : 25;
    if (argc > 2 || rounds <= 0) {
        std::fprintf(stderr, "usage: frame_bench [ROUNDS] | frame_bench --deep [ROUNDS [PATH]] | "
                             "frame_bench --planar [ROUNDS [PATH]] | frame_bench --raw FILE WxH\n");
        return 2;
    }
    const int status = table(rounds);
    const int windows = status != 0 ? status : windowTable(rounds);
    return windows != 0 ? windows : deepTable(rounds, "");
}
