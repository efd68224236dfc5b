// The probe in velmor's own process. libavformat opens the input as
// ffprobe opens it (the image2 demuxer, and its pattern_type, where the
// name asks for them; scan_all_pmts set) and reads its streams' parameters
// (avformat_find_stream_info). The lines of ffprobe's flat report that
// parseProbe reads are then written as ffprobe 5.1 writes them: times in
// seconds as "%f", or "N/A" when unknown; "unknown" for an unspecified
// colour tag, field order, pixel format or profile; profile names as
// libavcodec gives them; the display matrix's rotation cut to whole
// degrees; tag names with every character but letters and digits as '_',
// values escaped as the flat writer escapes them and bytes that are not
// UTF-8 as U+FFFD. parseProbe draws every
// fact from those lines, as it did from ffprobe's own.
//
// Starting ffprobe cost about 0.1 s of CPU a file (it loads some 200
// shared libraries): as much as a 640x480 photograph's whole correction.
#include "media_probe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "file_kinds.h"
#include "signals.h"

namespace {

void putInt(std::string& out, const std::string& key, long long value) {
    out += key + "=" + std::to_string(value) + "\n";
}

// A string as the flat writer gives it: quoted, with its newlines, quotes,
// backslashes, backquotes and dollars escaped for a shell.
void putText(std::string& out, const std::string& key, const char* value) {
    out += key + "=\"";
    for (const char* p = value; *p; ++p) {
        if (*p == '\n')
            out += "\\n";
        else if (*p == '\r')
            out += "\\r";
        else if (std::strchr("\\\"`$", *p))
            out += std::string("\\") + *p;
        else
            out += *p;
    }
    out += "\"\n";
}

// A tag's name or value as ffprobe prints it: each byte sequence that is
// not UTF-8 as U+FFFD.
std::string validUtf8(const char* text) {
    std::string valid;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text);
    const uint8_t* end = p + std::strlen(text);
    while (p < end) {
        const uint8_t* start = p;
        int32_t code = 0;
        if (av_utf8_decode(&code, &p, end, 0) < 0)
            valid += "\xEF\xBF\xBD";
        else
            valid.append(reinterpret_cast<const char*>(start), p - start);
    }
    return valid;
}

// A tag's name in a flat key: letters and digits kept, the rest '_'.
std::string flatKey(const char* name) {
    std::string key;
    for (const char* p = name; *p; ++p) {
        const bool plain = (*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'z') ||
                           (*p >= 'A' && *p <= 'Z');
        key += plain ? *p : '_';
    }
    return key;
}

// A time in seconds, "N/A" when the file does not give it.
std::string timeText(int64_t ts, AVRational base) {
    if (ts == AV_NOPTS_VALUE) return "N/A";
    char text[128];
    std::snprintf(text, sizeof text, "%f", ts * av_q2d(base));
    return text;
}

std::string rateText(AVRational q) {
    return std::to_string(q.num) + "/" + std::to_string(q.den);
}

const char* nameOr(const char* name, bool unspecified) {
    return name && !unspecified ? name : "unknown";
}

const char* fieldOrderName(AVFieldOrder order) {
    switch (order) {
    case AV_FIELD_PROGRESSIVE: return "progressive";
    case AV_FIELD_TT: return "tt";
    case AV_FIELD_BB: return "bb";
    case AV_FIELD_TB: return "tb";
    case AV_FIELD_BT: return "bt";
    default: return "unknown";
    }
}

