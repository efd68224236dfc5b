// The deep route's NUT parser on streams ffmpeg writes, and on those
// streams cut short or altered: what it passes on decodes to the frames
// the caller made of them with every timestamp kept, and what it cannot
// carry it refuses with a message.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "deep_route.h"
#include "nut_reader.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Dir {
    std::string path;
    Dir() {
        char name[] = "/tmp/velmor-nut-XXXXXX";
        path = mkdtemp(name) ? name : "";
    }
    ~Dir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string operator/(const std::string& f) const { return path + "/" + f; }
};

Bytes readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

void writeFile(const std::string& name, const Bytes& b) {
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(b.data()),
                                                 std::streamsize(b.size()));
}

bool sh(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// The stream through pumpNut, each colour sample s of a frame written as
// 65535 - s (alpha as it is); `frames` collects the pictures it saw.
NutResult pump(const Bytes& in, Bytes& out, std::vector<NutPicture>* frames = nullptr,
               std::uint64_t maxFrameBytes = std::uint64_t(1) << 32) {
    std::size_t at = 0;
    NutStreams io;
    io.read = [&](std::uint8_t* p, std::size_t n) {
        n = std::min(n, in.size() - at);
        if (n == 0) return n; // at the end: a cut stream may be empty, with no address
        std::memcpy(p, in.data() + at, n);
        at += n;
        return n;
    };
    io.write = [&](const std::uint8_t* p, std::size_t n) {
        out.insert(out.end(), p, p + n);
        return true;
    };
    io.frame = [&](std::uint8_t* f, const NutPicture& p) {
        const std::uint64_t colours = std::uint64_t(p.width) * p.height * 3;
        auto* s = reinterpret_cast<std::uint16_t*>(f);
        for (std::uint64_t i = 0; i < colours; ++i) s[i] = std::uint16_t(65535 - s[i]);
        if (frames) frames->push_back(p);
        return true;
    };
    io.maxFrameBytes = maxFrameBytes;
    return pumpNut(io);
}

// ffmpeg's streams: planar 16-bit RGB or RGBA, tiny frames whose first
// bytes the muxer may elide, odd sizes, timestamps with gaps.
struct Made {
    const char* name;
    const char* source; // an ffmpeg input
    const char* pixFmt;
    int width, height, planes, frames;
};
const Made kMade[] = {
    {"tiny, starting as an elision header", "-f rawvideo -pix_fmt gbrp16le -s 16x16 -i tiny.raw",
     "gbrp16le", 16, 16, 3, 3},
    {"odd with alpha", "-f lavfi -i testsrc2=size=17x9:rate=25:duration=0.2,format=yuva444p",
     "gbrap16le", 17, 9, 4, 5},
    {"timestamps with gaps",
     "-f lavfi -i testsrc2=size=64x36:rate=25:duration=0.4,select='not(eq(n\\,3))'", "gbrp16le", 64,
     36, 3, 9},
};

// Three 16x16 frames whose first bytes, 00 00 01, are one of the NUT
// muxer's elision headers.
Bytes tinyFrames() {
    Bytes b(16 * 16 * 2 * 3 * 3, 0x40);
    for (std::size_t f = 0; f < 3; ++f) {
        std::uint8_t* p = &b[f * 16 * 16 * 2 * 3];
        p[0] = p[1] = 0, p[2] = 1, p[3] = 0;
    }
    return b;
}

TEST(NutReader, FfmpegsStreamsComeThroughCorrectedWithTheirTimestamps) {
    Dir d;
    for (const Made& m : kMade) {
        SCOPED_TRACE(m.name);
        writeFile(d / "tiny.raw", tinyFrames());
        ASSERT_TRUE(sh("cd '" + d.path + "' && ffmpeg -v error -nostdin -y " + m.source +
                       " -c:v rawvideo -pix_fmt " + m.pixFmt + " -fps_mode passthrough -f nut '" +
                       (d / "in.nut") + "'"));
        Bytes out;
        std::vector<NutPicture> frames;
        const NutResult r = pump(readFile(d / "in.nut"), out, &frames);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.frames, m.frames);
        ASSERT_EQ(frames.size(), std::size_t(m.frames));
        EXPECT_EQ(frames[0].width, m.width);
        EXPECT_EQ(frames[0].height, m.height);
        EXPECT_EQ(frames[0].planes, m.planes);
        writeFile(d / "out.nut", out);
        const std::string raw = " -f rawvideo -pix_fmt " + std::string(m.pixFmt) + " '";
        ASSERT_TRUE(sh("ffmpeg -v error -nostdin -y -i '" + (d / "in.nut") + "'" + raw +
                       (d / "in.raw") + "' && ffmpeg -v error -nostdin -y -i '" + (d / "out.nut") +
                       "'" + raw + (d / "out.raw") + "'"));
        const Bytes want = readFile(d / "in.raw"), got = readFile(d / "out.raw");
        ASSERT_EQ(want.size(), got.size());
        const std::size_t plane = std::size_t(m.width) * m.height * 2;
        for (std::size_t i = 0; i + 1 < want.size(); i += 2) {
            const unsigned w = want[i] | want[i + 1] << 8, g = got[i] | got[i + 1] << 8;
            ASSERT_EQ(i / plane % m.planes == 3 ? w : 65535 - w, g) << "byte " << i;
        }
        const std::string pts = " -v error -show_entries packet=pts,duration -of csv '";
        ASSERT_TRUE(sh("ffprobe" + pts + (d / "in.nut") + "' > '" + (d / "in.pts") + "' && ffprobe" +
                       pts + (d / "out.nut") + "' > '" + (d / "out.pts") + "'"));
        EXPECT_EQ(readFile(d / "in.pts"), readFile(d / "out.pts"));
    }
}

