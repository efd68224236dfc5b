// velmor's option parser (its usage text is in usage.cpp). Values are
// checked here, so that a mistake is reported before any work starts, in
// one line.
#include "options.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <set>

#include "smoothing_option.h"

namespace {

bool parseDecimal(const std::string& text, double& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    if (first == last ||
        !(std::isdigit(static_cast<unsigned char>(*first)) || *first == '.' || *first == '-'))
        return false;
    const auto r = std::from_chars(first, last, value, std::chars_format::general);
    return r.ec == std::errc() && r.ptr == last && std::isfinite(value);
}

bool parseSize(const std::string& text, std::int32_t& width, std::int32_t& height) {
    const std::size_t x = text.find_first_of("xX");
    return x != std::string::npos && parseWholeNumber(text.substr(0, x), width) &&
           parseWholeNumber(text.substr(x + 1), height);
}

bool allDigits(const std::string& s, std::size_t from, std::size_t to) {
    if (from >= to) return false;
    for (std::size_t i = from; i < to; ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

} // namespace

bool isFfmpegTime(const std::string& text) {
    std::string t = text;
    if (!t.empty() && t[0] == '-') t.erase(0, 1);
    std::size_t end = t.size();
    const std::size_t dot = t.find('.');
    if (t.find(':') != std::string::npos) {
        // [HH:]MM:SS[.m...]
        if (dot != std::string::npos && !allDigits(t, dot + 1, end)) return false;
        const std::size_t body = dot == std::string::npos ? end : dot;
        std::size_t from = 0;
        int parts = 0;
        while (from <= body) {
            std::size_t colon = t.find(':', from);
            if (colon == std::string::npos || colon > body) colon = body;
            if (!allDigits(t, from, colon)) return false;
            ++parts;
            from = colon + 1;
        }
        return parts == 2 || parts == 3;
    }
    // S+[.m...][s|ms|us]
    for (const char* unit : {"ms", "us", "s"}) {
        const std::string u = unit;
        if (t.size() > u.size() && t.compare(t.size() - u.size(), u.size(), u) == 0) {
            end = t.size() - u.size();
            break;
        }
    }
    if (dot == std::string::npos || dot >= end) return allDigits(t, 0, end);
    return allDigits(t, 0, dot) && (dot + 1 == end || allDigits(t, dot + 1, end));
}

ScriptNumbers mergedLine(const UserSettings& s) {
    ScriptNumbers v = s.line.value_or(defaultScriptNumbers());
    for (int k = 0; k < kSettingCount; ++k)
        if (s.given[k]) v.value[k] = *s.given[k];
    return v;
}

void storeGivenSettings(const UserSettings& s, FilterSettings& f) {
    for (int k = 0; k < kSettingCount; ++k)
        if (s.given[k]) storeDialogNumber(static_cast<SettingIndex>(k), *s.given[k], f);
}

bool splitArguments(const std::string& text, std::vector<std::string>& out) {
    out.clear();
    std::string current;
    bool inWord = false;
    char quote = 0;
    for (char c : text) {
        if (quote) {
            if (c == quote) {
                quote = 0;
            } else {
                current += c;
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            if (inWord) out.push_back(current);
            current.clear();
            inWord = false;
        } else {
            current += c;
            inWord = true;
        }
    }
    if (quote) return false;
    if (inWord) out.push_back(current);
    return true;
}

namespace {

// What parsing has seen so far besides the options themselves.
struct ParseState {
    bool modeGiven = false;
    std::vector<std::string> positional;
    std::set<std::string> seen;        // options given, by their long name
    std::vector<std::string> fileOnly; // options that only converting files uses
};

int settingOfOption(const std::string& arg) {
    for (int k = 0; k < kSettingCount; ++k)
        if (arg == kSettingTable[k].option) return k;
    return -1;
}

bool takesValue(const std::string& arg) {
    const int k = settingOfOption(arg);
    if (k >= 0) return kSettingTable[k].kind != SettingKind::flag;
    static const std::set<std::string> withValue = {"--output",      "--config", "--raw",
                                                    "--ffmpeg-args", "--start",  "--duration",
                                                    "--depth", "--smoothing"};
    return withValue.count(arg) != 0;
}

// One of the settings' own options: its value checked against the table.
std::string applySetting(int k, const std::string& arg, const std::string& value,
                         UserSettings& settings) {
    const SettingInfo& info = kSettingTable[k];
    std::int32_t n = 1; // a switch given is on
    if (info.kind == SettingKind::whole) {
        if (!parseWholeNumber(value, n)) return arg + ": '" + value + "' is not a whole number";
    } else if (info.kind == SettingKind::hundredths) {
        double x = 0;
        if (!parseDecimal(value, x)) return arg + ": '" + value + "' is not a number";
        if (!(x >= dialogGamma(info.minimum) && x <= dialogGamma(info.maximum)))
            return arg + ": " + value + " is outside " + rangeText(info);
        n = gammaHundredths(x);
    }
    if (!settingInRange(static_cast<SettingIndex>(k), n))
        return arg + ": " + value + " is outside " + rangeText(info);
    settings.given[k] = n;
    return "";
}

bool setMode(Options& o, ParseState& state, Mode m) {
    if (state.modeGiven && o.mode != m) return false;
    o.mode = m;
    state.modeGiven = true;
    return true;
}

// The options of converting files and of the modes.
std::string applyFileOrModeOption(const std::string& arg, const std::string& value, Options& o,
                                  ParseState& state) {
    if (arg == "-y" || arg == "-n") {
        const Overwrite want = arg == "-y" ? Overwrite::Always : Overwrite::Never;
        if (o.overwrite != Overwrite::Ask && o.overwrite != want)
            return "-y and -n contradict each other";
        o.overwrite = want;
    } else if (arg == "--start" || arg == "--duration") {
        if (!isFfmpegTime(value) || (arg == "--duration" && value[0] == '-'))
            return arg + ": '" + value + "' is not a time such as 90, 1:30 or 00:01:30.5";
        (arg == "--start" ? o.start : o.duration) = value;
    } else if (arg == "--ffmpeg-args") {
        std::vector<std::string> more;
        if (!splitArguments(value, more)) return "--ffmpeg-args: unbalanced quote in '" + value + "'";
        o.ffmpegArgs.insert(o.ffmpegArgs.end(), more.begin(), more.end());
    } else if (arg == "--no-default-args" || arg == "--stretch-hdr") {
        (arg == "--no-default-args" ? o.noDefaultArgs : o.stretchHdr) = true;
    } else {
        const Mode mode = arg == "--raw" ? Mode::Raw : arg == "--demo" ? Mode::Demo
                                                                        : Mode::PrintConfig;
        if (!setMode(o, state, mode)) return arg + " cannot be combined with another mode";
        if (mode == Mode::Raw && !parseSize(value, o.rawWidth, o.rawHeight))
            return "--raw: '" + value + "' is not a size WIDTHxHEIGHT";
        return "";
    }
    state.fileOnly.push_back(arg);
    return "";
}

// One option and its value; "" or the mistake.
std::string applyOption(const std::string& arg, const std::string& value, Options& o,
                        ParseState& state) {
    static const std::set<std::string> fileOrMode = {
        "-y", "-n", "--start", "--duration", "--ffmpeg-args", "--no-default-args",
        "--stretch-hdr", "--raw", "--demo", "--print-config"};
    if (const int k = settingOfOption(arg); k >= 0) return applySetting(k, arg, value, o.settings);
    if (fileOrMode.count(arg)) return applyFileOrModeOption(arg, value, o, state);
    if (arg == kSmoothingSetting.option) return applySmoothingOption(value, o.settings);
    if (arg == "--output") {
        o.output = value;
    } else if (arg == "--config") {
        ScriptNumbers v;
        if (!parseConfigLine(value, v))
            return "--config: '" + value +
                   "' is not a line Config(gain, threshold, gamma, s-curve, bypass) with five "
                   "whole numbers";
        o.settings.line = v;
    } else if (arg == "--depth") {
        if (!parseWholeNumber(value, o.depth) || o.depth < 8 || o.depth > 16)
            return "--depth: '" + value + "' is not a number of bits from 8 to 16";
    } else if (arg == "--zero-alpha" || arg == "--stats" || arg == "--quiet") {
        (arg == "--zero-alpha" ? o.zeroAlpha : arg == "--stats" ? o.stats : o.quiet) = true;
    } else {
        return "unknown option " + arg +
               " (see velmor --help; a file name starting with '-' goes after --)";
    }
    return "";
}

// A saved line may hold any numbers; outside the dialog's ranges it warns.
void warnAboutLine(Options& o) {
    if (!o.settings.line) return;
    bool outside = false;
    std::string ranges;
    for (int k = 0; k < kSettingCount; ++k) {
        const SettingInfo& info = kSettingTable[k];
        if (info.kind == SettingKind::flag) continue;
        outside |= !settingInRange(static_cast<SettingIndex>(k), o.settings.line->value[k]);
        ranges += std::string(ranges.empty() ? "" : ", ") + info.name + " " +
                  std::to_string(info.minimum) + " to " + std::to_string(info.maximum) +
                  (info.kind == SettingKind::hundredths ? " hundredths" : "");
    }
    if (outside)
        o.warnings.push_back("--config: a value lies outside the dialog's ranges (" + ranges +
                             "); it is used as the script function stores it");
}

// The mode's file names, and warnings about options the mode ignores.
std::string finishOptions(Options& o, const ParseState& state) {
    const std::vector<std::string>& positional = state.positional;
    switch (o.mode) {
    case Mode::Convert:
        if (positional.size() > 1 && o.output.empty()) {
            // After --, "-o NAME" is two more names: the suggestion takes
            // NAME for the output and puts -o before the --, which a name
            // starting with '-' needs.
            std::vector<std::string> names = positional;
            std::string output = names[1];
            for (std::size_t i = 0; i + 1 < names.size(); ++i)
                if (names[i] == "-o" || names[i] == "--output") {
                    output = names[i + 1];
                    names.erase(names.begin() + std::ptrdiff_t(i),
                                names.begin() + std::ptrdiff_t(i) + 2);
                    break;
                }
            const std::string& input = names.empty() ? positional[0] : names[0];
            return "give one input file and name the output with -o: velmor " +
                   (input[0] == '-' && input != "-" ? "-o " + output + " -- " + input
                                                    : input + " -o " + output);
        }
        if (positional.size() != 1) return "give one input file (see velmor --help)";
        if (o.output.empty()) return "give the output file with -o OUTPUT";
        o.input = positional[0];
        return "";
    case Mode::Demo:
        if (positional.size() > 1) return "--demo takes at most one folder";
        o.demoDir = positional.empty() ? "velmor-demo" : positional[0];
        break;
    default:
        if (!positional.empty()) return "unexpected argument '" + positional[0] + "'";
        if (!o.output.empty()) return "-o is for converting files";
        break;
    }
    const char* modeName = o.mode == Mode::Raw ? "--raw" : o.mode == Mode::Demo ? "--demo"
                                                                                : "--print-config";
    for (const std::string& a : state.fileOnly)
        o.warnings.push_back(a + " is for converting files; " + modeName + " ignores it");
    return "";
}

} // namespace

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error) {
    error.clear();
    Options o;
    o.noArguments = args.empty();
    ParseState state;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i], value;
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            state.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const bool inlineValue = arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos;
        if (inlineValue) value = arg.substr(arg.find('=') + 1), arg.resize(arg.find('='));
        static const std::pair<const char*, const char*> shortNames[] = {
            {"-o", "--output"}, {"-q", "--quiet"}, {"-h", "--help"}};
        for (const auto& [shortName, longName] : shortNames)
            if (arg == shortName) arg = longName;
        if (arg == "--help" || arg == "--version") {
            o.mode = arg == "--help" ? Mode::Help : Mode::Version;
            return o;
        }
        if (takesValue(arg) && !inlineValue && i + 1 < args.size()) value = args[++i];
        else if (takesValue(arg) && !inlineValue) error = arg + " needs a value";
        else if (!takesValue(arg) && inlineValue) error = arg + " takes no value";
        if (!error.empty()) return std::nullopt;
        if (!state.seen.insert(arg).second && arg != "-y" && arg != "-n")
            o.warnings.push_back(arg + " is given more than once; the last one counts");
        error = applyOption(arg, value, o, state);
        if (!error.empty()) return std::nullopt;
    }
    warnAboutLine(o);
    warnAboutSmoothing(o);
    if (!state.modeGiven) {
        if (state.positional.empty() && o.output.empty()) return o; // options only: help
        o.mode = Mode::Convert;
    }
    error = finishOptions(o, state);
    if (!error.empty()) return std::nullopt;
    if (o.zeroAlpha && o.mode != Mode::Raw)
        o.warnings.push_back("--zero-alpha is for --raw; files need no such help (ignored)");
    if (o.depth != 8 && o.mode != Mode::Raw)
        o.warnings.push_back("--depth is for --raw (ignored)");
    if (o.depth > 8 && o.stats && o.mode == Mode::Raw)
        o.warnings.push_back("--stats: frames deeper than 8 bits get no statistics overlay");
    if (o.stats && o.mode == Mode::PrintConfig)
        o.warnings.push_back("--stats is not part of a script line (ignored)");
    return o;
}

bool optionTakesValue(const std::string& arg) {
    return takesValue(arg);
}
