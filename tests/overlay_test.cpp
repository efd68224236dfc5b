#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frame_run.h"
#include "frame_stats.h"
#include "glyph_table.h"
#include "overlay.h"
#include "test_frames.h"

namespace {

constexpr std::uint8_t kBack = 0x5A; // background byte: ink differs from it in every byte

bool isInk(const std::uint8_t* p) {
    return p[0] == 0 && p[1] == 0xFF && p[2] == 0 && p[3] == 0;
}

// A frame full of the background with guard bytes in the padding.
TestFrame canvas(int w, int h, int padding = 0) {
    TestFrame f(w, h, padding);
    std::memset(f.bytes.data(), kBack, f.bytes.size());
    return f;
}

// Columns and picture rows that hold ink, as a box; memory row 0 is the bottom.
struct Box {
    int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1, inkCount = 0;
};
Box inkBox(TestFrame& f) {
    Box b;
    for (int m = 0; m < f.height; ++m)
        for (int x = 0; x < f.width; ++x) {
            const std::uint8_t* p = f.pixel(x, m);
            if (!isInk(p)) {
                EXPECT_TRUE(p[0] == kBack && p[1] == kBack && p[2] == kBack && p[3] == kBack);
                continue;
            }
            const int row = f.height - 1 - m;
            b.left = std::min(b.left, x), b.right = std::max(b.right, x);
            b.top = std::min(b.top, row), b.bottom = std::max(b.bottom, row);
            ++b.inkCount;
        }
    return b;
}

int glyphInk(const std::string& text) {
    int n = 0;
    for (unsigned char c : text)
        for (int i = 0; i < 16; ++i) n += __builtin_popcount(glyphTable[16 * c + i]);
    return n;
}

void drawInto(TestFrame& f, int x, int y, const char* text) {
    drawText(reinterpret_cast<FramePixel*>(f.bytes.data()), x, y, text, f.pitch / 4, f.width,
             f.height, kOverlayInk, FourthByte::channel);
}

void setStats(std::initializer_list<std::int64_t> lowHighAlphaRGB, int wMin) {
    auto v = lowHighAlphaRGB.begin();
    for (int k = 0; k < 4; ++k) {
        sharedFrameState.stats.lowClip[k] = std::uint32_t(*v++);
        sharedFrameState.stats.highClip[k] = std::uint32_t(*v++);
    }
    sharedFrameState.stats.w_min = wMin;
}

TEST(DrawText, SingleCharacterLandsOnPictureRows) {
    TestFrame f = canvas(40, 60);
    drawInto(f, 16, 32, "1");
    const int h = f.height;
    EXPECT_TRUE(isInk(f.pixel(19, h - 35)) && isInk(f.pixel(20, h - 35))); // glyph row 2
    EXPECT_FALSE(isInk(f.pixel(18, h - 35)) || isInk(f.pixel(21, h - 35)));
    for (int x = 17; x <= 22; ++x) EXPECT_TRUE(isInk(f.pixel(x, h - 44))); // glyph row 11
    Box b = inkBox(f);
    EXPECT_EQ(b.top, 34);
    EXPECT_EQ(b.bottom, 43);
    EXPECT_EQ(b.inkCount, glyphInk("1"));
}

TEST(DrawStatsOverlay, LinesCoverTheirColumnsAndRows) {
    struct {
        const char* name;
        std::initializer_list<std::int64_t> clips; // A, R, G, B low/high
        int wMin;
        std::uint32_t peaks[3];
        const char* line1;
    } cases[] = {
        {"worked line",
         {1, -1, 16, 235, 12, 240, 8, 250},
         219,
         {12, 40, 255},
         "r 16 235, g 12 240, b 8 250, a 1 -1, w_min 219"},
        {"three digits",
         {256, 254, 129, 127, 100, 200, 255, 100},
         256,
         {256, 256, 256},
         "r 129 127, g 100 200, b 255 100, a 256 254, w_min 256"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        setStats(c.clips, c.wMin);
        sharedFrameState.stats.redPeak = c.peaks[0], sharedFrameState.stats.greenPeak = c.peaks[1];
        sharedFrameState.stats.bluePeak = c.peaks[2];
        TestFrame f = canvas(480, 96, 8), expected = canvas(480, 96, 8);
        drawStatsOverlay(sharedFrameState.stats, f.view(), FourthByte::channel);
        const std::string line1 = std::string("   ") + c.line1;
        const std::string line2 = "   r peak " + std::to_string(c.peaks[0]) + ", g peak " +
                                  std::to_string(c.peaks[1]) + ", b peak " +
                                  std::to_string(c.peaks[2]);
        drawInto(expected, 16, 32, line1.c_str());
        drawInto(expected, 16, 64, line2.c_str());
        EXPECT_EQ(f.bytes, expected.bytes);
        Box b = inkBox(f);
        EXPECT_EQ(b.left, 40); // after the three blanks
        EXPECT_LE(b.right, 16 + 8 * int(std::max(line1.size(), line2.size())) - 1);
        EXPECT_GE(b.top, 32);
        EXPECT_LE(b.bottom, 79);
        EXPECT_EQ(b.inkCount, glyphInk(line1) + glyphInk(line2));
    }
}

TEST(DrawStatsOverlay, MinusIsOneBarInGlyphRowSeven) {
    TestFrame f = canvas(24, 20);
    drawInto(f, 0, 0, "-");
    for (int x = 0; x < 7; ++x) EXPECT_TRUE(isInk(f.pixel(x, 20 - 1 - 7)));
    EXPECT_EQ(inkBox(f).inkCount, 7);
}

TEST(DrawText, UpperHalfBytesSelectUpperGlyphs) {
    TestFrame f = canvas(16, 16);
    drawInto(f, 0, 0, "\x80\xFC");
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 16; ++i)
            for (int b = 0; b < 8; ++b)
                ASSERT_EQ(isInk(f.pixel(8 * c + b, 15 - i)),
                          bool(glyphTable[16 * (c ? 0xFC : 0x80) + i] >> (7 - b) & 1));
}

TEST(DrawText, NegativePitchAndClippingWriteOnlyInsideTheFrame) {
    // Memory row 0 at the highest address: the same picture, rows reversed.
    TestFrame up = canvas(30, 20, 12), down = canvas(30, 20, 12);
    drawInto(up, 2, 3, "ab");
    drawText(reinterpret_cast<FramePixel*>(down.pixel(0, 19)), 2, 3, "ab", -down.pitch / 4, 30, 20,
             kOverlayInk, FourthByte::channel);
    for (int m = 0; m < 20; ++m)
        EXPECT_EQ(0, std::memcmp(up.pixel(0, m), down.pixel(0, 19 - m), 30 * 4));

    struct {
        int w, h, x, y;
    } clipped[] = {{5, 7, 0, 0}, {20, 3, 3, -2}, {9, 9, -4, 5}, {1, 1, 0, 0}, {12, 30, 6, 20}};
    for (auto c : clipped) {
        TestFrame f = canvas(c.w, c.h, 8);
        drawInto(f, c.x, c.y, "\xDB\xDB\xDB"); // full blocks: every cell pixel is ink
        Box b = inkBox(f);                     // also checks the padding kept its guard bytes
        EXPECT_EQ(b.inkCount, (std::min(c.w, c.x + 24) - std::max(0, c.x)) *
                                  (std::min(c.h, c.y + 16) - std::max(0, c.y)))
            << c.w << "x" << c.h;
        EXPECT_EQ(f.bytes.back(), kBack);
    }
}

TEST(RunFrame, OverlayOnlyWithShowStatsAndPeaksCarryOver) {
    TestFrame plain(480, 80), withStats(480, 80), tiny = canvas(3, 2, 4);
    FilterSettings s{};
    setDefaultSettings(s);
    s.bypassTitles = 1;
    runFrame(s, plain.view(), plain.view()); // all zero: shares 256, no overlay
    EXPECT_EQ(sharedFrameState.stats.redPeak, 256u);
    for (auto byte : plain.bytes) ASSERT_EQ(byte, 0);
    s.bypassTitles = 0;
    s.showStats = 0x80;              // any nonzero byte draws
    withStats.set(0, 0, 1, 2, 3, 4); // shares are not recomputed without bypass titles
    runFrame(s, withStats.view(), withStats.view());
    EXPECT_EQ(sharedFrameState.stats.redPeak, 256u);
    int inked = 0;
    for (int m = 0; m < 80; ++m)
        for (int x = 0; x < 480; ++x) inked += isInk(withStats.pixel(x, m));
    EXPECT_GT(inked, 0);
    runFrame(s, tiny.view(), tiny.view()); // fails the gate, and the text misses it
    for (auto byte : tiny.bytes) EXPECT_EQ(byte, kBack);
}

} // namespace
