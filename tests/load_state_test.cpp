// Runs in a process of its own, before any frame: what loading the library leaves.
#include <gtest/gtest.h>

#include <cstring>

#include "frame_stats.h"
#include "settings.h"

TEST(LoadState, TablesAndStatisticsStartAtRest) {
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(sharedFrameState.stats.lowClip[k], 0u);
        EXPECT_EQ(sharedFrameState.stats.highClip[k], 255u);
        for (int i = 0; i < 256; ++i) {
            ASSERT_EQ(sharedFrameState.stats.histogram[k][i], 0u);
            ASSERT_EQ(sharedFrameState.channelTable[k][i], 0);
        }
    }
    for (int i = 0; i < 256; ++i) ASSERT_EQ(sharedFrameState.toneTable[i], 0);
    EXPECT_EQ(sharedFrameState.stats.w_min, 0);
    EXPECT_EQ(sharedFrameState.stats.redPeak + sharedFrameState.stats.greenPeak +
                  sharedFrameState.stats.bluePeak,
              0u);
}

TEST(LoadState, DefaultsLeaveTheHostsFieldsAlone) {
    FilterSettings s;
    std::memset(&s, 0xA5, sizeof s);
    setDefaultSettings(s);
    EXPECT_EQ(s.gainPercent, 100);
    EXPECT_EQ(s.threshold, 10);
    EXPECT_EQ(s.gamma, 1.0);
    EXPECT_EQ(s.sCurve, 0);
    EXPECT_EQ(s.bypassTitles, 0);
    EXPECT_EQ(s.showStats, 0xA5);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(s.preview) & 0xFF, 0xA5u);
}
