// The encoder per output: what velmor encodes the corrected picture with in
// each container, and the pixel format the chain ends in for it.
#pragma once

#include <string>
#include <vector>

#include "options.h"
#include "probe.h"

struct Encoder {
    std::vector<std::string> args;
    std::string pixFmt; // what the encoder gets; "" for ffmpeg's own choice
};

// The encoder and the pixel format it gets, by the output's family.
Encoder encoderFor(const Source& s, const std::string& ext);

// The user's rate control replaces velmor's (x264 would take velmor's -crf
// over a later -qp 0, say, and silently not be lossless); a filter, pixel
// format or codec of the user's fights velmor's chain, which does the
// correction and ends in the pixel format its encoder was chosen for: a
// warning for each.
void applyUserArguments(Encoder& enc, std::vector<std::string>& warnings, const Options& o);
