// The frei0r parameters, made from the settings table. frei0r hosts hand
// numbers over as doubles in 0..1 and switches as doubles of which 0.5 and
// above is on; the table turns each into its setting (gain 0..100 %,
// threshold 0..255, gamma 0.20..5.00 in hundredths) by p * steps rounded,
// so every setting the dialog can make has a parameter value that maps to
// it exactly (k / steps, or any decimal within half a step of it: four
// decimals always suffice). "gamma value" carries the gamma over 5.00 for
// hosts that cannot add an offset.
#include "params.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "frei0r_api.h"

namespace {

std::string numberText(std::int32_t n, SettingKind kind) {
    if (kind != SettingKind::hundredths) return std::to_string(n);
    const std::string cents = std::to_string(n % 100);
    return std::to_string(n / 100) + "." + (cents.size() < 2 ? "0" : "") + cents;
}

// "Strength of the stretch in percent: 0 to 100 (value x 100), default 100"
std::string explanationOf(const SettingInfo& info) {
    std::string text = info.help;
    text[0] = static_cast<char>(text[0] - ('a' <= text[0] && text[0] <= 'z' ? 'a' - 'A' : 0));
    if (info.kind == SettingKind::flag) return text;
    const std::int32_t steps = info.maximum - info.minimum;
    return text + ": " + numberText(info.minimum, info.kind) + " to " +
           numberText(info.maximum, info.kind) + " (" +
           (info.minimum != 0 ? numberText(info.minimum, info.kind) + " + " : "") + "value x " +
           numberText(steps, info.kind) + "), default " +
           numberText(info.defaultValue, info.kind);
}

struct Table {
    std::string explanations[kParamCount];
    Frei0rParamInfo info[kParamCount];
    Table() {
        info[kParamConfig] = {"config", F0R_PARAM_STRING,
                              "A saved script line, e.g. Config(100, 10, 120, 1, 0): gain %, "
                              "threshold, gamma in hundredths, S-type curve, bypass titles. When "
                              "set and valid it gives all five settings and the five parameters "
                              "below are not used",
                              0.0};
        for (int k = 0; k < kSettingCount; ++k) {
            const SettingInfo& s = kSettingTable[k];
            explanations[kParamFirstSetting + k] = explanationOf(s);
            info[kParamFirstSetting + k] = {
                s.name, s.kind == SettingKind::flag ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE,
                explanations[kParamFirstSetting + k].c_str(),
                unitFromSetting(static_cast<SettingIndex>(k), s.defaultValue)};
        }
        info[kParamStatistics] = {"statistics", F0R_PARAM_BOOL,
                                  "Draw the per-frame statistics into the frame", 0.0};
        info[kParamPictureWidth] = {
            "picture width", F0R_PARAM_DOUBLE,
            "For callers that pad rows: the share of each row that is picture; "
            "round(value * frame width) columns are corrected, the rest pass unchanged",
            1.0};
        // Kdenlive shows a parameter as p times a factor, with no offset, so
        // gamma's 0.20 + p x 4.80 cannot be shown as the dialog shows it.
        // This one is the gamma over its maximum; 0, the default, leaves
        // the gamma to the parameter above.
        const SettingInfo& g = kSettingTable[kGammaSetting];
        explanations[kParamGammaValue] =
            "The gamma as value x " + numberText(g.maximum, g.kind) + ", " +
            numberText(g.minimum, g.kind) + " to " + numberText(g.maximum, g.kind) +
            " in steps of 0.01, for hosts that scale without an offset; above 0 it replaces "
            "the gamma parameter. Default 0: not used";
        info[kParamGammaValue] = {"gamma value", F0R_PARAM_DOUBLE,
                                  explanations[kParamGammaValue].c_str(), 0.0};
        explanations[kParamSmoothing] =
            explanationOf(kSmoothingSetting) +
            ". Frames must come in order: a jump back in time starts anew";
        info[kParamSmoothing] = {kSmoothingSetting.name, F0R_PARAM_DOUBLE,
                                 explanations[kParamSmoothing].c_str(), 0.0};
    }
};

} // namespace

const Frei0rParamInfo& frei0rParam(int index) {
    static const Table table; // made once, on first use, by whichever thread comes first
    return table.info[index];
}

int proportionalParam(SettingIndex setting) {
    if (kSettingTable[setting].minimum == 0) return kParamFirstSetting + setting;
    return setting == kGammaSetting ? kParamGammaValue : -1;
}

namespace {

// A host value as short as it reads exactly enough: at most four decimals
// (which give every setting back, see the head of this file).
std::string unitText(double p) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", p);
    std::string t = text;
    while (t.back() == '0') t.pop_back();
    if (t.back() == '.') t.pop_back();
    return t;
}

std::string givenText(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// The setting that number parameter `index` carries as minimum + p * steps:
// the five settings' own and smoothing; null for the others.
const SettingInfo* carriedSetting(int index) {
    if (index == kParamSmoothing) return &kSmoothingSetting;
    const int k = index - kParamFirstSetting;
    return k >= 0 && k < kSettingCount ? &kSettingTable[k] : nullptr;
}

// A setting's number as the messages say it: "70", "1.40", "12 frames".
std::string amountText(const SettingInfo& info, std::int32_t n) {
    if (std::strcmp(info.unit, "frames") != 0) return numberText(n, info.kind);
    return numberText(n, info.kind) + (n == 1 ? " frame" : " frames");
}

// What one asks for: "gamma 1.40", but "12 frames" (a count names itself).
std::string askedText(const SettingInfo& info, std::int32_t n) {
    return (std::strcmp(info.unit, "frames") == 0 ? "" : std::string(info.name) + " ") +
           amountText(info, n);
}

} // namespace

std::string outOfRangeMessage(int index, double value) {
    if (index < 0 || index >= kParamCount || frei0rParam(index).type != F0R_PARAM_DOUBLE)
        return "";
    if (value >= 0.0 && value <= 1.0) return "";
    const std::string name = frei0rParam(index).name;
    std::string text = "velmor: " + name + " " + givenText(value) +
                       " is outside 0..1, the range of every frei0r parameter";
    const SettingInfo* info = carriedSetting(index);
    if (info == nullptr) return text + ", and reads as " + (value > 1.0 ? "1" : "0") + "\n";
    const std::int32_t steps = info->maximum - info->minimum;
    text += ", and reads as " + amountText(*info, info->minimum + unitToSteps(value, steps));
    // The setting's own number for the value, where it is one.
    const double scaled = info->kind == SettingKind::hundredths ? value * 100.0 : value;
    if (std::isfinite(scaled) && scaled >= info->minimum - 0.5 && scaled < info->maximum + 0.5) {
        const auto number = static_cast<std::int32_t>(std::lround(scaled));
        text += "; for " + askedText(*info, number) + " give " +
                unitText(static_cast<double>(number - info->minimum) / steps);
    }
    return text + "\n";
}
