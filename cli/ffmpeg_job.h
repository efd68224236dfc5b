// The ffmpeg command that converts a file with the filter in ffmpeg's own
// filter graph (velmor.so through ffmpeg's frei0r filter), chosen from what
// ffprobe says of the input and what the output's extension can hold. One
// process does the whole job, so everything ffmpeg knows about the streams
// besides the pixels (rotation, aspect ratio, field order, colour tags,
// timestamps, titles, attachments) goes through as in a plain transcode.
#pragma once

#include <string>
#include <vector>

#include "options.h"

struct StreamInfo {
    int index = -1;
    std::string type, codec, title; // type: video, audio, subtitle, attachment, data
    std::string fileName;           // an attachment's, as tagged
    bool attachedPicture = false;   // cover art
};

struct MediaInfo {
    std::string formatName;
    double duration = 0; // seconds the file claims; 0 when unknown
    // The first video stream that is not a cover picture:
    int videoIndex = -1;
    std::string codec, profile, pixFmt, fieldOrder, colorRange, colorSpace, colorPrimaries,
        colorTransfer, frameRate;
    int width = 0, height = 0, rotation = 0;
    long frames = 0; // as the file claims (or its duration times its rate); 0 unknown
    bool pictureSequence = false; // the input is numbered pictures (f%03d.png)
    // Seconds the picture starts after the file's first stream (its audio,
    // say); 0 when it starts first or either start is unknown.
    double videoStartOffset = 0;
    // The decoder to name before the input, "" for ffmpeg's own: VP8 and VP9
    // carry alpha beside the picture (tagged alpha_mode), which only libvpx
    // decodes; pixFmt then says the frames it gives (yuva420p).
    std::string decoder;
    std::vector<StreamInfo> streams;
};

// ffprobe -show_streams -show_format -of flat, read.
MediaInfo parseProbe(const std::string& flat);

// The picture size after ffmpeg turns it as its rotation tag says: what the
// filter's frames have.
int displayWidth(const MediaInfo& m);
int displayHeight(const MediaInfo& m);

bool isImageExtension(const std::string& ext);
// What ffmpeg and ffprobe need before a picture's name with a '%' in it, so
// that they open that one file rather than a numbered sequence: nothing
// for other names.
std::vector<std::string> literalPictureArgs(const std::string& name);
// A picture name with a frame number field (f%03d.png, scan%d.tif): when no
// file of that very name exists, it names a numbered sequence, as ffmpeg
// reads it.
bool isPictureSequence(const std::string& name);
// What ffmpeg and ffprobe need before the input's name: a numbered
// sequence's format, or what a literal picture name needs.
std::vector<std::string> inputFormatArgs(const std::string& name, bool sequence);
// What ffmpeg needs before the input's -i to decode its picture as the
// probe describes it: the decoder of MediaInfo::decoder, for that stream.
std::vector<std::string> decoderArgs(const MediaInfo& m);
// Extensions velmor knows a format for (lower case, no dot).
bool isKnownExtension(const std::string& ext);
std::string extensionOf(const std::string& path);

// Cover art that Matroska takes as an attachment: ffmpeg copies it into a
// file of its own first (`file`), which the job then attaches.
struct CoverArt {
    int streamIndex;
    std::string file;
};

struct Job {
    std::vector<std::string> args; // ffmpeg's command line, "ffmpeg" first
    // The deep route: the decoding ffmpeg, which writes the picture as
    // fragmented QuickTime with 16-bit ARGB frames ('b64a', big-endian) on
    // its standard output; velmor corrects each frame in passing and `args`
    // reads the result on its standard input, with the input file as its
    // second input for every other stream and the metadata. Empty for the
    // 8-bit route, where `args` alone does everything.
    std::vector<std::string> decoderArgs;
    int deepBits = 0; // the input's bits per sample, on the deep route
    std::vector<CoverArt> covers;  // to take out of the input before `args` runs
    std::vector<std::string> warnings;
    double expectedSeconds = 0; // of video, as the input claims, after trimming; 0 unknown
    long expectedFrames = 0;
};

// The frei0r filter's argument for the user's settings: only what was given.
// `pictureWidth` is the width / padded width share, or empty for none.
std::string frei0rArgument(const UserSettings& s, bool stats, const std::string& pictureWidth);

// Why this input is not converted with these options, or "" when it is.
std::string refusalFor(const Options& o, const MediaInfo& m, const std::string& inputLabel);

// The whole command. `inputName` and `outputName` are what ffmpeg opens
// (the temporary file for the output); `outputExt` chooses the format;
// cover art to attach is copied to files named `coverPrefix` + a number.
Job buildJob(const Options& o, const MediaInfo& m, const std::string& inputName,
             const std::string& outputName, const std::string& outputExt,
             const std::string& coverPrefix = "");
