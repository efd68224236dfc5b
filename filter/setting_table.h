// The five settings, described once: name, kind, range, default, unit and
// the one conversion between what a user types or a host passes and
// FilterSettings. The script function, the dialog's ranges, the frei0r
// parameters, the command line's options and help, and the editors' effect
// descriptions all read this table.
//
// Every setting is held here as the whole number a saved script line holds
// ("Config(gain, threshold, gamma, s-curve, bypass titles)"): gamma in
// hundredths, the switches as 0 or 1 (a script may store any integer).
//   script number n -> FilterSettings   gain n, threshold n, gamma n * 0.01,
//                                       switches n, as the script function
//                                       stores them
//   FilterSettings -> script number     gamma * 100.0 truncated (saturated)
//   host value p in 0..1 -> number      minimum + round(p * (maximum - minimum))
//                                       for numbers, p >= 0.5 for switches
//   number -> host value                (n - minimum) / (maximum - minimum)
// so every number the dialog can set has a host value that gives it back
// exactly.
#pragma once

#include <cstdint>

#include "settings.h"

enum SettingIndex : int {
    kGainSetting = 0,
    kThresholdSetting,
    kGammaSetting,
    kSCurveSetting,
    kBypassTitlesSetting,
    kSettingCount
};

enum class SettingKind {
    whole,      // a whole number within the range
    hundredths, // a decimal with two places, held as hundredths
    flag,       // a switch: 0 off, 1 on
};

struct SettingInfo {
    const char* name;   // as hosts and editors show it ("bypass titles")
    const char* label;  // as the editors label it, after the dialog ("Bypass titles")
    const char* option; // on the command line ("--bypass-titles")
    SettingKind kind;
    std::int32_t minimum, maximum; // the dialog's range, in script numbers
    std::int32_t defaultValue;     // a new instance's, in script numbers
    const char* unit;              // "%", "frames" or ""
    const char* help;              // one line for users (--help, the frei0r parameter)
    const char* tip;               // the editors' tooltip: what the control does, its
                                   // unit, and which way its values go
};

extern const SettingInfo kSettingTable[kSettingCount];

// Smoothing over time (smoothing.h), described as the five are but not one
// of them: it is no field of FilterSettings and no number of the script
// line, so the video host's plug-in and its saved scripts know nothing of
// it. The command line, the frei0r edition and the editors offer it.
extern const SettingInfo kSmoothingSetting;

// The five numbers of a saved script line, in its order.
struct ScriptNumbers {
    std::int32_t value[kSettingCount];
};

// The defaults of a new instance, as script numbers.
ScriptNumbers defaultScriptNumbers();

// Stores the five numbers exactly as the script function "Config" does.
// Leaves preview and showStats alone: they belong to the host.
void storeScriptNumbers(const ScriptNumbers& numbers, FilterSettings& s);

// The settings as a saved script line holds them.
ScriptNumbers scriptNumbersOf(const FilterSettings& s);

// gamma in the script's hundredths: gamma * 100.0 truncated toward zero,
// saturated at the ends of the 32-bit range (not-a-number gives 0).
std::int32_t gammaHundredths(double gamma);

// The gamma the dialog stores when its box shows these hundredths:
// n / 100.0, the decimal text's own double ("1.15" reads as 115 / 100.0;
// the script function's n * 0.01 differs in the last bit for some n).
double dialogGamma(std::int32_t hundredths);

// One setting's number stored as the dialog stores it (gamma through
// dialogGamma, switches as 0 or 1).
void storeDialogNumber(SettingIndex setting, std::int32_t number, FilterSettings& s);

// Host values in 0..1 for the five settings, stored as the dialog would
// store the numbers they give.
void storeHostValues(const double (&p)[kSettingCount], FilterSettings& s);

// A frei0r-style host value in 0..1 (clamped; not-a-number reads as 0) as
// the setting's script number, and back.
std::int32_t settingFromUnit(SettingIndex setting, double p);
double unitFromSetting(SettingIndex setting, std::int32_t number);

// For hosts that scale a value without an offset (editors that show p times
// a factor): p = number / maximum, and back rounded to the nearest whole
// number and clamped to the range.
std::int32_t settingFromProportion(SettingIndex setting, double p);
double proportionFromSetting(SettingIndex setting, std::int32_t number);

// p clamped to 0..1 (not-a-number reads as 0), times n, rounded to the
// nearest integer: the inverse of k / n for every k in 0..n.
std::int32_t unitToSteps(double p, std::int32_t n);

// Whether the number lies in the setting's range.
bool settingInRange(SettingIndex setting, std::int32_t number);
