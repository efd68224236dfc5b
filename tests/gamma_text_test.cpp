#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "gamma_text.h"
#include "setting_table.h"

namespace {

TEST(GammaText, ParsesTheDecimalFormOnly) {
    struct {
        const char* text;
        double value;
    } cases[] = {{"1.5xyz", 1.5},       {" \t+3", 3.0},      {".5", 0.5},
                 {"5.", 5.0},           {".", 0.0},          {"-", 0.0},
                 {"1e", 1.0},           {"1e+", 1.0},        {"2E-1", 0.2},
                 {"-1e999", -INFINITY}, {"1e999", INFINITY}, {"1e-999", 0.0},
                 {"nan", 0.0},          {"inf", 0.0},        {"0x10", 0.0},
                 {"1,5", 1.0},          {"0.333", 0.333},    {"00012.5e-1", 1.25}};
    for (auto c : cases) EXPECT_EQ(parseGammaText(c.text), c.value) << c.text;
}

// What the dialog's box holds after the user types a gamma is the double
// that the settings table gives for those hundredths (the frei0r plug-in and
// the command line store gamma through it).
TEST(GammaText, EveryGammaInRangeReadsAsTheTablesDouble) {
    const SettingInfo& gamma = kSettingTable[kGammaSetting];
    char text[16];
    for (std::int32_t h = gamma.minimum; h <= gamma.maximum; ++h) {
        std::snprintf(text, sizeof text, "%d.%02d", h / 100, h % 100);
        ASSERT_EQ(parseGammaText(text), dialogGamma(h)) << text;
    }
}

// The same text as printf's "%5.2f" in the C locale, whatever the locale is.
TEST(GammaText, FormatsLikeFixedTwoDecimals) {
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); // if present: a decimal comma must not leak in
    std::mt19937_64 rng(9);
    for (int i = 0; i < 200000; ++i) {
        double v = i < 100000 ? i * 0.0005 - 25 : double(rng() % 20000000) / 1000.0;
        if (i % 7 == 0) v += 0.005; // halfway cases, on the exact binary value
        char mine[32], reference[64];
        formatGammaText(v, mine);
        std::setlocale(LC_NUMERIC, "C");
        std::snprintf(reference, sizeof reference, "%5.2f", v);
        std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
        ASSERT_STREQ(mine, reference) << v;
    }
    std::setlocale(LC_NUMERIC, "C");
    char text[32];
    for (auto c :
         {std::pair<double, const char*>{-0.0, "-0.00"}, {0.125, " 0.12"}, {10, "10.00"}}) {
        formatGammaText(c.first, text);
        EXPECT_STREQ(text, c.second);
    }
}

} // namespace
