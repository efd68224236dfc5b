// The encoder per output: the one that keeps what the input is (bit depth,
// chroma format, losslessness, ProRes, alpha where the format holds it) in
// the output's container, with the pixel format it gets; and the user's own
// ffmpeg arguments weighed against that choice.
#include "encoders.h"

#include <algorithm>
#include <map>

#include "file_kinds.h"
#include "names.h"

namespace {

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

} // namespace

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

void applyUserArguments(Encoder& enc, std::vector<std::string>& warnings, const Options& o) {
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
            warnings.push_back("--ffmpeg-args: " + a +
                                   " replaces velmor's filter chain, which does the correction; "
                                   "the output may come out uncorrected");
        else if (!o.noDefaultArgs && ((name == "-pix_fmt" && video) || a == "-vcodec" ||
                                      ((name == "-c" || name == "-codec") && stream == 'v')))
            warnings.push_back("--ffmpeg-args: " + a +
                                   " overrides velmor's encoder choices, which its other "
                                   "arguments and its chain's pixel format were chosen for; "
                                   "give --no-default-args to choose the encoder yourself");
    }
}