// The picture's own fields: size, pixel format, colour tags, field order.
void writeVideo(const AVCodecParameters* par, const std::string& p, std::string& out) {
    putInt(out, p + "width", par->width);
    putInt(out, p + "height", par->height);
    putText(out, p + "pix_fmt", nameOr(av_get_pix_fmt_name(AVPixelFormat(par->format)), false));
    putText(out, p + "color_range", nameOr(av_color_range_name(par->color_range),
                                           par->color_range == AVCOL_RANGE_UNSPECIFIED));
    putText(out, p + "color_space", nameOr(av_color_space_name(par->color_space),
                                           par->color_space == AVCOL_SPC_UNSPECIFIED));
    putText(out, p + "color_transfer", nameOr(av_color_transfer_name(par->color_trc),
                                              par->color_trc == AVCOL_TRC_UNSPECIFIED));
    putText(out, p + "color_primaries",
            nameOr(av_color_primaries_name(par->color_primaries),
                   par->color_primaries == AVCOL_PRI_UNSPECIFIED));
    putText(out, p + "field_order", fieldOrderName(par->field_order));
}

// The profile by name, else by number, else "unknown".
std::string profileText(const AVCodecParameters* par) {
    if (const char* name = avcodec_profile_name(par->codec_id, par->profile)) return name;
    if (par->profile != FF_PROFILE_UNKNOWN) return std::to_string(par->profile);
    return "unknown";
}

// The stream's tags, and the rotation its display matrix says (whole
// degrees, counterclockwise, as ffprobe prints it).
void writeTagsAndTurn(const AVStream* st, const std::string& p, std::string& out) {
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = av_dict_get(st->metadata, "", tag, AV_DICT_IGNORE_SUFFIX)))
        putText(out, p + "tags." + flatKey(validUtf8(tag->key).c_str()),
                validUtf8(tag->value).c_str());
    for (int i = 0; i < st->nb_side_data; ++i) {
        const AVPacketSideData& sd = st->side_data[i];
        if (sd.type != AV_PKT_DATA_DISPLAYMATRIX || sd.size < 9 * 4) continue;
        const double degrees = av_display_rotation_get(reinterpret_cast<const int32_t*>(sd.data));
        putInt(out, p + "side_data_list.side_data." + std::to_string(i) + ".rotation",
               std::isfinite(degrees) ? static_cast<long long>(degrees) : 0);
    }
}

void writeStream(const AVStream* st, std::string& out) {
    const AVCodecParameters* par = st->codecpar;
    const std::string p = "streams.stream." + std::to_string(st->index) + ".";
    putInt(out, p + "index", st->index);
    const AVCodecDescriptor* cd = avcodec_descriptor_get(par->codec_id);
    putText(out, p + "codec_name", cd ? cd->name : "unknown");
    putText(out, p + "profile", profileText(par).c_str());
    putText(out, p + "codec_type", nameOr(av_get_media_type_string(par->codec_type), false));
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) writeVideo(par, p, out);
    putText(out, p + "r_frame_rate", rateText(st->r_frame_rate).c_str());
    putText(out, p + "avg_frame_rate", rateText(st->avg_frame_rate).c_str());
    putText(out, p + "start_time", timeText(st->start_time, st->time_base).c_str());
    putText(out, p + "duration", timeText(st->duration, st->time_base).c_str());
    putText(out, p + "nb_frames", st->nb_frames ? std::to_string(st->nb_frames).c_str() : "N/A");
    putInt(out, p + "disposition.attached_pic", (st->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0);
    writeTagsAndTurn(st, p, out);
}

