// The deep route's NUT stream; see nut_reader.h.
#include "nut_reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr char kFileId[] = "nut/multimedia container"; // and its terminating 0
constexpr std::uint64_t kMainCode = 0x4E4D7A561F5F04ADull;
constexpr std::uint64_t kStreamCode = 0x4E5311405BF2F9DBull;
// Headers are read whole to be parsed; every other packet passes in pieces.
constexpr std::uint64_t kHeaderMax = 1 << 20;
constexpr std::size_t kPiece = 1 << 16;

// The frame flags the parser reads.
enum : std::uint64_t {
    kFlagCodedPts = 8,
    kFlagStreamId = 16,
    kFlagSizeMsb = 32,
    kFlagChecksum = 64,
    kFlagReserved = 128,
    kFlagSideData = 256,
    kFlagHeaderIdx = 1024,
    kFlagMatchTime = 2048,
    kFlagCoded = 4096,
    kFlagInvalid = 8192,
};

struct FrameCode {
    std::uint64_t flags = kFlagInvalid, stream = 0, sizeMul = 1, sizeLsb = 0, reserved = 0,
                  headerIdx = 0;
};

// Numbers read off a packet held in memory; past its end, `bad` is set.
struct Cursor {
    const std::uint8_t* p;
    const std::uint8_t* end;
    bool bad = false;
    std::uint64_t v() {
        std::uint64_t x = 0;
        for (int i = 0; i < 10; ++i) {
            if (p == end) break;
            const std::uint8_t b = *p++;
            x = x << 7 | (b & 0x7F);
            if (!(b & 0x80)) return x;
        }
        bad = true;
        return 0;
    }
    void skip(std::uint64_t n) {
        if (n > std::uint64_t(end - p)) bad = true, n = std::uint64_t(end - p);
        p += n;
    }
};

struct Pump {
    const NutStreams& io;
    NutResult result;
    std::vector<std::uint8_t> in; // read ahead, from `at`
    std::size_t at = 0;
    bool ended = false;
    std::vector<std::uint8_t> out;   // header bytes not yet written
    std::vector<std::uint8_t> frame; // one frame's data
    FrameCode codes[256];
    std::uint64_t headerLength[128] = {};
    std::uint64_t headerCount = 0, streamCount = 0;
    bool mainRead = false;
    NutPicture picture;

    bool fail(const std::string& why) {
        if (result.ok) result.ok = false, result.error = why;
        return false;
    }
    bool endedInside(const std::string& what) {
        if (result.ok) result.cutShort = true;
        return fail("the stream ended inside " + what);
    }
    bool fill() {
        if (at < in.size() || ended) return at < in.size();
        in.resize(kPiece), at = 0;
        const std::size_t got = io.read(in.data(), in.size());
        in.resize(got);
        ended = got == 0;
        return got != 0;
    }
    // One byte, passed on with the header bytes; false at the end.
    bool byte(std::uint8_t& b) {
        if (!fill()) return false;
        b = in[at++];
        out.push_back(b);
        return true;
    }
    bool bytes(std::uint8_t* to, std::size_t n) {
        const std::size_t from = std::min(n, in.size() - at);
        if (from > 0) std::memcpy(to, in.data() + at, from);
        at += from;
        return from == n || io.read(to + from, n - from) == n - from;
    }
    bool flush() {
        if (out.empty()) return true;
        if (!io.write(out.data(), out.size())) return fail("the encoding ffmpeg stopped reading");
        out.clear();
        return true;
    }
    bool v(std::uint64_t& x) {
        x = 0;
        for (int i = 0; i < 10; ++i) {
            std::uint8_t b;
            if (!byte(b)) return endedInside("a header");
            x = x << 7 | (b & 0x7F);
            if (!(b & 0x80)) return true;
        }
        return fail("a number of more than 64 bits in the stream");
    }
    bool mainHeader(Cursor c);
    bool streamHeader(Cursor c);
    bool packet(std::uint8_t first);
    bool frameHeader(std::uint8_t code, std::uint64_t& size);
    bool passFrame(std::uint8_t code);
};

