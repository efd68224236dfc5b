// velmor's options and the ffmpeg command it chooses, without running
// anything: the script-line parser, ranges and warnings, the plug-in's
// parameter string, and the encoder and stream choices per input.
#include <gtest/gtest.h>

#include <algorithm>

#include "ffmpeg_job.h"
#include "options.h"

namespace {

TEST(ConfigLine, AcceptsWhatSavedScriptsHoldAndNothingElse) {
    struct {
        const char* line;
        bool ok;
        ScriptNumbers v;
    } cases[] = {
        {"Config(100, 10, 100, 0, 0)", true, {{100, 10, 100, 0, 0}}},
        {"  obj.filters.instance[0].Config(-5,2147483647,-29,7,1);  ",
         true,
         {{-5, 2147483647, -29, 7, 1}}},
        {"Config( 1 , 2 , 3 , 4 , 5 ) ;", true, {{1, 2, 3, 4, 5}}},
        {"Config(1, 2, 3, 4)", false, {}},
        {"Config(1, 2, 3, 4, 5, 6)", false, {}},
        {"Config(1, 2, 3.5, 4, 5)", false, {}},
        {"Config(1, 2, 2147483648, 4, 5)", false, {}},
        {"Config(1, 2, 3, 4, 5) x", false, {}},
        {"MyConfig(1, 2, 3, 4, 5)", false, {}},
        {"Config(1, , 3, 4, 5)", false, {}},
        {"", false, {}},
    };
    for (auto c : cases) {
        ScriptNumbers v{};
        ASSERT_EQ(parseConfigLine(c.line, v), c.ok) << c.line;
        if (!c.ok) continue;
        for (int k = 0; k < kSettingCount; ++k) EXPECT_EQ(v.value[k], c.v.value[k]) << c.line;
    }
}

TEST(Options, SettingsOverrideTheConfigLineAndGammaIsSavedInHundredths) {
    std::string error;
    auto o = parseOptions({"in.mp4", "--config", "Config(50, 20, 300, 1, 1)", "--gain=70",
                           "--gamma", "1.15", "-o", "out.mp4"},
                          error);
    ASSERT_TRUE(o) << error;
    const ScriptNumbers v = mergedLine(o->settings);
    EXPECT_EQ(v.value[kGainSetting], 70);
    EXPECT_EQ(v.value[kThresholdSetting], 20);
    EXPECT_EQ(v.value[kGammaSetting], 114); // 1.15 * 100.0 truncates to 114
    EXPECT_EQ(o->mode, Mode::Convert);
    EXPECT_TRUE(o->warnings.empty());
    // Nothing given, nothing set: the filter's defaults are not repeated here.
    o = parseOptions({"a.mp4", "-o", "b.mp4"}, error);
    ASSERT_TRUE(o);
    EXPECT_FALSE(o->settings.line || o->settings.anyOption());
}

TEST(Options, RangesModesAndWarnings) {
    struct {
        std::vector<std::string> args;
        const char* error;   // a refusal containing this, or
        const char* warning; // a warning containing this ("" for none)
    } cases[] = {
        {{"in.mp4"}, "-o OUTPUT", ""},
        {{"--raw", "10x"}, "not a size", ""},
        {{"--demo", "--raw", "2x2"}, "another mode", ""},
        {{"--gain"}, "needs a value", ""},
        {{"--bogus"}, "unknown option", ""},
        {{"--ffmpeg-args", "'unbalanced"}, "unbalanced", ""},
        {{"a", "b", "-o", "c"}, "one input", ""},
        {{"a", "-o", "b", "--gain", "-50"}, "outside 0 to 100", ""},
        {{"a", "-o", "b", "--gain", "101"}, "outside 0 to 100", ""},
        {{"a", "-o", "b", "--threshold", "300"}, "outside 0 to 255", ""},
        {{"a", "-o", "b", "--gamma", "0"}, "outside 0.2 to 5.0", ""},
        {{"a", "-o", "b", "--gamma", "0.19"}, "outside 0.2 to 5.0", ""},
        {{"a", "-o", "b", "--gamma", "0.2"}, nullptr, ""},
        {{"a", "-o", "b", "--gamma", "5.01"}, "outside 0.2 to 5.0", ""},
        {{"a", "-o", "b", "-y", "-n"}, "contradict", ""},
        {{"a", "-o", "b", "--start", "1:2:3:4"}, "not a time", ""},
        {{"a", "-o", "b", "--duration", "-3"}, "not a time", ""},
        {{"a", "-o", "b", "--gain", "0", "--threshold", "255", "--gamma", "5"}, nullptr, ""},
        {{"a", "-o", "b", "--start", "00:01:30.5", "--duration", "250ms"}, nullptr, ""},
        {{"a", "-o", "b", "--gain", "5", "--gain", "6"}, nullptr, "more than once"},
        {{"a", "-o", "b", "--config", "Config(150, 10, 100, 0, 0)"}, nullptr, "outside"},
        {{"a", "-o", "b", "--config", "Config(100, 10, 10, 0, 0)"}, nullptr, "outside"},
        {{"--raw", "2x2", "--ffmpeg-args", "-crf 3"}, nullptr, "ignores it"},
        {{"--raw", "2x2", "-y"}, nullptr, "ignores it"},
        {{"a", "-o", "b", "--zero-alpha"}, nullptr, "--zero-alpha"},
        {{"--raw", "2x2", "--depth", "17"}, "from 8 to 16", ""},
        {{"a", "-o", "b", "--depth", "10"}, nullptr, "--depth is for --raw"},
        {{"--raw", "2x2", "--depth", "12", "--stats"}, nullptr, "no statistics overlay"},
        {{"-o", "b", "--", "-file.mp4"}, nullptr, ""},
        // After --, -o is a name too: the suggestion is a command that works.
        {{"--", "-file.mp4", "-o", "b"}, "velmor -o b -- -file.mp4", ""},
        {{"a.mp4", "b.mp4"}, "velmor a.mp4 -o b.mp4", ""},
        {{"a", "-o", "b", "--smoothing", "101"}, "outside 0 to 100", ""},
        {{"a", "-o", "b", "--smoothing", "-1"}, "outside 0 to 100", ""},
        {{"a", "-o", "b", "--smoothing", "1.5"}, "not a whole number", ""},
        {{"a", "-o", "b", "--smoothing"}, "needs a value", ""},
        {{"--raw", "2x2", "--smoothing=100"}, nullptr, ""},
        {{"--print-config", "--smoothing", "12"}, nullptr, "not part of a script line"},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto o = parseOptions(c.args, error);
        const std::string what = c.args.back();
        if (c.error) {
            EXPECT_FALSE(o) << what;
            EXPECT_NE(error.find(c.error), std::string::npos) << what << ": " << error;
            continue;
        }
        ASSERT_TRUE(o) << what << ": " << error;
        if (*c.warning == 0) {
            EXPECT_TRUE(o->warnings.empty()) << what << ": " << o->warnings[0];
        } else {
            ASSERT_EQ(o->warnings.size(), 1u) << what;
            EXPECT_NE(o->warnings[0].find(c.warning), std::string::npos) << o->warnings[0];
        }
    }
    std::string error;
    const auto dashed = parseOptions({"-o", "-", "--", "-"}, error);
    ASSERT_TRUE(dashed);
    EXPECT_EQ(dashed->input, "-");
    EXPECT_EQ(dashed->output, "-");
    const auto none = parseOptions({}, error);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->noArguments);
}

