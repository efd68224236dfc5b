// The streams besides the corrected picture (audio, subtitles, attachments,
// cover art, other video) and what the output's container does with each:
// copies it, converts it, or leaves it out with a warning.
#include "other_streams.h"

#include "file_kinds.h"
#include "names.h"

namespace {

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

// Containers that keep cover art as ffmpeg writes them: MP4 as a picture
// stream of its own, Matroska as an attachment.
bool coverFits(const std::string& ext, const std::string& codec) {
    return has({"mp4", "m4v", "mkv"}, ext) && has({"mjpeg", "png"}, codec);
}

std::string describe(const StreamInfo& s) {
    return s.type + " stream #" + std::to_string(s.index) + " (" + s.codec +
           (s.title.empty() ? "" : ", \"" + s.title + "\"") + ")";
}

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

} // namespace

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
