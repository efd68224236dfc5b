#pragma once

#include <cstdint>

struct FilterSettings;
struct FrameState;

// Rebuilds `table`: the power curve, or with a nonzero sCurve the S-type curve.
void buildToneTable(std::uint8_t (&table)[256], double gamma, std::int32_t sCurve);

// Whether a gamma bends the picture at all: 0.999..1.001 counts as 1.
inline bool gammaNeedsToneStep(double gamma) {
    return gamma < 0.999 || gamma > 1.001;
}

// The tone step of the frame run: when the settings' gamma asks for it,
// rebuild the state's tone table and pass all four channel tables through it.
void applyToneStep(FrameState& state, const FilterSettings& settings);
