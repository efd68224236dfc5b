#include <gtest/gtest.h>

#include "options.h"

namespace {

TEST(ConfigLine, AcceptsWhatSavedScriptsHoldAndNothingElse) {
    struct {
        const char* line;
        bool ok;
        ConfigValues v;
    } cases[] = {
        {"Config(100, 10, 100, 0, 0)", true, {100, 10, 100, 0, 0}},
        {"  obj.filters.instance[0].Config(-5,2147483647,-29,7,1);  ",
         true,
         {-5, 2147483647, -29, 7, 1}},
        {"Config( 1 , 2 , 3 , 4 , 5 ) ;", true, {1, 2, 3, 4, 5}},
        {"Config(1, 2, 3, 4)", false, {}},
        {"Config(1, 2, 3, 4, 5, 6)", false, {}},
        {"Config(1, 2, 3.5, 4, 5)", false, {}},
        {"Config(1, 2, 2147483648, 4, 5)", false, {}},
        {"Config(1, 2, 3, 4, 5) x", false, {}},
        {"MyConfig(1, 2, 3, 4, 5)", false, {}},
        {"Config(1, , 3, 4, 5)", false, {}},
        {"", false, {}},
    };
    for (auto c : cases) {
        ConfigValues v{};
        ASSERT_EQ(parseConfigLine(c.line, v), c.ok) << c.line;
        if (!c.ok) continue;
        EXPECT_EQ(v.gainPercent, c.v.gainPercent);
        EXPECT_EQ(v.threshold, c.v.threshold);
        EXPECT_EQ(v.gammaHundredths, c.v.gammaHundredths);
        EXPECT_EQ(v.sCurve, c.v.sCurve);
        EXPECT_EQ(v.bypassTitles, c.v.bypassTitles);
    }
}

TEST(Options, SettingsOverrideTheConfigLineAndGammaIsSavedInHundredths) {
    std::string error;
    auto o = parseOptions({"in.mp4", "--config", "Config(50, 20, 300, 1, 1)", "--gain=70",
                           "--gamma", "1.15", "-o", "out.mp4"},
                          error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->config.gainPercent, 70);
    EXPECT_EQ(o->config.threshold, 20);
    EXPECT_EQ(o->config.gammaHundredths, 114); // 1.15 * 100.0 truncates to 114
    EXPECT_EQ(o->mode, Mode::Convert);
    for (auto bad : std::vector<std::vector<std::string>>{{"in.mp4"},
                                                          {"--raw", "10x"},
                                                          {"--demo", "--raw", "2x2"},
                                                          {"--gain"},
                                                          {"--bogus"},
                                                          {"--ffmpeg-args", "'unbalanced"},
                                                          {"a", "b", "-o", "c"}})
        EXPECT_FALSE(parseOptions(bad, error)) << bad[0];
}

} // namespace
