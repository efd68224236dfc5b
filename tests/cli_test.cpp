// End-to-end tests of the velmor program on small clips that ffmpeg makes:
// frames against the core's, a table of inputs whose every property must
// come out as a plain ffmpeg transcode (or the input) has it, messages,
// overwriting and signals. ffmpeg cannot load a sanitized velmor.so, so the
// sanitized build runs only what needs no conversion.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "deep_correct.h"
#include "ffmpeg_job.h"
#include "frame_run.h"
#include "smoothing.h"
#include "shell_fixture.h"

namespace {

const std::string kVelmor = VELMOR_BINARY;

#ifdef VELMOR_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

class Cli : public InFolder {
  protected:
    void ffmpeg(const std::string& args) const {
        ASSERT_EQ(run("ffmpeg -hide_banner -nostdin -v error -y " + args).status, 0) << args;
    }
    // A low-contrast clip with sound, stored losslessly, 65 pixels wide: a
    // width ffmpeg hands to frei0r with shifted rows unless padded.
    std::string makeClip(const std::string& name, int frames = 6) {
        ffmpeg("-f lavfi -i testsrc2=size=66x48:rate=10:duration=" + std::to_string(frames / 10.0) +
               " -f lavfi -i sine=duration=1 -vf eq=contrast=0.4,format=bgr0,crop=65:48:0:0 " +
               "-c:v ffv1 -c:a pcm_s16le -shortest " + name);
        return name;
    }
    // The average PSNR between the first video streams of two files, each
    // decoded as its tags say, in RGB.
    double psnr(const std::string& a, const std::string& b) const {
        const Result r = run("ffmpeg -hide_banner -nostdin -i " + a + " -i " + b +
                             " -lavfi '[0:v]format=gbrp[a];[1:v]format=gbrp[b];[a][b]psnr' -f null -");
        const std::size_t at = r.err.find("average:");
        return at == std::string::npos ? 0 : std::atof(r.err.c_str() + at + 8);
    }
    // The darkest and brightest of the first frame's RGB values, decoded as
    // the file's tags say.
    std::pair<int, int> extremes(const std::string& media) const {
        const auto rgb = rawFrames(media + " -frames:v 1");
        if (rgb.empty()) return {-1, -1};
        std::pair<int, int> e{255, 0};
        for (std::size_t i = 0; i < rgb.size(); ++i)
            if (i % 4 != 3) e = {std::min<int>(e.first, rgb[i]), std::max<int>(e.second, rgb[i])};
        return e;
    }
    std::string text(const std::string& name) const {
        std::ifstream in(path(name));
        std::stringstream t;
        t << in.rdbuf();
        return t.str();
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
        run("ffprobe -v error " + entries + " -of csv=p=0 " + media + " >" + out);
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
// the picture has none, memory row 0 at the bottom; the overlay with each
// frame's own peak shares, as velmor.so prints them.
std::vector<std::uint8_t> coreResult(std::vector<std::uint8_t> frames, int w, int h,
                                     const FilterSettings& s, bool zeroAlpha,
                                     int smoothingWindow = 0) {
    Smoothing smoothing;
    setSmoothingWindow(smoothing, smoothingWindow);
    const std::size_t size = std::size_t(w) * h * 4;
    for (std::size_t f = 0; f + size <= frames.size(); f += size) {
        if (zeroAlpha)
            for (std::size_t i = f + 3; i < f + size; i += 4) frames[i] = 0;
        auto* bottom = reinterpret_cast<FramePixel*>(&frames[f + size - std::size_t(w) * 4]);
        const FrameView view = {bottom, w, h, -std::ptrdiff_t(w) * 4};
        runFrame(s, view, view, OverlayPeaks::thisFrame, FourthByte::channel,
                 smoothingWindow > 0 ? &smoothing : nullptr);
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

TEST_F(Cli, FramesEqualTheCoreAtAWidthFfmpegPadsAndKeepSound) {
    SKIP_IF_SANITIZED();
    makeClip("in.nut", 6);
    const Result r = run(kVelmor + " in.nut -o out.nut --gain 80 --gamma 1.5 --s-curve");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    FilterSettings s{};
    setDefaultSettings(s);
    s.gainPercent = 80, s.gamma = 150 / 100.0, s.sCurve = 1; // as the dialog's box stores 1.50
    expectSameColours(rawFrames("out.nut"), coreResult(rawFrames("in.nut"), 65, 48, s, true));
    EXPECT_EQ(probe("out.nut", "-show_entries stream=codec_name,codec_type"),
              "ffv1,video\npcm_s16le,audio\n");
    EXPECT_EQ(rawFrames("out.nut").size(), std::size_t(6) * 65 * 48 * 4);
    EXPECT_EQ(files().size(), 2u); // in and out, no temporary left
    // Through pipes: standard input in, Matroska out on standard output.
    const Result piped =
        run("cat in.nut | " + kVelmor + " - -o - --gain 80 --gamma 1.5 --s-curve >piped.mkv");
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(rawFrames("piped.mkv"), rawFrames("out.nut"));
}

TEST_F(Cli, ConfigLineMeansTheSameAsOptions) {
    SKIP_IF_SANITIZED();
    makeClip("in.nut", 3);
    ASSERT_EQ(run(kVelmor + " in.nut -o a.nut --gain 60 --threshold 40 --gamma 0.3 --bypass-titles")
                  .status,
              0);
    ASSERT_EQ(run(kVelmor + " in.nut -o b.nut --config 'x.Config(60, 40, 30, 0, 1);'").status, 0);
    EXPECT_EQ(rawFrames("a.nut"), rawFrames("b.nut"));
    // The options win over the line's values, as in raw mode.
    ASSERT_EQ(run(kVelmor + " in.nut -o c.nut --config 'Config(10, 40, 30, 0, 1)' --gain 60")
                  .status,
              0);
    EXPECT_EQ(rawFrames("a.nut"), rawFrames("c.nut"));
}

TEST_F(Cli, PrintConfigShowsTheScriptLineAndTheSummary) {
    ASSERT_EQ(run(kVelmor + " --print-config --gamma 0.29 >conf.txt").status, 0);
    const std::string conf = text("conf.txt");
    // 0.29 in hundredths, as the script form saves it; then the summary.
    EXPECT_EQ(conf.substr(0, conf.find('\n')), "Config(100, 10, 28, 0, 0)");
    EXPECT_GT(std::count(conf.begin(), conf.end(), '\n'), 1) << conf;
}

TEST_F(Cli, ImagesAndStatsOverlay) {
    SKIP_IF_SANITIZED();
    ffmpeg("-f lavfi -i testsrc2=size=480x96 -frames:v 1 -vf eq=contrast=0.5 in.png");
    ASSERT_EQ(run(kVelmor + " in.png -o out.png --stats").status, 0);
    FilterSettings s{};
    setDefaultSettings(s);
    s.showStats = 1;
    expectSameColours(rawFrames("out.png"), coreResult(rawFrames("in.png"), 480, 96, s, true));
}

// Alpha as the host presents it: cleared for the correction, each pixel's
// own alpha back afterwards.
TEST_F(Cli, OpaqueAlphaIsCorrectedLikeRgbAndRealAlphaIsKept) {
    SKIP_IF_SANITIZED();
    ffmpeg("-f lavfi -i testsrc2=size=72x40 -frames:v 1 -vf eq=contrast=0.4,format=rgb24 rgb.png");
    ffmpeg("-i rgb.png -vf format=rgba opaque.png");
    ffmpeg("-i rgb.png -filter_complex '[0]split[c][g];[g]format=gray,geq=lum=X*3[a];"
           "[c][a]alphamerge,format=rgba' alpha.png");
    for (const char* name : {"rgb", "opaque", "alpha"})
        ASSERT_EQ(run(kVelmor + " " + name + ".png -o " + name + "-out.png").status, 0) << name;
    const auto rgbOut = rawFrames("rgb-out.png"), opaqueOut = rawFrames("opaque-out.png");
    expectSameColours(opaqueOut, rgbOut);
    EXPECT_NE(rgbOut, rawFrames("rgb.png")); // corrected at all
    FilterSettings s{};
    setDefaultSettings(s);
    const auto alphaIn = rawFrames("alpha.png"), alphaOut = rawFrames("alpha-out.png");
    expectSameColours(alphaOut, coreResult(alphaIn, 72, 40, s, true));
    ASSERT_EQ(alphaIn.size(), alphaOut.size());
    for (std::size_t i = 3; i < alphaIn.size(); i += 4) ASSERT_EQ(alphaIn[i], alphaOut[i]) << i;
    // A video format that holds alpha keeps it; one that cannot says so.
    ASSERT_EQ(run(kVelmor + " alpha.png -o alpha.mkv").status, 0);
    EXPECT_EQ(rawFrames("alpha.mkv"), alphaOut);
    const Result mp4 = run(kVelmor + " alpha.png -o alpha.mp4");
    EXPECT_EQ(mp4.status, 0);
    EXPECT_NE(mp4.err.find("alpha channel is left out"), std::string::npos) << mp4.err;
}

// Each input as a phone, a camera or an editor makes it; at --gain 0 the
// output must have what a plain ffmpeg transcode of it (or the input) has.
// Each row runs twice: as the input is, on the route velmor chooses (the
// 8-bit plug-in, but for the 10-bit and HDR rows), and with the test
// clips in 10 bits and every row forced through the deep route.
TEST_F(Cli, InputsKeepWhatAPlainTranscodeKeeps) {
    SKIP_IF_SANITIZED();
    for (const bool deep : {false, true}) {
        SCOPED_TRACE(deep ? "deep route, 10-bit clips" : "as chosen");
        std::ofstream(path("s.srt")) << "1\n00:00:00,000 --> 00:00:00,300\nHello\n";
        const std::string tenBit = deep ? ",format=yuv420p10le " : " ";
        const std::string clip = "-f lavfi -i testsrc2=size=72x40:rate=25:duration=0.4" + tenBit;
        const std::string vfr = "-f lavfi -i testsrc2=size=72x40:rate=25:duration=1.6" + tenBit;
        // Black beside white, full range, as screen recorders write it.
        const std::string blackWhite = "-f lavfi -i color=black:s=32x16:r=25:d=0.2 -f lavfi -i "
                                       "color=white:s=32x16:r=25:d=0.2 -filter_complex "
                                       "hstack,scale=out_range=pc,format=yuv420p ";
        ffmpeg("-f lavfi -i testsrc2=s=32x32 -frames:v 1 cover.jpg");
        const struct {
            const char* name;
            std::string make; // ffmpeg arguments, one command per element
            std::vector<std::string> extra;
            const char *input, *output;
            const char* entries; // ffprobe arguments whose answers must agree
            bool againstInput;   // compare with the input rather than a plain transcode
            const char* expected; // or with this, when not empty
            double minPsnr;      // against the input or the plain transcode, 0 for no check
            const char* warning;
            double maxSeconds = 0; // the output's duration at most, 0 for no check
        } cases[] = {
            {"rotation", clip + "-c:v libx264 r.mp4", {"-i r.mp4 -c copy -metadata:s:v rotate=90 in.mp4"},
             "in.mp4", "out.mp4", "-select_streams v -show_entries stream=width,height:stream_side_data",
             false, "", 30, ""},
            // Colour bars, decoded as tagged on both sides; crf 0 leaves only the
            // conversions to RGB and back between them: about 39 dB with velmor's
            // scaler flags, 28 to 30 with a wrong matrix or range.
            {"BT.709 HD tags",
             "-f lavfi -i smptehdbars=size=160x90:rate=25:duration=0.4 -vf "
             "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p -c:v libx264 -crf 8 "
             "-colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv in.mkv",
             {}, "in.mkv", "out.mp4 --ffmpeg-args '-crf 0'",
             "-select_streams v -show_entries stream=color_space,color_range,color_primaries,color_transfer",
             true, "", 36, ""},
            {"anamorphic", clip + "-vf setsar=16/11 -c:v libx264 in.mkv", {}, "in.mkv", "out.mp4",
             "-select_streams v -show_entries stream=width,sample_aspect_ratio,display_aspect_ratio",
             true, "", 0, ""},
            {"interlaced", clip + "-vf setfield=tff -c:v libx264 -flags +ildct+ilme in.mkv", {},
             "in.mkv", "out.mkv", "-select_streams v -show_entries stream=field_order", true, "", 0, ""},
            {"variable frame rate",
             vfr + "-vf select='not(mod(n\\,3))+eq(mod(n\\,5)\\,1)' -fps_mode vfr -c:v libx264 in.mkv",
             {}, "in.mkv", "out.mp4",
             "-count_frames -select_streams v -show_entries stream=nb_read_frames", true, "", 0, ""},
            {"subtitles into MP4", clip + "-i s.srt -c:v libx264 -c:s srt -attach s.srt "
                                          "-metadata:s:t mimetype=text/plain in.mkv",
             {}, "in.mkv", "out.mp4", "-show_entries stream=codec_type,codec_name", false,
             "h264,video\nmov_text,subtitle\n", 0, "attachment"},
            {"title and attachment into Matroska",
             clip + "-i s.srt -c:v libx264 -c:s srt -metadata:s:v:0 title=Camera -attach s.srt "
                    "-metadata:s:t mimetype=text/plain in.mkv",
             {}, "in.mkv", "out.mkv", "-show_entries stream=codec_type:stream_tags=title,filename",
             true, "", 0, ""},
            {"start and duration",
             "-f lavfi -i testsrc2=size=72x40:rate=25:duration=3 -c:v libx264 in.mkv", {}, "in.mkv",
             "out.mkv --start 1 --duration 1.2",
             "-count_frames -select_streams v -show_entries stream=nb_read_frames", false, "30\n",
             0, ""},
            {"truncated", "-f lavfi -i testsrc2=size=72x40:rate=25:duration=4 -c:v ffv1 whole.mkv",
             {}, "in.mkv", "out.mp4", "", false, "", 0, "ended early"},
            // A photograph turned by its EXIF orientation (6: a quarter turn),
            // which ffmpeg finds on the decoded frame, not on the stream.
            {"EXIF orientation", "-f lavfi -i testsrc2=size=61x47 -frames:v 1 -vf eq=contrast=0.4 t.jpg",
             {}, "in.jpg", "out.jpg", "-show_entries stream=width,height", false, "", 25, ""},
            // The whole of a file that starts late (its duration counted
            // from 0): no warning that it ended early.
            {"starting late, in Matroska",
             "-f lavfi -i testsrc2=size=72x40:rate=25:duration=1 -f lavfi -i sine=duration=1 "
             "-c:v libx264 -c:a aac -output_ts_offset 1.5 in.mkv",
             {}, "in.mkv", "out.mkv", "", true, "", 0, ""},
            {"starting late, in MP4",
             "-f lavfi -i testsrc2=size=72x40:rate=25:duration=1 -f lavfi -i sine=duration=1 "
             "-c:v libx264 -c:a aac -output_ts_offset 1.5 in.mp4",
             {}, "in.mp4", "out.mov", "", true, "", 0, ""},
            // QuickTime's muxer labels 10-bit 4:2:2 H.264 at 720p as AVC-Intra,
            // which then decodes as garbage: ProRes there.
            {"10-bit 4:2:2 into QuickTime",
             "-f lavfi -i testsrc2=size=1280x720:rate=25:duration=0.12 -vf "
             "eq=contrast=0.5,format=yuv422p10le -c:v libx264 -preset ultrafast in.mp4",
             {}, "in.mp4", "out.mov", "-select_streams v -show_entries stream=pix_fmt", true, "", 30,
             ""},
            {"full range, matrix untagged", blackWhite + "-color_range pc -c:v libx264 -crf 0 in.mp4",
             {}, "in.mp4", "out.mkv", "-select_streams v -show_entries stream=color_range,color_space",
             true, "", 30, ""},
            {"start into Matroska copies no sound from before it",
             "-f lavfi -i testsrc2=size=72x40:rate=25:duration=4 -f lavfi -i sine=duration=4 "
             "-c:v libx264 -g 1000 -c:a pcm_s16le in.mkv",
             {}, "in.mkv", "out.mkv --start 2 --duration 1", "", false, "", 0, "", 1.2},
            // RGB into 4:2:0: BT.601 at limited range, tagged so.
            {"RGB-coded H.264 into MP4", clip + "-c:v libx264rgb -crf 0 in.mkv", {}, "in.mkv",
             "out.mp4", "-select_streams v -show_entries stream=color_space,color_range", true,
             "tv,smpte170m\n", 0, ""},
            {"RGB picture into WebM", clip + "-frames:v 1 -pix_fmt rgb24 in.png", {}, "in.png",
             "out.webm", "", true, "", 0, ""},
            {"RGB picture stays without alpha", clip + "-frames:v 1 -pix_fmt rgb24 in.png", {},
             "in.png", "out.png", "-show_entries stream=pix_fmt", true, "", 0, ""},
            {"HDR, asked for", clip + "-vf format=yuv420p10le -c:v libx264 -color_trc smpte2084 "
                                      "-color_primaries bt2020 -colorspace bt2020nc in.mkv",
             {}, "in.mkv", "out.mkv --stretch-hdr",
             "-show_entries stream=pix_fmt,color_transfer,color_primaries,color_space", true, "", 0,
             ""},
            {"two rows tall into FFV1", clip + "-vf scale=16:2 -c:v ffv1 -pix_fmt bgr0 in.mkv", {},
             "in.mkv", "out.mkv", "", true, "", 40, ""},
            {"one column wide into FFV1", clip + "-vf scale=1:16 -c:v ffv1 -pix_fmt bgr0 in.mkv", {},
             "in.mkv", "out.mkv", "", true, "", 40, ""},
            {"cover art into Matroska",
             clip + "-i cover.jpg -map 0 -map 1 -c:v:0 libx264 -c:v:1 copy -disposition:v:1 "
                    "attached_pic in.mp4",
             {}, "in.mp4", "out.mkv",
             "-show_entries stream=codec_name:stream_disposition=attached_pic:stream_tags=filename",
             false, "h264,0\nmjpeg,1,cover.jpg\n", 0, ""},
            {"cover art into MP4",
             clip + "-c:v libx264 -attach cover.jpg -metadata:s:t mimetype=image/jpeg in.mkv", {},
             "in.mkv", "out.mp4", "-show_entries stream=codec_name:stream_disposition=attached_pic",
             false, "h264,0\nmjpeg,1\n", 0, ""},
            {"cover art into QuickTime, named", clip + "-c:v libx264 -attach cover.jpg "
                                                       "-metadata:s:t mimetype=image/jpeg in.mkv",
             {}, "in.mkv", "out.mov", "", false, "", 0, "cover art"},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            run("rm -f in.* out.* plain.*");
            ffmpeg(c.make);
            for (const auto& more : c.extra) ffmpeg(more);
            if (std::string(c.name) == "truncated") run("head -c 50000 whole.mkv >in.mkv");
            if (std::string(c.name) == "EXIF orientation") run(exifTurnedJpeg("t.jpg", "in.jpg"));
            const Result r = run((deep ? "VELMOR_ROUTE=deep " : "") + kVelmor + " " + c.input +
                                 " -o " + c.output + " --gain 0 -y");
            EXPECT_EQ(r.status, 0) << r.err;
            if (r.status != 0) continue; // the other rows still run
            if (*c.warning)
                EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
            else
                EXPECT_EQ(r.err, "");
            const std::string output = std::string(c.output).substr(0, std::string(c.output).find(' '));
            const std::string reference = c.againstInput ? c.input : "plain." + extensionOf(output);
            if (!c.againstInput)
                run("ffmpeg -nostdin -v error -y -i " + std::string(c.input) + " " + reference);
            if (*c.entries) {
                const std::string want = *c.expected ? c.expected : probe(reference, c.entries);
                EXPECT_NE(want, "");
                EXPECT_EQ(probe(output, c.entries), want);
            }
            if (c.minPsnr > 0) {
                EXPECT_GE(psnr(output, reference), c.minPsnr);
            }
            if (c.maxSeconds > 0) {
                EXPECT_LE(std::atof(probe(output, "-show_entries format=duration").c_str()),
                          c.maxSeconds);
            }
            // Every output plays: it decodes without a single error, and its
            // darkest and brightest values, read as its tags say, sit where the
            // reference's do.
            EXPECT_EQ(run("ffmpeg -nostdin -v error -i " + output + " -f null -").err, "");
            const auto [low, high] = extremes(output);
            const auto [wantLow, wantHigh] = extremes(reference);
            EXPECT_NEAR(low, wantLow, 6);
            EXPECT_NEAR(high, wantHigh, 6);
        }
    }
}

// 10-bit H.264 at the sizes and rates ffmpeg's QuickTime muxer would tag
// as AVC-Intra (lossless 4:2:2 among them) plays: the ordinary H.264 tag,
// no decoding error, the picture as it went in (5 to 7 dB when misread, over 35 when read).
TEST_F(Cli, TenBitH264IntoQuickTimeKeepsTheOrdinaryTag) {
    SKIP_IF_SANITIZED();
    const struct {
        const char *source, *coding;
    } cases[] = {
        {"size=1920x1080:rate=25", "-c:v v210"},
        {"size=1920x1080:rate=25", "-vf setfield=tff,format=yuv422p10le -c:v ffv1"},
        {"size=1280x720:rate=50", "-pix_fmt yuv422p10le -c:v ffv1"},
        {"size=1440x1080:rate=25", "-pix_fmt yuv420p10le -c:v libx264 -preset ultrafast"},
        {"size=960x720:rate=50", "-pix_fmt yuv420p10le -c:v libx264 -preset ultrafast"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " " + c.coding);
        run("rm -f in.mkv out.mov");
        ffmpeg(std::string("-f lavfi -i testsrc2=") + c.source + ":duration=0.08 " + c.coding +
               " in.mkv");
        const Result r = run(kVelmor + " in.mkv -o out.mov --gain 0");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(probe("out.mov", "-show_entries stream=codec_name,codec_tag_string"),
                  "h264,avc1\n");
        EXPECT_EQ(run("ffmpeg -nostdin -v error -i out.mov -f null -").err, "");
        EXPECT_GE(psnr("out.mov", "in.mkv"), 30);
    }
}

// A 10-bit picture that starts half a second after its sound (as in MPEG-TS
// and in cuts) starts there in the output too: the deep route puts it where
// the 8-bit route does, within a frame, with and without a start and a
// duration. (A plain transcode into MP4 or QuickTime would fill the gap by
// repeating the first frame; both routes pass frames through as they are.)
TEST_F(Cli, DeepRouteKeepsThePicturesStartOffset) {
    SKIP_IF_SANITIZED();
    const std::string make = "-f lavfi -i sine=duration=2 -itsoffset 0.5 -f lavfi -i "
                             "testsrc2=size=96x54:rate=25:duration=1.5,format=yuv420p10le "
                             "-map 1:v -map 0:a -c:v libx264 -g 5 ";
    ffmpeg(make + "-c:a aac in.ts");
    ffmpeg(make + "-c:a flac in.mkv");
    ffmpeg("-i in.ts -c copy in.mp4");
    ffmpeg("-i in.mkv -c:v copy -c:a pcm_s16le -output_ts_offset 1 in.mov");
    // The first video frame's time less the first audio frame's.
    auto gap = [&](const std::string& media) {
        auto first = [&](const char* type) {
            const std::string t = probe(media, std::string("-select_streams ") + type +
                                                   ":0 -read_intervals %+#2 -show_entries "
                                                   "frame=pts_time");
            return std::atof(t.c_str());
        };
        return first("v") - first("a");
    };
    const struct {
        const char *input, *output, *options;
    } cases[] = {
        {"in.ts", "mkv", ""},
        {"in.ts", "mp4", "--start 0.2"},
        {"in.mkv", "mov", ""},
        {"in.mkv", "mkv", "--start 0.8 --duration 0.5"},
        {"in.mp4", "ts", "--start 0.2 --duration 0.6"},
        {"in.mov", "mkv", "--start 0.3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.input) + " into ." + c.output + " " + c.options);
        double gaps[2];
        for (const bool deep : {false, true}) {
            const std::string out = std::string(deep ? "deep." : "eight.") + c.output;
            const Result r = run(std::string("VELMOR_ROUTE=") + (deep ? "deep " : "8bit ") +
                                 kVelmor + " " + c.input + " -o " + out + " -y " + c.options);
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(run("ffmpeg -nostdin -v error -i " + out + " -f null -").err, "");
            gaps[deep] = gap(out);
        }
        EXPECT_NEAR(gaps[1], gaps[0], 0.041);
        if (!*c.options) {
            EXPECT_GT(gaps[1], 0.45);
        }
    }
}

// A 10-bit picture that changes size mid-stream (two MPEG-TS files joined)
// is carried on the deep route as a plain transcode carries it: every frame
// at the first size, as many frames, and the file decodes.
TEST_F(Cli, APictureThatChangesSizeMidStreamIsCarriedOnTheDeepRoute) {
    SKIP_IF_SANITIZED();
    // No B-frames: the second file's timestamps follow the first's.
    const std::string x264 = " -c:v libx264 -bf 0 -pix_fmt yuv420p10le ";
    ffmpeg("-f lavfi -i testsrc2=size=64x36:rate=25:duration=0.4" + x264 + "a.ts");
    ffmpeg("-f lavfi -i testsrc2=size=48x32:rate=25:duration=0.4" + x264 + "-output_ts_offset 0.4 b.ts");
    ASSERT_EQ(run("cat a.ts b.ts > in.ts").status, 0);
    ffmpeg("-i in.ts plain.mkv");
    const Result r = run(kVelmor + " in.ts -o deep.mkv -y");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(run("ffmpeg -nostdin -v error -i deep.mkv -f null -").err, "");
    const std::string sizes = "-show_entries frame=width,height,pts_time";
    EXPECT_EQ(probe("deep.mkv", sizes), probe("plain.mkv", sizes));
    EXPECT_NE(probe("deep.mkv", sizes).find("64,36"), std::string::npos);
}

// A decoding ffmpeg whose stream the deep route cannot read (here bytes
// before it): velmor's reason alone, not the decoder's complaint of the
// pipe velmor closed, and no output.
TEST_F(Cli, DeepRouteSaysWhyItRefusedTheDecodersStream) {
    SKIP_IF_SANITIZED();
    ffmpeg("-f lavfi -i testsrc2=size=48x32:rate=25:duration=0.4 -pix_fmt yuv420p10le -c:v ffv1 in.mkv");
    run("mkdir bin && printf '#!/bin/sh\\ncase \"$*\" in *gbrp16le*pipe:1*) printf garbage;; "
        "esac\\nexec %s \"$@\"\\n' \"$(command -v ffmpeg)\" >bin/ffmpeg && chmod +x bin/ffmpeg");
    const Result r = run("PATH=$PWD/bin:$PATH " + kVelmor + " in.mkv -o out.mkv");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "velmor: cannot convert in.mkv: the decoding ffmpeg's stream: the stream is not NUT\n");
    EXPECT_EQ(run("ls -A | grep -v -x -e bin -e in.mkv -e stderr.txt").status, 1); // nothing else written
}

// Inputs of more than 8 bits per sample, corrected at their precision. A
// 10-bit luma ramp of all 877 video levels keeps every level and its top
// code with the stretch off, and keeps far more than 256 levels with it;
// a 16-bit RGB picture comes out as the core's deep run makes it, sample
// for sample, with its alpha as it was.
TEST_F(Cli, DeepInputsAreCorrectedAtTheirPrecision) {
    SKIP_IF_SANITIZED();
    const int w = 880, h = 64; // x265 takes no less
    std::vector<std::uint16_t> ramp(std::size_t(w) * h * 2, 512); // 4:2:2: Y, then U and V
    for (int i = 0; i < w * h; ++i) ramp[i] = std::uint16_t(std::min(940, 64 + i % w));
    std::ofstream(path("ramp.yuv"), std::ios::binary)
        .write(reinterpret_cast<char*>(ramp.data()), std::streamsize(ramp.size() * 2));
    ffmpeg("-f rawvideo -pix_fmt yuv422p10le -s 880x64 -i ramp.yuv -c:v prores_ks -profile:v 3 "
           "ramp.mov");
    ffmpeg("-f rawvideo -pix_fmt yuv422p10le -s 880x64 -i ramp.yuv -c:v ffv1 ramp.mkv");
    ffmpeg("-f rawvideo -pix_fmt yuv422p10le -s 880x64 -i ramp.yuv -vf format=yuv420p10le "
           "-c:v libx265 -x265-params log-level=error:lossless=1 ramp.mp4");
    // Luma levels: how many, the lowest, the highest (first frame).
    auto luma = [&](const std::string& media, const std::string& pixFmt) {
        const std::string raw = path("luma.raw");
        run("ffmpeg -v error -nostdin -y -i " + media + " -frames:v 1 -f rawvideo -pix_fmt " +
            pixFmt + " " + raw); // as stored: the first plane is the luma
        std::ifstream in(raw, std::ios::binary);
        std::vector<std::uint16_t> y(std::size_t(w) * h);
        in.read(reinterpret_cast<char*>(y.data()), std::streamsize(y.size() * 2));
        std::vector<bool> seen(1024);
        int levels = 0;
        for (auto v : y) levels += !seen[v & 1023], seen[v & 1023] = true;
        const auto [lo, hi] = std::minmax_element(y.begin(), y.end());
        return std::vector<int>{levels, *lo, *hi};
    };
    const struct {
        const char *input, *output, *options, *pixFmt;
        int minLevels, low, high; // of the output's luma; -1: not checked
    } cases[] = {
        // Through 8 bits: 689 levels in each ProRes row, 192 in FFV1's, and
        // 63 for the lowest in H.264.
        {"ramp.mov", "out.mov", "--gain 0", "yuv422p10le", 877, 64, 940},
        {"ramp.mov", "out.mov", "", "yuv422p10le", 800, 64, 940},
        {"ramp.mkv", "out.mkv", "--gamma 2 --s-curve", "yuv422p10le", 600, 64, 940},
        {"ramp.mp4", "out.mp4", "", "yuv420p10le", 700, 64, 940},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.input) + " " + c.options);
        const Result r = run(kVelmor + " " + c.input + " -o " + c.output + " -y " + c.options);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(run("ffmpeg -nostdin -v error -i " + std::string(c.output) + " -f null -").err, "");
        EXPECT_EQ(probe(c.output, "-show_entries stream=pix_fmt"), std::string(c.pixFmt) + "\n");
        const std::vector<int> got = luma(c.output, c.pixFmt);
        EXPECT_GE(got[0], c.minLevels);
        EXPECT_EQ(got[1], c.low);
        EXPECT_EQ(got[2], c.high);
    }

    // An ffmpeg without zscale: a warning, and the plug-in's 8 bits.
    run("mkdir bin && printf '#!/bin/sh\\ncase \"$*\" in *-filters*) \"%s\" \"$@\" | grep -v "
        "zscale;; *) exec \"%s\" \"$@\";; esac\\n' \"$(command -v ffmpeg)\" "
        "\"$(command -v ffmpeg)\" >bin/ffmpeg && chmod +x bin/ffmpeg");
    const Result without = run("PATH=" + path("bin") + ":$PATH " + kVelmor +
                               " ramp.mkv -o eight.mkv --gain 0");
    EXPECT_EQ(without.status, 0) << without.err;
    EXPECT_NE(without.err.find("no zscale filter"), std::string::npos) << without.err;
    EXPECT_LT(luma("eight.mkv", "yuv422p10le")[0], 300);

    // 16-bit RGB with alpha: the core's deep run on the very samples. (The
    // files are written and read as rgba64le: ffmpeg's scaler converts
    // between rgba64 and bgra64 only to 12 bits or so.)
    const int pw = 45, ph = 17;
    std::mt19937 rng(16);
    std::vector<std::uint16_t> rgba(std::size_t(pw) * ph * 4);
    for (std::size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = std::uint16_t(i % 4 == 3 ? rng() : 12000 + rng() % 30000);
    std::ofstream(path("in.raw"), std::ios::binary)
        .write(reinterpret_cast<char*>(rgba.data()), std::streamsize(rgba.size() * 2));
    ffmpeg("-f rawvideo -pix_fmt rgba64le -s 45x17 -i in.raw in.png");
    const Result r = run(kVelmor + " in.png -o out.png --gamma 1.4");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(probe("out.png", "-show_entries stream=pix_fmt"), "rgba64be\n");
    run("ffmpeg -v error -nostdin -y -i out.png -f rawvideo -pix_fmt rgba64le out.raw");
    std::ifstream out(path("out.raw"), std::ios::binary);
    std::vector<std::uint16_t> got(rgba.size());
    out.read(reinterpret_cast<char*>(got.data()), std::streamsize(got.size() * 2));
    std::vector<DeepPixel> picture(std::size_t(pw) * ph);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = {rgba[4 * i + 2], rgba[4 * i + 1], rgba[4 * i], rgba[4 * i + 3]};
    FilterSettings s{};
    setDefaultSettings(s);
    s.gamma = 140 / 100.0;
    auto state = std::make_unique<DeepState>();
    runDeepFrame(s, {picture.data(), pw, ph, std::ptrdiff_t(pw) * 8, 16}, FourthByte::kept, *state);
    for (std::size_t i = 0; i < picture.size(); ++i)
        rgba[4 * i] = picture[i].red, rgba[4 * i + 1] = picture[i].green,
        rgba[4 * i + 2] = picture[i].blue, rgba[4 * i + 3] = picture[i].alpha;
    EXPECT_EQ(got, rgba);
}

// A 16-bit picture of fine, narrow ramps written at 8 bits is corrected at
// 16 and rounded once: every channel spreads over (nearly) all 256 levels,
// where correcting after rounding to 8 bits left about 40.
TEST_F(Cli, DeepInputsIntoEightBitOutputsAreRoundedOnce) {
    SKIP_IF_SANITIZED();
    const int w = 256, h = 256;
    std::vector<std::uint16_t> rgb(std::size_t(w) * h * 3);
    for (int i = 0; i < w * h; ++i) {
        rgb[3 * i] = std::uint16_t(18000 + i * 12000 / 65536);
        rgb[3 * i + 1] = std::uint16_t(20000 + i * 10000 / 65536);
        rgb[3 * i + 2] = std::uint16_t(22000 + i % w * 40);
    }
    std::ofstream(path("in.raw"), std::ios::binary)
        .write(reinterpret_cast<char*>(rgb.data()), std::streamsize(rgb.size() * 2));
    ffmpeg("-f rawvideo -pix_fmt rgb48le -s 256x256 -i in.raw -pix_fmt rgb48le in.tif");
    for (const char* output : {"out.mp4", "out.bmp"}) {
        SCOPED_TRACE(output);
        const Result r = run(kVelmor + " in.tif -o " + output);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(run("ffmpeg -nostdin -v error -i " + std::string(output) + " -f null -").err, "");
        const auto bgra = rawFrames(output);
        ASSERT_EQ(bgra.size(), std::size_t(w) * h * 4);
        for (int c = 0; c < 3; ++c) {
            std::vector<bool> seen(256);
            for (std::size_t i = c; i < bgra.size(); i += 4) seen[bgra[i]] = true;
            EXPECT_GE(std::count(seen.begin(), seen.end(), true), 240) << "channel " << c;
        }
    }
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

    // --zero-alpha: the run on the frames with their fourth bytes cleared.
    ASSERT_EQ(run(kVelmor + " --raw 17x5 --zero-alpha --gain 70 <in.raw >zero.raw").status, 0);
    setDefaultSettings(s);
    s.gainPercent = 70;
    std::ifstream zero(path("zero.raw"), std::ios::binary);
    EXPECT_EQ(std::vector<std::uint8_t>((std::istreambuf_iterator<char>(zero)), {}),
              coreResult(in, 17, 5, s, true));

    std::ofstream(path("short.raw"), std::ios::binary)
        .write(reinterpret_cast<char*>(in.data()), in.size() - 7);
    const Result r = run(kVelmor + " --raw 17x5 <short.raw >partial.raw");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("inside frame 3"), std::string::npos) << r.err;
    struct stat st {};
    stat(path("partial.raw").c_str(), &st);
    EXPECT_EQ(st.st_size, 2 * 17 * 5 * 4);
}

// --smoothing on every route: raw frames at 8 bits (with and without
// --zero-alpha) and at 16, and files on the 8-bit and the deep route. Raw
// frames equal the core's smoothed run; files' first frames equal the
// unsmoothed ones and later ones do not.
TEST_F(Cli, SmoothingOnEveryRoute) {
    const int w = 33, h = 20, frames = 8;
    std::mt19937 rng(12);
    std::vector<std::uint8_t> in(std::size_t(w) * h * 4 * frames);
    for (std::size_t i = 0; i < in.size(); ++i) // a range that breathes, less than a cut
        in[i] = std::uint8_t(i % 4 == 3 ? 0 : 60 + rng() % (80 + 10 * (i / (w * h * 4) % 4)));
    std::ofstream(path("in.raw"), std::ios::binary)
        .write(reinterpret_cast<char*>(in.data()), std::streamsize(in.size()));
    std::vector<DeepPixel> deep(std::size_t(w) * h * frames);
    for (std::size_t i = 0; i < deep.size(); ++i)
        deep[i] = {std::uint16_t(in[4 * i] * 257), std::uint16_t(in[4 * i + 1] * 257),
                   std::uint16_t(in[4 * i + 2] * 257), 0};
    std::ofstream(path("deep.raw"), std::ios::binary)
        .write(reinterpret_cast<char*>(deep.data()), std::streamsize(deep.size() * 8));
    FilterSettings s{};
    setDefaultSettings(s);
    auto deepRun = [&](int window) {
        auto state = std::make_unique<DeepState>();
        Smoothing smoothing;
        setSmoothingWindow(smoothing, window);
        std::vector<DeepPixel> d = deep;
        for (int f = 0; f < frames; ++f)
            runDeepFrame(s, {&d[std::size_t(f) * w * h], w, h, std::ptrdiff_t(w) * 8, 16},
                         FourthByte::channel, *state, &smoothing);
        return std::vector<std::uint8_t>(reinterpret_cast<std::uint8_t*>(d.data()),
                                         reinterpret_cast<std::uint8_t*>(d.data() + d.size()));
    };
    const struct {
        const char* command;
        std::vector<std::uint8_t> expected;
    } raw[] = {
        {" --raw 33x20 --smoothing 6 <in.raw >out.raw", coreResult(in, w, h, s, false, 6)},
        {" --raw 33x20 --smoothing 6 --zero-alpha <in.raw >out.raw", coreResult(in, w, h, s, true, 6)},
        {" --raw 33x20 --depth 16 --smoothing 6 <deep.raw >out.raw", deepRun(6)},
    };
    ASSERT_TRUE(coreResult(in, w, h, s, false, 6) != coreResult(in, w, h, s, false));
    ASSERT_TRUE(deepRun(6) != deepRun(0));
    for (const auto& c : raw) {
        const Result r = run(kVelmor + c.command);
        ASSERT_EQ(r.status, 0) << c.command << r.err;
        std::ifstream out(path("out.raw"), std::ios::binary);
        EXPECT_TRUE(std::vector<std::uint8_t>((std::istreambuf_iterator<char>(out)), {}) ==
                    c.expected)
            << c.command;
    }
    SKIP_IF_SANITIZED();
    // Files: the same frames, lossless, at 8 bits and at 16.
    ffmpeg("-f rawvideo -pix_fmt bgra -s 33x20 -r 25 -i in.raw -vf format=bgr0 -c:v ffv1 in8.mkv");
    ffmpeg("-f rawvideo -pix_fmt bgra -s 33x20 -r 25 -i in.raw -vf format=gbrp16le -c:v ffv1 "
           "in16.mkv");
    const std::size_t frame = std::size_t(w) * h * 4;
    for (const char* input : {"in8.mkv", "in16.mkv"}) {
        SCOPED_TRACE(input);
        ASSERT_EQ(run(kVelmor + " " + input + " -o off.mkv -y").status, 0);
        const Result r = run(kVelmor + " " + input + " -o on.mkv -y --smoothing 6");
        ASSERT_EQ(r.status, 0) << r.err;
        const auto off = rawFrames("off.mkv"), on = rawFrames("on.mkv");
        ASSERT_EQ(on.size(), frame * frames);
        EXPECT_TRUE(std::equal(on.begin(), on.begin() + frame, off.begin())); // its own
        EXPECT_FALSE(std::equal(on.begin() + frame, on.end(), off.begin() + frame));
        EXPECT_EQ(run("ffmpeg -v error -i " + path("on.mkv") + " -f null -").err, "");
    }
}

// Frames of 16-bit samples at 10 and 16 bits: the core's deep run on each
// frame; with --zero-alpha the alpha samples are 0 before and after.
TEST_F(Cli, RawModeAtDepthIsTheDeepRun) {
    const struct {
        int bits;
        const char* options;
        bool zeroAlpha;
    } cases[] = {{10, "--threshold 30", false}, {16, "--gamma 1.5 --s-curve", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bits);
        std::mt19937 rng(unsigned(c.bits));
        const int w = 19, h = 6, frames = 2;
        std::vector<DeepPixel> in(std::size_t(w) * h * frames);
        const unsigned top = (1u << c.bits) - 1;
        for (auto& p : in) {
            auto v = [&] { return std::uint16_t(top / 4 + rng() % (top / 3)); };
            p = {v(), v(), v(), std::uint16_t(rng() & top)};
        }
        std::ofstream(path("in.raw"), std::ios::binary)
            .write(reinterpret_cast<char*>(in.data()), std::streamsize(in.size() * 8));
        const Result r = run(kVelmor + " --raw 19x6 --depth " + std::to_string(c.bits) + " " +
                             c.options + (c.zeroAlpha ? " --zero-alpha" : "") +
                             " <in.raw >out.raw");
        ASSERT_EQ(r.status, 0) << r.err;
        FilterSettings s{};
        setDefaultSettings(s);
        if (c.bits == 10) s.threshold = 30;
        else s.gamma = 150 / 100.0, s.sCurve = 1;
        auto state = std::make_unique<DeepState>();
        for (int f = 0; f < frames; ++f) {
            DeepPixel* frame = &in[std::size_t(f) * w * h];
            if (c.zeroAlpha)
                for (int i = 0; i < w * h; ++i) frame[i].alpha = 0;
            runDeepFrame(s, {frame, w, h, std::ptrdiff_t(w) * 8, c.bits}, FourthByte::channel,
                         *state);
        }
        std::ifstream out(path("out.raw"), std::ios::binary);
        const std::vector<char> got((std::istreambuf_iterator<char>(out)), {});
        ASSERT_EQ(got.size(), in.size() * 8);
        EXPECT_EQ(std::memcmp(got.data(), in.data(), got.size()), 0);
    }
}

// A sample at or above 2^depth is refused where it is, never wrapped: the
// frames before it are written, nothing after; a --zero-alpha run ignores
// the fourth sample, which it clears.
TEST_F(Cli, RawModeRefusesSamplesAboveItsDepth) {
    const struct {
        int depth;
        std::uint16_t bad;
        int pixel, sample; // where it goes in the second frame
        bool zeroAlpha;
        const char* message; // "" for none
    } cases[] = {
        {10, 1024, 2, 2, false, "frame 2, pixel 3: red sample 1024 is not below 1024"},
        {12, 65535, 0, 0, false, "frame 2, pixel 1: blue sample 65535 is not below 4096"},
        {9, 512, 1, 3, false, "frame 2, pixel 2: alpha sample 512 is not below 512"},
        {9, 512, 1, 3, true, ""},
        {10, 1023, 2, 2, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::uint16_t> in(std::size_t(3) * 4 * 3, 100); // three frames of 3x1
        in[12 + c.pixel * 4 + c.sample] = c.bad;
        std::ofstream(path("in.raw"), std::ios::binary)
            .write(reinterpret_cast<char*>(in.data()), std::streamsize(in.size() * 2));
        const Result r = run(kVelmor + " --raw 3x1 --depth " + std::to_string(c.depth) +
                             (c.zeroAlpha ? " --zero-alpha" : "") + " <in.raw >out.raw");
        struct stat st {};
        stat(path("out.raw").c_str(), &st);
        if (!*c.message) {
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(st.st_size, 3 * 3 * 8);
            continue;
        }
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("--depth " + std::to_string(c.depth)), std::string::npos) << r.err;
        EXPECT_EQ(st.st_size, 3 * 8); // the first frame alone
    }
}

// 4:2:2 of an odd width into H.264 keeps its chroma whole (4:4:4); .flv,
// whose H.264 is 4:2:0 only, refuses odd sizes before writing anything.
TEST_F(Cli, OddSizesGoWhereTheirChromaFits) {
    SKIP_IF_SANITIZED();
    std::vector<std::uint8_t> yuv(std::size_t(65) * 48 + 33 * 48 * 2, 128);
    for (int i = 0; i < 65 * 48; ++i) yuv[i] = std::uint8_t(40 + i % 65 * 2 + i / 65);
    std::ofstream(path("in.yuv"), std::ios::binary)
        .write(reinterpret_cast<char*>(yuv.data()), std::streamsize(yuv.size()));
    ffmpeg("-f rawvideo -pix_fmt yuv422p -s 65x48 -r 10 -i in.yuv -c:v mjpeg in.mkv");
    for (const char* output : {"out.mp4", "out.mkv", "out.mov", "out.ts"}) {
        const Result r = run(kVelmor + " in.mkv -o " + output);
        EXPECT_EQ(r.status, 0) << output << ": " << r.err;
        EXPECT_EQ(probe(output, "-show_entries stream=width,pix_fmt").substr(0, 12),
                  "65,yuvj444p\n")
            << output;
        EXPECT_EQ(run("ffmpeg -nostdin -v error -i " + std::string(output) + " -f null -").err, "");
    }
    const Result flv = run(kVelmor + " in.mkv -o out.flv");
    EXPECT_EQ(flv.status, 1);
    EXPECT_NE(flv.err.find("in.mkv is 65x48, and .flv output holds only pictures of even width "
                           "and height; not converted. Write .mp4 or .mkv"),
              std::string::npos)
        << flv.err;
    EXPECT_NE(access(path("out.flv").c_str(), F_OK), 0);
}

TEST_F(Cli, BadInputGetsAClearMessageAndLeavesNoOutput) {
    makeClip("in.nut", 3);
    std::ofstream(path("notes.txt")) << "not a video\n";
    for (const char* hdr : {"smpte2084 pq.mkv", "arib-std-b67 hlg.mkv"})
        ffmpeg("-f lavfi -i testsrc2=size=32x16:d=0.1 -vf format=yuv420p10le -c:v libx264 "
               "-color_primaries bt2020 -colorspace bt2020nc -color_trc " + std::string(hdr));
    // A stand-in ffmpeg that writes part of the output, says why it stops
    // and fails, as ffmpeg does on a broken input.
    mkdir(path("fail").c_str(), 0755);
    std::ofstream(path("fail/ffmpeg"))
        << "#!/bin/sh\nfor a; do out=$a; done\necho partial >\"${out#file:}\"\n"
           "echo 'Error while decoding stream #0:0: Invalid data found' >&2\nexit 1\n";
    chmod(path("fail/ffmpeg").c_str(), 0755);
    struct {
        std::string command, message;
        int status;
        bool converts; // reaches ffmpeg's conversion
    } cases[] = {
        {kVelmor + " missing.mp4 -o out.mp4", "cannot read missing.mp4", 1, false},
        {kVelmor + " notes.txt -o out.mp4", "not a video or image", 1, false},
        {"PATH=/nonexistent " + kVelmor + " in.nut -o out.nut", "install ffmpeg", 1, false},
        {kVelmor + " in.nut -o nofolder/out.nut", "cannot write nofolder/out.nut", 1, false},
        {kVelmor + " in.nut -o in.nut", "is the input", 1, false},
        {kVelmor + " in.nut -o ./in.nut", "is the input", 1, false},
        {kVelmor + " in.nut -o out.xyz", "'.xyz' names no format", 2, false},
        {kVelmor + " in.nut out.nut", "name the output with -o: velmor in.nut -o out.nut", 2,
         false},
        {kVelmor + " pq.mkv -o out.mkv", "is HDR video (transfer smpte2084, PQ)", 1, false},
        {kVelmor + " hlg.mkv -o out.mkv", "is HDR video (transfer arib-std-b67, HLG)", 1, false},
        {kVelmor + " - -o out.nut", "- is not a video or image", 1, false}, // empty stdin
        {kVelmor + " in.nut -o out.nut --gain ten", "not a whole number", 2, false},
        {kVelmor + " in.nut -o out.nut --gain 101", "outside 0 to 100", 2, false},
        {kVelmor + " in.nut -o out.nut --gamma 1,5", "not a number", 2, false},
        {kVelmor + " in.nut -o out.nut --config 'Config(1, 2, 3)'", "--config", 2, false},
        {kVelmor, "Usage:", 2, false},
        {kVelmor + " --raw 0x10", "at least 1x1", 2, false},
        {kVelmor + " --raw 40000x40000", "too large (at most 268435456 pixels", 2, false},
        {kVelmor + " --raw 12", "not a size", 2, false},
        {"PATH=" + path("fail") + ":$PATH " + kVelmor + " in.nut -o out.nut",
         "ffmpeg: Error while decoding stream #0:0", 1, true},
        {kVelmor + " in.nut -o out.nut --ffmpeg-args '-c:v nosuchcodec'",
         "ffmpeg: Unknown encoder 'nosuchcodec'", 1, true},
    };
    for (const auto& c : cases) {
        if (kSanitized && c.converts) continue;
        const Result r = run(c.command);
        EXPECT_EQ(r.status, c.status) << c.command << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.command << ": " << r.err;
        EXPECT_EQ(r.err.find(".velmor-"), std::string::npos) << r.err; // never the temporary's name
        if (!c.converts && c.message != "Usage:") {
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
        EXPECT_EQ(files(), (std::vector<std::string>{"fail", "hlg.mkv", "in.nut", "notes.txt",
                                                     "pq.mkv"}))
            << c.command;
    }
}

// A picture name with a frame number field reads as ffmpeg reads it: the
// numbered sequence, unless a file of that very name exists, which is then
// that one picture (ffmpeg would look for numbered files instead).
TEST_F(Cli, NumberedPicturesAreASequenceUnlessTheNameIsAFile) {
    SKIP_IF_SANITIZED();
    ffmpeg("-f lavfi -i testsrc2=size=48x32:rate=10:duration=0.5 -vf eq=contrast=0.5 f%03d.png");
    ffmpeg("-f lavfi -i testsrc2=size=40x30 -frames:v 1 -vf eq=contrast=0.5 -f image2 "
           "-update 1 'one%d.png'");
    ffmpeg("-f lavfi -i testsrc2=size=20x10 -frames:v 1 one1.png"); // what a sequence would read
    struct {
        std::string input, output;
        int status;
        std::string framesOrMessage;
    } cases[] = {
        {"f%03d.png", "seq.mkv", 0, "5"},
        {"f%03d.png", "seq.mp4", 0, "5"},
        {"'one%d.png'", "one.mkv", 0, "1"},
        {"g%03d.png", "none.mkv", 1, "no pictures are numbered as g%03d.png"},
    };
    for (const auto& c : cases) {
        const Result r = run(kVelmor + " " + c.input + " -o " + c.output + " --quiet");
        ASSERT_EQ(r.status, c.status) << c.input << ": " << r.err;
        if (c.status != 0) {
            EXPECT_NE(r.err.find(c.framesOrMessage), std::string::npos) << r.err;
            continue;
        }
        EXPECT_EQ(probe(c.output, "-count_frames -show_entries stream=nb_read_frames"),
                  c.framesOrMessage + "\n")
            << c.input;
        EXPECT_EQ(run("ffmpeg -v error -i " + c.output + " -f null -").err, "") << c.output;
    }
    // The literal picture, not one1.png: its size says which was read.
    EXPECT_EQ(probe("one.mkv", "-show_entries stream=width"), "40\n");
}

// ffmpeg's convention: -y replaces, -n never does, and with no terminal to
// ask, an existing output is refused; only regular files are replaced, and
// a replaced file keeps its permissions.
TEST_F(Cli, OverwritingFollowsFfmpegsConventionAndKeepsTheMode) {
    SKIP_IF_SANITIZED();
    makeClip("in.nut", 2);
    std::ofstream(path("out.nut")) << "old\n";
    chmod(path("out.nut").c_str(), 0440);
    mkfifo(path("pipe.nut").c_str(), 0644);
    struct {
        std::string args, message;
        int status;
        bool replaced;
    } cases[] = {
        {"in.nut -o out.nut", "exists; give -y", 1, false},
        {"in.nut -o out.nut -n", "not replaced (-n)", 1, false},
        {"in.nut -o pipe.nut -y", "not a regular file", 1, false},
        {"in.nut -o out.nut -y", "", 0, true},
    };
    for (const auto& c : cases) {
        const Result r = run(kVelmor + " " + c.args);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
        EXPECT_EQ(text("out.nut") == "old\n", !c.replaced) << c.args;
    }
    struct stat st {};
    ASSERT_EQ(lstat(path("out.nut").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0440u);
    ASSERT_EQ(lstat(path("pipe.nut").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    // Run as root, a replaced file keeps its owner too.
    if (geteuid() == 0) {
        ASSERT_EQ(chown(path("out.nut").c_str(), 65534, 65534), 0);
        ASSERT_EQ(run(kVelmor + " in.nut -o out.nut -y").status, 0);
        ASSERT_EQ(lstat(path("out.nut").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
}

// An output that appears while velmor converts is someone else's: kept, and
// the conversion reported as not written.
TEST_F(Cli, AnOutputThatAppearsMeanwhileIsNotReplaced) {
    SKIP_IF_SANITIZED();
    ffmpeg("-f lavfi -i testsrc2=size=640x360:rate=25:duration=4 -c:v ffv1 long.nut");
    const std::string in = path("long.nut"), out = path("out.mp4");
    const char* argv[] = {kVelmor.c_str(), in.c_str(), "-o", out.c_str(), "--quiet", nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    auto working = [&] { // the temporary file is there
        for (const std::string& f : files())
            if (f.rfind(".velmor-", 0) == 0) return true;
        return false;
    };
    for (int i = 0; i < 200 && !working(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::ofstream(out) << "theirs\n";
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_TRUE(text("out.mp4") == "theirs\n"); // not replaced (and never printed: video)
    EXPECT_EQ(files(), (std::vector<std::string>{"long.nut", "out.mp4"}));
}

// A signal while ffmpeg works: ffmpeg stopped, the temporary file gone, the
// shell's status; and ffmpeg dies with velmor even when velmor cannot clean up.
TEST_F(Cli, SignalsStopFfmpegAndLeaveNothingBehind) {
    SKIP_IF_SANITIZED();
    ffmpeg("-f lavfi -i testsrc2=size=640x360:rate=25:duration=20 -c:v ffv1 long.nut");
    auto ffmpegsHere = [&] { // processes whose command line names this folder
        int n = 0;
        DIR* proc = opendir("/proc");
        while (dirent* e = readdir(proc)) {
            std::ifstream cmd(std::string("/proc/") + e->d_name + "/cmdline");
            std::string line((std::istreambuf_iterator<char>(cmd)), {});
            if (line.rfind("ffmpeg", 0) == 0 && line.find(dir) != std::string::npos) ++n;
        }
        closedir(proc);
        return n;
    };
    // The deep route runs two ffmpeg processes with velmor between them.
    std::vector<char*> deepEnvironment;
    for (char** e = environ; *e != nullptr; ++e) deepEnvironment.push_back(*e);
    char deepRoute[] = "VELMOR_ROUTE=deep";
    deepEnvironment.push_back(deepRoute);
    deepEnvironment.push_back(nullptr);
    for (const bool deep : {false, true})
    for (int sig : {SIGHUP, SIGINT, SIGTERM, SIGKILL}) {
        SCOPED_TRACE(std::string(strsignal(sig)) + (deep ? ", deep route" : ""));
        run("rm -f .velmor-* out.mp4");
        const std::string in = path("long.nut"), out = path("out.mp4");
        const char* argv[] = {kVelmor.c_str(), in.c_str(), "-o", out.c_str(), "--quiet", nullptr};
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv),
                              deep ? deepEnvironment.data() : environ),
                  0);
        // Wait for ffmpeg to be at work on the temporary file.
        const int processes = deep ? 2 : 1;
        for (int i = 0; i < 200 && ffmpegsHere() < processes; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_EQ(ffmpegsHere(), processes);
        kill(pid, sig);
        expectEndedBy(pid, sig);
        if (sig != SIGKILL) {
            for (const auto& f : files()) EXPECT_EQ(f.find(".velmor-"), std::string::npos) << f;
        }
        for (int i = 0; i < 40 && ffmpegsHere() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(ffmpegsHere(), 0);
        EXPECT_NE(access(out.c_str(), F_OK), 0);
    }
}

} // namespace