// Version, streams, time bases, then the frame-code table: runs of codes,
// each run's fields given once, with 'N' left out (it starts packets); then
// the elision headers' lengths.
bool Pump::mainHeader(Cursor c) {
    const std::uint64_t version = c.v();
    if (version > 3) c.v(); // minor version
    streamCount = c.v();
    c.v(); // max distance
    const std::uint64_t timeBases = c.v();
    for (std::uint64_t i = 0; i < timeBases && !c.bad; ++i) c.v(), c.v();
    FrameCode run;
    run.flags = 0;
    std::uint64_t i = 0;
    while (i < 256 && !c.bad) {
        run.flags = c.v();
        const std::uint64_t fields = c.v();
        std::int64_t count = 0;
        run.sizeLsb = 0, run.reserved = 0;
        if (fields > 0) c.v(); // pts delta
        if (fields > 1) run.sizeMul = c.v();
        if (fields > 2) run.stream = c.v();
        if (fields > 3) run.sizeLsb = c.v();
        if (fields > 4) run.reserved = c.v();
        count = fields > 5 ? std::int64_t(c.v()) : std::int64_t(run.sizeMul - run.sizeLsb);
        if (fields > 6) c.v(); // match time
        if (fields > 7) run.headerIdx = c.v();
        for (std::uint64_t f = 8; f < fields && !c.bad; ++f) c.v();
        if (count <= 0 || std::uint64_t(count) > 256 - i - (i <= 'N'))
            return fail("a frame-code table that does not add up in the stream's main header");
        for (std::int64_t j = 0; j < count; ++i) {
            if (i == 'N') continue; // left invalid
            codes[i] = run, codes[i].sizeLsb = run.sizeLsb + std::uint64_t(j++);
        }
    }
    if (c.end - c.p > 4) {
        headerCount = c.v();
        if (headerCount >= 128) return fail("too many elision headers in the stream's main header");
        for (std::uint64_t h = 1; h <= headerCount && !c.bad; ++h)
            headerLength[h] = c.v(), c.skip(headerLength[h]);
    }
    if (c.bad) return fail("the stream's main header ends early");
    mainRead = true;
    return true;
}

// The one stream: raw video, planar 16-bit little-endian RGB ('G3' 0 16)
// or RGBA ('G4' 0 16), and its size.
bool Pump::streamHeader(Cursor c) {
    if (!mainRead) return fail("a stream header before the stream's main header");
    if (streamCount != 1 || c.v() != 0)
        return fail("the stream holds more than the one picture stream");
    const std::uint64_t kind = c.v(), tagLength = c.v();
    std::uint8_t tag[4] = {};
    if (tagLength == 4 && c.end - c.p >= 4) std::memcpy(tag, c.p, 4);
    c.skip(tagLength);
    const bool rgb = std::memcmp(tag, "G3\0\x10", 4) == 0;
    const bool rgba = std::memcmp(tag, "G4\0\x10", 4) == 0;
    if (kind != 0 || tagLength != 4 || !(rgb || rgba))
        return fail("the picture stream is not planar 16-bit RGB");
    for (int i = 0; i < 5; ++i) c.v(); // time base, pts shift and distance, delay, flags
    c.skip(c.v());                     // codec data
    const std::uint64_t width = c.v(), height = c.v();
    if (c.bad) return fail("the stream header ends early");
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return fail("a picture of impossible size in the stream header");
    picture = {std::int32_t(width), std::int32_t(height), rgb ? 3 : 4};
    return true;
}

// A packet: its start code (the first byte read), size and optional
// header checksum, then its body, parsed where it is a header.
bool Pump::packet(std::uint8_t first) {
    std::uint64_t code = first, size = 0;
    for (int i = 0; i < 7; ++i) {
        std::uint8_t b;
        if (!byte(b)) return endedInside("a start code");
        code = code << 8 | b;
    }
    if (!v(size)) return false;
    std::uint8_t b;
    for (int i = 0; i < 4 && size > 4096; ++i)
        if (!byte(b)) return endedInside("a packet header");
    if (code == kMainCode || code == kStreamCode) {
        if (size > kHeaderMax) return fail("a header of impossible size in the stream");
        const std::size_t from = out.size();
        for (std::uint64_t i = 0; i < size; ++i)
            if (!byte(b)) return endedInside("a header");
        Cursor c{out.data() + from, out.data() + out.size() - 4};
        if (size < 4) return fail("a header of impossible size in the stream");
        if (!(code == kMainCode ? mainHeader(c) : streamHeader(c))) return false;
        return flush();
    }
    if (!flush()) return false;
    while (size > 0) { // info, syncpoints, index: as they are
        if (!fill()) return endedInside("a packet");
        const std::size_t n = std::size_t(std::min<std::uint64_t>(size, in.size() - at));
        if (!io.write(in.data() + at, n)) return fail("the encoding ffmpeg stopped reading");
        at += n, size -= n;
    }
    return true;
}

