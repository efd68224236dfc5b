// The frei0r parameters of the filter: the script line, the five settings
// of the settings table in its order, the overlay switch, the picture
// width for callers that pad rows, the gamma for hosts that scale a
// value without an offset, and smoothing over time. A new parameter goes
// last: hosts list them by index (ffmpeg's positional list, saved
// projects), so every index keeps its meaning.
#pragma once

#include <cstdint>
#include <string>

#include "setting_table.h"

// Parameter indices, in the order hosts list them. The script line comes
// first so that ffmpeg's positional list can give it alone
// ("frei0r=velmor:Config(...)"); parameter kParamFirstSetting + k is
// setting k of the settings table.
enum Frei0rParam : int {
    kParamConfig = 0, // string: a saved script line; when valid it gives all five settings
    kParamFirstSetting,
    kParamGain = kParamFirstSetting,
    kParamThreshold,
    kParamGamma,
    kParamSCurve,
    kParamBypassTitles,
    kParamStatistics,   // bool: the statistics overlay
    kParamPictureWidth, // double: columns corrected = round(p * frame width)
    kParamGammaValue,   // double: gamma = round(p * 500) hundredths when p > 0 (see params.cpp)
    kParamSmoothing,    // double: window = round(p * 100) frames, 0 = off (filter/smoothing.h)
    kParamCount
};
static_assert(kParamStatistics == kParamFirstSetting + kSettingCount, "settings in table order");

struct Frei0rParamInfo {
    const char* name;
    int type; // F0R_PARAM_*
    const char* explanation;
    double defaultValue; // numbers and switches; the script line starts empty
};

// The parameters as hosts see them, made from the settings table once.
const Frei0rParamInfo& frei0rParam(int index);

// The parameter whose value is setting k's number over its maximum (for
// hosts that show a value times a factor): the setting's own when its range
// starts at 0, "gamma value" for the gamma; -1 if there is none.
int proportionalParam(SettingIndex setting);

// What a host's value outside 0..1 for a number parameter does, in one
// message naming the parameter, or "" for a value in range (and for
// switches and the script line). A value within the setting's own range
// (melt's "gamma=1.4", "gain=70") was most likely meant as that setting:
// the message gives the value in 0..1 that means it.
std::string outOfRangeMessage(int index, double value);
