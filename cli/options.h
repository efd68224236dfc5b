// Command-line options of velmor: what the user gave, and nothing more.
// Settings the user did not give stay unset, so that the filter's own
// defaults apply wherever the settings end up (the plug-in's parameters in
// ffmpeg, or the instance record in raw mode).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config_line.h"

enum class Mode { Help, Version, Convert, Raw, Demo, PrintConfig };

// ffmpeg's convention for an output that exists: -y replaces it, -n never
// does; otherwise a terminal is asked and anything else is refused.
enum class Overwrite { Ask, Always, Never };

// How a file's picture reaches the filter: through the plug-in in ffmpeg's
// filter graph at 8 bits, or decoded to 16-bit samples for the core's deep
// run. Auto takes the deep route for inputs of more than 8 bits per sample,
// whatever the output's depth; the others force a route (for tests and
// benchmarks, from VELMOR_ROUTE).
enum class Route { Auto, EightBit, Deep };

// The settings as given: a script line and the settings' own options, each
// as the script number it stands for (gamma in hundredths, switches 1).
struct UserSettings {
    std::optional<ScriptNumbers> line; // --config, as the saved script line holds it
    std::optional<std::int32_t> given[kSettingCount];
    std::optional<std::int32_t> smoothing; // --smoothing: no part of the line
    bool anyOption() const {
        for (const auto& g : given)
            if (g) return true;
        return false;
    }
};

// The line's five values with the options given over them (a line was given).
ScriptNumbers mergedLine(const UserSettings& s);

// The settings' options that were given, stored as the dialog stores them;
// the rest of `f` is left as it is.
void storeGivenSettings(const UserSettings& s, FilterSettings& f);

struct Options {
    Mode mode = Mode::Help;
    bool noArguments = false; // nothing at all was given: usage, status 2
    std::string input, output, demoDir;
    std::int32_t rawWidth = 0, rawHeight = 0;
    std::int32_t depth = 8; // bits per sample of raw frames: 8 (BGRA) or 9..16 (4 x 16 bits)
    UserSettings settings;
    bool stats = false, quiet = false, zeroAlpha = false;
    Overwrite overwrite = Overwrite::Ask;
    std::string start, duration;      // ffmpeg time syntax, checked
    std::vector<std::string> ffmpegArgs; // added after velmor's encoder choices
    bool noDefaultArgs = false;          // velmor's encoder choices left out
    bool stretchHdr = false;             // HDR (PQ, HLG) code values stretched as they are
    Route route = Route::Auto;
    std::vector<std::string> warnings;   // for standard error, one line each
};

// Parses argv; on a mistake returns nothing and sets `error` to one line.
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error);

// Whether the long option `arg` takes a value (the next argument).
bool optionTakesValue(const std::string& arg);

// Splits --ffmpeg-args text at blanks; single and double quotes group.
bool splitArguments(const std::string& text, std::vector<std::string>& out);

// ffmpeg's time duration syntax: [-][HH:]MM:SS[.m...] or [-]S+[.m...][s|ms|us].
bool isFfmpegTime(const std::string& text);

// The --help text; its settings part comes from the settings table.
std::string usageText();
// "0 to 100", "0.2 to 5.0": a setting's range as the options take it.
std::string rangeText(const SettingInfo& info);
