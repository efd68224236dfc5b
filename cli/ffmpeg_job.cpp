// Choosing the ffmpeg command for a file: the filter chain (the plug-in
// between two pixel format conversions, padded to a width ffmpeg hands to
// frei0r unshifted), the encoder that keeps what the input is (bit depth,
// chroma format, losslessness, ProRes, alpha where the format holds it), the
// colour tags, and what happens to each of the other streams in the output's
// container. Pure functions of the probe and the options, so the tests can
// check choices without running ffmpeg.
#include "ffmpeg_job.h"

#include <algorithm>
#include <cctype>
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
    bool gray = false; // one channel, full range, that RGB holds as R = G = B
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
    t.gray = pf.rfind("gray", 0) == 0 || pf.rfind("ya", 0) == 0;
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
    // Grey, with or without alpha: gray16be, gray10le, ya16le.
    if (pf.rfind("gray", 0) == 0 || pf.rfind("ya", 0) == 0) {
        const int bits = std::atoi(pf.c_str() + (pf[0] == 'g' ? 4 : 2));
        if (bits > 8) t.depth = bits;
    }
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

// How the filter's BGRA goes back to YUV, and the tags that say so.
struct OutputColour {
    std::string scaleOptions; // for ffmpeg's scale filter
    std::string matrixTag, rangeTag; // "" leaves the tag unset
};

// YUV input goes back with its own matrix and range, whether or not the
// matrix is tagged (untagged: ffmpeg's default matrix both ways, the range
// still as the input's). RGB-coded input has no YUV matrix of its own: it
// gets BT.601 at limited range, as a plain transcode converts it, and the
// tags say so instead of passing on "gbr", which describes no YUV.
// RGB-coded: RGB pixels, or YUV tagged with the identity matrix ("gbr").
bool codedAsRgb(const MediaInfo& m, bool rgbPixels) {
    return rgbPixels || m.colorSpace == "gbr";
}

OutputColour outputColour(const MediaInfo& m, bool rgbInput) {
    if (codedAsRgb(m, rgbInput))
        return {"out_color_matrix=bt601:out_range=tv", "smpte170m", "tv"};
    const std::string matrix = scaleMatrix(m.colorSpace);
    const bool full = m.colorRange == "pc" || traitsOf(m.pixFmt).fullRange;
    OutputColour c;
    c.scaleOptions = (matrix.empty() ? "" : "out_color_matrix=" + matrix + ":") +
                     "out_range=" + (full ? "pc" : "tv");
    if (known(m.colorSpace)) c.matrixTag = m.colorSpace;
    if (known(m.colorRange) || full) c.rangeTag = full ? "pc" : "tv";
    return c;
}

// Containers that keep cover art as ffmpeg writes them: MP4 as a picture
// stream of its own, Matroska as an attachment.
bool coverFits(const std::string& ext, const std::string& codec) {
    return has({"mp4", "m4v", "mkv"}, ext) && has({"mjpeg", "png"}, codec);
}

std::string describe(const StreamInfo& s) {
    return s.type + " stream #" + std::to_string(s.index) + " (" + s.codec +
           (s.title.empty() ? "" : ", \"" + s.title + "\"") + ")";
}

} // namespace

MediaInfo parseProbe(const std::string& flat) {
    std::map<int, std::map<std::string, std::string>> streams;
    MediaInfo m;
    std::string formatStart, videoStart; // "N/A" when unknown
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
        if (key == "format.start_time") formatStart = value;
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
        s.fileName = f["tags.filename"];
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
        videoStart = f["start_time"];
        // Alpha beside VP8/VP9 pictures (WebM's and Matroska's alpha_mode):
        // ffmpeg's own decoders leave it out and ffprobe, using them, says
        // yuv420p; libvpx gives it, 8-bit only.
        const std::string alphaMode =
            f.count("tags.alpha_mode") ? f["tags.alpha_mode"] : f["tags.ALPHA_MODE"];
        if (alphaMode == "1" && (m.codec == "vp8" || m.codec == "vp9") && m.pixFmt == "yuv420p") {
            m.decoder = m.codec == "vp8" ? "libvpx" : "libvpx-vp9";
            m.pixFmt = "yuva420p";
        }
        const double streamDuration = std::atof(f["duration"].c_str());
        if (streamDuration > 0 && m.duration <= 0) m.duration = streamDuration;
    }
    char* end = nullptr;
    const double first = std::strtod(formatStart.c_str(), &end);
    const bool firstKnown = !formatStart.empty() && *end == 0;
    const double video = std::strtod(videoStart.c_str(), &end);
    if (firstKnown && !videoStart.empty() && *end == 0 && video > first)
        m.videoStartOffset = video - first;
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

