// The frame run on 720x576, 1920x1080 and 3840x2160 BGRA frames of four
// kinds of content, by every kernel path this CPU runs, beside the
// straightforward loops (the tests' oracle) and a copy bound: one read pass
// over the frame plus a copy of it, the least any two-pass filter moves.
// After the usual table, a summary gives frames per second and the ratios.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "frame_run.h"
#include "kernels.h"
#include "oracle_kernels.h"

namespace {

struct Size {
    int width, height;
};
const Size kSizes[] = {{720, 576}, {1920, 1080}, {3840, 2160}};
const char* const kContents[] = {"random", "flat", "ramp", "titles"};

std::vector<std::uint8_t> makeFrame(Size s, int content) {
    std::vector<std::uint8_t> f(std::size_t(s.width) * s.height * 4);
    std::mt19937 rng(1);
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            std::uint8_t* p = &f[(std::size_t(y) * s.width + x) * 4];
            std::uint8_t v[3];
            switch (content) {
            case 0: // noise in every colour byte
                for (auto& c : v) c = std::uint8_t(rng());
                break;
            case 1: // one colour
                v[0] = 40, v[1] = 80, v[2] = 120;
                break;
            case 2: // a washed-out ramp with a little grain
                for (int c = 0; c < 3; ++c)
                    v[c] = std::uint8_t(90 + (x * 60) / s.width + c * 4 + rng() % 3);
                break;
            default: { // a flat card with lines of white text
                const bool ink = (y / 24) % 3 == 1 && (x / 8) % 5 != 4 && rng() % 3 == 0;
                v[0] = v[1] = v[2] = ink ? 235 : 16;
            }
            }
            p[0] = v[0], p[1] = v[1], p[2] = v[2], p[3] = 0;
        }
    return f;
}

void runFrames(benchmark::State& state, const FrameKernels* kernels, Size s, int content) {
    std::vector<std::uint8_t> frame = makeFrame(s, content);
    useFrameKernels(kernels);
    FilterSettings settings{};
    setDefaultSettings(settings);
    // As the host stores it: memory row 0 at the bottom, a negative pitch.
    const FrameView view = {
        reinterpret_cast<FramePixel*>(&frame[(std::size_t(s.height) - 1) * s.width * 4]), s.width,
        s.height, -std::ptrdiff_t(s.width) * 4};
    for (auto _ : state) {
        runFrame(settings, view, view);
        benchmark::ClobberMemory();
    }
    state.counters["fps"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    useFrameKernels(nullptr);
}

void copyBound(benchmark::State& state, Size s, int content) {
    std::vector<std::uint8_t> frame = makeFrame(s, content), copy(frame.size());
    for (auto _ : state) {
        std::uint64_t sum = 0;
        for (std::size_t i = 0; i + 8 <= frame.size(); i += 8) {
            std::uint64_t w;
            std::memcpy(&w, &frame[i], 8);
            sum += w;
        }
        benchmark::DoNotOptimize(sum);
        std::memcpy(copy.data(), frame.data(), frame.size());
        benchmark::ClobberMemory();
    }
    state.counters["fps"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// Collects frames per second by benchmark name for the summary.
class Summary : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> fps;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            auto it = r.counters.find("fps");
            if (it != r.counters.end() && r.run_type == Run::RT_Iteration)
                fps[r.benchmark_name()] = it->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

std::string name(const char* impl, Size s, int content) {
    return std::string(impl) + "/" + std::to_string(s.width) + "x" + std::to_string(s.height) +
           "/" + kContents[content];
}

// frame_bench --raw FILE WIDTHxHEIGHT: the frame run alone over the frames
// of a raw BGRA file (alpha set to 0, as the host's frames carry it), best
// of three passes, in milliseconds per frame: the filter's own cost without
// reading or writing, to set beside a peer's.
int timeRawFrames(const char* path, const char* size) {
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
    double best = 1e30;
    for (int pass = 0; pass < 3; ++pass) {
        std::chrono::duration<double, std::milli> took{0};
        for (const auto& frame : frames) {
            std::memcpy(work.data(), frame.data(), frameBytes);
            const auto start = std::chrono::steady_clock::now();
            runFrame(settings, view, view);
            took += std::chrono::steady_clock::now() - start;
        }
        best = std::min(best, took.count() / double(frames.size()));
    }
    std::printf("%.3f\n", best);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--raw") return timeRawFrames(argv[2], argv[3]);
    std::vector<std::pair<const char*, const FrameKernels*>> impls = {{"oracle", &oracleKernels},
                                                                      {"scalar", &scalarKernels}};
    for (auto k : {sse2Kernels(), avx2Kernels(), avx512Kernels()}) {
        const KernelPath path = k == sse2Kernels()   ? KernelPath::Sse2
                                : k == avx2Kernels() ? KernelPath::Avx2
                                                     : KernelPath::Avx512;
        if (k && forceKernelPath(path)) impls.push_back({k->name, k});
    }
    forceKernelPath(KernelPath::Auto);
    const std::string best = frameKernels().name;
    for (Size s : kSizes)
        for (int c = 0; c < 4; ++c) {
            for (auto& impl : impls)
                benchmark::RegisterBenchmark(name(impl.first, s, c).c_str(), runFrames, impl.second,
                                             s, c)
                    ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(name("copy", s, c).c_str(), copyBound, s, c)
                ->Unit(benchmark::kMillisecond);
        }
    benchmark::Initialize(&argc, argv);
    Summary summary;
    benchmark::RunSpecifiedBenchmarks(&summary);

    std::printf("\nFrames per second (selected path: %s); ratios: selected / oracle, and "
                "copy bound / selected (1.0 would be as fast as copying)\n",
                best.c_str());
    std::printf("%-10s %-7s %9s %9s %9s %9s %9s\n", "size", "content", "oracle", best.c_str(),
                "copy", "speedup", "vs copy");
    for (Size s : kSizes)
        for (int c = 0; c < 4; ++c) {
            const double o = summary.fps[name("oracle", s, c)];
            const double b = summary.fps[name(best.c_str(), s, c)];
            const double cp = summary.fps[name("copy", s, c)];
            if (o <= 0 || b <= 0 || cp <= 0) continue;
            std::printf("%4dx%-5d %-7s %9.1f %9.1f %9.1f %8.2fx %8.2fx\n", s.width, s.height,
                        kContents[c], o, b, cp, b / o, cp / b);
        }
    benchmark::Shutdown();
    return 0;
}
