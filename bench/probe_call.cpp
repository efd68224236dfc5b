// velmor's probe, timed alone: probes each file ROUNDS times in this
// process (as the conversion and the batch ask it) and prints the CPU time
// (user and system, this process's threads) and the wall time per probe.
// Usage: probe_call ROUNDS FILE...
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "media_probe.h"

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 2 ? std::atoi(argv[1]) : 0;
    if (rounds <= 0) {
        std::fprintf(stderr, "usage: probe_call ROUNDS FILE...\n");
        return 2;
    }
    const double cpu0 = cpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r)
        for (int i = 2; i < argc; ++i) {
            MediaInfo m;
            std::string error;
            if (probeMedia(std::string("file:") + argv[i], false, m, error) != 0) {
                std::fprintf(stderr, "probe_call: %s\n", error.c_str());
                return 1;
            }
        }
    const double probes = double(rounds) * (argc - 2);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    std::printf("%.6f %.6f\n", (cpuSeconds() - cpu0) / probes, wall / probes);
    return 0;
}
