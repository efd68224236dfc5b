// Choosing the ffmpeg command for a file: the filter chain (the plug-in
// between two pixel format conversions, padded to a width ffmpeg hands to
// frei0r unshifted), the encoder, the colour tags and the other streams (each
// in a file of its own), put together in one command, or two on the deep
// route. Pure functions of the probe and the options, so the tests can
// check choices without running ffmpeg.
#include "ffmpeg_job.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "colour.h"
#include "deep_commands.h"
#include "encoders.h"
#include "frei0r_api.h"
#include "other_streams.h"
#include "params.h"

namespace {

std::string shortest(double x) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, x);
    return std::string(buffer, r.ptr);
}

} // namespace

std::string frei0rArgument(const UserSettings& s, bool stats, const std::string& pictureWidth) {
    std::string fields[kParamCount];
    bool set[kParamCount] = {};
    if (s.line) {
        const ScriptNumbers v = mergedLine(s);
        // Commas escaped: the filter graph would split the chain at them.
        std::string line = "Config(";
        for (int k = 0; k < kSettingCount; ++k)
            line += (k ? "\\, " : "") + std::to_string(v.value[k]);
        fields[kParamConfig] = line + ")", set[kParamConfig] = true;
    } else {
        // Each number k given as its host value, which the plug-in rounds back to k.
        for (int k = 0; k < kSettingCount; ++k) {
            if (!s.given[k]) continue;
            const double p = unitFromSetting(static_cast<SettingIndex>(k), *s.given[k]);
            const bool flag = kSettingTable[k].kind == SettingKind::flag;
            fields[kParamFirstSetting + k] = flag ? (p >= 0.5 ? "y" : "n") : shortest(p);
            set[kParamFirstSetting + k] = true;
        }
    }
    if (stats) fields[kParamStatistics] = "y", set[kParamStatistics] = true;
    if (s.smoothing.value_or(0) > 0) // N frames as N / 100, which the plug-in rounds back
        fields[kParamSmoothing] = shortest(static_cast<double>(*s.smoothing) /
                                           kSmoothingSetting.maximum),
        set[kParamSmoothing] = true;
    if (!pictureWidth.empty())
        fields[kParamPictureWidth] = pictureWidth, set[kParamPictureWidth] = true;
    int last = -1;
    for (int i = 0; i < kParamCount; ++i)
        if (set[i]) last = i;
    std::string out;
    for (int i = 0; i <= last; ++i) {
        // ffmpeg's frei0r filter takes parameters by position, reads an
        // empty number as 0 and refuses an empty switch, so a parameter
        // before one that is given gets the plug-in's own default (unused
        // anyway when a script line is given).
        if (!set[i] && i != kParamConfig) {
            const double d = frei0rParam(i).defaultValue;
            fields[i] = frei0rParam(i).type == F0R_PARAM_BOOL ? (d >= 0.5 ? "y" : "n")
                                                               : shortest(d);
        }
        out += (i ? "|" : "") + fields[i];
    }
    return out;
}

std::string refusalFor(const Options& o, const MediaInfo& m, const std::string& inputLabel) {
    const std::string& t = m.colorTransfer;
    if ((t == "smpte2084" || t == "arib-std-b67") && !o.stretchHdr)
        return inputLabel + " is HDR video (transfer " + t +
               (t == "smpte2084" ? ", PQ" : ", HLG") +
               "): the filter stretches levels as SDR video has them, so it would change the "
               "picture's brightness in nits (a PQ clip at 100 to 500 nits can come out "
               "spanning 0 to 10,000); not converted. Give --stretch-hdr to stretch the code "
               "values as they are (the HDR tags are kept)";
    // FLV holds H.264 at 4:2:0 only, which halves the chroma both ways, and
    // x264 takes no odd size there.
    const int w = displayWidth(m), h = displayHeight(m);
    if (extensionOf(o.output) == "flv" && (w % 2 || h % 2))
        return inputLabel + " is " + std::to_string(w) + "x" + std::to_string(h) +
               ", and .flv output holds only pictures of even width and height; not "
               "converted. Write .mp4 or .mkv instead, which keep odd sizes";
    return "";
}

