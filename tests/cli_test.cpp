// End-to-end tests of the velmor program on small clips that ffmpeg makes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "frame_run.h"

namespace {

const std::string kVelmor = VELMOR_BINARY;

struct Result {
    int status;
    std::string err;
};

std::string shellQuoted(const std::string& s) {
    return "'" + s + "'";
}

class Cli : public ::testing::Test {
  protected:
    std::string dir;
    void SetUp() override {
        char name[] = "/tmp/velmor-cli-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override { std::system(("rm -rf " + shellQuoted(dir)).c_str()); }
    std::string path(const std::string& name) const { return dir + "/" + name; }

    Result run(const std::string& command) const {
        const std::string errFile = path("stderr.txt");
        const int rc = std::system(("cd " + shellQuoted(dir) + " && (" + command + ") 2>" +
                                    shellQuoted(errFile) + " </dev/null")
                                       .c_str());
        std::ifstream in(errFile);
        std::stringstream text;
        text << in.rdbuf();
        std::remove(errFile.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : 128, text.str()};
    }
    void ffmpeg(const std::string& args) const {
        ASSERT_EQ(run("ffmpeg -hide_banner -nostdin -v error -y " + args).status, 0) << args;
    }
    // A low-contrast clip with sound, stored losslessly.
    std::string makeClip(const std::string& name, int frames = 6, const char* size = "64x48") {
        ffmpeg("-f lavfi -i testsrc2=size=" + std::string(size) + ":rate=10:duration=" +
               std::to_string(frames / 10.0) + " -f lavfi -i sine=duration=1 -vf eq=contrast=0.4 " +
               "-c:v ffv1 -pix_fmt bgr0 -c:a pcm_s16le -shortest " + name);
        return name;
    }
    std::vector<std::uint8_t> rawFrames(const std::string& media) const {
        const std::string raw = path("frames.raw");
        run("ffmpeg -v error -nostdin -y -i " + media + " -f rawvideo -pix_fmt bgra " + raw);
        std::ifstream in(raw, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        std::remove(raw.c_str());
        return bytes;
    }
    std::string probe(const std::string& media, const std::string& entries) const {
        const std::string out = path("probe.txt");
        run("ffprobe -v error -show_entries " + entries + " -of csv=p=0 " + media + " >" + out);
        std::ifstream in(out);
        std::stringstream text;
        text << in.rdbuf();
        std::remove(out.c_str());
        return text.str();
    }
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        std::unique_ptr<FILE, int (*)(FILE*)> ls(popen(("ls -A " + shellQuoted(dir)).c_str(), "r"),
                                                 pclose);
        char line[512];
        while (fgets(line, sizeof line, ls.get())) {
            std::string n = line;
            n.pop_back();
            if (n != "stderr.txt") names.push_back(n);
        }
        return names;
    }
};

// The core's own result for frames as the host hands them: alpha 0 where
// the picture has none, memory row 0 at the bottom.
std::vector<std::uint8_t> coreResult(std::vector<std::uint8_t> frames, int w, int h,
                                     const FilterSettings& s, bool zeroAlpha) {
    const std::size_t size = std::size_t(w) * h * 4;
    for (std::size_t f = 0; f + size <= frames.size(); f += size) {
        if (zeroAlpha)
            for (std::size_t i = f + 3; i < f + size; i += 4) frames[i] = 0;
        auto* bottom = reinterpret_cast<FramePixel*>(&frames[f + size - std::size_t(w) * 4]);
        const FrameView view = {bottom, w, h, -std::ptrdiff_t(w) * 4};
        runFrame(s, view, view);
    }
    return frames;
}

void expectSameColours(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        if (i % 4 != 3) {
            ASSERT_EQ(a[i], b[i]) << "byte " << i;
        }
}

TEST_F(Cli, VideoFramesEqualTheCoreAndKeepSoundAndFrameCount) {
    makeClip("in.nut", 6);
    const Result r = run(kVelmor + " in.nut -o out.nut --gain 80 --gamma 1.5 --s-curve");
    ASSERT_EQ(r.status, 0) << r.err;
    FilterSettings s{};
    setDefaultSettings(s);
    s.gainPercent = 80, s.gamma = 150 * 0.01, s.sCurve = 1;
    expectSameColours(rawFrames("out.nut"), coreResult(rawFrames("in.nut"), 64, 48, s, true));
    EXPECT_EQ(probe("out.nut", "stream=codec_name,codec_type"), "ffv1,video\npcm_s16le,audio\n");
    EXPECT_EQ(rawFrames("out.nut").size(), std::size_t(6) * 64 * 48 * 4);
    EXPECT_EQ(files().size(), 2u); // in and out, no temporary left
}

TEST_F(Cli, ConfigLineMeansTheSameAsOptions) {
    makeClip("in.nut", 3);
    ASSERT_EQ(run(kVelmor + " in.nut -o a.nut --gain 60 --threshold 40 --gamma 0.3 --bypass-titles")
                  .status,
              0);
    ASSERT_EQ(run(kVelmor + " in.nut -o b.nut --config 'x.Config(60, 40, 30, 0, 1);'").status, 0);
    EXPECT_EQ(rawFrames("a.nut"), rawFrames("b.nut"));
    const Result printed = run(kVelmor + " --print-config --gamma 0.29 >conf.txt");
    std::ifstream conf(path("conf.txt"));
    std::string line;
    std::getline(conf, line);
    EXPECT_EQ(line, "Config(100, 10, 28, 0, 0)"); // 0.29 in hundredths, as the script form saves it
}

TEST_F(Cli, ImagesAndStatsOverlay) {
    ffmpeg("-f lavfi -i testsrc2=size=480x96 -frames:v 1 -vf eq=contrast=0.5 in.png");
    ASSERT_EQ(run(kVelmor + " in.png -o out.png --stats").status, 0);
    FilterSettings s{};
    setDefaultSettings(s);
    s.showStats = 1;
    expectSameColours(rawFrames("out.png"), coreResult(rawFrames("in.png"), 480, 96, s, true));
}

TEST_F(Cli, RawModeIsByteExactAndReportsAShortLastFrame) {
    std::mt19937 rng(4);
    std::vector<std::uint8_t> in(std::size_t(3) * 17 * 5 * 4);
    for (auto& b : in) b = std::uint8_t(rng() % 60 + 90);
    std::ofstream(path("in.raw"), std::ios::binary)
        .write(reinterpret_cast<char*>(in.data()), in.size());
    ASSERT_EQ(run(kVelmor + " --raw 17x5 --threshold 30 <in.raw >out.raw").status, 0);
    FilterSettings s{};
    setDefaultSettings(s);
    s.threshold = 30;
    std::ifstream out(path("out.raw"), std::ios::binary);
    EXPECT_EQ(std::vector<std::uint8_t>((std::istreambuf_iterator<char>(out)), {}),
              coreResult(in, 17, 5, s, false));

    std::ofstream(path("short.raw"), std::ios::binary)
        .write(reinterpret_cast<char*>(in.data()), in.size() - 7);
    const Result r = run(kVelmor + " --raw 17x5 <short.raw >partial.raw");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("inside frame 3"), std::string::npos) << r.err;
    struct stat st {};
    stat(path("partial.raw").c_str(), &st);
    EXPECT_EQ(st.st_size, 2 * 17 * 5 * 4);
}

TEST_F(Cli, BadInputGetsOneLineAndLeavesNoOutput) {
    makeClip("in.nut", 3);
    std::ofstream(path("notes.txt")) << "not a video\n";
    // A stand-in ffmpeg that fails half-way through decoding.
    mkdir(path("fail").c_str(), 0755);
    std::ofstream(path("fail/ffmpeg"))
        << "#!/bin/sh\ncase \"$*\" in *pipe:1*) /usr/bin/ffmpeg \"$@\" | head -c 20000; exit 1;; "
           "esac\nexec /usr/bin/ffmpeg \"$@\"\n";
    chmod(path("fail/ffmpeg").c_str(), 0755);
    struct {
        std::string command, message;
        int status;
    } cases[] = {
        {kVelmor + " missing.mp4 -o out.mp4", "cannot read missing.mp4", 1},
        {kVelmor + " notes.txt -o out.mp4", "not a video or image", 1},
        {"PATH=/nonexistent " + kVelmor + " in.nut -o out.nut", "install ffmpeg", 1},
        {kVelmor + " in.nut -o nofolder/out.nut", "cannot write nofolder/out.nut", 1},
        {kVelmor + " in.nut -o in.nut", "is the input", 1},
        {kVelmor + " in.nut -o ./in.nut", "is the input", 1},
        {kVelmor + " in.nut -o out.nut --gain ten", "not a whole number", 2},
        {kVelmor + " in.nut -o out.nut --gamma 1,5", "not a number", 2},
        {kVelmor + " in.nut -o out.nut --config 'Config(1, 2, 3)'", "--config", 2},
        {kVelmor + " --raw 0x10", "at least 1x1", 2},
        {kVelmor + " --raw 100000x100000", "too large", 2},
        {kVelmor + " --raw 12", "not a size", 2},
        {"PATH=" + path("fail") + ":$PATH " + kVelmor + " in.nut -o out.nut", "ended inside frame",
         1},
        {kVelmor + " in.nut -o out.nut --ffmpeg-args '-c:v nosuchcodec'", "ffmpeg failed writing",
         1},
    };
    for (const auto& c : cases) {
        const Result r = run(c.command);
        EXPECT_EQ(r.status, c.status) << c.command << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.command << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(files(), (std::vector<std::string>{"fail", "in.nut", "notes.txt"})) << c.command;
    }
}

} // namespace
