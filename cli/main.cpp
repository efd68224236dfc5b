// velmor: the filter on the command line.
//
//   velmor INPUT -o OUTPUT   one ffmpeg process with the filter in its filter
//                            graph (velmor.so through ffmpeg's frei0r filter);
//                            velmor chooses the command and reports on it
//   velmor INPUT... -o DIR/  many files, each as above, -j at once (batch_run)
//   velmor --raw WxH         raw BGRA frames on stdin -> filter -> stdout, the
//                            filter driven as the video host drives it
//   velmor --demo [DIR]      a washed-out sample clip, corrected, and a
//                            before/after picture
//
// This file reads the options and hands them to the mode they name.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "batch_options.h"
#include "batch_run.h"
#include "convert.h"
#include "demo.h"
#include "filter_host.h"
#include "messages.h"
#include "options.h"
#include "raw_mode.h"
#include "velmor_version.h"

namespace {

constexpr const char* kVersion = "velmor " VELMOR_VERSION;

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    BatchOptions batch;
    if (!parseBatchOptions(args, batch, error)) return failure(error, 2);
    if (batch.batch) return runBatch(batch);
    std::optional<Options> options = parseOptions(args, error);
    if (!options) return failure(error, 2);
    // For tests and benchmarks: every file through one route.
    if (const char* route = std::getenv("VELMOR_ROUTE")) {
        if (std::strcmp(route, "deep") == 0) options->route = Route::Deep;
        if (std::strcmp(route, "8bit") == 0) options->route = Route::EightBit;
    }
    const Options& o = *options;
    if (o.noArguments) {
        std::fputs(usageText().c_str(), stderr);
        return 2;
    }
    for (const auto& w : o.warnings) warn(w);
    try {
        switch (o.mode) {
        case Mode::Help:
            std::fputs(usageText().c_str(), stdout);
            return 0;
        case Mode::Version:
            std::printf("%s\n", kVersion);
            return 0;
        case Mode::PrintConfig: {
            std::unique_ptr<FilterHost> host = makeHost(o);
            std::printf("%s\n%s\n", host->scriptForm().c_str(), host->summary().c_str());
            return 0;
        }
        case Mode::Raw:
            return rawFrames(o);
        case Mode::Demo:
            return demo(o);
        case Mode::Convert:
            return convert(o);
        }
    } catch (const std::exception& e) {
        return failure(e.what());
    }
    return 0;
}
