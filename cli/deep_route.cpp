// The deep route's middle; see deep_route.h.
#include "deep_route.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "deep_correct.h"
#include "process.h"
#include "sizes.h"
#include "smoothing.h"

namespace {

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

std::uint16_t bigEndian16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

// Reverses the eight bytes of each pixel: big-endian ARGB <-> the core's
// little-endian BGRA.
void reversePixels(std::uint8_t* p, std::size_t pixels) {
    for (std::size_t i = 0; i < pixels; ++i, p += 8) {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        v = __builtin_bswap64(v);
        std::memcpy(p, &v, 8);
    }
}

struct Pump {
    int in, out;
    const volatile std::sig_atomic_t* stop;
    DeepPumpResult result;
    std::int32_t width = 0, height = 0; // from the sample entry; 0 until 'moov'
    std::vector<std::uint8_t> buffer;

    bool fail(const std::string& why) {
        result.ok = false;
        if (result.error.empty()) result.error = why;
        return false;
    }
    bool read(std::uint8_t* to, std::size_t n) {
        if (readFully(in, to, n) == n) return true;
        return fail("the decoding ffmpeg's stream ended inside a box");
    }
    bool write(const std::uint8_t* from, std::size_t n) {
        if (*stop) return fail("stopped");
        if (writeFully(out, from, n)) return true;
        return fail(std::string("the encoding ffmpeg stopped reading (") + std::strerror(errno) +
                    ")");
    }
    // The frame size, from the picture's sample entry in 'moov': after the
    // type, six reserved bytes, the data reference index, version,
    // revision, vendor, temporal and spatial quality (24 bytes), then the
    // 16-bit width and height.
    void findFrameSize(const std::vector<std::uint8_t>& moov) {
        for (std::size_t i = 4; i + 32 <= moov.size(); ++i)
            if (std::memcmp(&moov[i], "b64a", 4) == 0 && bigEndian32(&moov[i - 4]) >= 36) {
                width = bigEndian16(&moov[i + 28]);
                height = bigEndian16(&moov[i + 30]);
                return;
            }
    }
    // Passes n bytes on, appending them to `kept` too when it is given, in
    // pieces (a frame, which the run needs whole, goes through frames()).
    bool copy(std::uint64_t n, std::vector<std::uint8_t>* kept) {
        while (n > 0) {
            const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(n, kReadPiece));
            if (buffer.size() < piece) buffer.resize(piece);
            if (!read(buffer.data(), piece) || !write(buffer.data(), piece)) return false;
            if (kept) kept->insert(kept->end(), buffer.begin(), buffer.begin() + piece);
            n -= piece;
        }
        return true;
    }
    bool frames(std::uint64_t n, const FilterSettings& settings, DeepState& state,
                Smoothing* smoothing) {
        if (width <= 0 || height <= 0)
            return fail("the decoding ffmpeg's stream holds pictures before it says their size");
        const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
        const std::uint64_t bytes = pixels * 8;
        if (n % bytes != 0)
            return fail("the decoding ffmpeg's stream holds " + std::to_string(n) +
                        " bytes of pictures, not whole frames of " + std::to_string(width) + "x" +
                        std::to_string(height));
        if (pixels > kFramePixelsMax) return fail("frames of " + std::to_string(width) + "x" +
                                             std::to_string(height) + " are too large");
        if (buffer.size() < bytes) buffer.resize(static_cast<std::size_t>(bytes));
        for (; n > 0; n -= bytes) {
            std::uint8_t* frame = buffer.data();
            if (!read(frame, static_cast<std::size_t>(bytes))) return false;
            reversePixels(frame, static_cast<std::size_t>(pixels));
            const DeepView view = {reinterpret_cast<DeepPixel*>(frame), width, height,
                                   static_cast<std::ptrdiff_t>(width) * 8, 16};
            runDeepFrame(settings, view, FourthByte::kept, state, smoothing);
            reversePixels(frame, static_cast<std::size_t>(pixels));
            if (!write(frame, static_cast<std::size_t>(bytes))) return false;
            ++result.frames;
        }
        return true;
    }
};

} // namespace

DeepPumpResult pumpDeepFrames(int in, int out, const FilterSettings& settings,
                              int smoothingWindow, const volatile std::sig_atomic_t* stop) {
    Pump pump{in, out, stop, {}, 0, 0, {}};
    std::unique_ptr<DeepState> state;
    std::unique_ptr<Smoothing> smoothing;
    try {
        state = std::make_unique<DeepState>();
        smoothing = std::make_unique<Smoothing>();
    } catch (const std::bad_alloc&) {
        pump.fail("not enough memory for the deep run");
        return pump.result;
    }
    setSmoothingWindow(*smoothing, smoothingWindow);
    std::vector<std::uint8_t> moov;
    while (pump.result.ok) {
        std::uint8_t header[16];
        const std::size_t got = readFully(in, header, 8);
        if (got == 0) break; // the end, between boxes
        if (got < 8) {
            pump.fail("the decoding ffmpeg's stream ended inside a box header");
            break;
        }
        std::uint64_t size = bigEndian32(header);
        std::size_t headerSize = 8;
        if (size == 1) {
            if (!pump.read(header + 8, 8)) break;
            size = std::uint64_t(bigEndian32(header + 8)) << 32 | bigEndian32(header + 12);
            headerSize = 16;
        }
        // Fragmented output gives every box its size; a box "to the end"
        // (size 0) only ends a file written in one piece.
        if (size < headerSize) {
            pump.fail("a box of unknown or impossible size in the decoding ffmpeg's stream");
            break;
        }
        if (!pump.write(header, headerSize)) break;
        const bool isMoov = std::memcmp(header + 4, "moov", 4) == 0;
        if (std::memcmp(header + 4, "mdat", 4) == 0)
            pump.frames(size - headerSize, settings, *state,
                        smoothing->window > 0 ? smoothing.get() : nullptr);
        else if (pump.copy(size - headerSize, isMoov ? &moov : nullptr) && isMoov)
            pump.findFrameSize(moov);
    }
    return pump.result;
}
