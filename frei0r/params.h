// The frei0r parameters of the filter and how their values become settings.
#pragma once

#include <cstdint>

// Parameter indices, in the order hosts list them. The script line comes
// first so that ffmpeg's positional list can give it alone
// ("frei0r=velmor:Config(...)").
enum Frei0rParam : int {
    kParamConfig = 0,   // string: a saved script line; when valid it gives all five settings
    kParamGain,         // double: gain = round(p * 100)
    kParamThreshold,    // double: threshold = round(p * 255)
    kParamGamma,        // double: gamma = (20 + round(p * 480)) / 100
    kParamSCurve,       // bool
    kParamBypassTitles, // bool
    kParamStatistics,   // bool: the statistics overlay
    kParamPictureWidth, // double: columns corrected = round(p * frame width)
    kParamCount
};

struct Frei0rParamInfo {
    const char* name;
    int type; // F0R_PARAM_*
    const char* explanation;
    double defaultValue; // numbers and switches; the script line starts empty
};

extern const Frei0rParamInfo kFrei0rParams[kParamCount];

// p clamped to 0..1 (not-a-number reads as 0), times n, rounded to the
// nearest integer: the inverse of k / n for every k in 0..n.
std::int32_t unitToSteps(double p, std::int32_t n);

std::int32_t gainFromParam(double p);
std::int32_t thresholdFromParam(double p);
std::int32_t gammaHundredthsFromParam(double p);
// The hundredths divided by 100: the very double the dialog stores when its
// gamma box reads that value ("1.15" parses to 115 / 100.0).
double gammaFromParam(double p);
// frei0r's switches: 0.5 and above is on.
bool switchFromParam(double p);
