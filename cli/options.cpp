// velmor's option parser and its usage text. Values are checked here, so
// that a mistake is reported before any work starts, in one line.
#include "options.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <set>

#include "adapter.h"

const char* const kUsage =
    R"USAGE(Usage:
  velmor [options] INPUT -o OUTPUT     correct a video or image (anything ffmpeg reads)
  velmor --raw WIDTHxHEIGHT [options]  correct raw BGRA frames from standard input
                                       to standard output
  velmor --demo [DIR]                  make a washed-out sample clip with ffmpeg, correct it,
                                       and write DIR/before-after.png (DIR: velmor-demo)
  velmor --print-config [options]      print the settings as a script line and as the
                                       summary text, and exit

Settings (as in the filter's dialog and saved scripts; unset ones keep the filter's defaults):
  --gain N           strength of the stretch in percent, 0 to 100 (default 100)
  --threshold N      smallest colour range corrected at full strength, 0 to 255 (default 10)
  --gamma X          tone curve, 0.2 to 5.0, saved in hundredths (default 1.0: no curve)
  --s-curve          S-type tone curve instead of the power curve (needs a gamma other
                     than 1: at 1.0 neither curve bends anything)
  --bypass-titles    weaken the stretch on frames dominated by one value
  --config "LINE"    settings from a saved script line, e.g. "Config(100, 10, 100, 0, 0)",
                     stored as the script function stores them (values outside the
                     ranges above get a warning); the options above, where given, replace
                     the line's values
  --stats            draw the per-frame statistics into the frames

Converting files (one ffmpeg process, the filter in its filter graph as velmor.so):
  -o, --output PATH  the corrected file; its extension chooses the format
  -y                 replace OUTPUT if it exists (only ever a regular file; its
                     permissions are kept)
  -n                 never replace OUTPUT; without -y or -n a terminal is asked, and
                     otherwise an existing OUTPUT is refused
  --start TIME       begin at TIME into the input (ffmpeg's syntax: 90, 1:30, 00:01:30.5)
  --duration TIME    convert at most TIME of it
  --ffmpeg-args "A"  more output arguments for ffmpeg, after velmor's own choices, so
                     they win where they set the same thing (e.g. "-crf 20 -preset slow")
  --no-default-args  leave out velmor's encoder choices (codec, quality, pixel format):
                     with --ffmpeg-args, replace them
  --stretch-hdr      stretch HDR video (PQ or HLG transfer) as its code values are;
                     without it such input is refused, since the stretch changes its
                     brightness in nits
  --quiet            no progress line
  --                 the end of the options: what follows is a file name

Raw frames:
  --zero-alpha       the frames carry no alpha: set byte 3 to 0 before the filter, as
                     the host's frames without alpha have it (ffmpeg's bgra output has
                     255 there, which the filter would count as a flat fourth channel)

  --help, --version

In files, the picture is corrected as the host presents it; each pixel's alpha comes
out as it went in, and stays where the output format can hold it. Audio, subtitles,
attachments, chapters and metadata are kept where the output format takes them
(converted if it must; left out with a warning if it cannot), as are rotation, aspect
ratio, field order, colour tags and frame timing. Bit depth and chroma format stay where
the encoder allows; lossless inputs stay lossless, ProRes stays ProRes. The output is
written beside its final name and renamed when complete.
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