namespace {

// Into BGRA, padded to a width ffmpeg hands over with packed rows, the
// filter on the picture's columns, cropped back, and into the output's
// pixel format with the input's matrix and range.
std::string filterChain(const Options& o, const Source& s, const std::string& pixFmt) {
    const int padded = (s.width + 15) / 16 * 16;
    // ffmpeg's scaler takes 4:2:0 into packed BGRA repeating each chroma
    // sample over its 2x2 pixels, which the way back to 4:2:0 undoes; an
    // output of full chroma (VP8/VP9 alpha into ProRes 4444) would keep the
    // blocks (30 dB), so there it goes through planar RGB, where the scaler
    // interpolates, and is repacked exactly.
    const bool fullChromaOut = !pixFmt.empty() && traitsOf(pixFmt).chroma == "444";
    std::string chain = s.m.pixFmt == "yuva420p" && fullChromaOut ? "format=gbrap,format=bgra"
                                                                  : "format=bgra",
                share;
    if (padded != s.width) {
        chain += ",pad=" + std::to_string(padded) + ":ih:0:0";
        share = shortest(static_cast<double>(s.width) / padded);
    }
    const std::string argument = frei0rArgument(o.settings, o.stats, share);
    chain += ",frei0r=velmor" + (argument.empty() ? "" : ":" + argument);
    if (padded != s.width) chain += ",crop=" + std::to_string(s.width) + ":ih:0:0";
    if (!pixFmt.empty() && isPlainGray(pixFmt))
        chain += ",format=gbrp,extractplanes=g";
    else if (!pixFmt.empty() && !traitsOf(pixFmt).rgb)
        chain += ",scale=" + outputColour(s.m, s.in.rgb).scaleOptions;
    if (!pixFmt.empty()) chain += ",format=" + pixFmt;
    return chain;
}

// Matroska keeps cover art as an attachment named cover.jpg or the like,
// from a file ffmpeg copies it into first.
void attachCovers(Job& job, const OtherStreams& streams, const std::string& coverPrefix) {
    int k = streams.copiedAttachments;
    for (const StreamInfo* s : streams.covers) {
        const bool png = s->codec == "png";
        const CoverArt cover{s->index, coverPrefix + std::to_string(job.covers.size() + 1) +
                                           (png ? ".png" : ".jpg")};
        const std::string t = "-metadata:s:t:" + std::to_string(k++);
        job.args.insert(job.args.end(),
                        {"-attach", cover.file, t,
                         std::string("mimetype=") + (png ? "image/png" : "image/jpeg"), t,
                         "filename=" + (!s->fileName.empty() ? s->fileName
                                        : png                ? "cover.png"
                                                             : "cover.jpg")});
        job.covers.push_back(cover);
    }
}

// A start given as seconds or [HH:]MM:SS, with ffmpeg's ms and us units.
double startSeconds(const std::string& t) {
    double s = 0;
    for (std::size_t i = 0; i <= t.size();) {
        const std::size_t colon = std::min(t.find(':', i), t.size());
        s = s * 60 + std::atof(t.substr(i, colon - i).c_str());
        i = colon + 1;
    }
    if (t.size() > 2 && t.compare(t.size() - 2, 2, "ms") == 0) s /= 1000;
    if (t.size() > 2 && t.compare(t.size() - 2, 2, "us") == 0) s /= 1e6;
    return s;
}

// What the input claims, for progress and for noticing a short read.
void setExpectedLength(Job& job, const Options& o, const MediaInfo& m, bool image) {
    double seconds = m.duration;
    if (!o.start.empty() && seconds > 0) seconds = std::max(0.0, seconds - startSeconds(o.start));
    if (!o.duration.empty()) {
        const double d = std::atof(o.duration.c_str());
        if (o.duration.find(':') == std::string::npos && d >= 0 &&
            (seconds <= 0 || d < seconds) && o.duration.find("ms") == std::string::npos &&
            o.duration.find("us") == std::string::npos)
            seconds = d;
    }
    job.expectedSeconds = image ? 0 : seconds;
    job.expectedFrames =
        image ? 1 : m.duration > 0 ? std::lround(m.frames * seconds / m.duration) : m.frames;
}

// The command's inputs: on the deep route the corrected picture from
// standard input first, then the file.
void addInputs(Job& job, const Options& o, const Source& src, const std::string& inputName,
               bool deep, bool image) {
    const MediaInfo& m = src.m;
    std::vector<std::string>& a = job.args;
    a = {"ffmpeg", "-hide_banner", "-nostdin", "-nostats", "-v", "error", "-progress", "pipe:3"};
    if (deep) {
        job.decoderArgs = decoderCommand(o, src, inputName, image);
        job.deepBits = src.in.depth;
        // ffmpeg starts each input's timestamps at its own first one: the
        // corrected picture's at 0, the file's other streams at the file's
        // first. A picture that starts later in the file (after its audio,
        // in MPEG-TS or a cut) is put back where it was, less the part of
        // that gap a start cuts off.
        // In microseconds, ffmpeg's own unit for times.
        const double offset = std::round(
            (m.videoStartOffset - (o.start.empty() ? 0 : startSeconds(o.start))) * 1e6);
        if (offset > 0) a.insert(a.end(), {"-itsoffset", shortest(offset / 1e6)});
        a.insert(a.end(), {"-f", "nut", "-i", "pipe:0"});
    }
    if (!o.start.empty()) a.insert(a.end(), {"-ss", o.start});
    // On the deep route the picture comes decoded from the pipe instead.
    const std::vector<std::string> input = inputArgs(m, inputName, !deep);
    a.insert(a.end(), input.begin(), input.end());
    a.push_back("-y");
    if (image) a.insert(a.end(), {"-frames:v", "1", "-update", "1"});
}

} // namespace

