// --raw: frames of the given size read whole from standard input (memory
// taken as the bytes come, not for the size announced), each corrected and
// written out before the next is read, with progress on a terminal.
#include "raw_mode.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "deep_correct.h"
#include "filter_host.h"
#include "messages.h"
#include "process.h"
#include "progress.h"
#include "sizes.h"
#include "smoothing.h"
#include "smoothing_option.h"

namespace {

// Reads one frame of `bytes` bytes, growing `frame` only as the bytes come.
// Returns the bytes read (fewer at the end of input).
std::size_t readFrame(int fd, std::vector<std::uint8_t>& frame, std::size_t bytes) {
    std::size_t done = 0;
    while (done < bytes) {
        const std::size_t want = std::min(kReadPiece, bytes - done);
        if (frame.size() < done + want) frame.resize(done + want);
        const std::size_t got = readFully(fd, frame.data() + done, want);
        done += got;
        if (got < want) break;
    }
    return done;
}

// The first sample of a deep raw frame at or above 2^depth, as velmor's
// refusal names it ("" for none): the deep run takes samples below that
// and would wrap larger ones into the range. The fourth sample counts
// unless --zero-alpha clears it first.
std::string sampleOutOfRange(const std::uint8_t* frame, std::size_t pixels, int depth,
                             bool zeroAlpha, long frameNumber) {
    static const char* const kNames[] = {"blue", "green", "red", "alpha"};
    const unsigned limit = 1u << depth;
    for (std::size_t i = 0; i < pixels * 4; ++i) {
        if (zeroAlpha && i % 4 == 3) continue;
        const unsigned v = frame[2 * i] | unsigned(frame[2 * i + 1]) << 8;
        if (v >= limit)
            return "--raw: frame " + std::to_string(frameNumber) + ", pixel " +
                   std::to_string(i / 4 + 1) + ": " + kNames[i % 4] + " sample " +
                   std::to_string(v) + " is not below " + std::to_string(limit) +
                   ", the limit of --depth " + std::to_string(depth) + "; the " +
                   std::to_string(frameNumber - 1) + " frames before it were written";
    }
    return "";
}

// What corrects one frame: the plug-in (8 bits) or the deep run, with the
// smoothing over time beside them when it is on.
struct RawCorrection {
    std::unique_ptr<FilterHost> host;
    std::unique_ptr<DeepState> deepState;
    FilterSettings deepSettings{};
    Smoothing smoothing;

    void run(const Options& o, std::uint8_t* frame) {
        Smoothing* s = smoothing.window > 0 ? &smoothing : nullptr;
        if (host && o.zeroAlpha)
            host->runFrameZeroingAlpha(frame, s);
        else if (host)
            host->runFrame(frame, s);
        else
            runDeepFrame(deepSettings,
                         {reinterpret_cast<DeepPixel*>(frame), o.rawWidth, o.rawHeight,
                          static_cast<std::ptrdiff_t>(o.rawWidth) * 8, o.depth},
                         o.zeroAlpha ? FourthByte::zeroed : FourthByte::channel, *deepState, s);
    }
};

} // namespace

int rawFrames(const Options& o) {
    if (o.rawWidth <= 0 || o.rawHeight <= 0)
        return failure("--raw: the size must be at least 1x1", 2);
    const std::uint64_t pixels = std::uint64_t(o.rawWidth) * std::uint64_t(o.rawHeight);
    if (pixels > kFramePixelsMax)
        return failure("--raw: frames of " + std::to_string(o.rawWidth) + "x" +
                           std::to_string(o.rawHeight) +
                           " are too large (at most 268435456 pixels, e.g. 16384x16384)",
                       2);
    const bool deep = o.depth > 8;
    const std::size_t frameBytes = static_cast<std::size_t>(pixels) * (deep ? 8 : 4);
    std::vector<std::uint8_t> frame;
    std::signal(SIGPIPE, SIG_IGN);
    // 8 bits: the plug-in, driven as its host drives it; deeper: the core's
    // deep run, which no host of the plug-in can carry.
    auto correction = std::make_unique<RawCorrection>();
    if (deep) {
        correction->deepState = std::make_unique<DeepState>();
        correction->deepSettings = settingsFromOptions(o);
    } else {
        correction->host = makeHost(o);
        correction->host->start(o.rawWidth, o.rawHeight);
    }
    setSmoothingWindow(correction->smoothing, smoothingWindowOf(o));
    Progress progress(o.quiet, 0, 0);
    long done = 0;
    for (;;) {
        std::size_t got = 0;
        try {
            got = readFrame(0, frame, frameBytes);
        } catch (const std::bad_alloc&) {
            return failure("--raw: not enough memory for frames of " +
                           std::to_string(o.rawWidth) + "x" + std::to_string(o.rawHeight));
        }
        if (got == 0) break;
        if (got < frameBytes)
            return failure("--raw: the input ended inside frame " + std::to_string(done + 1) +
                           " (" + std::to_string(got) + " of " + std::to_string(frameBytes) +
                           " bytes); the " + std::to_string(done) +
                           " frames before it were written");
        if (deep && o.depth < 16)
            if (const std::string bad =
                    sampleOutOfRange(frame.data(), pixels, o.depth, o.zeroAlpha, done + 1);
                !bad.empty())
                return failure(bad);
        correction->run(o, frame.data());
        if (!writeFully(1, frame.data(), frame.size()))
            return failure(std::string("cannot write frame to standard output: ") +
                           std::strerror(errno));
        progress.update(++done, 0);
    }
    progress.update(done, 0, true);
    return 0;
}
