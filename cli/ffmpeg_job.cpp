// Choosing the ffmpeg command for a file: the filter chain (the plug-in
// between two pixel format conversions, padded to a width ffmpeg hands to
// frei0r unshifted), the encoder that keeps what the input is (bit depth,
// chroma format, losslessness, ProRes, alpha where the format holds it), the
// colour tags, and what happens to each of the other streams in the output's
// container. Pure functions of the probe and the options, so the tests can
// check choices without running ffmpeg.
#include "ffmpeg_job.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

#include "frei0r_api.h"
#include "params.h"

namespace {

std::string unquote(const std::string& v) {
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') return v.substr(1, v.size() - 2);
    return v;
}

std::string shortest(double x) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, x);
    return std::string(buffer, r.ptr);
}

bool has(const std::set<std::string>& s, const std::string& v) {
    return s.count(v) != 0;
}

// What the input's pixel format says about alpha, depth and chroma.
struct PixelTraits {
    bool alpha = false, rgb = false, fullRange = false;
    int depth = 8;
    std::string chroma = "420"; // 420, 422, 444 (rgb counts as 444), 440, 411, 410
};

PixelTraits traitsOf(const std::string& pf) {
    PixelTraits t;
    const bool yuv = pf.rfind("yuv", 0) == 0 || pf.rfind("nv", 0) == 0 || pf.rfind("p01", 0) == 0;
    t.rgb = !yuv && pf.rfind("gray", 0) != 0 && pf.rfind("ya", 0) != 0;
    t.alpha = pf.rfind("yuva", 0) == 0 || pf.rfind("gbrap", 0) == 0 || pf.rfind("ya", 0) == 0 ||
              pf.find("rgba") != std::string::npos || pf.find("bgra") != std::string::npos ||
              pf.find("argb") != std::string::npos || pf.find("abgr") != std::string::npos ||
              pf == "pal8";
    t.fullRange = pf.rfind("yuvj", 0) == 0;
    for (const char* c : {"420", "422", "444", "440", "411", "410"})
        if (pf.find(c) != std::string::npos) t.chroma = c;
    if (pf.rfind("nv16", 0) == 0) t.chroma = "422";
    if (t.rgb) t.chroma = "444";
    // The digits after the layout: yuv420p10le, gbrp12le, p010le.
    const std::size_t p = pf.find_last_of('p');
    if (p != std::string::npos && p + 1 < pf.size()) {
        const int bits = std::atoi(pf.c_str() + p + 1);
        if (bits > 8) t.depth = bits;
    }
    if (pf.rfind("p01", 0) == 0) t.depth = 10;
    if (pf.find("48") != std::string::npos || pf.find("64") != std::string::npos) t.depth = 16;
    return t;
}

const std::set<std::string> kLosslessCodecs = {"ffv1",  "huffyuv", "ffvhuff", "utvideo", "png",
                                               "apng",  "qtrle",   "rawvideo", "magicyuv",
                                               "r210",  "v210",    "zlib",    "targa",   "bmp",
                                               "tiff",  "ppm",     "pam",     "sgi"};
const std::set<std::string> kTextSubtitles = {"subrip", "ass",     "ssa",       "webvtt",
                                              "mov_text", "text",  "microdvd", "subviewer",
                                              "jacosub", "sami",   "realtext",  "stl",
                                              "pjs",     "mpl2",   "vplayer",   "srt"};

// What the container does with a stream of this type and codec: "copy", an
// encoder to convert it with, or "" when it cannot hold it at all.
std::string audioFor(const std::string& ext, const std::string& codec, bool losslessAudio) {
    if (ext == "mkv" || ext == "mka" || ext == "nut") return "copy";
    if (ext == "mp4" || ext == "m4v") {
        if (has({"aac", "mp3", "alac", "ac3", "eac3"}, codec)) return "copy";
        return losslessAudio ? "alac" : "aac";
    }
    if (ext == "mov") {
        if (has({"aac", "mp3", "alac", "ac3", "eac3"}, codec) || codec.rfind("pcm_", 0) == 0)
            return "copy";
        return losslessAudio ? "alac" : "aac";
    }
    if (ext == "webm") return has({"opus", "vorbis"}, codec) ? "copy" : "libopus";
    if (ext == "avi") return has({"mp3", "ac3", "pcm_s16le", "pcm_u8"}, codec) ? "copy" : "libmp3lame";
    if (ext == "ts" || ext == "m2ts" || ext == "mts")
        return has({"aac", "mp3", "ac3", "eac3", "mp2"}, codec) ? "copy" : "aac";
    if (ext == "mpg" || ext == "mpeg") return has({"mp2", "ac3", "mp3"}, codec) ? "copy" : "mp2";
    if (ext == "flv") return has({"aac", "mp3"}, codec) ? "copy" : "aac";
    if (ext == "ogv") return has({"vorbis", "opus", "flac"}, codec) ? "copy" : "libvorbis";
    return "";
}