// The picture's first frame, decoded, for the turn that only its frames may
// carry (a JPEG's EXIF orientation), which ffmpeg applies all the same:
// written as ffprobe -show_frames -read_intervals %+#1 writes it, where the
// picture's stream says no turn of its own. Nothing when it does not decode.
void writeFirstFrameTurn(AVFormatContext* ctx, std::string& out) {
    for (unsigned i = 0; i < ctx->nb_streams; ++i) { // the picture as parseProbe takes it
        const AVStream* st = ctx->streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO ||
            (st->disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        if (av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr)) return;
        const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
        AVCodecContext* dec = codec ? avcodec_alloc_context3(codec) : nullptr;
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        bool got = false;
        if (dec && packet && frame && avcodec_parameters_to_context(dec, st->codecpar) >= 0 &&
            avcodec_open2(dec, codec, nullptr) >= 0) {
            // A few packets at most: the first frame comes from the first
            // of the picture's, or from the decoder's end when it holds it.
            for (int read = 0; !got && read < 64 && av_read_frame(ctx, packet) >= 0; ++read) {
                const bool ours = packet->stream_index == int(i);
                if (ours && avcodec_send_packet(dec, packet) >= 0)
                    got = avcodec_receive_frame(dec, frame) >= 0;
                av_packet_unref(packet);
            }
            if (!got && avcodec_send_packet(dec, nullptr) >= 0)
                got = avcodec_receive_frame(dec, frame) >= 0;
        }
        const AVFrameSideData* sd =
            got ? av_frame_get_side_data(frame, AV_FRAME_DATA_DISPLAYMATRIX) : nullptr;
        if (sd && sd->size >= 9 * 4) {
            const double degrees = av_display_rotation_get(reinterpret_cast<const int32_t*>(sd->data));
            putText(out, "frames.frame.0.media_type", "video");
            putInt(out, "frames.frame.0.stream_index", int(i));
            putInt(out, "frames.frame.0.side_data_list.side_data.0.rotation",
                   std::isfinite(degrees) ? static_cast<long long>(degrees) : 0);
        }
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&dec);
        return;
    }
}

// What ffprobe says after the name when it cannot read the input.
std::string reasonFor(int err) {
    char text[128];
    if (av_strerror(err, text, sizeof text) < 0) return std::strerror(AVUNERROR(err));
    return text;
}

// Opens the input as ffmpeg would with inputFormatArgs before its name, and
// reads its streams' parameters; 0, or 1 with `lastError` as ffprobe's.
int openInput(const std::string& name, bool sequence, AVFormatContext*& ctx, std::string& lastError) {
    const AVInputFormat* format = nullptr;
    AVDictionary* options = nullptr;
    const std::vector<std::string> args = inputFormatArgs(name, sequence);
    for (std::size_t i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == "-f")
            format = av_find_input_format(args[i + 1].c_str());
        else
            av_dict_set(&options, args[i].c_str() + 1, args[i + 1].c_str(), 0);
    }
    // MPEG-TS programs announced late are still found, as ffprobe has it.
    av_dict_set(&options, "scan_all_pmts", "1", AV_DICT_DONT_OVERWRITE);
    // A terminating signal stops a long read (a slow disk, a stream whose
    // parameters take many packets to find), as it stopped ffprobe.
    ctx = avformat_alloc_context();
    if (ctx) ctx->interrupt_callback = {[](void*) { return caughtSignal ? 1 : 0; }, nullptr};
    int err = ctx ? avformat_open_input(&ctx, name.c_str(), format, &options) : AVERROR(ENOMEM);
    av_dict_free(&options);
    if (err >= 0) err = avformat_find_stream_info(ctx, nullptr);
    if (err >= 0) return 0;
    lastError = name + ": " + reasonFor(err);
    avformat_close_input(&ctx);
    return 1;
}

} // namespace

int probeMedia(const std::string& inputName, bool sequence, MediaInfo& m, std::string& lastError) {
    // libav's own messages would reach velmor's standard error: what went
    // wrong comes back in `lastError` instead.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    AVFormatContext* ctx = nullptr;
    if (const int status = openInput(inputName, sequence, ctx, lastError)) return status;
    std::string flat;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) writeStream(ctx->streams[i], flat);
    writeFirstFrameTurn(ctx, flat);
    putText(flat, "format.format_name", ctx->iformat->name);
    putText(flat, "format.start_time", timeText(ctx->start_time, AV_TIME_BASE_Q).c_str());
    putText(flat, "format.duration", timeText(ctx->duration, AV_TIME_BASE_Q).c_str());
    avformat_close_input(&ctx);
    m = parseProbe(flat);
    m.pictureSequence = sequence;
    return 0;
}
