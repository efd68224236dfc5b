// Parameter mapping. frei0r hosts hand numbers over as doubles in 0..1; the
// filter's settings are integers (gain 0..100 %, threshold 0..255) and a
// gamma in hundredths (0.20..5.00). Each number is p * steps rounded to the
// nearest integer, so every setting the dialog can make has a parameter
// value that maps to it exactly (k / steps, or any decimal within half a
// step of it: four decimals always suffice), and the defaults are
// gain 1 (100 %), threshold 10/255, gamma 80/480 (1.00, no tone curve).
#include "params.h"

#include <cmath>

#include "frei0r_api.h"

const Frei0rParamInfo kFrei0rParams[kParamCount] = {
    {"config", F0R_PARAM_STRING,
     "A saved script line, e.g. Config(100, 10, 120, 1, 0): gain %, threshold, gamma in "
     "hundredths, S-type curve, bypass titles. When set and valid it gives all five settings "
     "and the five parameters below are not used",
     0.0},
    {"gain", F0R_PARAM_DOUBLE, "Strength of the stretch: gain % = round(value * 100)", 1.0},
    {"threshold", F0R_PARAM_DOUBLE,
     "Smallest colour range corrected at full strength: round(value * 255)", 10.0 / 255.0},
    {"gamma", F0R_PARAM_DOUBLE,
     "Tone curve: gamma = (20 + round(value * 480)) / 100, 0.20 to 5.00; 1.00 (value 1/6) "
     "bends nothing",
     80.0 / 480.0},
    {"s-curve", F0R_PARAM_BOOL, "S-type tone curve instead of the power curve", 0.0},
    {"bypass titles", F0R_PARAM_BOOL,
     "Weaken the stretch on frames dominated by one value, such as title cards", 0.0},
    {"statistics", F0R_PARAM_BOOL, "Draw the per-frame statistics into the frame", 0.0},
    {"picture width", F0R_PARAM_DOUBLE,
     "For callers that pad rows: the share of each row that is picture; "
     "round(value * frame width) columns are corrected, the rest pass unchanged",
     1.0},
};

std::int32_t unitToSteps(double p, std::int32_t n) {
    if (!(p > 0.0)) p = 0.0; // not-a-number too
    if (p > 1.0) p = 1.0;
    return static_cast<std::int32_t>(std::round(p * n)); // clamped first: 0..n
}

std::int32_t gainFromParam(double p) {
    return unitToSteps(p, 100);
}

std::int32_t thresholdFromParam(double p) {
    return unitToSteps(p, 255);
}

std::int32_t gammaHundredthsFromParam(double p) {
    return 20 + unitToSteps(p, 480);
}

double gammaFromParam(double p) {
    return gammaHundredthsFromParam(p) / 100.0;
}

bool switchFromParam(double p) {
    return p >= 0.5;
}
