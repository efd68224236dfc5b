// velmor.so called as a frei0r host calls it: 1920x1080 BGRA frames of
// natural content with alpha 255, each from its input into an output frame
// of its own, as ffmpeg hands them over.
//   - one call: the time of f0r_update on one thread, median over rounds;
//   - threads: N threads, each with an instance of its own (MLT's frame
//     threads, several ffmpeg filters), all running frames at once; the
//     frames per second against one thread.
// Several plug-in files (a build before and after a change) take turns in
// every round, so that a change in the machine's speed falls on all alike.
//
// frei0r_call [--rounds N] [--threads N] PLUGIN.so...
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench_frames.h"
#include "frei0r_api.h"

namespace {

using Clock = std::chrono::steady_clock;
const int kWidth = 1920, kHeight = 1080;
const int kFramesPerThread = 20;

struct Plugin {
    std::string path;
    decltype(&f0r_construct) construct;
    decltype(&f0r_destruct) destruct;
    decltype(&f0r_update) update;
    std::vector<double> call;
    std::vector<std::vector<double>> rate; // [threads - 1]: frames per second
};

bool load(Plugin& p) {
    void* h = dlopen(p.path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr) return false;
    p.construct = reinterpret_cast<decltype(p.construct)>(dlsym(h, "f0r_construct"));
    p.destruct = reinterpret_cast<decltype(p.destruct)>(dlsym(h, "f0r_destruct"));
    p.update = reinterpret_cast<decltype(p.update)>(dlsym(h, "f0r_update"));
    auto init = reinterpret_cast<decltype(&f0r_init)>(dlsym(h, "f0r_init"));
    return p.construct && p.destruct && p.update && init && init() == 1;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Runs kFramesPerThread frames on each of `threads` threads, an instance
// each; returns frames per second over all of them.
double framesPerSecond(const Plugin& p, int threads, const std::vector<std::uint8_t>& frame) {
    std::vector<std::thread> pool;
    const auto start = Clock::now();
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            f0r_instance_t in = p.construct(kWidth, kHeight);
            std::vector<std::uint32_t> input(frame.size() / 4), output(frame.size() / 4);
            std::memcpy(input.data(), frame.data(), frame.size());
            for (int i = 0; i < kFramesPerThread; ++i)
                p.update(in, i * 0.04, input.data(), output.data());
            p.destruct(in);
        });
    for (auto& th : pool) th.join();
    return threads * kFramesPerThread / seconds(start);
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 9, maxThreads = int(std::max(2u, std::thread::hardware_concurrency()));
    std::vector<Plugin> plugins;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--rounds" && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else if (a == "--threads" && i + 1 < argc)
            maxThreads = std::atoi(argv[++i]);
        else
            plugins.push_back({a, nullptr, nullptr, nullptr, {}, {}});
    }
    if (plugins.empty() || rounds <= 0 || maxThreads <= 0) {
        std::fprintf(stderr, "usage: frei0r_call [--rounds N] [--threads N] PLUGIN.so...\n");
        return 2;
    }
    for (Plugin& p : plugins) {
        if (!load(p)) {
            std::fprintf(stderr, "frei0r_call: cannot load %s: %s\n", p.path.c_str(), dlerror());
            return 1;
        }
        p.rate.resize(std::size_t(maxThreads));
    }
    const std::vector<std::uint8_t> frame = benchFrame(kWidth, kHeight, 3, 255);
    std::vector<std::uint32_t> input(frame.size() / 4), output(frame.size() / 4);
    std::memcpy(input.data(), frame.data(), frame.size());
    for (int round = 0; round < rounds; ++round)
        for (std::size_t j = 0; j < plugins.size(); ++j) {
            Plugin& p = plugins[(j + std::size_t(round)) % plugins.size()];
            f0r_instance_t in = p.construct(kWidth, kHeight);
            for (int i = 0; i < 5; ++i) {
                const auto start = Clock::now();
                p.update(in, i * 0.04, input.data(), output.data());
                p.call.push_back(seconds(start) * 1000);
            }
            p.destruct(in);
            for (int t = 1; t <= maxThreads; ++t)
                p.rate[std::size_t(t - 1)].push_back(framesPerSecond(p, t, frame));
        }
    std::printf("1920x1080 BGRA, natural content, alpha 255, input and output apart; medians of "
                "%d rounds\n",
                rounds);
    std::printf("| plug-in | one call (ms) |");
    for (int t = 1; t <= maxThreads; ++t)
        std::printf(" %d thread%s (frames/s) |", t, t > 1 ? "s" : "");
    std::printf("\n|---|---|");
    for (int t = 1; t <= maxThreads; ++t) std::printf("---|");
    std::printf("\n");
    for (const Plugin& p : plugins) {
        const double one = median(p.rate[0]);
        std::printf("| %s | %.2f |", p.path.c_str(), median(p.call));
        for (int t = 1; t <= maxThreads; ++t) {
            const double r = median(p.rate[std::size_t(t - 1)]);
            std::printf(t == 1 ? " %.1f |" : " %.1f (%.2fx) |", r, r / one);
        }
        std::printf("\n");
    }
    return 0;
}
