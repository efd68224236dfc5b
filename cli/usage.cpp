// velmor's usage text (--help): the modes, the settings with their ranges
// and defaults from the settings table, and the options of each mode.
#include "batch_options.h"
#include "options.h"

#include <cmath>

namespace {

const char* const kUsageHead = R"USAGE(Usage:
  velmor [options] INPUT -o OUTPUT     correct a video or image (anything ffmpeg reads)
  velmor [options] INPUT... -o DIR/    correct many, into one folder (see below)
  velmor --raw WIDTHxHEIGHT [options]  correct raw BGRA frames from standard input
                                       to standard output
  velmor --demo [DIR]                  make a washed-out sample clip with ffmpeg, correct it,
                                       and write DIR/before-after.png (DIR: velmor-demo)
  velmor --print-config [options]      print the settings as a script line and as the
                                       summary text, and exit

)USAGE";

const char* const kUsageTail = R"USAGE(Converting files (one ffmpeg process, the filter in its filter graph as velmor.so):
  -o, --output PATH  the corrected file; its extension chooses the format
  -y                 replace OUTPUT if it exists (only ever a regular file; its
                     permissions are kept)
  -n                 never replace OUTPUT; without -y or -n a terminal is asked, and
                     otherwise an existing OUTPUT is refused
  --start TIME       begin at TIME into the input (ffmpeg's syntax: 90, 1:30, 00:01:30.5)
  --duration TIME    convert at most TIME of it
  --ffmpeg-args "A"  more output arguments for ffmpeg, after velmor's own choices, so
                     they win where they set the same thing (e.g. "-crf 20 -preset slow");
                     a rate control (-crf, -qp, -b:v, -q:v) replaces velmor's
  --no-default-args  leave out velmor's encoder choices (codec, quality, pixel format):
                     with --ffmpeg-args, replace them
  --stretch-hdr      stretch HDR video (PQ or HLG transfer) as its code values are;
                     without it such input is refused, since the stretch changes its
                     brightness in nits
  --quiet            no progress line
  --                 the end of the options: what follows is a file name

Raw frames:
  --depth N          bits per sample, 8 (default: 4 bytes a pixel, blue, green, red,
                     alpha) or 9 to 16 (8 bytes a pixel, the same four as little-endian
                     16-bit samples with values below 2^N), corrected at that precision
  --zero-alpha       the frames carry no alpha: set byte 3 to 0 before the filter, as
                     the host's frames without alpha have it (ffmpeg's bgra output has
                     255 there, which the filter would count as a flat fourth channel)

  --help, --version

In files, the picture is corrected as the host presents it; each pixel's alpha comes
out as it went in, and stays where the output format can hold it. Audio, subtitles,
attachments, chapters and metadata are kept where the output format takes them
(converted if it must; left out with a warning if it cannot), as are rotation, aspect
ratio, field order, colour tags and frame timing. Bit depth and chroma format stay where
the encoder allows; lossless inputs stay lossless, ProRes stays ProRes. Inputs of more
than 8 bits per sample are corrected at 16 bits and rounded once to the output's depth
(two ffmpeg processes, velmor between them; not with --stats). The output is written beside its
final name and renamed when complete.
Raw frames are 4 bytes a pixel (blue, green, red, alpha; 8 bytes with --depth above 8),
rows top first, no padding.
)USAGE";

// "0.2", "5.0", "1.15": hundredths as a user types them.
std::string hundredthsText(std::int32_t h) {
    std::string t = std::to_string(h / 100) + "." + std::to_string(h % 100 / 10);
    if (h % 10 != 0) t += std::to_string(h % 10);
    return t;
}

// One line of --help per setting.
std::string settingHelp(const SettingInfo& info) {
    std::string line = std::string("  ") + info.option +
                       (info.kind == SettingKind::whole        ? " N"
                        : info.kind == SettingKind::hundredths ? " X"
                                                               : "");
    line.resize(21, ' ');
    line += info.help;
    if (info.kind == SettingKind::flag) return line + "\n";
    const std::string value = info.kind == SettingKind::hundredths
                                  ? hundredthsText(info.defaultValue)
                                  : std::to_string(info.defaultValue);
    return line + ", " + rangeText(info) +
           (info.kind == SettingKind::hundredths ? ", saved in hundredths" : "") + " (default " +
           value + ")\n";
}

} // namespace

std::string rangeText(const SettingInfo& info) {
    if (info.kind == SettingKind::hundredths)
        return hundredthsText(info.minimum) + " to " + hundredthsText(info.maximum);
    return std::to_string(info.minimum) + " to " + std::to_string(info.maximum);
}

std::string usageText() {
    std::string text = kUsageHead;
    text += "Settings (as in the filter's dialog and saved scripts; unset ones keep the filter's "
            "defaults):\n";
    for (const SettingInfo& info : kSettingTable) text += settingHelp(info);
    text += settingHelp(kSmoothingSetting);
    text += "  --config \"LINE\"    settings from a saved script line, e.g. "
            "\"Config(100, 10, 100, 0, 0)\",\n"
            "                     stored as the script function stores them (values outside the\n"
            "                     ranges above get a warning); the options above, where given, "
            "replace\n"
            "                     the line's values\n"
            "  --stats            draw the per-frame statistics into the frames\n\n";
    return text + kUsageTail + "\n" + batchUsageText();
}
