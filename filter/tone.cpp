// Tone curve table.
//
// With e = 1 / gamma:
//   power curve:   tone[i] = trunc((i/256)^e * 256), clamped to 0..255
//   S-type curve:  v = trunc((i/128)^e * 128), clamped to 0..127, for i < 128;
//                  tone[i] = v and tone[255 - i] = 255 - v (the point mirror)
// The scale 256 makes the power curve's top entry fall below 255 for gammas
// below 1 (254 at 0.5). The clamps act only for gammas a saved script can
// hold and the dialog cannot (0 or below), where the power is 0, infinite or
// not a number; every entry stays a byte.
//
// The tone step runs on frames that pass the gate when gamma is outside
// 0.999..1.001: channelTable[k][i] = tone[channelTable[k][i]] for all four
// channels, alpha included.
#include "tone.h"

#include "exact_pow.h"
#include "frame_stats.h"
#include "settings.h"

namespace {

// trunc(x) clamped to 0..top, deciding in double so that infinities and
// huge values never reach an integer conversion (not a number gives 0).
std::uint8_t truncClamped(double x, int top) {
    if (x >= top) return static_cast<std::uint8_t>(top);
    if (x > 0.0) return static_cast<std::uint8_t>(static_cast<int>(x));
    return 0;
}

} // namespace

void buildToneTable(std::uint8_t (&toneTable)[256], double gamma, std::int32_t sCurve) {
    const double e = 1.0 / gamma;
    if (sCurve == 0) {
        for (int i = 0; i < 256; ++i)
            toneTable[i] = truncClamped(exactPow(i * 0.00390625, e) * 256.0, 255);
        return;
    }
    for (int i = 0; i < 128; ++i) {
        const std::uint8_t v = truncClamped(exactPow(i * 0.0078125, e) * 128.0, 127);
        toneTable[i] = v;
        toneTable[255 - i] = static_cast<std::uint8_t>(255 - v);
    }
}

void applyToneStep(FrameState& state, const FilterSettings& settings) {
    if (!gammaNeedsToneStep(settings.gamma)) return;
    buildToneTable(state.toneTable, settings.gamma, settings.sCurve);
    for (auto& table : state.channelTable)
        for (auto& entry : table) entry = state.toneTable[entry];
}
