// Reading ffprobe's flat output into MediaInfo, and the facts drawn from it:
// the turned size, the decoder to name, the pixel format's traits.
#include "probe.h"

#include <cmath>
#include <cstdlib>
#include <map>

#include "file_kinds.h"
#include "names.h"

namespace {

using Fields = std::map<std::string, std::string>;

std::string unquote(const std::string& v) {
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') return v.substr(1, v.size() - 2);
    return v;
}

const std::set<std::string> kLosslessCodecs = {"ffv1",  "huffyuv", "ffvhuff", "utvideo", "png",
                                               "apng",  "qtrle",   "rawvideo", "magicyuv",
                                               "r210",  "v210",    "zlib",    "targa",   "bmp",
                                               "tiff",  "ppm",     "pam",     "sgi"};

// The format's fields into `m` (and its start, "N/A" when unknown), the
// streams' fields by stream number.
std::map<int, Fields> readFlat(const std::string& flat, MediaInfo& m, std::string& formatStart) {
    std::map<int, Fields> streams;
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
        // A stream's fields by its number; a first frame's (frames.frame.N.)
        // by the negative number -1 - N.
        const bool frame = key.rfind("frames.frame.", 0) == 0;
        const std::string prefix = frame ? "frames.frame." : "streams.stream.";
        if (!frame && key.rfind(prefix, 0) != 0) continue;
        const std::size_t dot = key.find('.', prefix.size());
        if (dot == std::string::npos) continue;
        const int n = std::atoi(key.c_str() + prefix.size());
        std::string field = key.substr(dot + 1);
        if (field.rfind("side_data_list.", 0) == 0) field = field.substr(field.rfind('.') + 1);
        streams[frame ? -1 - n : n][field] = value;
    }
    return streams;
}

// The picture's facts, from the first video stream that is no cover.
void readVideo(const StreamInfo& s, Fields& f, MediaInfo& m, std::string& videoStart) {
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

// Where the picture starts after the file's first stream, and its frames
// from its duration where the file gives no count.
void deriveTiming(MediaInfo& m, const std::string& formatStart, const std::string& videoStart) {
    char* end = nullptr;
    const double first = std::strtod(formatStart.c_str(), &end);
    const bool firstKnown = !formatStart.empty() && *end == 0;
    const double video = std::strtod(videoStart.c_str(), &end);
    if (firstKnown && !videoStart.empty() && *end == 0 && video > first)
        m.videoStartOffset = video - first;
    // Matroska, QuickTime/MP4 and NUT state their duration up to their last
    // time, counted from 0, so a file that starts later claims its start as
    // well (measured with ffmpeg's demuxers; MPEG-TS, MPEG-PS and FLV state
    // their length alone). The length is what ffmpeg reads and writes.
    const bool durationToEnd = m.formatName.rfind("matroska", 0) == 0 ||
                               m.formatName.rfind("mov,", 0) == 0 || m.formatName == "nut";
    if (durationToEnd && firstKnown && first > 0 && m.duration > first) m.duration -= first;
    if (m.frames <= 0 && m.duration > 0) {
        const std::size_t slash = m.frameRate.find('/');
        const double num = std::atof(m.frameRate.c_str());
        const double den = slash == std::string::npos ? 1 : std::atof(m.frameRate.c_str() + slash + 1);
        if (num > 0 && den > 0) m.frames = std::lround(m.duration * num / den);
    }
}

} // namespace

MediaInfo parseProbe(const std::string& flat) {
    MediaInfo m;
    std::string formatStart, videoStart; // "N/A" when unknown
    std::map<int, Fields> streams = readFlat(flat, m, formatStart);
    for (auto& [n, f] : streams) {
        if (n < 0) continue; // a frame
        StreamInfo s;
        s.index = f.count("index") ? std::atoi(f["index"].c_str()) : n;
        s.type = f["codec_type"];
        s.codec = f["codec_name"];
        s.title = f["tags.title"];
        s.fileName = f["tags.filename"];
        s.attachedPicture = f["disposition.attached_pic"] == "1";
        m.streams.push_back(s);
        if (s.type != "video" || s.attachedPicture || m.videoIndex >= 0) continue;
        readVideo(s, f, m, videoStart);
    }
    // A picture's turn may be its first frame's alone (a JPEG's EXIF
    // orientation): ffmpeg turns the frames by it all the same.
    for (auto& [n, f] : streams)
        if (n < 0 && m.rotation == 0 && f["media_type"] == "video" && f.count("rotation") &&
            std::atoi(f["stream_index"].c_str()) == m.videoIndex)
            m.rotation = std::atoi(f["rotation"].c_str());
    deriveTiming(m, formatStart, videoStart);
    return m;
}

int displayWidth(const MediaInfo& m) {
    return std::abs(m.rotation) % 180 == 90 ? m.height : m.width;
}

int displayHeight(const MediaInfo& m) {
    return std::abs(m.rotation) % 180 == 90 ? m.width : m.height;
}

std::vector<std::string> inputArgs(const MediaInfo& m, const std::string& inputName, bool decode) {
    std::vector<std::string> a = inputFormatArgs(inputName, m.pictureSequence);
    if (decode && !m.decoder.empty())
        a.insert(a.end(), {"-c:" + std::to_string(m.videoIndex), m.decoder});
    a.insert(a.end(), {"-i", inputName});
    return a;
}

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

bool isPlainGray(const std::string& pixFmt) {
    const PixelTraits t = traitsOf(pixFmt);
    return t.gray && !t.alpha;
}

Source sourceOf(const MediaInfo& m) {
    return {m, traitsOf(m.pixFmt), displayWidth(m), displayHeight(m),
            has(kLosslessCodecs, m.codec), m.codec == "prores"};
}