std::string subtitleFor(const std::string& ext, const std::string& codec) {
    const bool text = has(kTextSubtitles, codec);
    if (ext == "mkv" || ext == "nut") return codec == "mov_text" ? "srt" : "copy";
    if (ext == "mp4" || ext == "m4v" || ext == "mov")
        return codec == "mov_text" ? "copy" : text ? "mov_text" : "";
    if (ext == "webm") return codec == "webvtt" ? "copy" : text ? "webvtt" : "";
    if (ext == "ts" || ext == "m2ts" || ext == "mts") return codec == "dvb_subtitle" ? "copy" : "";
    return "";
}

// ffmpeg's scale names for a stream's matrix tag.
std::string scaleMatrix(const std::string& space) {
    if (space == "bt709") return "bt709";
    if (space == "smpte170m" || space == "bt470bg") return "bt601";
    if (space == "smpte240m") return "smpte240m";
    if (space == "fcc") return "fcc";
    if (space == "bt2020nc" || space == "bt2020c") return "bt2020";
    return "";
}

bool known(const std::string& tag) {
    return !tag.empty() && tag != "unknown" && tag != "reserved";
}

std::string describe(const StreamInfo& s) {
    return s.type + " stream #" + std::to_string(s.index) + " (" + s.codec +
           (s.title.empty() ? "" : ", \"" + s.title + "\"") + ")";
}

} // namespace

MediaInfo parseProbe(const std::string& flat) {
    std::map<int, std::map<std::string, std::string>> streams;
    MediaInfo m;
    std::size_t start = 0;
    while (start < flat.size()) {
        std::size_t end = flat.find('\n', start);
        if (end == std::string::npos) end = flat.size();
        const std::string line = flat.substr(start, end - start);
        start = end + 1;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = unquote(line.substr(eq + 1));
        if (key == "format.format_name") m.formatName = value;
        if (key == "format.duration") m.duration = std::atof(value.c_str());
        const std::string prefix = "streams.stream.";
        if (key.rfind(prefix, 0) != 0) continue;
        const std::size_t dot = key.find('.', prefix.size());
        if (dot == std::string::npos) continue;
        const int n = std::atoi(key.c_str() + prefix.size());
        std::string field = key.substr(dot + 1);
        if (field.rfind("side_data_list.", 0) == 0) field = field.substr(field.rfind('.') + 1);
        streams[n][field] = value;
    }
    for (auto& [n, f] : streams) {
        StreamInfo s;
        s.index = f.count("index") ? std::atoi(f["index"].c_str()) : n;
        s.type = f["codec_type"];
        s.codec = f["codec_name"];
        s.title = f["tags.title"];
        s.attachedPicture = f["disposition.attached_pic"] == "1";
        m.streams.push_back(s);
        if (s.type != "video" || s.attachedPicture || m.videoIndex >= 0) continue;
        m.videoIndex = s.index;
        m.codec = s.codec;
        m.profile = f["profile"];
        m.pixFmt = f["pix_fmt"];
        m.width = std::atoi(f["width"].c_str());
        m.height = std::atoi(f["height"].c_str());
        m.fieldOrder = f["field_order"];
        m.colorRange = f["color_range"];
        m.colorSpace = f["color_space"];
        m.colorPrimaries = f["color_primaries"];
        m.colorTransfer = f["color_transfer"];
        m.frameRate = f["avg_frame_rate"] != "0/0" && !f["avg_frame_rate"].empty()
                          ? f["avg_frame_rate"]
                          : f["r_frame_rate"];
        const std::string rotation = f.count("rotation") ? f["rotation"] : f["tags.rotate"];
        m.rotation = std::atoi(rotation.c_str());
        m.frames = std::atol(f["nb_frames"].c_str());
        const double streamDuration = std::atof(f["duration"].c_str());
        if (streamDuration > 0 && m.duration <= 0) m.duration = streamDuration;
    }
    if (m.frames <= 0 && m.duration > 0) {
        const std::size_t slash = m.frameRate.find('/');
        const double num = std::atof(m.frameRate.c_str());
        const double den = slash == std::string::npos ? 1 : std::atof(m.frameRate.c_str() + slash + 1);
        if (num > 0 && den > 0) m.frames = std::lround(m.duration * num / den);
    }
    return m;
}

