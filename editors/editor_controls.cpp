// The editors' controls from the settings table: each setting is shown in
// its own units (gamma in hundredths as a decimal) and set through the
// frei0r parameter whose value is the shown number over its maximum, so an
// editor that only multiplies by a factor shows exactly the dialog's number.
#include "editor_controls.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "params.h"
#include "setting_table.h"

const char* const kEditorEffectName = "Velmor Filter+";
const char* const kEditorEffectDescription =
    "Automatic levels correction: stretches each colour channel of every frame between its "
    "darkest and brightest half-percent";

namespace {

EditorControl settingControl(SettingIndex k) {
    const SettingInfo& s = kSettingTable[k];
    const int param = proportionalParam(k);
    if (param < 0) throw std::logic_error(std::string("no parameter scales ") + s.name);
    const double scale = s.kind == SettingKind::hundredths ? 100.0 : 1.0;
    EditorControl c{};
    c.property = frei0rParam(param).name;
    c.label = s.label;
    c.comment = s.tip;
    c.isSwitch = s.kind == SettingKind::flag;
    c.minimum = s.minimum / scale;
    c.maximum = s.maximum / scale;
    c.step = 1.0 / scale;
    c.decimals = s.kind == SettingKind::hundredths ? 2 : 0;
    c.suffix = s.unit;
    c.factor = c.isSwitch ? 1.0 : s.maximum / scale;
    c.defaultValue = proportionFromSetting(k, s.defaultValue);
    c.animated = !c.isSwitch;
    return c;
}

} // namespace

std::vector<EditorControl> editorControls() {
    std::vector<EditorControl> controls;
    for (int k = 0; k < kSettingCount; ++k)
        controls.push_back(settingControl(static_cast<SettingIndex>(k)));
    const Frei0rParamInfo& stats = frei0rParam(kParamStatistics);
    EditorControl c{};
    c.property = stats.name;
    c.label = "Statistics";
    c.comment = stats.explanation;
    c.isSwitch = true;
    c.maximum = c.step = c.factor = 1.0;
    c.defaultValue = stats.defaultValue;
    controls.push_back(c);
    // Smoothing over time, last: a number of frames without keyframes, since
    // a window that changes starts anew.
    const SettingInfo& s = kSmoothingSetting;
    EditorControl w{};
    w.property = frei0rParam(kParamSmoothing).name;
    w.label = s.label;
    w.comment = s.tip;
    w.minimum = s.minimum, w.maximum = s.maximum, w.step = 1;
    w.factor = s.maximum; // the parameter is frames / 100
    w.defaultValue = static_cast<double>(s.defaultValue) / s.maximum;
    controls.push_back(w);
    return controls;
}

std::string shortestDecimal(double value) {
    char text[40];
    const long long whole = static_cast<long long>(value);
    if (value == static_cast<double>(whole)) return std::to_string(whole); // "100", not "1e+02"
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    return text;
}
