// The settings table and its conversions; see setting_table.h.
#include "setting_table.h"

#include <cmath>

const SettingInfo kSettingTable[kSettingCount] = {
    {"gain", "Gain", "--gain", SettingKind::whole, 0, 100, 100, "%",
     "strength of the stretch in percent",
     "How far each colour channel is stretched toward the full range, in percent: 0 leaves "
     "the frame as it is, 100 stretches it fully"},
    {"threshold", "Threshold", "--threshold", SettingKind::whole, 0, 255, 10, "",
     "smallest colour range corrected at full strength",
     "A colour range in 8-bit levels (0 to 255): a frame whose narrowest channel spans less "
     "is stretched more gently, in proportion; 0 stretches every frame at full gain"},
    {"gamma", "Gamma", "--gamma", SettingKind::hundredths, 20, 500, 100, "",
     "tone curve (1.0 bends nothing)",
     "The tone curve after the stretch, a plain number: above 1.00 brightens the mid-tones "
     "(with the S-type curve, lifts the shadows and lowers the highlights: less contrast), "
     "below 1.00 darkens them (S-type: more contrast); 1.00 bends nothing"},
    {"s-curve", "S-type curve", "--s-curve", SettingKind::flag, 0, 1, 0, "",
     "S-type tone curve instead of the power curve (with a gamma other than 1.0)",
     "Bend the tones with an S-shaped curve mirrored about mid-grey instead of the power "
     "curve; it acts only with a gamma other than 1.00"},
    {"bypass titles", "Bypass titles", "--bypass-titles", SettingKind::flag, 0, 1, 0, "",
     "weaken the stretch on frames dominated by one value, such as title cards",
     "Weaken the stretch on frames dominated by one value, such as title cards on a flat "
     "background"},
};

const SettingInfo kSmoothingSetting = {
    "smoothing", "Smoothing", "--smoothing", SettingKind::whole, 0, 100, 0, "frames",
    "clip points averaged over N frames, anew at each cut",
    "Smoothing over time, in frames (0 to 100): the levels follow the average of the last "
    "frames, so a bright object entering changes the picture gradually; each scene cut starts "
    "anew. 0 corrects every frame on its own"};

ScriptNumbers defaultScriptNumbers() {
    ScriptNumbers n{};
    for (int k = 0; k < kSettingCount; ++k) n.value[k] = kSettingTable[k].defaultValue;
    return n;
}

void setDefaultSettings(FilterSettings& s) {
    storeScriptNumbers(defaultScriptNumbers(), s);
}

void storeScriptNumbers(const ScriptNumbers& n, FilterSettings& s) {
    s.gainPercent = n.value[kGainSetting];
    s.threshold = n.value[kThresholdSetting];
    s.gamma = n.value[kGammaSetting] * 0.01;
    s.sCurve = n.value[kSCurveSetting];
    s.bypassTitles = n.value[kBypassTitlesSetting];
}

ScriptNumbers scriptNumbersOf(const FilterSettings& s) {
    return {{s.gainPercent, s.threshold, gammaHundredths(s.gamma), s.sCurve, s.bypassTitles}};
}

std::int32_t gammaHundredths(double gamma) {
    const double x = gamma * 100.0;
    if (x >= 2147483647.0) return 2147483647;
    if (x <= -2147483648.0) return -2147483647 - 1;
    if (!(x == x)) return 0; // not a number: no script can store one
    return static_cast<std::int32_t>(x);
}

double dialogGamma(std::int32_t hundredths) {
    return hundredths / 100.0;
}

std::int32_t unitToSteps(double p, std::int32_t n) {
    if (!(p > 0.0)) p = 0.0; // not-a-number too
    if (p > 1.0) p = 1.0;
    return static_cast<std::int32_t>(std::round(p * n)); // clamped first: 0..n
}

std::int32_t settingFromUnit(SettingIndex k, double p) {
    const SettingInfo& info = kSettingTable[k];
    if (info.kind == SettingKind::flag) return p >= 0.5 ? 1 : 0;
    return info.minimum + unitToSteps(p, info.maximum - info.minimum);
}

double unitFromSetting(SettingIndex k, std::int32_t number) {
    const SettingInfo& info = kSettingTable[k];
    return static_cast<double>(number - info.minimum) / (info.maximum - info.minimum);
}

std::int32_t settingFromProportion(SettingIndex k, double p) {
    const SettingInfo& info = kSettingTable[k];
    const std::int32_t n = unitToSteps(p, info.maximum);
    return n < info.minimum ? info.minimum : n;
}

double proportionFromSetting(SettingIndex k, std::int32_t number) {
    return static_cast<double>(number) / kSettingTable[k].maximum;
}

void storeDialogNumber(SettingIndex k, std::int32_t n, FilterSettings& s) {
    switch (k) {
    case kGainSetting: s.gainPercent = n; break;
    case kThresholdSetting: s.threshold = n; break;
    case kGammaSetting: s.gamma = dialogGamma(n); break;
    case kSCurveSetting: s.sCurve = n != 0 ? 1 : 0; break;
    case kBypassTitlesSetting: s.bypassTitles = n != 0 ? 1 : 0; break;
    default: break;
    }
}

void storeHostValues(const double (&p)[kSettingCount], FilterSettings& s) {
    for (int k = 0; k < kSettingCount; ++k) {
        const auto setting = static_cast<SettingIndex>(k);
        storeDialogNumber(setting, settingFromUnit(setting, p[k]), s);
    }
}

bool settingInRange(SettingIndex k, std::int32_t number) {
    return number >= kSettingTable[k].minimum && number <= kSettingTable[k].maximum;
}
