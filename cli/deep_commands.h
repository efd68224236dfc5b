// The deep route's commands: when a file takes it, the decoding ffmpeg
// before velmor's 16-bit correction, and the chain after it.
#pragma once

#include <string>
#include <vector>

#include "options.h"
#include "probe.h"

bool takesDeepRoute(const Options& o, const Source& src);

// Into the deep run's 16-bit RGB (with alpha where the input has it).
std::string deepInputChain(const Source& s);

std::vector<std::string> decoderCommand(const Options& o, const Source& src,
                                        const std::string& inputName, bool image);

std::string deepChain(const Source& s, const std::string& pixFmt);
