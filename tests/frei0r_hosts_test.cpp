// velmor.so in the real frei0r hosts: ffmpeg's frei0r filter, melt (MLT)
// and gst-launch-1.0 (GStreamer's frei0r elements). Each host's frames must
// equal the core's result on the frames the host fed the filter, byte for
// byte, with the host's alpha put back (frei0r_reference.h). The frames fed
// come from the same host or decoder run without the filter.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

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

// The reference as a host process computes it: the core's module-wide peak
// shares, which the overlay prints as last computed, start at 0 in every
// process, so each reference runs in a child process of its own.
std::vector<std::uint8_t> freshReference(const FilterSettings& s,
                                         const std::vector<std::uint8_t>& frames, int width,
                                         int height, int pictureWidth) {
    const std::string file = path("reference.raw");
    std::remove(file.c_str());
    const pid_t child = fork();
    if (child == 0) {
        const auto out = referenceFrames(s, frames, width, height, pictureWidth);
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
        _exit(0);
    }
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    return readFile("reference.raw");
}

const char* const kProfile = "description=641x481\nframe_rate_num=25\nframe_rate_den=1\n"
                             "width=641\nheight=481\nprogressive=1\nsample_aspect_num=1\n"
                             "sample_aspect_den=1\ndisplay_aspect_num=641\n"
                             "display_aspect_den=481\ncolorspace=709\n";

class Frei0rHosts : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
#ifdef VELMOR_SANITIZED
        return;
#endif
        setenv("FREI0R_PATH", VELMOR_FREI0R_DIR, 1);
        setenv("GST_REGISTRY", path("gst-registry.bin").c_str(), 1);
        std::ofstream(path("641x481.profile")) << kProfile;
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
        ASSERT_TRUE(run("ffmpeg -v error -y -i '" + path("wide.mkv") +
                        "' -f rawvideo -pix_fmt bgra '" + path("wide.raw") + "'"));
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
                               freshReference(c.expected, frames, c.width, c.height,
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
        const auto want = freshReference(c.expected, frames, 641, 481, 641);
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

} // namespace
