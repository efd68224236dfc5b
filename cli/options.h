// Command-line options of velmor.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config_line.h"
#include "filter_host.h"

enum class Mode { Help, Version, Convert, Raw, Demo, PrintConfig };

struct Options {
    Mode mode = Mode::Help;
    std::string input, output, demoDir;
    std::int32_t rawWidth = 0, rawHeight = 0;
    ConfigValues config;
    bool stats = false, quiet = false, zeroAlpha = false;
    bool ffmpegArgsGiven = false;
    std::vector<std::string> ffmpegArgs;
};

// Parses argv; on a mistake returns nothing and sets `error` to one line.
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error);

// Splits --ffmpeg-args text at blanks; single and double quotes group.
bool splitArguments(const std::string& text, std::vector<std::string>& out);

extern const char* const kUsage;