int displayWidth(const MediaInfo& m) {
    return std::abs(m.rotation) % 180 == 90 ? m.height : m.width;
}

int displayHeight(const MediaInfo& m) {
    return std::abs(m.rotation) % 180 == 90 ? m.width : m.height;
}

std::string extensionOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string e = path.substr(dot + 1);
    for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return e;
}

bool isImageExtension(const std::string& e) {
    return has({"png", "jpg", "jpeg", "bmp", "tif", "tiff", "webp", "ppm", "tga"}, e);
}

bool isKnownExtension(const std::string& e) {
    return isImageExtension(e) || has({"mp4", "m4v", "mov", "mkv", "webm", "avi", "nut", "ts",
                                       "m2ts", "mts", "mpg", "mpeg", "flv", "ogv", "gif"},
                                      e);
}

std::string frei0rArgument(const UserSettings& s, bool stats, const std::string& pictureWidth) {
    std::string fields[kParamCount];
    bool set[kParamCount] = {};
    if (s.line) {
        const ConfigValues v = mergedLine(s);
        // Commas escaped: the filter graph would split the chain at them.
        fields[kParamConfig] = "Config(" + std::to_string(v.gainPercent) + "\\, " +
                               std::to_string(v.threshold) + "\\, " +
                               std::to_string(v.gammaHundredths) + "\\, " +
                               std::to_string(v.sCurve) + "\\, " +
                               std::to_string(v.bypassTitles) + ")";
        set[kParamConfig] = true;
    } else {
        // Each number k given as k / steps, which the plug-in rounds back to k.
        if (s.gain) fields[kParamGain] = shortest(*s.gain / 100.0), set[kParamGain] = true;
        if (s.threshold)
            fields[kParamThreshold] = shortest(*s.threshold / 255.0), set[kParamThreshold] = true;
        if (s.gammaHundredths)
            fields[kParamGamma] = shortest((*s.gammaHundredths - 20) / 480.0),
            set[kParamGamma] = true;
        if (s.sCurve) fields[kParamSCurve] = "y", set[kParamSCurve] = true;
        if (s.bypassTitles) fields[kParamBypassTitles] = "y", set[kParamBypassTitles] = true;
    }
    if (stats) fields[kParamStatistics] = "y", set[kParamStatistics] = true;
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
            const double d = kFrei0rParams[i].defaultValue;
            fields[i] = kFrei0rParams[i].type == F0R_PARAM_BOOL ? (d >= 0.5 ? "y" : "n")
                                                                : shortest(d);
        }
        out += (i ? "|" : "") + fields[i];
    }
    return out;
}

