// The streams besides the corrected picture, as the output's container
// takes them: audio, subtitles, attachments and cover art.
#pragma once

#include <string>
#include <vector>

#include "probe.h"

struct OtherStreams {
    std::vector<std::string> args;
    std::vector<std::string> warnings;
    std::vector<const StreamInfo*> covers; // cover art for Matroska's attachments
    int copiedAttachments = 0, droppedAttachments = 0;
};

// `file` is the input file that holds them in ffmpeg's command ("0", or
// "1" on the deep route, whose first input is the corrected picture).
OtherStreams otherStreams(const Source& src, const std::string& ext, const std::string& file);
