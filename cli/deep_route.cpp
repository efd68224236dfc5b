// The deep route's middle; see deep_route.h.
#include "deep_route.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "deep_correct.h"
#include "nut_reader.h"
#include "process.h"
#include "sizes.h"
#include "smoothing.h"

namespace {

// The planes of a NUT frame, one after another: green, blue, red, alpha.
DeepPlanes planesOf(std::uint8_t* frame, const NutPicture& p) {
    const std::ptrdiff_t stride = std::ptrdiff_t(p.width) * 2;
    const std::size_t plane = std::size_t(stride) * std::size_t(p.height);
    auto at = [&](int i) { return reinterpret_cast<std::uint16_t*>(frame + plane * i); };
    return {{p.planes == 4 ? at(3) : nullptr, at(2), at(0), at(1)},
            {stride, stride, stride, stride},
            p.width,
            p.height,
            16};
}

} // namespace

DeepPumpResult pumpDeepFrames(int in, int out, const FilterSettings& settings,
                              int smoothingWindow, const volatile std::sig_atomic_t* stop) {
    DeepPumpResult result;
    std::unique_ptr<DeepState> state;
    std::unique_ptr<Smoothing> smoothing;
    try {
        state = std::make_unique<DeepState>();
        smoothing = std::make_unique<Smoothing>();
    } catch (const std::bad_alloc&) {
        result.ok = false, result.error = "not enough memory for the deep run";
        return result;
    }
    setSmoothingWindow(*smoothing, smoothingWindow);
    Smoothing* const running = smoothing->window > 0 ? smoothing.get() : nullptr;
    int writeError = 0;
    NutStreams io;
    io.read = [in](std::uint8_t* p, std::size_t n) { return readFully(in, p, n); };
    io.write = [&](const std::uint8_t* p, std::size_t n) {
        if (*stop) return false;
        if (writeFully(out, p, n)) return true;
        writeError = errno;
        return false;
    };
    io.frame = [&](std::uint8_t* frame, const NutPicture& p) {
        runDeepPlanes(settings, planesOf(frame, p), FourthByte::kept, *state, running);
        return *stop == 0;
    };
    io.maxFrameBytes = kFramePixelsMax * 8;
    const NutResult nut = pumpNut(io);
    result.ok = nut.ok, result.frames = nut.frames;
    if (!nut.ok) {
        result.error = *stop ? "stopped" : "the decoding ffmpeg's stream: " + nut.error;
        if (writeError != 0)
            result.error = std::string("the encoding ffmpeg stopped reading (") +
                           std::strerror(writeError) + ")";
        result.refused = !*stop && writeError == 0 && !nut.cutShort;
    }
    return result;
}
