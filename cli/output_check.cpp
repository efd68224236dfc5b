// The finished output read back with libavformat in velmor's own process:
// opened as ffmpeg would open it as an input, every packet read to the end
// of the file, and a still picture decoded. Reading costs little beside
// the conversion that wrote the file (no decoding but a picture's), and it
// catches what ffmpeg's own words may not: a file cut short by a write
// that failed without a message.
#include "output_check.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdarg>
#include <cstring>
#include <vector>

#include "file_kinds.h"
#include "signals.h"

namespace {

// The first error libav logged while reading the output back. Some things
// it tells only there: Matroska's and NUT's readers of a file that ends
// before the length it gives itself, a decoder of damage it still makes a
// picture of.
std::string loggedError;

void keepFirstError(void* context, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR || !loggedError.empty()) return;
    char line[256];
    int prefix = 0; // the message alone, no "[matroska @ 0x...]"
    av_log_format_line2(context, level, format, args, line, sizeof line, &prefix);
    loggedError = line;
    while (!loggedError.empty() && std::strchr(" \t\r\n.", loggedError.back())) loggedError.pop_back();
    if (loggedError.empty()) loggedError = "an error";
}

// libav's log goes to keepFirstError while the check runs, and back to
// its default (which velmor keeps quiet) after it.
struct LogKept {
    LogKept() {
        loggedError.clear();
        av_log_set_callback(keepFirstError);
    }
    ~LogKept() { av_log_set_callback(av_log_default_callback); }
};

std::string reasonFor(int err) {
    char text[128];
    if (av_strerror(err, text, sizeof text) < 0) return std::strerror(AVUNERROR(err));
    return text;
}

bool isPicture(const AVStream* st) {
    return st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
           !(st->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

// Decodes the picture in `packet`, its checksums checked: a decoder that
// meets damage logs it (keepFirstError) even where it still gives a
// picture with a grey part. "" or why it does not decode.
std::string decodeProblem(const AVStream* st, const AVPacket* packet) {
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    AVCodecContext* dec = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVFrame* frame = av_frame_alloc();
    int err = dec && frame ? avcodec_parameters_to_context(dec, st->codecpar) : AVERROR(ENOMEM);
    if (err >= 0) {
        // Not AV_EF_EXPLODE: TIFF's decoder then refuses good files.
        dec->err_recognition = AV_EF_CRCCHECK;
        dec->thread_count = 1;
        err = avcodec_open2(dec, codec, nullptr);
    }
    if (err >= 0) err = avcodec_send_packet(dec, packet);
    if (err >= 0) {
        err = avcodec_receive_frame(dec, frame);
        if (err == AVERROR(EAGAIN) && avcodec_send_packet(dec, nullptr) >= 0)
            err = avcodec_receive_frame(dec, frame);
    }
    if (err >= 0 && frame->decode_error_flags) err = AVERROR_INVALIDDATA;
    av_frame_free(&frame);
    avcodec_free_context(&dec);
    return err >= 0 ? "" : "holds a picture that does not decode (" + reasonFor(err) + ")";
}

// Reads every packet of the opened file; "" or what went wrong.
std::string readToEnd(AVFormatContext* ctx, bool picture) {
    AVPacket* packet = av_packet_alloc();
    if (!packet) return "cannot be read back (" + reasonFor(AVERROR(ENOMEM)) + ")";
    long packets = 0, video = 0;
    std::string problem;
    int err = 0;
    while (problem.empty() && (err = av_read_frame(ctx, packet)) >= 0) {
        ++packets;
        const AVStream* st = ctx->streams[packet->stream_index];
        if (isPicture(st) && ++video == 1 && picture) problem = decodeProblem(st, packet);
        if (packet->flags & AV_PKT_FLAG_CORRUPT)
            problem = "holds a damaged packet (number " + std::to_string(packets) + ")";
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    if (!problem.empty()) return problem;
    if (!loggedError.empty())
        return "does not read to its end (" + loggedError + ")";
    if (err != AVERROR_EOF || (ctx->pb && ctx->pb->error < 0))
        return "breaks off after " + std::to_string(packets) + " packets (" +
               reasonFor(err != AVERROR_EOF ? err : ctx->pb->error) + ")";
    return video > 0 ? "" : "holds no video";
}

} // namespace

std::string unreadableOutput(const std::string& name, bool picture) {
    const LogKept log; // what is wrong comes back in words, never printed
    const AVInputFormat* format = nullptr;
    const std::vector<std::string> literal = literalPictureArgs(name);
    AVDictionary* options = nullptr;
    if (!literal.empty()) {
        format = av_find_input_format("image2");
        av_dict_set(&options, "pattern_type", "none", 0);
    }
    AVFormatContext* ctx = avformat_alloc_context();
    if (ctx) ctx->interrupt_callback = {[](void*) { return caughtSignal ? 1 : 0; }, nullptr};
    const int err = ctx ? avformat_open_input(&ctx, ("file:" + name).c_str(), format, &options)
                        : AVERROR(ENOMEM);
    av_dict_free(&options);
    if (err < 0) return "does not open (" + reasonFor(err) + ")";
    const std::string problem = readToEnd(ctx, picture);
    avformat_close_input(&ctx);
    return problem;
}
