// The deep route's commands: the decoding ffmpeg that hands velmor the
// picture as 16-bit frames, the chain into them through zscale, and the
// chain from the corrected frames into the output's pixel format.
#include "deep_commands.h"

#include "colour.h"
#include "file_kinds.h"

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

// Into the deep run's planar 16-bit RGB (with an alpha plane only where the
// input has alpha), through zscale, which writes planar frames: the one
// conversion on the way in.
std::string deepInputChain(const Source& s) {
    const std::string planar = s.in.alpha ? "gbrap16le" : "gbrp16le";
    const std::string how = codedAsRgb(s.m, s.in.rgb)
                                ? "rin=full:r=full"
                                : zscaleYuvOptions(s, "min", "rin") + ":r=full";
    return "zscale=" + how + ":f=bicubic,format=" + planar;
}

// The decoding ffmpeg of the deep route: the picture alone, turned as its
// rotation says, as planar 16-bit frames in NUT (each frame whole as it is
// written, nothing waiting for the end), with every timestamp as the input
// has it.
std::vector<std::string> decoderCommand(const Options& o, const Source& src,
                                        const std::string& inputName, bool image) {
    const MediaInfo& m = src.m;
    std::vector<std::string> a = {"ffmpeg", "-hide_banner", "-nostdin", "-nostats", "-v", "error"};
    if (!o.start.empty()) a.insert(a.end(), {"-ss", o.start});
    const std::vector<std::string> input = inputArgs(m, inputName, true);
    a.insert(a.end(), input.begin(), input.end());
    a.insert(a.end(), {"-map", "0:" + std::to_string(m.videoIndex), "-filter:v",
                       deepInputChain(src)});
    if (image) a.insert(a.end(), {"-frames:v", "1"});
    if (!o.duration.empty()) a.insert(a.end(), {"-t", o.duration});
    a.insert(a.end(), {"-c:v", "rawvideo", "-pix_fmt", src.in.alpha ? "gbrap16le" : "gbrp16le",
                       "-fps_mode", "passthrough", "-map_metadata", "-1", "-f", "nut", "pipe:1"});
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
