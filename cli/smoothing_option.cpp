// --smoothing N; see smoothing_option.h.
#include "smoothing_option.h"

#include "options.h"

std::string applySmoothingOption(const std::string& value, UserSettings& s) {
    const SettingInfo& info = kSmoothingSetting;
    std::int32_t n = 0;
    if (!parseWholeNumber(value, n))
        return std::string(info.option) + ": '" + value + "' is not a whole number";
    if (n < info.minimum || n > info.maximum)
        return std::string(info.option) + ": " + value + " is outside " + rangeText(info);
    s.smoothing = n;
    return "";
}

void warnAboutSmoothing(Options& o) {
    if (o.settings.smoothing.value_or(0) > 0 && o.mode == Mode::PrintConfig)
        o.warnings.push_back("--smoothing is not part of a script line (ignored)");
}

int smoothingWindowOf(const Options& o) {
    return o.settings.smoothing.value_or(0);
}