// A frame's header after its code: the fields its flags call for, in
// order; `size` the data's bytes after it.
bool Pump::frameHeader(std::uint8_t code, std::uint64_t& size) {
    const FrameCode& fc = codes[code];
    std::uint64_t flags = fc.flags, stream = fc.stream, reserved = fc.reserved,
                  headerIdx = fc.headerIdx, x = 0;
    if (flags & kFlagInvalid) return fail("a frame of an invalid code in the stream");
    if ((flags & kFlagCoded) && !v(x)) return false;
    flags ^= x;
    if ((flags & kFlagStreamId) && !v(stream)) return false;
    if ((flags & kFlagCodedPts) && !v(x)) return false;
    size = fc.sizeLsb;
    if (flags & kFlagSizeMsb) {
        if (!v(x)) return false;
        if (fc.sizeMul != 0 && x > (std::uint64_t(1) << 62) / fc.sizeMul)
            return fail("a frame of impossible size in the stream");
        size += fc.sizeMul * x;
    }
    if ((flags & kFlagMatchTime) && !v(x)) return false;
    if ((flags & kFlagHeaderIdx) && !v(headerIdx)) return false;
    if ((flags & kFlagReserved) && !v(reserved)) return false;
    for (std::uint64_t i = 0; i < reserved; ++i)
        if (!v(x)) return false;
    std::uint8_t b;
    for (int i = 0; i < 4 && (flags & kFlagChecksum); ++i)
        if (!byte(b)) return endedInside("a frame header");
    if (stream != 0) return fail("a frame of a stream the stream header did not describe");
    // Elided bytes would have to be restored and the header rewritten.
    if (size <= 4096 && headerIdx != 0)
        return fail("a frame whose first bytes the stream leaves out");
    if (flags & kFlagSideData) return fail("a frame with side data in the stream");
    return true;
}

// A frame: its header as it came, its data corrected.
bool Pump::passFrame(std::uint8_t code) {
    if (picture.planes == 0) return fail("a frame before the stream's headers");
    std::uint64_t size = 0;
    if (!frameHeader(code, size)) return false;
    const std::uint64_t want = picture.frameBytes();
    if (size != want)
        return fail("a frame of " + std::to_string(size) + " bytes where the stream's " +
                    std::to_string(picture.width) + "x" + std::to_string(picture.height) +
                    " pictures take " + std::to_string(want) +
                    ": the picture changes size mid-stream, which the deep route does not carry");
    if (want > io.maxFrameBytes)
        return fail("frames of " + std::to_string(picture.width) + "x" +
                    std::to_string(picture.height) + " are too large");
    if (frame.size() != want) frame.resize(std::size_t(want));
    if (!bytes(frame.data(), frame.size())) return endedInside("a frame");
    if (!flush()) return false;
    if (!io.frame(frame.data(), picture)) return fail("the frame was not corrected");
    if (!io.write(frame.data(), frame.size())) return fail("the encoding ffmpeg stopped reading");
    ++result.frames;
    return true;
}

} // namespace

NutResult pumpNut(const NutStreams& io) {
    Pump pump{io, {}, {}, 0, false, {}, {}, {}, {}, 0, 0, false, {}};
    char id[sizeof kFileId];
    for (char& c : id) {
        std::uint8_t b = 0;
        if (!pump.byte(b)) break;
        c = char(b);
    }
    if (pump.out.size() != sizeof kFileId || std::memcmp(id, kFileId, sizeof kFileId) != 0) {
        pump.fail("the stream is not NUT");
        return pump.result;
    }
    std::uint8_t b;
    while (pump.result.ok && pump.flush() && pump.byte(b)) {
        if (b == 'N')
            pump.packet(b);
        else
            pump.passFrame(b);
    }
    if (pump.result.ok) pump.flush();
    return pump.result;
}