ConfigValues mergedLine(const UserSettings& s) {
    ConfigValues v = s.line.value_or(ConfigValues{});
    if (s.gain) v.gainPercent = *s.gain;
    if (s.threshold) v.threshold = *s.threshold;
    if (s.gammaHundredths) v.gammaHundredths = *s.gammaHundredths;
    if (s.sCurve) v.sCurve = 1;
    if (s.bypassTitles) v.bypassTitles = 1;
    return v;
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

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error) {
    Options o;
    if (args.empty()) {
        o.noArguments = true;
        return o;
    }
    bool modeGiven = false, optionsEnded = false;
    std::vector<std::string> positional;
    std::set<std::string> seen;         // options given, by their long name
    std::vector<std::string> fileOnly;  // options that only converting files uses
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
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        bool hasInlineValue = false;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            value = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
            hasInlineValue = true;
        }
        if (arg == "-o") arg = "--output";
        if (arg == "-q") arg = "--quiet";
        if (arg == "-h") arg = "--help";
        auto takeValue = [&]() -> bool {
            if (hasInlineValue) return true;
            if (i + 1 >= args.size()) return false;
            value = args[++i];
            return true;
        };
        const bool wantsValue = arg == "--output" || arg == "--gain" || arg == "--threshold" ||
                                arg == "--gamma" || arg == "--config" || arg == "--raw" ||
                                arg == "--ffmpeg-args" || arg == "--start" ||
                                arg == "--duration";
        if (wantsValue && !takeValue()) return fail(arg + " needs a value");
        if (!wantsValue && hasInlineValue) return fail(arg + " takes no value");
        if (!seen.insert(arg).second && arg != "-y" && arg != "-n")
            o.warnings.push_back(arg + " is given more than once; the last one counts");

        if (arg == "--help") {
            o.mode = Mode::Help;
            return o;
        } else if (arg == "--version") {
            o.mode = Mode::Version;
            return o;
        } else if (arg == "--output") {
            o.output = value;
        } else if (arg == "--gain" || arg == "--threshold") {
            std::int32_t n = 0;
            const std::int32_t top = arg == "--gain" ? kGainMax : kThresholdMax;
            if (!parseWholeNumber(value, n))
                return fail(arg + ": '" + value + "' is not a whole number");
            if (n < 0 || n > top)
                return fail(arg + ": " + value + " is outside 0 to " + std::to_string(top));
            (arg == "--gain" ? o.settings.gain : o.settings.threshold) = n;
        } else if (arg == "--gamma") {
            double x = 0;
            if (!parseDecimal(value, x)) return fail("--gamma: '" + value + "' is not a number");
            if (!(x >= 0.2 && x <= 5.0))
                return fail("--gamma: " + value + " is outside 0.2 to 5.0");
            o.settings.gammaHundredths = gammaHundredths(x);
        } else if (arg == "--s-curve") {
            o.settings.sCurve = true;
        } else if (arg == "--bypass-titles") {
            o.settings.bypassTitles = true;
        } else if (arg == "--config") {
            ConfigValues v;
            if (!parseConfigLine(value, v))
                return fail("--config: '" + value +
                            "' is not a line Config(gain, threshold, gamma, s-curve, bypass) "
                            "with five whole numbers");
            o.settings.line = v;
        } else if (arg == "--zero-alpha") {
            o.zeroAlpha = true;
        } else if (arg == "--stats") {
            o.stats = true;
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "-y" || arg == "-n") {
            const Overwrite want = arg == "-y" ? Overwrite::Always : Overwrite::Never;
            if (o.overwrite != Overwrite::Ask && o.overwrite != want)
                return fail("-y and -n contradict each other");
            o.overwrite = want;
            fileOnly.push_back(arg);
        } else if (arg == "--start" || arg == "--duration") {
            if (!isFfmpegTime(value) || (arg == "--duration" && value[0] == '-'))
                return fail(arg + ": '" + value +
                            "' is not a time such as 90, 1:30 or 00:01:30.5");
            (arg == "--start" ? o.start : o.duration) = value;
            fileOnly.push_back(arg);
        } else if (arg == "--ffmpeg-args") {
            std::vector<std::string> more;
            if (!splitArguments(value, more))
                return fail("--ffmpeg-args: unbalanced quote in '" + value + "'");
            o.ffmpegArgs.insert(o.ffmpegArgs.end(), more.begin(), more.end());
            fileOnly.push_back(arg);
        } else if (arg == "--no-default-args") {
            o.noDefaultArgs = true;
            fileOnly.push_back(arg);
        } else if (arg == "--stretch-hdr") {
            o.stretchHdr = true;
            fileOnly.push_back(arg);
        } else if (arg == "--raw") {
            if (!setMode(Mode::Raw)) return fail("--raw cannot be combined with another mode");
            if (!parseSize(value, o.rawWidth, o.rawHeight))
                return fail("--raw: '" + value + "' is not a size WIDTHxHEIGHT");
        } else if (arg == "--demo") {
            if (!setMode(Mode::Demo)) return fail("--demo cannot be combined with another mode");
        } else if (arg == "--print-config") {
            if (!setMode(Mode::PrintConfig))
                return fail("--print-config cannot be combined with another mode");
        } else {
            return fail("unknown option " + arg + " (see velmor --help; a file name starting "
                        "with '-' goes after --)");
        }
    }
    if (o.settings.line) {
        const ConfigValues& v = *o.settings.line;
        if (v.gainPercent < 0 || v.gainPercent > kGainMax || v.threshold < 0 ||
            v.threshold > kThresholdMax || v.gammaHundredths < kGammaHundredthsMin ||
            v.gammaHundredths > kGammaHundredthsMax)
            o.warnings.push_back("--config: a value lies outside the dialog's ranges (gain 0 to "
                                 "100, threshold 0 to 255, gamma 20 to 500 hundredths); it is "
                                 "used as the script function stores it");
    }

    if (!modeGiven) {
        if (positional.empty() && o.output.empty()) return o; // options only: help
        o.mode = Mode::Convert;
    }
    switch (o.mode) {
    case Mode::Convert:
        if (positional.size() > 1 && o.output.empty())
            return fail("give one input file and name the output with -o: velmor " +
                        positional[0] + " -o " + positional[1]);
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
    const char* modeName = o.mode == Mode::Raw ? "--raw" : o.mode == Mode::Demo ? "--demo"
                                                                                : "--print-config";
    if (o.mode != Mode::Convert)
        for (const std::string& a : fileOnly)
            o.warnings.push_back(a + " is for converting files; " + modeName + " ignores it");
    if (o.zeroAlpha && o.mode != Mode::Raw)
        o.warnings.push_back("--zero-alpha is for --raw; files need no such help (ignored)");
    if (o.stats && o.mode == Mode::PrintConfig)
        o.warnings.push_back("--stats is not part of a script line (ignored)");
    return o;
}
