// Command-line options of velmor.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// "Config(100, 10, 100, 0, 0)" as a saved script holds it, with or without
// the object path before it and the semicolon after it.
bool parseConfigLine(const std::string& line, ConfigValues& values);

// A whole 32-bit integer, nothing before or after it.
bool parseWholeNumber(const std::string& text, std::int32_t& value);

// Splits --ffmpeg-args text at blanks; single and double quotes group.
bool splitArguments(const std::string& text, std::vector<std::string>& out);

extern const char* const kUsage;