// The offset of the stream header's width in a stream of ffmpeg's: after
// the tag, five numbers and the codec data's length (0).
std::size_t widthAt(const Bytes& b) {
    const char tag[] = "G3\0\x10";
    std::size_t i = 0;
    while (i + 4 <= b.size() && std::memcmp(&b[i], tag, 4) != 0) ++i;
    i += 4;
    for (int field = 0; field < 6 && i < b.size(); ++field)
        while (b[i++] & 0x80) {
        }
    return i;
}

// Streams the parser must refuse, each with its message: altered ones of a
// 64x36 stream, and ffmpeg's own of other kinds.
TEST(NutReader, WhatItCannotCarryIsRefusedWithAMessage) {
    Dir d;
    const std::string make = "ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=size=64x36:rate=25:duration=0.2 ";
    ASSERT_TRUE(sh(make + "-c:v rawvideo -pix_fmt gbrp16le -f nut '" + (d / "rgb.nut") + "'"));
    ASSERT_TRUE(sh(make + "-c:v rawvideo -pix_fmt yuv444p16le -f nut '" + (d / "yuv.nut") + "'"));
    ASSERT_TRUE(sh(make + "-f lavfi -i sine=duration=0.2 -c:v rawvideo -pix_fmt gbrp16le -f nut '" +
                   (d / "sound.nut") + "'"));
    const Bytes rgb = readFile(d / "rgb.nut");
    ASSERT_EQ(rgb[widthAt(rgb)], 64);
    const struct {
        const char* name;
        Bytes stream;
        std::uint64_t maxFrameBytes;
        const char* message;
    } cases[] = {
        {"not NUT", [&] { Bytes b = rgb; b[0] = 'x'; return b; }(), 1u << 30, "not NUT"},
        {"frames of another size than the header's",
         [&] { Bytes b = rgb; b[widthAt(b)] = 63; return b; }(), 1u << 30,
         "changes size mid-stream"},
        {"frames too large", rgb, 64 * 36 * 6 - 1, "too large"},
        {"YUV", readFile(d / "yuv.nut"), 1u << 30, "not planar 16-bit RGB"},
        {"with sound", readFile(d / "sound.nut"), 1u << 30, "more than the one picture stream"},
        {"cut inside the last frame", Bytes(rgb.begin(), rgb.end() - 100), 1u << 30,
         "ended inside a frame"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes out;
        const NutResult r = pump(c.stream, out, nullptr, c.maxFrameBytes);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
        // The deep route's middle calls the stream refused only for what it
        // holds: one cut short is a decoder that died, whose own error and
        // exit status then explain the failure.
        if (c.maxFrameBytes != (1u << 30)) continue; // its limit is the route's own
        writeFile(d / "case.nut", c.stream);
        const int in = open((d / "case.nut").c_str(), O_RDONLY), sink = open("/dev/null", O_WRONLY);
        const volatile std::sig_atomic_t stop = 0;
        const DeepPumpResult deep = pumpDeepFrames(in, sink, FilterSettings{}, 0, &stop);
        close(in), close(sink);
        EXPECT_FALSE(deep.ok);
        EXPECT_EQ(deep.refused, std::string(c.name) != "cut inside the last frame") << deep.error;
    }
}

// Cut anywhere, the stream stops cleanly: whole frames before the cut
// pass, an error says where it ended, and nothing is read beyond it
// (AddressSanitizer watches in the sanitized build).
TEST(NutReader, AStreamCutAnywhereEndsCleanly) {
    Dir d;
    ASSERT_TRUE(sh("ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=size=24x8:rate=25:duration=0.2 "
                   "-c:v rawvideo -pix_fmt gbrp16le -f nut '" + (d / "in.nut") + "'"));
    const Bytes whole = readFile(d / "in.nut");
    Bytes out;
    ASSERT_EQ(pump(whole, out).frames, 5);
    for (std::size_t cut = 0; cut < whole.size(); cut += 7) {
        SCOPED_TRACE(cut);
        out.clear();
        const NutResult r = pump(Bytes(whole.begin(), whole.begin() + cut), out);
        EXPECT_LE(r.frames, 5);
        EXPECT_LE(out.size(), cut);
        if (!r.ok) {
            EXPECT_FALSE(r.error.empty());
        }
        if (cut < 25) {
            EXPECT_FALSE(r.ok);
        }
    }
}

} // namespace
