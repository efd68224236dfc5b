// The ffmpeg command that converts a file with the filter in ffmpeg's own
// filter graph (velmor.so through ffmpeg's frei0r filter), chosen from what
// ffprobe says of the input and what the output's extension can hold. One
// process does the whole job, so everything ffmpeg knows about the streams
// besides the pixels (rotation, aspect ratio, field order, colour tags,
// timestamps, titles, attachments) goes through as in a plain transcode.
#pragma once

#include <string>
#include <vector>

#include "file_kinds.h"
#include "options.h"
#include "probe.h"

// Cover art that Matroska takes as an attachment: ffmpeg copies it into a
// file of its own first (`file`), which the job then attaches.
struct CoverArt {
    int streamIndex;
    std::string file;
};

struct Job {
    std::vector<std::string> args; // ffmpeg's command line, "ffmpeg" first
    // The deep route: the decoding ffmpeg, which writes the picture as NUT
    // with planar 16-bit frames (gbrp16le, gbrap16le) on its standard
    // output; velmor corrects each frame in passing and `args`
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