std::vector<std::string> literalPictureArgs(const std::string& name) {
    if (name.find('%') == std::string::npos || !isImageExtension(extensionOf(name))) return {};
    return {"-f", "image2", "-pattern_type", "none"};
}

bool isPictureSequence(const std::string& name) {
    if (!isImageExtension(extensionOf(name))) return false;
    for (std::size_t i = name.find('%'); i != std::string::npos; i = name.find('%', i)) {
        if (i + 1 < name.size() && name[i + 1] == '%') { // a literal '%'
            i += 2;
            continue;
        }
        std::size_t j = i + 1;
        while (j < name.size() && std::isdigit(static_cast<unsigned char>(name[j]))) ++j;
        if (j < name.size() && name[j] == 'd') return true;
        i = j;
    }
    return false;
}

std::vector<std::string> inputFormatArgs(const std::string& name, bool sequence) {
    if (sequence) return {"-f", "image2"};
    return literalPictureArgs(name);
}

std::vector<std::string> decoderArgs(const MediaInfo& m) {
    if (m.decoder.empty()) return {};
    return {"-c:" + std::to_string(m.videoIndex), m.decoder};
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

// What the input is, as the choices below need it.
struct Source {
    const MediaInfo& m;
    PixelTraits in;
    int width, height; // as the filter sees the picture, turned
    bool lossless, prores;
};

struct Encoder {
    std::vector<std::string> args;
    std::string pixFmt; // what the encoder gets; "" for ffmpeg's own choice
};

Encoder h264For(const Source& s, bool keepChroma, bool losslessOut) {
    Encoder e{{"-c:v", "libx264", "-preset", "medium", losslessOut ? "-qp" : "-crf",
               losslessOut ? "0" : "16"},
              ""};
    std::string chroma = keepChroma && !s.in.rgb && has({"420", "422", "444"}, s.in.chroma)
                             ? s.in.chroma
                             : "420";
    // Chroma that cannot be halved where the size is odd stays whole: x264
    // refuses 4:2:0 of an odd size and 4:2:2 of an odd width.
    if ((chroma == "420" && (s.width % 2 || s.height % 2)) || (chroma == "422" && s.width % 2))
        chroma = "444";
    e.pixFmt = "yuv" + chroma + "p" + (!s.in.rgb && s.in.depth > 8 ? "10le" : "");
    if (has({"tt", "bb", "tb", "bt"}, s.m.fieldOrder))
        e.args.insert(e.args.end(), {"-flags", "+ildct+ilme"});
    return e;
}

Encoder ffv1For(const Source& s) {
    // Level 3 (slices, a checksum per slice) loses pictures one or two
    // pixels tall or wide in ffmpeg 5.1: level 1 there.
    // RGB stays RGB at its depth: FFV1's planar RGB of the input's own
    // depth where it is planar, else 16-bit planar (bgr0/bgra at 8 bits).
    const bool planar = s.m.pixFmt.rfind("gbrp", 0) == 0 || s.m.pixFmt.rfind("gbrap", 0) == 0;
    const std::string rgb = s.in.depth <= 8 ? (s.in.alpha ? "bgra" : "bgr0")
                            : planar       ? s.m.pixFmt
                                           : (s.in.alpha ? "gbrap16le" : "gbrp16le");
    Encoder e{{"-c:v", "ffv1"}, s.in.rgb ? rgb : s.m.pixFmt};
    if (s.width >= 16 && s.height >= 16) e.args.insert(e.args.end(), {"-level", "3"});
    return e;
}

Encoder proresFor(const Source& s) {
    static const std::map<std::string, std::string> profiles = {
        {"Proxy", "0"}, {"LT", "1"},     {"Standard", "2"},  {"HQ", "3"},
        {"4444", "4"},  {"4444XQ", "5"}, {"4444 XQ", "5"}};
    const bool four = s.in.alpha || s.m.profile.rfind("4444", 0) == 0;
    const auto p = profiles.find(s.m.profile);
    Encoder e{{"-c:v", "prores_ks", "-profile:v",
               p != profiles.end() ? p->second : (four ? "4" : "3")},
              s.in.alpha ? "yuva444p10le" : four ? "yuv444p10le" : "yuv422p10le"};
    if (!s.prores) e.args.insert(e.args.end(), {"-vendor", "apl0"});
    return e;
}

Encoder quickTimeEncoder(const Source& s) {
    // ffmpeg's QuickTime muxer labels 10-bit 4:2:2 H.264 of broadcast sizes
    // as AVC-Intra, which decoders then misread; ProRes 422 HQ is
    // QuickTime's own form of that material (DNxHR HQX included).
    const bool tenBit422 = s.in.depth > 8 && s.in.chroma == "422" && !s.lossless;
    if (s.prores || (s.in.alpha && !s.lossless) || tenBit422) return proresFor(s);
    if (s.lossless && s.in.rgb) return {{"-c:v", "qtrle"}, s.in.alpha ? "argb" : "rgb24"};
    // The same muxer tags 10-bit H.264 of some sizes and rates as
    // AVC-Intra too (4:2:2 at 1920x1080 and 1280x720, 4:2:0 at 1440x1080
    // and 960x720, at 24, 25, 50 or 60 frames a second, interlaced or
    // not), lossless 4:2:2 among them, and then no decoder reads it right.
    // It keeps the ordinary H.264 tag only below normal strictness; other
    // tracks come out byte for byte as without it.
    Encoder e = h264For(s, true, s.lossless);
    e.args.insert(e.args.end(), {"-tag:v", "avc1", "-strict", "unofficial"});
    return e;
}

// The encoder and the pixel format it gets, by the output's family.
Encoder encoderFor(const Source& s, const std::string& ext) {
    if (isImageExtension(ext)) {
        // The image encoder takes the filter's BGRA as it can (RGBA for
        // PNG); a picture without alpha stays without, a grey one grey
        // where the format holds grey (PNG and TIFF, 8 or 16 bits).
        if (s.in.gray && !s.in.alpha && ext == "png") return {{}, s.in.depth > 8 ? "gray16be" : "gray"};
        if (s.in.gray && !s.in.alpha && (ext == "tif" || ext == "tiff"))
            return {{}, s.in.depth > 8 ? "gray16le" : "gray"};
        if (s.in.depth > 8 && (ext == "png" || ext == "ppm"))
            return {{}, s.in.alpha && ext == "png" ? "rgba64be" : "rgb48be"};
        if (s.in.depth > 8 && (ext == "tif" || ext == "tiff"))
            return {{}, s.in.alpha ? "rgba64le" : "rgb48le"};
        if (!s.in.alpha && has({"png", "tif", "tiff", "ppm"}, ext)) return {{}, "rgb24"};
        if (!s.in.alpha && has({"bmp", "tga"}, ext)) return {{}, "bgr24"};
        return {};
    }
    if (ext == "mkv" || ext == "nut")
        return s.prores ? proresFor(s) : s.lossless || s.in.alpha ? ffv1For(s) : h264For(s, true, false);
    if (ext == "mov") return quickTimeEncoder(s);
    if (has({"mp4", "m4v", "ts", "m2ts", "mts", "flv"}, ext)) {
        if (s.lossless && s.in.rgb)
            return {{"-c:v", "libx264rgb", "-preset", "medium", "-qp", "0"}, "bgr0"};
        Encoder e = h264For(s, ext != "flv", s.lossless);
        if (ext == "flv") e.pixFmt = "yuv420p";
        return e;
    }
    if (ext == "webm")
        return {{"-c:v", "libvpx-vp9", "-crf", "32", "-b:v", "0", "-deadline", "good",
                 "-cpu-used", "4", "-row-mt", "1"},
                s.in.alpha ? "yuva420p"
                           : "yuv" + std::string(s.in.rgb ? "420" : s.in.chroma) + "p" +
                                 (s.in.depth > 8 ? "10le" : "")};
    if (ext == "avi") return ffv1For(s);
    if (ext == "mpg" || ext == "mpeg") return {{"-c:v", "mpeg2video", "-q:v", "2"}, "yuv420p"};
    if (ext == "ogv") return {{"-c:v", "libtheora", "-q:v", "7"}, "yuv420p"};
    return {}; // gif: ffmpeg's own choice, as a plain transcode makes it
}

// Grey without alpha. A grey picture reaches the filter as R = G = B; the
// filter treats every channel alike, so they stay equal, and any one of
// them is the corrected grey, taken as it is. A conversion by luma weights
// would round it (16-bit 58418 comes back 58413 from zscale).
bool isPlainGray(const std::string& pixFmt) {
    const PixelTraits t = traitsOf(pixFmt);
    return t.gray && !t.alpha;
}

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

// The colour tags: primaries and transfer come through the filter graph
// with the frames as the input has them (ffmpeg 5.1 keeps them, tagged in
// the stream or only in the container); the matrix and range are the last
// conversion's, for YUV only.
void addColourTags(std::vector<std::string>& a, const Source& s, const std::string& pixFmt) {
    if (pixFmt.empty() || traitsOf(pixFmt).rgb) return;
    const OutputColour colour = outputColour(s.m, s.in.rgb);
    if (!colour.matrixTag.empty()) a.insert(a.end(), {"-colorspace", colour.matrixTag});
    if (!colour.rangeTag.empty()) a.insert(a.end(), {"-color_range", colour.rangeTag});
}

// The streams besides the corrected video, as the output's container takes them.
struct OtherStreams {
    std::vector<std::string> args;
    std::vector<std::string> warnings;
    std::vector<const StreamInfo*> covers; // cover art for Matroska's attachments
    int copiedAttachments = 0, droppedAttachments = 0;
};

// How one stream goes into the output: "copy", an encoder, or "" (left out).
std::string streamHow(const StreamInfo& s, const std::string& ext, bool losslessInput) {
    const bool image = isImageExtension(ext);
    if (s.type == "audio")
        return image || ext == "gif"
                   ? ""
                   : audioFor(ext, s.codec,
                              losslessInput || s.codec.rfind("pcm_", 0) == 0 ||
                                  s.codec == "flac" || s.codec == "alac");
    if (s.type == "subtitle") return image ? "" : subtitleFor(ext, s.codec);
    if (s.type == "attachment") return ext == "mkv" ? "copy" : "";
    return "";
}

void mapStream(OtherStreams& out, const StreamInfo& s, const std::string& how, int& outIndex,
               const std::string& file) {
    const std::string k = std::to_string(outIndex++);
    out.args.insert(out.args.end(), {"-map", file + ":" + std::to_string(s.index), "-c:" + k, how});
    // The deep route names the picture stream's metadata itself, which
    // stops ffmpeg copying any stream's on its own.
    if (file != "0")
        out.args.insert(out.args.end(),
                        {"-map_metadata:s:" + k, file + ":s:" + std::to_string(s.index)});
    if (how == "aac" || how == "libopus" || how == "libmp3lame" || how == "libvorbis")
        out.args.insert(out.args.end(), {"-b:" + k, "192k"});
}

// `file` is the input file that holds them in ffmpeg's command ("0", or
// "1" on the deep route, whose first input is the corrected picture).
OtherStreams otherStreams(const Source& src, const std::string& ext, const std::string& file) {
    OtherStreams out;
    int outIndex = 1;
    for (const StreamInfo& s : src.m.streams) {
        if (s.index == src.m.videoIndex || s.type == "data") continue;
        if (s.attachedPicture && !coverFits(ext, s.codec)) {
            out.warnings.push_back("the cover art (" + describe(s) + ") is left out: ." + ext +
                                   " output cannot hold it (.mp4, .m4v and .mkv keep it)");
        } else if (s.attachedPicture && ext == "mkv") {
            out.covers.push_back(&s);
        } else if (s.attachedPicture) {
            const std::string k = std::to_string(outIndex);
            mapStream(out, s, "copy", outIndex, file);
            out.args.insert(out.args.end(), {"-disposition:" + k, "attached_pic"});
        } else if (s.type == "video") {
            out.warnings.push_back(describe(s) + " is left out: velmor corrects one video stream");
        } else if (const std::string how = streamHow(s, ext, src.lossless); !how.empty()) {
            if (s.type == "attachment") ++out.copiedAttachments;
            mapStream(out, s, how, outIndex, file);
        } else if (s.type == "attachment") {
            ++out.droppedAttachments;
        } else if (!isImageExtension(ext) || s.type != "audio") {
            out.warnings.push_back(describe(s) + " is left out: ." + ext + " output cannot hold it");
        }
    }
    if (out.droppedAttachments)
        out.warnings.push_back(std::to_string(out.droppedAttachments) +
                               " attachment(s) of the input (such as fonts) are left out: only "
                               ".mkv output holds them");
    return out;
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

} // namespace

namespace {

// The deep route when the input has more than 8 bits per sample, whatever
// the output keeps: the 8-bit plug-in would stretch levels already rounded
// to 8 bits, leaving gaps (a 16-bit picture into 8-bit H.264 used 51 of 256
// levels), where correcting at 16 bits rounds once, at the end. 8-bit
// inputs stay on the 8-bit route, which is faster; so does the statistics
// overlay, which the plug-in draws, and --no-default-args, whose encoder
// takes the plug-in's frames as ffmpeg hands them on.
bool takesDeepRoute(const Options& o, const Source& src) {
    if (o.stats || o.route == Route::EightBit) return false;
    if (o.route == Route::Deep) return true;
    return src.in.depth > 8 && !o.noDefaultArgs;
}

// The conversions of the deep route go through zscale: ffmpeg's own scaler
// keeps white at 65283 rather than 65535 in 16-bit RGB (10-bit Y 940 comes
// back as 943 once the filter stretches white to the top), while zscale
// maps the limits onto 0 and 65535 exactly. It works on planar frames, so
// the frames are repacked (exactly) between it and the packed 16-bit ones.
// zscale's matrix names for ffmpeg's tags; untagged video is BT.601, as
// ffmpeg's scaler (and so the 8-bit route) takes it.
std::string zscaleMatrix(const std::string& space) {
    static const std::map<std::string, std::string> names = {
        {"bt709", "709"},      {"smpte170m", "170m"},    {"bt470bg", "470bg"},
        {"smpte240m", "240m"}, {"bt2020nc", "2020_ncl"}, {"bt2020c", "2020_cl"},
        {"fcc", "fcc"}};
    const auto n = names.find(space);
    return n != names.end() ? n->second : "170m";
}

// The zscale options that say how the YUV side is coded: the input's own
// matrix and range, or for RGB-coded input BT.601 at limited range, as
// outputColour converts it back.
std::string zscaleYuvOptions(const Source& s, const char* matrixKey, const char* rangeKey) {
    if (codedAsRgb(s.m, s.in.rgb))
        return std::string(matrixKey) + "=170m:" + rangeKey + "=limited";
    const bool full = s.m.colorRange == "pc" || s.in.fullRange;
    return std::string(matrixKey) + "=" + zscaleMatrix(s.m.colorSpace) + ":" + rangeKey + "=" +
           (full ? "full" : "limited");
}

// Into the deep run's 16-bit RGB (with alpha where the input has it).
std::string deepInputChain(const Source& s) {
    const std::string planar = s.in.alpha ? "gbrap16le" : "gbrp16le";
    const std::string how = codedAsRgb(s.m, s.in.rgb)
                                ? "rin=full:r=full"
                                : zscaleYuvOptions(s, "min", "rin") + ":r=full";
    return "zscale=" + how + ":f=bicubic,format=" + planar + ",format=rgba64be";
}

// The decoding ffmpeg of the deep route: the picture alone, turned as its
// rotation says, as 16-bit ARGB frames in fragmented QuickTime (a frame a
// fragment, so each arrives whole and nothing waits for the end), with
// every timestamp as the input has it.
std::vector<std::string> decoderCommand(const Options& o, const Source& src,
                                        const std::string& inputName, bool image) {
    const MediaInfo& m = src.m;
    std::vector<std::string> a = {"ffmpeg", "-hide_banner", "-nostdin", "-nostats", "-v", "error"};
    if (!o.start.empty()) a.insert(a.end(), {"-ss", o.start});
    const std::vector<std::string> literal = inputFormatArgs(inputName, m.pictureSequence);
    a.insert(a.end(), literal.begin(), literal.end());
    const std::vector<std::string> decoder = decoderArgs(m);
    a.insert(a.end(), decoder.begin(), decoder.end());
    a.insert(a.end(), {"-i", inputName, "-map", "0:" + std::to_string(m.videoIndex),
                       "-filter:v", deepInputChain(src)});
    if (image) a.insert(a.end(), {"-frames:v", "1"});
    if (!o.duration.empty()) a.insert(a.end(), {"-t", o.duration});
    a.insert(a.end(), {"-c:v", "rawvideo", "-pix_fmt", "rgba64be", "-tag:v", "b64a",
                       "-fps_mode", "passthrough", "-map_metadata", "-1", "-movflags",
                       "frag_every_frame+empty_moov+default_base_moof", "-f", "mov", "pipe:1"});
    return a;
}

// The deep route's chain: the corrected 16-bit frames, marked interlaced
// again where the input is (raw frames lose the mark, and the encoder takes
// the field order from it), into the output's pixel format.
std::string deepChain(const Source& s, const std::string& pixFmt) {
    std::string chain;
    if (s.m.fieldOrder == "tt" || s.m.fieldOrder == "tb") chain = "setfield=tff";
    if (s.m.fieldOrder == "bb" || s.m.fieldOrder == "bt") chain = "setfield=bff";
    auto add = [&](const std::string& f) { chain += (chain.empty() ? "" : ",") + f; };
    if (pixFmt.empty()) return chain.empty() ? "null" : chain;
    const PixelTraits out = traitsOf(pixFmt);
    add(std::string("format=") + (out.alpha ? "gbrap16le" : "gbrp16le"));
    if (isPlainGray(pixFmt)) {
        add("extractplanes=g");
        add("format=" + pixFmt);
        return chain;
    }
    add("zscale=" + (out.rgb ? std::string("rin=full:r=full")
                             : "rin=full:" + zscaleYuvOptions(s, "m", "r")) +
        ":f=lanczos");
    // An untagged matrix stays untagged, as on the 8-bit route.
    if (!out.rgb && outputColour(s.m, s.in.rgb).matrixTag.empty()) add("setparams=colorspace=unknown");
    add("format=" + pixFmt);
    return chain;
}

// An ffmpeg option's name and what its stream specifier starts with:
// "-crf:v:0" -> "-crf", 'v'; "-qp" -> "-qp", 0.
std::pair<std::string, char> optionName(const std::string& a) {
    const std::size_t colon = a.find(':');
    if (colon == std::string::npos) return {a, 0};
    return {a.substr(0, colon), colon + 1 < a.size() ? a[colon + 1] : char(0)};
}

// A video rate control: -qp, -crf, -b:v, -q:v (-qscale:v), with or without
// more of a stream specifier.
bool isRateControl(const std::string& a) {
    const auto [name, stream] = optionName(a);
    if (name == "-qp" || name == "-crf") return stream == 0 || stream == 'v';
    return (name == "-b" || name == "-q" || name == "-qscale") && stream == 'v';
}

// The user's rate control replaces velmor's (x264 would take velmor's -crf
// over a later -qp 0, say, and silently not be lossless); a filter, pixel
// format or codec of the user's fights velmor's chain, which does the
// correction and ends in the pixel format its encoder was chosen for.
void applyUserArguments(Encoder& enc, Job& job, const Options& o) {
    const auto& user = o.ffmpegArgs;
    if (std::any_of(user.begin(), user.end(), isRateControl)) {
        for (std::size_t i = 0; i + 1 < enc.args.size();) {
            if (isRateControl(enc.args[i]))
                enc.args.erase(enc.args.begin() + std::ptrdiff_t(i),
                               enc.args.begin() + std::ptrdiff_t(i) + 2);
            else
                ++i;
        }
    }
    for (const std::string& a : user) {
        const auto [name, stream] = optionName(a);
        const bool video = stream == 0 || stream == 'v';
        if ((a == "-vf" || ((name == "-filter" || name == "-filter_complex" || a == "-lavfi") &&
                            video)))
            job.warnings.push_back("--ffmpeg-args: " + a +
                                   " replaces velmor's filter chain, which does the correction; "
                                   "the output may come out uncorrected");
        else if (!o.noDefaultArgs && ((name == "-pix_fmt" && video) || a == "-vcodec" ||
                                      ((name == "-c" || name == "-codec") && stream == 'v')))
            job.warnings.push_back("--ffmpeg-args: " + a +
                                   " overrides velmor's encoder choices, which its other "
                                   "arguments and its chain's pixel format were chosen for; "
                                   "give --no-default-args to choose the encoder yourself");
    }
}

} // namespace

Job buildJob(const Options& o, const MediaInfo& m, const std::string& inputName,
             const std::string& outputName, const std::string& ext,
             const std::string& coverPrefix) {
    const Source src{m, traitsOf(m.pixFmt), displayWidth(m), displayHeight(m),
                     has(kLosslessCodecs, m.codec), m.codec == "prores"};
    const bool image = isImageExtension(ext);
    Job job;
    Encoder enc = encoderFor(src, ext);
    if (src.in.alpha && !image && (enc.pixFmt.empty() || !traitsOf(enc.pixFmt).alpha) &&
        m.pixFmt != "pal8" && ext != "gif")
        job.warnings.push_back("the input's alpha channel is left out: " + ext +
                               " output as velmor writes it holds none (.mkv, .mov, .webm, "
                               ".png keep it)");
    if (o.noDefaultArgs) enc = {};
    applyUserArguments(enc, job, o);
    const bool deep = takesDeepRoute(o, src);
    // The file that holds the input's streams in the command: on the deep
    // route the corrected picture comes first, from standard input.
    const std::string file = deep ? "1" : "0";

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
        a.insert(a.end(), {"-f", "mov", "-i", "pipe:0"});
    }
    if (!o.start.empty()) a.insert(a.end(), {"-ss", o.start});
    const std::vector<std::string> literal = inputFormatArgs(inputName, m.pictureSequence);
    a.insert(a.end(), literal.begin(), literal.end());
    // On the deep route the picture comes decoded from the pipe instead.
    if (!deep) {
        const std::vector<std::string> decoder = decoderArgs(m);
        a.insert(a.end(), decoder.begin(), decoder.end());
    }
    a.insert(a.end(), {"-i", inputName, "-y"});
    if (image) a.insert(a.end(), {"-frames:v", "1", "-update", "1"});

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
