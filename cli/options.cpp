#include "options.h"

#include <cctype>
#include <charconv>
#include <cmath>

#include "adapter.h"

const char* const kUsage =
    R"USAGE(Usage:
  velmor INPUT -o OUTPUT [options]     correct a video or image (any format ffmpeg reads)
  velmor --raw WIDTHxHEIGHT [options]  correct raw BGRA frames from standard input
                                       to standard output
  velmor --demo [DIR]                  make a washed-out sample clip with ffmpeg, correct it,
                                       and write DIR/before-after.png (DIR: velmor-demo)
  velmor --print-config [options]      print the settings as a script line and as the
                                       summary text, and exit

Settings (as in the filter's dialog and saved scripts):
  --gain N           strength of the stretch in percent (default 100)
  --threshold N      smallest colour range corrected at full strength (default 10)
  --gamma X          tone curve, saved in hundredths (default 1.0: none)
  --s-curve          S-type tone curve instead of the power curve
  --bypass-titles    weaken the stretch on frames dominated by one value
  --config "LINE"    settings from a saved script line, e.g. "Config(100, 10, 100, 0, 0)";
                     the options above, where given, take precedence
  --stats            draw the per-frame statistics into the frames

Other options:
  -o, --output PATH  the corrected file; its extension chooses the format
  --ffmpeg-args "A"  encoder arguments for ffmpeg, replacing the defaults
                     (e.g. "-c:v libx264 -crf 20")
  --zero-alpha       with --raw: the frames carry no alpha; set byte 3 to 0 before
                     the filter, as the host's frames without alpha have it
                     (ffmpeg's bgra output has 255 there, which the filter leaves
                     unchanged: a channel of one value cannot be stretched)
  --quiet            no progress line
  --help, --version

Audio, subtitles and metadata are copied from the input; frame rate and size are kept.
The output is written beside its final name and renamed when complete.
Raw frames are 4 bytes a pixel (blue, green, red, alpha), rows top first, no padding.
)USAGE";

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

} // namespace

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

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error) {
    Options o;
    bool modeGiven = false;
    std::optional<std::int32_t> gain, threshold, gamma;
    bool sCurve = false, bypass = false;
    std::vector<std::string> positional;
    auto fail = [&](const std::string& message) {
        error = message;
        return std::optional<Options>();
    };
    auto setMode = [&](Mode m) {
        if (modeGiven && o.mode != m) return false;
        o.mode = m;
        modeGiven = true;
        return true;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i], value;
        bool hasInlineValue = false;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            value = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
            hasInlineValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasInlineValue) return true;
            if (i + 1 >= args.size()) return false;
            value = args[++i];
            return true;
        };
        const bool wantsValue = arg == "-o" || arg == "--output" || arg == "--gain" ||
                                arg == "--threshold" || arg == "--gamma" || arg == "--config" ||
                                arg == "--raw" || arg == "--ffmpeg-args";
        if (wantsValue && !takeValue()) return fail(arg + " needs a value");
        if (!wantsValue && hasInlineValue) return fail(arg + " takes no value");

        if (arg == "--help" || arg == "-h") {
            o.mode = Mode::Help;
            return o;
        } else if (arg == "--version") {
            o.mode = Mode::Version;
            return o;
        } else if (arg == "-o" || arg == "--output") {
            o.output = value;
        } else if (arg == "--gain" || arg == "--threshold") {
            std::int32_t n = 0;
            if (!parseWholeNumber(value, n))
                return fail(arg + ": '" + value + "' is not a whole number");
            (arg == "--gain" ? gain : threshold) = n;
        } else if (arg == "--gamma") {
            double x = 0;
            if (!parseDecimal(value, x)) return fail("--gamma: '" + value + "' is not a number");
            gamma = gammaHundredths(x);
        } else if (arg == "--s-curve") {
            sCurve = true;
        } else if (arg == "--bypass-titles") {
            bypass = true;
        } else if (arg == "--config") {
            if (!parseConfigLine(value, o.config))
                return fail("--config: '" + value +
                            "' is not a line Config(gain, threshold, gamma, s-curve, bypass) "
                            "with five whole numbers");
        } else if (arg == "--zero-alpha") {
            o.zeroAlpha = true;
        } else if (arg == "--stats") {
            o.stats = true;
        } else if (arg == "--quiet" || arg == "-q") {
            o.quiet = true;
        } else if (arg == "--ffmpeg-args") {
            if (!splitArguments(value, o.ffmpegArgs))
                return fail("--ffmpeg-args: unbalanced quote in '" + value + "'");
            o.ffmpegArgsGiven = true;
        } else if (arg == "--raw") {
            if (!setMode(Mode::Raw)) return fail("--raw cannot be combined with another mode");
            if (!parseSize(value, o.rawWidth, o.rawHeight))
                return fail("--raw: '" + value + "' is not a size WIDTHxHEIGHT");
        } else if (arg == "--demo") {
            if (!setMode(Mode::Demo)) return fail("--demo cannot be combined with another mode");
        } else if (arg == "--print-config") {
            if (!setMode(Mode::PrintConfig))
                return fail("--print-config cannot be combined with another mode");
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return fail("unknown option " + arg + " (see velmor --help)");
        } else {
            positional.push_back(arg);
        }
    }
    if (gain) o.config.gainPercent = *gain;
    if (threshold) o.config.threshold = *threshold;
    if (gamma) o.config.gammaHundredths = *gamma;
    if (sCurve) o.config.sCurve = 1;
    if (bypass) o.config.bypassTitles = 1;

    if (!modeGiven) {
        if (positional.empty() && o.output.empty()) return o; // no arguments: help
        o.mode = Mode::Convert;
    }
    switch (o.mode) {
    case Mode::Convert:
        if (positional.size() != 1) return fail("give one input file (see velmor --help)");
        if (o.output.empty()) return fail("give the output file with -o OUTPUT");
        o.input = positional[0];
        break;
    case Mode::Demo:
        if (positional.size() > 1) return fail("--demo takes at most one folder");
        o.demoDir = positional.empty() ? "velmor-demo" : positional[0];
        break;
    default:
        if (!positional.empty()) return fail("unexpected argument '" + positional[0] + "'");
        if (!o.output.empty()) return fail("-o is for converting files");
        break;
    }
    return o;
}