Job buildJob(const Options& o, const MediaInfo& m, const std::string& inputName,
             const std::string& outputName, const std::string& ext,
             const std::string& coverPrefix) {
    const Source src = sourceOf(m);
    const bool image = isImageExtension(ext);
    Job job;
    Encoder enc = encoderFor(src, ext);
    if (src.in.alpha && !image && (enc.pixFmt.empty() || !traitsOf(enc.pixFmt).alpha) &&
        m.pixFmt != "pal8" && ext != "gif")
        job.warnings.push_back("the input's alpha channel is left out: " + ext +
                               " output as velmor writes it holds none (.mkv, .mov, .webm, "
                               ".png keep it)");
    if (o.noDefaultArgs) enc = {};
    applyUserArguments(enc, job.warnings, o);
    const bool deep = takesDeepRoute(o, src);
    // The file that holds the input's streams in the command: on the deep
    // route the corrected picture comes first, from standard input.
    const std::string file = deep ? "1" : "0";
    addInputs(job, o, src, inputName, deep, image);
    std::vector<std::string>& a = job.args;

    // The scaler for both conversions of the chain: full-resolution chroma
    // from the BGRA frames is faster than ffmpeg's default and at least as
    // close to a high-accuracy conversion in luma and chroma alike.
    a.insert(a.end(), {"-sws_flags", "bicubic+full_chroma_inp"});
    a.insert(a.end(), {"-map", deep ? "0:v:0" : "0:" + std::to_string(m.videoIndex), "-filter:v:0",
                       deep ? deepChain(src, enc.pixFmt) : filterChain(o, src, enc.pixFmt)});
    a.insert(a.end(), enc.args.begin(), enc.args.end());
    if (!image) a.insert(a.end(), {"-fps_mode", "passthrough"});
    addColourTags(a, src, enc.pixFmt);
    if (deep) {
        // What the 8-bit route's frames carry through ffmpeg's filter graph
        // comes from the input file here: primaries and transfer, the
        // file's and the picture stream's metadata, the chapters.
        if (known(m.colorPrimaries)) a.insert(a.end(), {"-color_primaries", m.colorPrimaries});
        if (known(m.colorTransfer)) a.insert(a.end(), {"-color_trc", m.colorTransfer});
        a.insert(a.end(), {"-map_metadata", "1", "-map_metadata:s:v:0",
                           "1:s:" + std::to_string(m.videoIndex), "-map_chapters", "1"});
    }
    // A start cuts copied streams too, not only the decoded ones: without
    // this ffmpeg copies the packets between the keyframe it seeks to and
    // the start, which Matroska and the others then play.
    if (!o.start.empty()) a.insert(a.end(), {"-copypriorss", "0"});

    const OtherStreams streams = otherStreams(src, ext, file);
    a.insert(a.end(), streams.args.begin(), streams.args.end());
    job.warnings.insert(job.warnings.end(), streams.warnings.begin(), streams.warnings.end());
    attachCovers(job, streams, coverPrefix);
    if (!o.duration.empty()) a.insert(a.end(), {"-t", o.duration});
    a.insert(a.end(), {"-max_muxing_queue_size", "4096"});
    a.insert(a.end(), o.ffmpegArgs.begin(), o.ffmpegArgs.end());
    a.push_back(outputName);
    setExpectedLength(job, o, m, image);
    return job;
}