// The plug-in's parameters, by position: only what the user gave, a number
// before a given one at the plug-in's own default.
TEST(Frei0rArgument, GivesOnlyWhatWasGiven) {
    UserSettings none, gain, gamma, line, smooth, smoothLine;
    gain.given[kGainSetting] = 80;
    smooth.smoothing = 12;
    smoothLine.line = ScriptNumbers{{100, 10, 120, 1, 0}};
    smoothLine.smoothing = 100;
    gamma.given[kGammaSetting] = 140;
    line.line = ScriptNumbers{{100, 10, 120, 1, 0}};
    line.given[kThresholdSetting] = 20;
    struct {
        const UserSettings& s;
        bool stats;
        const char* width;
        const char* expected;
    } cases[] = {
        {none, false, "", ""},
        {gain, false, "", "|0.8"},
        {gamma, false, "", "|1|0.0392156862745098|0.25"},
        {line, false, "", "Config(100\\, 20\\, 120\\, 1\\, 0)"},
        {line, true, "0.5", "Config(100\\, 20\\, 120\\, 1\\, 0)|1|0.0392156862745098|0.16666666666666666|n|n|y|0.5"},
        {none, false, "0.5", "|1|0.0392156862745098|0.16666666666666666|n|n|n|0.5"},
        // Smoothing is the last parameter: N frames as N / 100.
        {smooth, false, "", "|1|0.0392156862745098|0.16666666666666666|n|n|n|1|0|0.12"},
        {smoothLine, false, "0.5", "Config(100\\, 10\\, 120\\, 1\\, 0)|1|0.0392156862745098|0.16666666666666666|n|n|n|0.5|0|1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(frei0rArgument(c.s, c.stats, c.width), c.expected) << c.expected;
}

std::string joined(const std::vector<std::string>& args) {
    std::string s;
    for (const auto& a : args) s += a + " ";
    return s;
}

// Probes as ffprobe -of flat writes them, and what the command must hold.
TEST(BuildJob, KeepsWhatTheInputIsAndConvertsWhatTheContainerCannotTake) {
    const std::string video = "streams.stream.0.index=0\nstreams.stream.0.codec_type=\"video\"\n"
                              "streams.stream.0.width=1920\nstreams.stream.0.height=1080\n";
    struct {
        std::string probe, ext;
        std::vector<std::string> has, hasNot;
        const char* warning;
    } cases[] = {
        {video + "streams.stream.0.codec_name=\"h264\"\nstreams.stream.0.pix_fmt=\"yuv420p10le\"\n"
                 "streams.stream.0.color_space=\"bt709\"\nstreams.stream.0.color_range=\"tv\"\n"
                 "streams.stream.0.color_primaries=\"bt709\"\n",
         "mp4",
         {"format=bgra,frei0r=velmor,scale=out_color_matrix=bt709:out_range=tv,format=yuv420p10le "
          "-c:v libx264 ",
          "-colorspace bt709 -color_range tv", "-fps_mode passthrough"},
         {"-color_trc", "-color_primaries"}, // they come with the frames
         ""},
        {video + "streams.stream.0.codec_name=\"h264\"\nstreams.stream.0.pix_fmt=\"yuv422p10le\"\n",
         "mov",
         {"-c:v prores_ks -profile:v 3 ", "format=yuv422p10le"},
         {"libx264"},
         ""},
        {"streams.stream.0.index=0\nstreams.stream.0.codec_type=\"video\"\n"
         "streams.stream.0.width=16\nstreams.stream.0.height=2\n"
         "streams.stream.0.codec_name=\"ffv1\"\nstreams.stream.0.pix_fmt=\"bgr0\"\n",
         "mkv",
         {"-c:v ffv1 "},
         {"-level"},
         ""},
        // Every H.264 track into QuickTime keeps the ordinary tag, which
        // ffmpeg's muxer keeps only below normal strictness.
        {video + "streams.stream.0.codec_name=\"v210\"\nstreams.stream.0.pix_fmt=\"yuv422p10le\"\n",
         "mov",
         {"-c:v libx264 -preset medium -qp 0 -tag:v avc1 -strict unofficial", "format=yuv422p10le"},
         {"prores"},
         ""},
        {video + "streams.stream.0.codec_name=\"prores\"\nstreams.stream.0.profile=\"HQ\"\n"
                 "streams.stream.0.pix_fmt=\"yuv422p10le\"\n",
         "mov",
         {"-c:v prores_ks -profile:v 3 ", "format=yuv422p10le"},
         {},
         ""},
        {video + "streams.stream.0.codec_name=\"ffv1\"\nstreams.stream.0.pix_fmt=\"bgra\"\n"
                 "streams.stream.1.index=1\nstreams.stream.1.codec_type=\"attachment\"\n"
                 "streams.stream.1.codec_name=\"ttf\"\n",
         "mkv",
         {"-c:v ffv1 ", "format=bgra -c:v", "-map 0:1 -c:1 copy"},
         {"-colorspace"},
         ""},
        {video + "streams.stream.0.codec_name=\"qtrle\"\nstreams.stream.0.pix_fmt=\"argb\"\n"
                 "streams.stream.1.index=1\nstreams.stream.1.codec_type=\"attachment\"\n"
                 "streams.stream.1.codec_name=\"ttf\"\n",
         "mp4",
         {"-c:v libx264rgb -preset medium -qp 0 "},
         {"-map 0:1"},
         "alpha"}, // and the attachment: two warnings, the first checked
        {video + "streams.stream.0.codec_name=\"h264\"\nstreams.stream.0.pix_fmt=\"yuv420p\"\n"
                 "streams.stream.1.index=1\nstreams.stream.1.codec_type=\"audio\"\n"
                 "streams.stream.1.codec_name=\"aac\"\n"
                 "streams.stream.2.index=2\nstreams.stream.2.codec_type=\"subtitle\"\n"
                 "streams.stream.2.codec_name=\"mov_text\"\n",
         "webm",
         {"-c:v libvpx-vp9 ", "-map 0:1 -c:1 libopus", "-map 0:2 -c:2 webvtt"},
         {},
         ""},
        {video + "streams.stream.0.codec_name=\"h264\"\nstreams.stream.0.pix_fmt=\"yuv420p\"\n"
                 "streams.stream.0.field_order=\"tt\"\n"
                 "streams.stream.1.index=1\nstreams.stream.1.codec_type=\"subtitle\"\n"
                 "streams.stream.1.codec_name=\"subrip\"\n"
                 "streams.stream.2.index=2\nstreams.stream.2.codec_type=\"subtitle\"\n"
                 "streams.stream.2.codec_name=\"hdmv_pgs_subtitle\"\n",
         "mp4",
         {"-flags +ildct+ilme", "-map 0:1 -c:1 mov_text"},
         {"0:2"},
         "hdmv_pgs_subtitle"},
        {video + "streams.stream.0.codec_name=\"h264\"\nstreams.stream.0.pix_fmt=\"yuv420p\"\n"
                 "streams.stream.1.index=1\nstreams.stream.1.codec_type=\"audio\"\n"
                 "streams.stream.1.codec_name=\"aac\"\n",
         "gif",
         {"format=bgra,frei0r=velmor -fps_mode"},
         {"0:1", "-c:v"},
         "audio stream #1 (aac) is left out"},
        // x264 takes no 4:2:0 of an odd height either: the chroma stays whole.
        {"streams.stream.0.index=0\nstreams.stream.0.codec_type=\"video\"\n"
         "streams.stream.0.width=64\nstreams.stream.0.height=35\n"
         "streams.stream.0.codec_name=\"h264\"\nstreams.stream.0.pix_fmt=\"yuv420p\"\n",
         "mp4",
         {"format=yuv444p -c:v libx264 "},
         {"yuv420p -c:v"},
         ""},
        // A cover after a copied attachment is the next attachment, not the first.
        {video + "streams.stream.0.codec_name=\"ffv1\"\nstreams.stream.0.pix_fmt=\"bgra\"\n"
                 "streams.stream.1.index=1\nstreams.stream.1.codec_type=\"attachment\"\n"
                 "streams.stream.1.codec_name=\"ttf\"\n"
                 "streams.stream.2.index=2\nstreams.stream.2.codec_type=\"video\"\n"
                 "streams.stream.2.codec_name=\"mjpeg\"\n"
                 "streams.stream.2.disposition.attached_pic=1\n",
         "mkv",
         {"-map 0:1 -c:1 copy", "-metadata:s:t:1 mimetype=image/jpeg -metadata:s:t:1 filename=cover.jpg"},
         {"-metadata:s:t:0"},
         ""},
    };
    Options o;
    o.mode = Mode::Convert;
    o.route = Route::EightBit; // the plug-in's chain (the 10-bit row would go deep)
    for (const auto& c : cases) {
        const MediaInfo m = parseProbe(c.probe);
        const Job job = buildJob(o, m, "file:in", "file:out." + c.ext, c.ext);
        const std::string line = joined(job.args);
        for (const auto& h : c.has) EXPECT_NE(line.find(h), std::string::npos) << h << "\n" << line;
        for (const auto& h : c.hasNot) EXPECT_EQ(line.find(h), std::string::npos) << h << "\n" << line;
        if (*c.warning == 0) {
            EXPECT_TRUE(job.warnings.empty()) << line << job.warnings[0];
        } else {
            ASSERT_FALSE(job.warnings.empty()) << line;
            EXPECT_NE(job.warnings[0].find(c.warning), std::string::npos) << job.warnings[0];
        }
    }
    // Extra arguments come after velmor's own; a rate control replaces
    // velmor's; with --no-default-args they replace them all.
    const MediaInfo m = parseProbe(cases[0].probe);
    const struct {
        std::vector<std::string> args;
        const char *kept, *gone, *warning; // "" for none
    } extra[] = {
        {{"-preset", "slow"}, "-crf 16", "", ""},
        {{"-crf", "30"}, "-crf 30", "-crf 16", ""},
        {{"-qp", "0"}, "-qp 0", "-crf 16", ""},
        {{"-crf:v", "20"}, "-crf:v 20", "-crf 16", ""},
        {{"-b:v:0", "2M"}, "-b:v:0 2M", "-crf 16", ""},
        {{"-b:a", "96k"}, "-crf 16", "", ""},
        {{"-vf", "hflip"}, "-crf 16", "", "-vf replaces velmor's filter chain"},
        {{"-filter:v", "hflip"}, "-crf 16", "", "-filter:v replaces"},
        {{"-c:v", "libx265"}, "-crf 16", "", "-c:v overrides velmor's encoder choices"},
        {{"-pix_fmt", "yuv444p"}, "-crf 16", "", "-pix_fmt overrides"},
    };
    for (const auto& e : extra) {
        o.ffmpegArgs = e.args;
        const Job job = buildJob(o, m, "in", "out.mp4", "mp4");
        const std::string l = joined(job.args);
        EXPECT_NE(l.find(e.kept), std::string::npos) << l;
        if (*e.gone) {
            EXPECT_EQ(l.find(e.gone), std::string::npos) << l;
        }
        EXPECT_EQ(job.warnings.empty(), !*e.warning) << l;
        if (*e.warning && !job.warnings.empty()) {
            EXPECT_NE(job.warnings[0].find(e.warning), std::string::npos) << job.warnings[0];
        }
    }
    o.ffmpegArgs = {"-crf", "30"};
    std::string line;
    o.noDefaultArgs = true;
    line = joined(buildJob(o, m, "in", "out.mp4", "mp4").args);
    EXPECT_EQ(line.find("-crf 16"), std::string::npos) << line;
    EXPECT_EQ(line.find(",format=yuv"), std::string::npos) << line;
}

// Which inputs take the deep route, and its two commands: the decoder's
// conversion into 16-bit RGB as the input is coded, the encoder's back with
// the input's tags, the other streams and metadata from the file.
// A command choice: a probe and an output, and what the decoding ffmpeg
// (none on the 8-bit route) and the encoding one must and must not hold.
struct JobCase {
    const char* name;
    std::string probe, ext;
    Route route;
    bool stats;
    std::vector<std::string> decoder, encoder;
    std::vector<std::string> notInEncoder = {};
};

void expectJob(const JobCase& c) {
    SCOPED_TRACE(c.name);
    Options o;
    o.mode = Mode::Convert;
    o.route = c.route;
    o.stats = c.stats;
    const Job job = buildJob(o, parseProbe(c.probe), "file:in", "file:out." + c.ext, c.ext);
    const std::string decoder = joined(job.decoderArgs), encoder = joined(job.args);
    EXPECT_EQ(decoder.empty(), c.decoder.empty()) << decoder;
    for (const auto& h : c.decoder) EXPECT_NE(decoder.find(h), std::string::npos) << h << "\n" << decoder;
    for (const auto& h : c.encoder) EXPECT_NE(encoder.find(h), std::string::npos) << h << "\n" << encoder;
    for (const auto& h : c.notInEncoder)
        EXPECT_EQ(encoder.find(h), std::string::npos) << h << "\n" << encoder;
    EXPECT_TRUE(job.warnings.empty()) << job.warnings[0];
}

TEST(BuildJob, DeepRouteForDeepInputsWrittenDeep) {
    const std::string video = "streams.stream.0.index=0\nstreams.stream.0.codec_type=\"video\"\n"
                              "streams.stream.0.width=64\nstreams.stream.0.height=36\n";
    const std::string audio = "streams.stream.1.index=1\nstreams.stream.1.codec_type=\"audio\"\n"
                              "streams.stream.1.codec_name=\"aac\"\n";
    auto with = [&](const std::string& codec, const std::string& pixFmt, const std::string& more) {
        return video + "streams.stream.0.codec_name=\"" + codec + "\"\nstreams.stream.0.pix_fmt=\"" +
               pixFmt + "\"\n" + more;
    };
    const JobCase cases[] = {
        {"10-bit BT.709 H.264", with("hevc", "yuv420p10le",
                                     "streams.stream.0.color_space=\"bt709\"\n"
                                     "streams.stream.0.color_primaries=\"bt709\"\n"
                                     "streams.stream.0.color_transfer=\"bt709\"\n" + audio),
         "mp4", Route::Auto, false,
         {"-map 0:0 -filter:v zscale=min=709:rin=limited:r=full:f=bicubic,format=gbrp16le -c:v",
          "-pix_fmt gbrp16le -fps_mode passthrough -map_metadata -1 -f nut pipe:1"},
         {"-f nut -i pipe:0 -i file:in", "-map 0:v:0",
          "format=gbrp16le,zscale=rin=full:m=709:r=limited:f=lanczos,format=yuv420p10le -c:v "
          "libx264",
          "-color_primaries bt709 -color_trc bt709", "-map 1:1 -c:1 copy -map_metadata:s:1 1:s:1",
          "-map_metadata 1 -map_metadata:s:v:0 1:s:0 -map_chapters 1"}},
        {"full range, matrix untagged, into FFV1", with("ffv1", "yuv422p10le",
                                                       "streams.stream.0.color_range=\"pc\"\n"),
         "mkv", Route::Auto, false, {"zscale=min=170m:rin=full:r=full"},
         {"zscale=rin=full:m=170m:r=full:f=lanczos,setparams=colorspace=unknown,format=yuv422p10le"}},
        {"16-bit PNG", with("png", "rgb48be", ""), "png", Route::Auto, false,
         {"zscale=rin=full:r=full:f=bicubic,format=gbrp16le"},
         {"format=gbrp16le,zscale=rin=full:r=full:f=lanczos,format=rgb48be", "-frames:v 1"}},
        {"16-bit grey scan", with("png", "gray16be", "streams.stream.0.color_range=\"pc\"\n"), "png", Route::Auto, false,
         {"zscale=min=170m:rin=full:r=full"}, {"extractplanes=g,format=gray16be"}},
        {"16-bit PNG with alpha", with("png", "rgba64be", ""), "png", Route::Auto, false,
         {"format=gbrap16le -frames:v 1 -c:v rawvideo -pix_fmt gbrap16le"}, {"format=gbrap16le", "format=rgba64be"}},
        {"10-bit RGB into FFV1", with("ffv1", "gbrp10le", ""), "mkv", Route::Auto, false, {"rin=full:r=full"},
         {"format=gbrp10le -c:v ffv1"}},
        {"16-bit RGB picture into FFV1", with("png", "rgb48be", ""), "mkv", Route::Auto, false, {"gbrp16le"},
         {"format=gbrp16le -c:v ffv1"}},
        {"8-bit input", with("h264", "yuv420p", audio), "mp4", Route::Auto, false, {}, {"frei0r=velmor"}},
        // Corrected at 16 bits and rounded once, whatever the output keeps.
        {"10-bit input into 8-bit MPEG-2", with("hevc", "yuv420p10le", ""), "mpg", Route::Auto, false,
         {"format=gbrp16le -c:v rawvideo -pix_fmt gbrp16le"}, {"format=yuv420p -c:v mpeg2video"}},
        {"16-bit TIFF into JPEG", with("tiff", "rgb48le", ""), "jpg", Route::Auto, false, {"-pix_fmt gbrp16le"},
         {"-filter:v:0 null"}},
        {"16-bit RGBA picture into FFV1", with("png", "rgba64be", ""), "mkv", Route::Auto, false,
         {"gbrap16le"}, {"format=gbrap16le -c:v ffv1"}},
        {"16-bit planar RGBA into FFV1", with("ffv1", "gbrap16le", ""), "mkv", Route::Auto, false,
         {"gbrap16le"}, {"format=gbrap16le -c:v ffv1"}},
        {"top field first, marked again", with("hevc", "yuv420p10le", "streams.stream.0.field_order=\"tt\"\n"),
         "mkv", Route::Auto, false, {"-pix_fmt gbrp16le"}, {"setfield=tff,format=gbrp16le"}},
        {"bottom field first, marked again", with("hevc", "yuv420p10le", "streams.stream.0.field_order=\"bb\"\n"),
         "mkv", Route::Auto, false, {"-pix_fmt gbrp16le"}, {"setfield=bff,format=gbrp16le"}},
        {"the overlay is the plug-in's", with("hevc", "yuv420p10le", ""), "mkv", Route::Auto, true, {},
         {"frei0r=velmor"}},
    };
    for (const auto& c : cases) expectJob(c);
}

// Commands for pictures whose probe alone does not say what they are or
// whose family a plain RGB output would lose: VP8/VP9 with alpha beside the
// picture (tagged, in WebM's and Matroska's spelling), which only libvpx
// decodes, on either route; grey, which stays grey where the output holds it
// and comes back as one of the filter's equal channels, not by luma weights.
TEST(BuildJob, AlphaBesideVpxPicturesAndGreyPictures) {
    auto probe = [](const std::string& codec, const std::string& pixFmt, const std::string& more) {
        return "streams.stream.0.index=0\nstreams.stream.0.codec_type=\"video\"\n"
               "streams.stream.0.width=64\nstreams.stream.0.height=48\n"
               "streams.stream.0.codec_name=\"" + codec + "\"\nstreams.stream.0.pix_fmt=\"" +
               pixFmt + "\"\n" + more;
    };
    const std::string webmAlpha = "streams.stream.0.tags.alpha_mode=\"1\"\n";
    const std::string mkvAlpha = "streams.stream.0.tags.ALPHA_MODE=\"1\"\n";
    const JobCase cases[] = {
        {"VP8 alpha into WebM", probe("vp8", "yuv420p", webmAlpha), "webm", Route::Auto, false, {},
         {"-c:0 libvpx -i file:in", "format=bgra,frei0r", "format=yuva420p -c:v libvpx-vp9"},
         {"gbrap"}},
        {"VP9 alpha (Matroska's tag) into QuickTime, interpolated chroma",
         probe("vp9", "yuv420p", mkvAlpha), "mov", Route::Auto, false, {},
         {"-c:0 libvpx-vp9 -i file:in", "format=gbrap,format=bgra,frei0r",
          "format=yuva444p10le -c:v prores_ks -profile:v 4"},
         {}},
        {"VP8 alpha into Matroska", probe("vp8", "yuv420p", webmAlpha), "mkv", Route::Auto, false, {},
         {"-c:0 libvpx -i", "format=yuva420p -c:v ffv1"}, {}},
        {"VP9 alpha on the deep route", probe("vp9", "yuv420p", webmAlpha), "mkv", Route::Deep, false,
         {"-c:0 libvpx-vp9 -i file:in", "format=gbrap16le"},
         {"format=gbrap16le,zscale"},
         {"libvpx-vp9 -i"}},
        {"VP8 without alpha", probe("vp8", "yuv420p", ""), "webm", Route::Auto, false, {},
         {"-i file:in", "format=yuv420p -c:v libvpx-vp9"}, {"-c:0", "yuva"}},
        {"alpha_mode 0", probe("vp9", "yuv420p", "streams.stream.0.tags.alpha_mode=\"0\"\n"),
         "webm", Route::Auto, false, {}, {"format=yuv420p"}, {"-c:0", "yuva"}},
        {"grey PNG into PNG", probe("png", "gray", ""), "png", Route::Auto, false, {},
         {"frei0r=velmor,format=gbrp,extractplanes=g,format=gray "}, {"rgb24", "scale="}},
        {"grey PNG into TIFF", probe("png", "gray", ""), "tif", Route::Auto, false, {},
         {"extractplanes=g,format=gray "}, {"rgb24"}},
        {"16-bit grey into TIFF", probe("png", "gray16be", ""), "tif", Route::Auto, false,
         {"-filter:v zscale"}, {"format=gbrp16le,extractplanes=g,format=gray16le "},
         {"rgb48", "zscale=rin=full:m="}},
        {"16-bit grey FFV1 into Matroska", probe("ffv1", "gray16le", ""), "mkv", Route::Auto, false,
         {"-filter:v zscale"}, {"format=gbrp16le,extractplanes=g,format=gray16le -c:v ffv1"},
         {"zscale=rin=full:m="}},
        {"8-bit grey FFV1 into Matroska", probe("ffv1", "gray", ""), "mkv", Route::Auto, false, {},
         {"extractplanes=g,format=gray -c:v ffv1"}, {"scale="}},
        {"grey into JPEG, which velmor writes as colour", probe("png", "gray", ""), "jpg",
         Route::Auto, false, {}, {"frei0r=velmor"}, {"extractplanes"}},
    };
    for (const auto& c : cases) expectJob(c);
}

} // namespace

// The deep route's corrected picture starts at 0 as ffmpeg reads it back:
// a picture that starts after the file's first stream is put back there,
// less what a start cuts off of the gap.
TEST(BuildJob, DeepRoutePutsALaterPictureBackWhereItStarts) {
    const std::string probe =
        "streams.stream.0.index=0\nstreams.stream.0.codec_type=\"video\"\n"
        "streams.stream.0.width=64\nstreams.stream.0.height=36\n"
        "streams.stream.0.codec_name=\"h264\"\nstreams.stream.0.pix_fmt=\"yuv420p10le\"\n"
        "streams.stream.1.index=1\nstreams.stream.1.codec_type=\"audio\"\n"
        "streams.stream.1.codec_name=\"aac\"\n";
    const struct {
        const char *videoStart, *fileStart, *start, *offset; // "" offset: none given
    } cases[] = {
        {"1.943222", "1.400000", "", "0.543222"},
        {"1.943222", "1.400000", "0.2", "0.343222"},
        {"1.943222", "1.400000", "00:00:01", ""},
        {"1.400000", "1.400000", "", ""},
        {"0.000000", "-0.021333", "", "0.021333"},
        {"N/A", "1.400000", "", ""},
        {"1.943222", "N/A", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.videoStart) + " " + c.fileStart + " " + c.start);
        Options o;
        o.mode = Mode::Convert;
        o.start = c.start;
        const MediaInfo m = parseProbe(probe + "streams.stream.0.start_time=\"" + c.videoStart +
                                       "\"\nformat.start_time=\"" + c.fileStart + "\"\n");
        const std::string line = joined(buildJob(o, m, "file:in", "file:out.mkv", "mkv").args);
        const std::size_t at = line.find("-itsoffset ");
        if (!*c.offset) {
            EXPECT_EQ(at, std::string::npos) << line;
        } else {
            ASSERT_NE(at, std::string::npos) << line;
            EXPECT_NEAR(std::atof(line.c_str() + at + 11), std::atof(c.offset), 1e-6) << line;
            EXPECT_EQ(line.find("-f nut -i pipe:0", at), at + 11 + line.substr(at + 11).find(' ') + 1);
        }
    }
}
