// velmor.so in the real frei0r hosts: ffmpeg's frei0r filter, melt (MLT)
// and gst-launch-1.0 (GStreamer's frei0r elements). Each host's frames must
// equal the core's result on the frames the host fed the filter, byte for
// byte, with the host's alpha put back (frei0r_reference.h). The frames fed
// come from the same host or decoder run without the filter.
// Frei0rRowLayouts runs the plug-in in two ffmpeg builds whose frei0r
// filters put the rows in different places, in the sanitized build too.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "frei0r_reference.h"

namespace {

const std::string kWork = VELMOR_HOSTS_WORK_DIR;

std::string path(const std::string& name) {
    return kWork + "/" + name;
}

// Runs a shell command, its messages into a log that a failure prints. A
// pipeline that cannot negotiate may wait forever: five minutes at most.
::testing::AssertionResult run(const std::string& command) {
    const std::string log = path("last-command.log"), script = path("last-command.sh");
    std::ofstream(script) << command << "\n";
    if (std::system(("timeout 300 sh '" + script + "' >'" + log + "' 2>&1").c_str()) == 0)
        return ::testing::AssertionSuccess();
    std::ifstream in(log);
    return ::testing::AssertionFailure()
           << command << "\n"
           << std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::uint8_t> readFile(const std::string& name) {
    std::ifstream in(path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Frames equal the reference: the first differing byte's place otherwise.
::testing::AssertionResult sameFrames(const std::vector<std::uint8_t>& got,
                                      const std::vector<std::uint8_t>& want, int width,
                                      int height) {
    if (got.empty() || got.size() != want.size())
        return ::testing::AssertionFailure() << got.size() << " bytes, expected " << want.size();
    for (std::size_t i = 0; i < got.size(); ++i)
        if (got[i] != want[i]) {
            const std::size_t pixel = i / 4, frame = std::size_t(width) * height;
            return ::testing::AssertionFailure()
                   << "frame " << pixel / frame << " row " << pixel % frame / width << " column "
                   << pixel % width << " byte " << i % 4 << ": " << int(got[i]) << ", expected "
                   << int(want[i]);
        }
    return ::testing::AssertionSuccess();
}

// An MLT profile at the source's own size, so that melt hands the filter
// the frames as decoded.
std::string profile(int width, int height) {
    const std::string w = std::to_string(width), h = std::to_string(height);
    return "description=" + w + "x" + h + "\nframe_rate_num=25\nframe_rate_den=1\nwidth=" + w +
           "\nheight=" + h + "\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n"
           "display_aspect_num=" + w + "\ndisplay_aspect_den=" + h + "\ncolorspace=709\n";
}

class Frei0rHosts : public ::testing::Test {
  protected:
    static void useThisBuild() {
        setenv("FREI0R_PATH", VELMOR_FREI0R_DIR, 1);
        setenv("GST_REGISTRY", path("gst-registry.bin").c_str(), 1);
    }

    static void SetUpTestSuite() {
#ifdef VELMOR_SANITIZED
        return;
#endif
        useThisBuild();
        std::ofstream(path("641x481.profile")) << profile(641, 481);
        std::ofstream(path("320x240.profile")) << profile(320, 240);
        // Washed-out sources: a clip with an odd height, a picture with real
        // transparency, and an odd-sized clip kept losslessly in BGRA, its red and
        // blue ranges apart so that a swap shows in the overlay (cut
        // from larger test pictures, which ffmpeg makes only at even sizes).
        const std::string f = "ffmpeg -v error -y -f lavfi -i ";
        ASSERT_TRUE(run(f + "testsrc2=s=320x242:r=10:d=0.5 -vf format=yuv444p,crop=320:241:0:0,"
                            "eq=contrast=0.5:brightness=0.1 "
                            "-c:v ffv1 -pix_fmt yuv444p '" + path("clip.mkv") + "'"));
        ASSERT_TRUE(run(f + "testsrc2=s=320x182 -frames:v 1 -vf \"format=rgba,crop=320:181:0:0,geq=r='60+r(X,Y)/2':"
                            "g='60+g(X,Y)/2':b='70+b(X,Y)/3':a='mod(X+3*Y,256)'\" '" +
                        path("alpha.png") + "'"));
        ASSERT_TRUE(run(f + "testsrc2=s=642x482:r=25:d=0.3 -vf format=yuv444p,crop=641:481:0:0,"
                            "eq=contrast=0.6,format=bgra,lutrgb=r=val/2+40:b=val*3/4 "
                            "-c:v ffv1 '" + path("wide.mkv") + "'"));
        // Every third frame one flat grey (it fails the gate, so its run
        // computes no peak shares); widths that ffmpeg pads.
        ASSERT_TRUE(run(f + "testsrc2=s=320x240:r=25:d=1.2 -vf \"format=yuv444p,eq=contrast=0.5,"
                            "drawbox=c=gray:t=fill:enable='eq(mod(n\\,3)\\,2)',format=bgra\" "
                            "-c:v ffv1 '" + path("flat.mkv") + "'"));
        ASSERT_TRUE(run(f + "testsrc2=s=854x480:r=25:d=0.12 -vf format=yuv444p,eq=contrast=0.5,"
                            "format=bgra -c:v ffv1 '" + path("w854.mkv") + "'"));
        ASSERT_TRUE(run(f + "testsrc2=s=4x6:r=25:d=0.12 -vf format=yuv444p,crop=3:5:0:0,"
                            "eq=contrast=0.5,format=bgra -c:v ffv1 '" + path("w3.mkv") + "'"));
        for (const char* name : {"wide", "flat", "w854", "w3"})
            ASSERT_TRUE(run("ffmpeg -v error -y -i '" + path(std::string(name) + ".mkv") +
                            "' -f rawvideo -pix_fmt bgra '" + path(std::string(name) + ".raw") +
                            "'"));
    }
    void SetUp() override {
#ifdef VELMOR_SANITIZED
        GTEST_SKIP() << "the sanitized velmor.so needs the AddressSanitizer runtime loaded "
                        "before ffmpeg, melt and gst-launch-1.0 start; frei0r_tests checks the "
                        "plug-in's code in this build";
#endif
    }
};

TEST_F(Frei0rHosts, FfmpegFramesEqualTheCores) {
    const struct Case {
        const char* name;
        const char* source;
        const char* before; // filters before frei0r; their output is the reference's input
        const char* params; // ffmpeg's positional list, in the plug-in's parameter order
        int width, height, pictureWidth;
        FilterSettings expected;
    } cases[] = {
        {"defaults", "clip.mkv", "format=bgra", "", 320, 241, 320,
         referenceSettings(100, 10, 1.0, 0, 0, false)},
        {"numbers", "clip.mkv", "format=bgra", ":|0.7|0.0784|0.25|n|y|n", 320, 241, 320,
         referenceSettings(70, 20, 1.4, 0, 1, false)},
        {"script line", "clip.mkv", "format=bgra", ":Config(100\\, 10\\, 120\\, 1\\, 0)", 320, 241,
         320, referenceSettings(100, 10, 120 * 0.01, 1, 0, false)},
        {"S-curve", "clip.mkv", "format=bgra", ":|1|0.0392|0.1|y", 320, 241, 320,
         referenceSettings(100, 10, 0.68, 1, 0, false)},
        {"overlay", "clip.mkv", "format=bgra", ":|1|0.0392|0.1667|n|n|y", 320, 241, 320,
         referenceSettings(100, 10, 1.0, 0, 0, true)},
        {"transparency", "alpha.png", "format=bgra", "", 320, 181, 320,
         referenceSettings(100, 10, 1.0, 0, 0, false)},
        {"transparency, script line, overlay", "alpha.png", "format=bgra",
         ":Config(90\\, 5\\, 150\\, 0\\, 1)|1|0.0392|0.1667|n|n|y", 320, 181, 320,
         referenceSettings(90, 5, 150 * 0.01, 0, 1, true)},
        {"641 columns padded to 656", "wide.mkv", "format=bgra,pad=656:ih",
         ":|1|0.0392|0.1667|n|n|y|0.977134", 656, 481, 641,
         referenceSettings(100, 10, 1.0, 0, 0, true)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = "ffmpeg -v error -y -i '" + path(c.source) + "' -vf '" + c.before;
        const std::string out = "' -f rawvideo -pix_fmt bgra '";
        ASSERT_TRUE(run(in + out + path("ffmpeg-in.raw") + "'"));
        ASSERT_TRUE(run(in + ",frei0r=velmor" + c.params + out + path("ffmpeg-out.raw") + "'"));
        const auto frames = readFile("ffmpeg-in.raw");
        EXPECT_TRUE(sameFrames(readFile("ffmpeg-out.raw"),
                               referenceFrames(c.expected, frames, c.width, c.height,
                                              c.pictureWidth),
                               c.width, c.height));
    }
}

TEST_F(Frei0rHosts, MeltAndGstreamerFramesEqualTheCoresAtAnOddWidth) {
    const struct Case {
        const char* name;
        const char* melt; // the filter's properties
        const char* gst;  // the element's properties
        FilterSettings expected;
    } cases[] = {
        {"numbers, overlay", "gain=0.8 threshold=0.0784 gamma=0.3 s-curve=1 statistics=1",
         "gain=0.8 threshold=0.0784 gamma=0.3 s-curve=true statistics=true",
         referenceSettings(80, 20, 1.64, 1, 0, true)},
        {"script line", "'config=Config(60, 30, 80, 0, 1)'", "'config=Config(60, 30, 80, 0, 1)'",
         referenceSettings(60, 30, 80 * 0.01, 0, 1, false)},
    };
    const auto frames = readFile("wide.raw");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto want = referenceFrames(c.expected, frames, 641, 481, 641);
        // One rendering thread, then three: MLT runs an instance on each.
        for (const char* threads : {"-1", "-3"}) {
            ASSERT_TRUE(run("melt -silent -profile '" + path("641x481.profile") + "' '" +
                            path("wide.mkv") + "' -filter frei0r.velmor " + c.melt +
                            " -consumer 'avformat:" + path("melt.raw") +
                            "' f=rawvideo pix_fmt=bgra real_time=" + threads));
            EXPECT_TRUE(sameFrames(readFile("melt.raw"), want, 641, 481)) << "melt " << threads;
        }
        ASSERT_TRUE(run("gst-launch-1.0 -q filesrc location='" + path("wide.raw") +
                        "' ! rawvideoparse width=641 height=481 format=bgra framerate=25/1 "
                        "! frei0r-filter-velmor-filter-plus " + c.gst +
                        " ! filesink location='" + path("gst.raw") + "'"));
        EXPECT_TRUE(sameFrames(readFile("gst.raw"), want, 641, 481)) << "gst-launch-1.0";
    }
}

// Columns x .. x + width - 1 of frames `frameWidth` pixels wide.
std::vector<std::uint8_t> columns(const std::vector<std::uint8_t>& frames, int frameWidth,
                                  int x, int width) {
    std::vector<std::uint8_t> out;
    const std::size_t row = std::size_t(frameWidth) * 4;
    for (std::size_t r = 0; r + row <= frames.size(); r += row)
        out.insert(out.end(), frames.begin() + r + x * 4, frames.begin() + r + (x + width) * 4);
    return out;
}

// Setups users build: several instances in one process, host threads, and
// widths that ffmpeg pads. Each output (or its columns) must equal the
// core's result of its instance's settings applied in turn to the source,
// in every run.
TEST_F(Frei0rHosts, InstancesThreadsAndWidthsNeverChangeAFrame) {
    const FilterSettings a = referenceSettings(60, 10, 1.0, 0, 1, false); // computes the shares
    const FilterSettings b = referenceSettings(100, 10, 1.0, 0, 0, true); // prints them
    const FilterSettings titles = referenceSettings(100, 10, 1.0, 0, 1, true);
    struct Output {
        const char* file;
        int frameWidth, column;            // where the instance's picture sits in the output
        std::vector<FilterSettings> chain; // instances the frames went through, in order
    };
    const struct Case {
        const char* name;
        const char* source; // name.mkv, name.raw
        int width, height;
        std::string command;
        std::vector<Output> outputs;
        int runs;
    } cases[] = {
        {"ffmpeg: split into two instances, side by side", "flat", 320, 240,
         "ffmpeg -v error -y -i '" + path("flat.mkv") +
             "' -filter_complex 'format=bgra,split[a][b];[a]frei0r=velmor:|0.6|0.0392|0.1667|n|y|"
             "n[x];[b]frei0r=velmor:|1|0.0392|0.1667|n|n|y[y];[x][y]hstack' -f rawvideo "
             "-pix_fmt bgra '" + path("a.raw") + "'",
         {{"a.raw", 640, 0, {a}}, {"a.raw", 640, 320, {b}}}, 1},
        {"melt: two instances on one clip", "wide", 641, 481,
         "melt -silent -profile '" + path("641x481.profile") + "' '" + path("wide.mkv") +
             "' -filter frei0r.velmor statistics=1 -filter frei0r.velmor gain=0.6 "
             "'bypass titles=1' -consumer 'avformat:" + path("a.raw") + "' f=rawvideo "
             "pix_fmt=bgra",
         {{"a.raw", 641, 0, {b, a}}}, 1},
        {"GStreamer: a tee into two instances", "wide", 641, 481,
         "gst-launch-1.0 -q filesrc location='" + path("wide.raw") +
             "' ! rawvideoparse width=641 height=481 format=bgra framerate=25/1 ! tee name=t "
             "t. ! queue ! frei0r-filter-velmor-filter-plus gain=0.6 bypass-titles=true ! "
             "filesink location='" + path("a.raw") + "' t. ! queue ! "
             "frei0r-filter-velmor-filter-plus statistics=true ! filesink location='" +
             path("b.raw") + "'",
         {{"a.raw", 641, 0, {a}}, {"b.raw", 641, 0, {b}}}, 2},
        {"melt: one thread, flat frames, bypass titles, overlay", "flat", 320, 240,
         "melt -silent -profile '" + path("320x240.profile") + "' '" + path("flat.mkv") + "' -filter frei0r.velmor 'bypass titles=1' "
             "statistics=1 -consumer 'avformat:" + path("a.raw") +
             "' f=rawvideo pix_fmt=bgra real_time=-1",
         {{"a.raw", 320, 0, {titles}}}, 1},
        {"melt: four frame threads, the same", "flat", 320, 240,
         "melt -silent -profile '" + path("320x240.profile") + "' '" + path("flat.mkv") + "' -filter frei0r.velmor 'bypass titles=1' "
             "statistics=1 -consumer 'avformat:" + path("a.raw") +
             "' f=rawvideo pix_fmt=bgra real_time=-4",
         {{"a.raw", 320, 0, {titles}}}, 3},
        {"ffmpeg: 854 columns, rows padded by ffmpeg", "w854", 854, 480,
         "ffmpeg -v error -y -i '" + path("w854.mkv") + "' -vf 'format=bgra,frei0r=velmor:|1|"
             "0.0392|0.1667|n|n|y' -f rawvideo -pix_fmt bgra '" + path("a.raw") + "'",
         {{"a.raw", 854, 0, {b}}}, 1},
        {"ffmpeg: 3 x 5", "w3", 3, 5,
         "ffmpeg -v error -y -i '" + path("w3.mkv") + "' -vf format=bgra,frei0r=velmor "
             "-f rawvideo -pix_fmt bgra '" + path("a.raw") + "'",
         {{"a.raw", 3, 0, {referenceSettings(100, 10, 1.0, 0, 0, false)}}}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto source = readFile(std::string(c.source) + ".raw");
        ASSERT_FALSE(source.empty());
        for (int r = 0; r < c.runs; ++r) {
            ASSERT_TRUE(run(c.command));
            for (const Output& o : c.outputs) {
                auto want = source;
                for (const FilterSettings& s : o.chain)
                    want = referenceFrames(s, want, c.width, c.height, c.width);
                EXPECT_NE(want, source);
                EXPECT_TRUE(sameFrames(columns(readFile(o.file), o.frameWidth, o.column, c.width),
                                       want, c.width, c.height))
                    << "run " << r << ", " << o.file << " column " << o.column;
            }
        }
    }
}

// ffmpeg builds whose frei0r filters lay out rows differently: Debian's
// 5.1 (rows padded to 16 pixels) and the same source with packed rows, as
// later releases have them (tools/ffmpeg-packed-rows.sh, built here when
// VELMOR_PACKED_FFMPEG does not name it: about 2 minutes the first time).
// In the sanitized build each runs with the sanitizers' runtimes loaded
// first, so a byte touched outside either frame stops it.
class Frei0rRowLayouts : public ::testing::Test {
  protected:
    static std::string packedFfmpeg;

    static void SetUpTestSuite() {
        setenv("FREI0R_PATH", VELMOR_FREI0R_DIR, 1);
        const char* given = std::getenv("VELMOR_PACKED_FFMPEG");
        if (given != nullptr && *given != '\0') {
            packedFfmpeg = given;
        } else {
            ASSERT_TRUE(run("bash '" VELMOR_SOURCE_DIR "/tools/ffmpeg-packed-rows.sh' >'" +
                            path("packed-ffmpeg.txt") + "'"));
            std::ifstream in(path("packed-ffmpeg.txt"));
            std::getline(in, packedFfmpeg);
        }
        ASSERT_TRUE(run("'" + packedFfmpeg + "' -hide_banner -filters | grep -q ' frei0r '"))
            << packedFfmpeg;
        for (const char* size : {"853x48", "641x37", "3x5", "640x36"}) {
            const std::string w = std::string(size).substr(0, std::string(size).find('x'));
            const std::string h = std::string(size).substr(w.size() + 1);
            ASSERT_TRUE(run("ffmpeg -v error -y -f lavfi -i testsrc2=s=" + std::to_string(
                                std::stoi(w) + 1) + "x" + std::to_string(std::stoi(h) + 1) +
                            ":r=25:d=0.12 -vf format=yuv444p,crop=" + w + ":" + h +
                            ":0:0,eq=contrast=0.5,format=bgra -f rawvideo -pix_fmt bgra '" +
                            path("rows" + w + ".raw") + "'"));
        }
    }

    // The host command as this build must run it.
    static std::string host(const std::string& program) {
#ifdef VELMOR_SANITIZED
        return "LD_PRELOAD='" VELMOR_SANITIZER_RUNTIMES "' ASAN_OPTIONS=detect_leaks=0 '" +
               program + "'";
#else
        return "'" + program + "'";
#endif
    }
};

std::string Frei0rRowLayouts::packedFfmpeg;

TEST_F(Frei0rRowLayouts, BothFfmpegBuildsGiveTheCoresFramesAtEveryWidth) {
    const struct Build {
        const char* name;
        std::string ffmpeg;
    } builds[] = {{"Debian's ffmpeg 5.1 (rows padded to 16 pixels)", "ffmpeg"},
                  {"ffmpeg with packed rows", packedFfmpeg}};
    const struct Case {
        int width, height;
        const char* params;
        FilterSettings expected;
    } cases[] = {
        {853, 48, ":|1|0.0392|0.1667|n|n|y", referenceSettings(100, 10, 1.0, 0, 0, true)},
        {641, 37, ":|0.7|0.0784|0.25|n|y|n", referenceSettings(70, 20, 1.4, 0, 1, false)},
        {3, 5, "", referenceSettings(100, 10, 1.0, 0, 0, false)},
        {640, 36, ":Config(90\\, 5\\, 150\\, 1\\, 0)|1|0.0392|0.1667|n|n|y",
         referenceSettings(90, 5, 150 * 0.01, 1, 0, true)},
    };
    for (const Build& b : builds)
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(b.name) + ", width " + std::to_string(c.width));
            const std::string source = "rows" + std::to_string(c.width) + ".raw";
            const auto ran = run(host(b.ffmpeg) + " -v error -y -f rawvideo -pix_fmt bgra -s " +
                                 std::to_string(c.width) + "x" + std::to_string(c.height) +
                                 " -i '" + path(source) + "' -vf 'format=bgra,frei0r=velmor" +
                                 c.params + "' -f rawvideo -pix_fmt bgra '" +
                                 path("rows-out.raw") + "'");
            EXPECT_TRUE(ran); // every row is tried: a crash at one width says nothing of the next
            if (!ran) continue;
            const auto frames = readFile(source);
            ASSERT_FALSE(frames.empty());
            EXPECT_TRUE(sameFrames(readFile("rows-out.raw"),
                                   referenceFrames(c.expected, frames, c.width, c.height, c.width),
                                   c.width, c.height));
        }
}

// MLT's slice threads hand an instance bands of each frame, which cannot be
// stretched as one: the plug-in says so and passes frames unchanged.
TEST_F(Frei0rHosts, MeltBandsAreRefusedWithAMessage) {
    const std::string log = path("bands.log");
    ASSERT_TRUE(run("melt -silent -profile '" + path("320x240.profile") + "' '" + path("flat.mkv") + "' -filter frei0r.velmor threads=2 "
                    "-consumer 'avformat:" + path("a.raw") +
                    "' f=rawvideo pix_fmt=bgra real_time=-1 2>'" + log + "'"));
    std::ifstream in(log);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(text.find("bands of each frame"), std::string::npos) << text;
    const std::size_t frame = std::size_t(320) * 240 * 4;
    const auto source = readFile("flat.raw"), got = readFile("a.raw");
    ASSERT_EQ(got.size(), source.size());
    EXPECT_TRUE(std::equal(got.end() - frame, got.end(), source.end() - frame));
}

// melt takes "gamma=1.4" as the number it is, outside frei0r's 0..1: the
// plug-in names it once, for all the frames it is set before; likewise
// "smoothing=12", in frames.
TEST_F(Frei0rHosts, MeltValuesOutsideTheUnitRangeAreNamedOnce) {
    const std::string log = path("range.log");
    ASSERT_TRUE(run("melt -silent -profile '" + path("320x240.profile") + "' '" + path("flat.mkv") +
                    "' -filter frei0r.velmor gamma=1.4 smoothing=12 -consumer 'avformat:" +
                    path("r.raw") + "' f=rawvideo pix_fmt=bgra real_time=-1 2>'" + log + "'"));
    std::ifstream in(log);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string told = "velmor: gamma 1.4 is outside 0..1";
    const std::size_t at = text.find(told);
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_NE(text.find("for gamma 1.40 give 0.25"), std::string::npos) << text;
    EXPECT_EQ(text.find(told, at + 1), std::string::npos) << text; // once
    EXPECT_NE(text.find("reads as 100 frames; for 12 frames give 0.12"), std::string::npos)
        << text;
}

// Smoothing, the last parameter: ffmpeg's frames and melt's at real_time
// -1 are smoothed as the core smooths frames in order, from the first.
TEST_F(Frei0rHosts, SmoothingFollowsFramesInOrderInFfmpegAndMelt) {
    // Contrast that breathes from frame to frame, so smoothing shows.
    ASSERT_TRUE(run("ffmpeg -v error -y -f lavfi -i testsrc2=s=320x240:r=25:d=1.6 -vf "
                    "\"format=yuv444p,eq=contrast='0.35+0.08*mod(n\\,4)':eval=frame,format=bgra\" "
                    "-c:v ffv1 '" + path("breath.mkv") + "'"));
    ASSERT_TRUE(run("ffmpeg -v error -y -i '" + path("breath.mkv") + "' -f rawvideo -pix_fmt bgra '" +
                    path("breath.raw") + "'"));
    const auto frames = readFile("breath.raw");
    const FilterSettings s = referenceSettings(100, 10, 1.0, 0, 0, false);
    const auto smoothed = referenceFrames(s, frames, 320, 240, 320, 12);
    const auto own = referenceFrames(s, frames, 320, 240, 320);
    ASSERT_TRUE(smoothed != own); // smoothing changes these frames
    // Every parameter before the last at its default, as ffmpeg's list needs.
    ASSERT_TRUE(run("ffmpeg -v error -y -i '" + path("breath.mkv") +
                    "' -vf 'format=bgra,frei0r=velmor:|1|0.0392|0.1667|n|n|n|1|0|0.12' "
                    "-f rawvideo -pix_fmt bgra '" + path("breath-ffmpeg.raw") + "'"));
    EXPECT_TRUE(sameFrames(readFile("breath-ffmpeg.raw"), smoothed, 320, 240)) << "ffmpeg";
    const std::string melt = "melt -silent -profile '" + path("320x240.profile") + "' '" +
                             path("breath.mkv") + "' -filter frei0r.velmor smoothing=0.12 " +
                             "-consumer 'avformat:" + path("breath-melt.raw") +
                             "' f=rawvideo pix_fmt=bgra real_time=";
    ASSERT_TRUE(run(melt + "-1"));
    EXPECT_TRUE(sameFrames(readFile("breath-melt.raw"), smoothed, 320, 240)) << "melt -1";
}

// Smoothing's clip: 20 small grey frames whose contrast breathes, each
// picture held two frames (a picture again is a new frame in order), a
// white card entering at frame 12; raw, and as numbered PNGs.
class Frei0rSmoothingHosts : public Frei0rHosts {
  protected:
    static constexpr int kW = 80, kH = 48, kFrames = 20;
    static constexpr std::size_t kBytes = std::size_t(kW) * kH * 4;
    static void SetUpTestSuite() {
#ifdef VELMOR_SANITIZED
        return;
#endif
        useThisBuild();
        std::ofstream(path("80x48.profile")) << profile(kW, kH);
        ASSERT_TRUE(run("ffmpeg -v error -y -f lavfi -i testsrc2=s=80x48:r=12.5:d=0.8 -f lavfi "
                        "-i color=white:s=12x16:r=25:d=0.8 -filter_complex \"[0]format=gray,"
                        "eq=contrast='0.35+0.06*sin(n)':eval=frame,fps=25[b];[b][1]overlay=x=60:"
                        "y=16:enable='gte(n,12)',format=bgra\" -c:v ffv1 '" + path("card.mkv") +
                        "'"));
        ASSERT_TRUE(run("ffmpeg -v error -y -i '" + path("card.mkv") + "' -f rawvideo -pix_fmt "
                        "bgra '" + path("card.raw") + "' -start_number 0 '" + path("c%02d.png") +
                        "'"));
    }

    // melt on MLT's frame threads now and then never ends after the last
    // frame (its consumer's own doing: 3 runs in 1600 without this filter,
    // four at once on two cores); such a run is stopped and run once more.
    static ::testing::AssertionResult runMelt(const std::string& arguments) {
        return run("for t in 1 2; do timeout 30 melt " + arguments +
                   " && exit 0; [ $? = 124 ] || exit 1; done; exit 1");
    }

    // The core's smoothing 12 of the clip.
    static std::vector<std::uint8_t> smoothed() {
        return referenceFrames(referenceSettings(100, 10, 1.0, 0, 0, false), readFile("card.raw"),
                               kW, kH, kW, 12);
    }
};

// melt smooths from an instance's first frame. On one thread (real_time 1
// and -1) each frame is the core's smoothing of the clip, unless playback
// dropped a frame (the plug-in would say so); at real_time 1 melt's file
// ends a frame or two early, though the filter ran them all. On frame
// threads (-2, -3) an instance per thread smooths what it is handed until a
// second thread calls, which depends on timing: "smoothing is off" is said
// once (in some run at least: MLT renders the last frame again on every
// thread), and a run without it gives the clip's frames.
TEST_F(Frei0rSmoothingHosts, MeltSmoothsFromTheFirstFrameAtEveryRealTime) {
    const auto clip = smoothed();
    for (const std::string realTime : {"1", "-1", "-2", "-3"}) {
        int said = 0; // runs that said smoothing is off
        for (int r = 0; r < 5; ++r) {
            SCOPED_TRACE("real_time=" + realTime + ", run " + std::to_string(r));
            ASSERT_TRUE(runMelt("-silent -profile '" + path("80x48.profile") + "' '" +
                                path("card.mkv") + "' -filter frei0r.velmor smoothing=0.12 " +
                                "-consumer 'avformat:" + path("m.raw") + "' f=rawvideo " +
                                "pix_fmt=bgra real_time=" + realTime + " 2>'" + path("m.log") +
                                "'"));
            const auto got = readFile("m.raw");
            std::ifstream in(path("m.log"));
            const std::string log{std::istreambuf_iterator<char>(in), {}};
            ASSERT_EQ(got.size() % kBytes, 0u);
            ASSERT_GE(got.size(), (realTime == "1" ? 10 : kFrames) * kBytes);
            const std::size_t off = log.find("smoothing is off");
            EXPECT_EQ(log.find("smoothing is off", off + 1), std::string::npos) << log;
            said += off != std::string::npos;
            if (off == std::string::npos && log.find("does not follow") == std::string::npos) {
                EXPECT_TRUE(sameFrames(got, {clip.begin(), clip.begin() + got.size()}, kW, kH));
            } else {
                EXPECT_NE(realTime, "-1") << log;
            }
        }
        EXPECT_EQ(said > 0, realTime == "-2" || realTime == "-3") << realTime;
    }
}

// GStreamer without times (an image sequence or raw frames without a frame
// rate: time 0, then none) and with them: each frame is the core's.
TEST_F(Frei0rSmoothingHosts, GstreamerSmoothsFramesWithAndWithoutTimes) {
    const std::string raw = "filesrc location='" + path("card.raw") +
                            "' ! rawvideoparse width=80 height=48 format=bgra framerate=";
    for (const std::string& source : {"multifilesrc location='" + path("c%02d.png") +
                                          "' caps=image/png ! pngdec ! videoconvert",
                                      raw + "0/1", raw + "25/1"}) {
        ASSERT_TRUE(run("gst-launch-1.0 -q " + source + " ! frei0r-filter-velmor-filter-plus "
                        "smoothing=0.12 ! filesink location='" + path("g.raw") + "'"));
        EXPECT_TRUE(sameFrames(readFile("g.raw"), smoothed(), kW, kH)) << source;
    }
}

} // namespace