Job buildJob(const Options& o, const MediaInfo& m, const std::string& inputName,
             const std::string& outputName, const std::string& ext) {
    Job job;
    const bool image = isImageExtension(ext);
    const PixelTraits in = traitsOf(m.pixFmt);
    const int width = displayWidth(m), height = displayHeight(m);
    const bool lossless = has(kLosslessCodecs, m.codec);
    const bool prores = m.codec == "prores";

    std::vector<std::string>& a = job.args;
    a = {"ffmpeg", "-hide_banner", "-nostdin", "-nostats", "-v", "error", "-progress", "pipe:3"};
    if (!o.start.empty()) a.insert(a.end(), {"-ss", o.start});
    if (inputName.find('%') != std::string::npos && isImageExtension(extensionOf(inputName)))
        a.insert(a.end(), {"-f", "image2", "-pattern_type", "none"});
    a.insert(a.end(), {"-i", inputName, "-y"});

    // The encoder and the pixel format it gets.
    std::vector<std::string> enc;
    std::string pixFmt;
    const std::string yuv = "yuv" + std::string(in.rgb ? "420" : in.chroma) + "p";
    const std::string depth10 = in.depth > 8 ? "10le" : "";
    auto h264 = [&](bool keepChroma) {
        enc = {"-c:v", "libx264", "-preset", "medium", "-crf", "16"};
        std::string chroma = keepChroma && !in.rgb && has({"420", "422", "444"}, in.chroma)
                                 ? in.chroma
                                 : "420";
        if (chroma == "420" && (width % 2 || height % 2)) chroma = "444";
        pixFmt = "yuv" + chroma + "p" + (!in.rgb ? depth10 : "");
        if (has({"tt", "bb", "tb", "bt"}, m.fieldOrder))
            enc.insert(enc.end(), {"-flags", "+ildct+ilme"});
    };
    auto ffv1 = [&]() {
        enc = {"-c:v", "ffv1", "-level", "3"};
        pixFmt = in.rgb ? (in.alpha ? "bgra" : "bgr0") : m.pixFmt;
    };
    auto proresLike = [&]() {
        static const std::map<std::string, std::string> profiles = {
            {"Proxy", "0"}, {"LT", "1"}, {"Standard", "2"}, {"HQ", "3"}, {"4444", "4"},
            {"4444XQ", "5"}, {"4444 XQ", "5"}};
        const bool four = in.alpha || m.profile.rfind("4444", 0) == 0;
        const auto p = profiles.find(m.profile);
        enc = {"-c:v", "prores_ks", "-profile:v",
               p != profiles.end() ? p->second : (four ? "4" : "3")};
        if (!prores) enc.insert(enc.end(), {"-vendor", "apl0"});
        pixFmt = in.alpha ? "yuva444p10le" : four ? "yuv444p10le" : "yuv422p10le";
    };
    if (image) {
        // The image encoder takes the filter's BGRA as it can (RGBA for PNG).
        a.insert(a.end(), {"-frames:v", "1", "-update", "1"});
    } else if (ext == "mkv" || ext == "nut") {
        if (prores) proresLike();
        else if (lossless || in.alpha) ffv1();
        else h264(true);
    } else if (ext == "mov") {
        if (prores || (in.alpha && !lossless)) proresLike();
        else if (lossless && in.rgb) enc = {"-c:v", "qtrle"}, pixFmt = in.alpha ? "argb" : "rgb24";
        else if (lossless) h264(true), enc[5] = "0", enc[4] = "-qp";
        else h264(true);
    } else if (ext == "mp4" || ext == "m4v" || ext == "ts" || ext == "m2ts" || ext == "mts" ||
               ext == "flv") {
        if (lossless && in.rgb) {
            enc = {"-c:v", "libx264rgb", "-preset", "medium", "-qp", "0"};
            pixFmt = "bgr0";
        } else if (lossless) {
            h264(true);
            enc[4] = "-qp", enc[5] = "0";
        } else {
            h264(ext != "flv");
        }
        if (ext == "flv") pixFmt = "yuv420p";
    } else if (ext == "webm") {
        enc = {"-c:v", "libvpx-vp9", "-crf", "32", "-b:v", "0", "-deadline", "good",
               "-cpu-used", "4", "-row-mt", "1"};
        pixFmt = in.alpha ? "yuva420p" : yuv + depth10;
        if (in.alpha && in.depth > 8) pixFmt = "yuva420p";
    } else if (ext == "avi") {
        ffv1();
    } else if (ext == "mpg" || ext == "mpeg") {
        enc = {"-c:v", "mpeg2video", "-q:v", "2"};
        pixFmt = "yuv420p";
    } else if (ext == "ogv") {
        enc = {"-c:v", "libtheora", "-q:v", "7"};
        pixFmt = "yuv420p";
    } // gif: ffmpeg's own choice, as a plain transcode makes it
    if (in.alpha && !image && (pixFmt.empty() || traitsOf(pixFmt).alpha == false) &&
        m.pixFmt != "pal8" && ext != "gif")
        job.warnings.push_back("the input's alpha channel is left out: " + ext +
                               " output as velmor writes it holds none (.mkv, .mov, .webm, "
                               ".png keep it)");
    if (o.noDefaultArgs) enc.clear(), pixFmt.clear();

    // The filter chain: into BGRA, padded to a width ffmpeg hands over with
    // packed rows, the filter on the picture's columns, cropped back, and
    // into the output's pixel format with the input's matrix and range.
    const int padded = (width + 15) / 16 * 16;
    std::string chain = "format=bgra";
    std::string share;
    if (padded != width) {
        chain += ",pad=" + std::to_string(padded) + ":ih:0:0";
        share = shortest(static_cast<double>(width) / padded);
    }
    const std::string argument = frei0rArgument(o.settings, o.stats, share);
    chain += ",frei0r=velmor" + (argument.empty() ? "" : ":" + argument);
    if (padded != width) chain += ",crop=" + std::to_string(width) + ":ih:0:0";
    const bool yuvOut = !pixFmt.empty() && !traitsOf(pixFmt).rgb;
    const std::string matrix = scaleMatrix(m.colorSpace);
    const std::string range = m.colorRange == "pc" || in.fullRange ? "pc" : "tv";
    if (yuvOut && !matrix.empty())
        chain += ",scale=out_color_matrix=" + matrix + ":out_range=" + range;
    if (!pixFmt.empty()) chain += ",format=" + pixFmt;

    // The scaler for both conversions of the chain: full-resolution chroma
    // from the BGRA frames is faster than ffmpeg's default and at least as
    // close to a high-accuracy conversion in luma and chroma alike.
    a.insert(a.end(), {"-sws_flags", "bicubic+full_chroma_inp"});
    a.insert(a.end(), {"-map", "0:" + std::to_string(m.videoIndex), "-filter:v:0", chain});
    a.insert(a.end(), enc.begin(), enc.end());
    if (!image) a.insert(a.end(), {"-fps_mode", "passthrough"});
    // The colour tags as the input has them; a matrix and range only for YUV.
    if (known(m.colorPrimaries)) a.insert(a.end(), {"-color_primaries", m.colorPrimaries});
    if (known(m.colorTransfer)) a.insert(a.end(), {"-color_trc", m.colorTransfer});
    if (yuvOut && known(m.colorSpace)) a.insert(a.end(), {"-colorspace", m.colorSpace});
    if (yuvOut && (known(m.colorRange) || in.fullRange))
        a.insert(a.end(), {"-color_range", range});

    // The other streams, each as the container can take it.
    int outIndex = 1, attachments = 0;
    const bool losslessAudioInput = lossless;
    for (const StreamInfo& s : m.streams) {
        if (s.index == m.videoIndex || s.type == "data" || s.attachedPicture) continue;
        std::string how;
        if (s.type == "audio")
            how = image || ext == "gif" ? ""
                                        : audioFor(ext, s.codec,
                                                   losslessAudioInput ||
                                                       s.codec.rfind("pcm_", 0) == 0 ||
                                                       s.codec == "flac" || s.codec == "alac");
        else if (s.type == "subtitle")
            how = image ? "" : subtitleFor(ext, s.codec);
        else if (s.type == "attachment") {
            if (ext == "mkv") how = "copy";
            else ++attachments;
            if (ext != "mkv") continue;
        } else if (s.type == "video") {
            job.warnings.push_back(describe(s) + " is left out: velmor corrects one video stream");
            continue;
        }
        if (how.empty()) {
            if (!image || s.type != "audio")
                job.warnings.push_back(describe(s) + " is left out: ." + ext +
                                       " output cannot hold it");
            continue;
        }
        const std::string k = std::to_string(outIndex++);
        a.insert(a.end(), {"-map", "0:" + std::to_string(s.index), "-c:" + k, how});
        if (how == "aac" || how == "libopus" || how == "libmp3lame" || how == "libvorbis")
            a.insert(a.end(), {"-b:" + k, "192k"});
    }
    if (attachments)
        job.warnings.push_back(std::to_string(attachments) +
                               " attachment(s) of the input (such as fonts) are left out: only "
                               ".mkv output holds them");
    if (!o.duration.empty()) a.insert(a.end(), {"-t", o.duration});
    a.insert(a.end(), {"-max_muxing_queue_size", "4096"});
    a.insert(a.end(), o.ffmpegArgs.begin(), o.ffmpegArgs.end());
    a.push_back(outputName);

    // What the input claims, for progress and for noticing a short read.
    double seconds = m.duration;
    if (!o.start.empty() && seconds > 0) {
        // A start given as seconds or [HH:]MM:SS.
        double s = 0, part = 0;
        std::size_t i = 0;
        const std::string& t = o.start;
        while (i <= t.size()) {
            const std::size_t colon = std::min(t.find(':', i), t.size());
            part = std::atof(t.substr(i, colon - i).c_str());
            s = s * 60 + part;
            i = colon + 1;
        }
        if (t.size() > 2 && t.compare(t.size() - 2, 2, "ms") == 0) s /= 1000;
        if (t.size() > 2 && t.compare(t.size() - 2, 2, "us") == 0) s /= 1e6;
        seconds = std::max(0.0, seconds - s);
    }
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
    return job;
}
