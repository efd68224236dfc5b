// The settings table: every number in each setting's range survives the
// trip through a host's 0..1 value (also as four decimals, as users type
// them), and the script line's numbers are stored as the script function
// stores them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "setting_table.h"

namespace {

TEST(SettingTable, EveryNumberInRangeSurvivesAHostValue) {
    char text[32];
    for (int k = 0; k < kSettingCount; ++k) {
        const auto setting = static_cast<SettingIndex>(k);
        const SettingInfo& info = kSettingTable[k];
        SCOPED_TRACE(info.name);
        for (std::int32_t n = info.minimum; n <= info.maximum; ++n) {
            const double p = unitFromSetting(setting, n);
            std::snprintf(text, sizeof text, "%.4f", p);
            ASSERT_EQ(settingFromUnit(setting, p), n);
            ASSERT_EQ(settingFromUnit(setting, std::strtod(text, nullptr)), n) << text;
        }
        // Beyond the ends, and not a number, the ends.
        EXPECT_EQ(settingFromUnit(setting, -3.0), info.minimum);
        EXPECT_EQ(settingFromUnit(setting, 7.0), info.maximum);
        EXPECT_EQ(settingFromUnit(setting, std::nan("")), info.minimum);
    }
    EXPECT_EQ(settingFromUnit(kSCurveSetting, 0.49), 0);
    EXPECT_EQ(settingFromUnit(kSCurveSetting, 0.5), 1);
}

// (The defaults, which the table also holds, are checked where loading leaves them.)
TEST(SettingTable, ScriptNumbersAreStoredAsTheScriptFunctionStoresThem) {
    FilterSettings s{};
    // Gamma as a script stores it (n * 0.01) and saves it (truncated): some
    // hundredths come back one lower, and the next cycle keeps them.
    const struct {
        std::int32_t stored, saved;
    } gammas[] = {{100, 100}, {29, 28}, {28, 28}, {-29, -28}, {500, 500}};
    for (const auto& g : gammas) {
        storeScriptNumbers({{150, -5, g.stored, 7, 1}}, s);
        EXPECT_EQ(s.gamma, g.stored * 0.01);
        const ScriptNumbers back = scriptNumbersOf(s);
        EXPECT_EQ(back.value[kGammaSetting], g.saved) << g.stored;
        EXPECT_EQ(back.value[kGainSetting], 150);
        EXPECT_EQ(back.value[kThresholdSetting], -5);
        EXPECT_EQ(back.value[kSCurveSetting], 7); // any integer, as stored
    }
    EXPECT_EQ(gammaHundredths(1e300), 2147483647);
    EXPECT_EQ(gammaHundredths(std::nan("")), 0);
}

} // namespace
