// The command line's parts that run nothing: the colour names both scalers
// get, the range rule, ffmpeg's progress lines and error lines, the
// temporary names.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "colour.h"
#include "output_file.h"
#include "process.h"
#include "run_ffmpeg.h"

TEST(CliParts, OneMatrixTableNamesBothScalers) {
    const struct {
        const char *tag, *scale, *zscale;
    } cases[] = {{"bt709", "bt709", "709"},         {"smpte170m", "bt601", "170m"},
                 {"bt470bg", "bt601", "470bg"},     {"smpte240m", "smpte240m", "240m"},
                 {"fcc", "fcc", "fcc"},             {"bt2020nc", "bt2020", "2020_ncl"},
                 {"bt2020c", "bt2020", "2020_cl"},  {"unknown", "", "170m"},
                 {"", "", "170m"}};
    for (const auto& c : cases) {
        EXPECT_EQ(scaleMatrix(c.tag), c.scale) << c.tag;
        EXPECT_EQ(zscaleMatrix(c.tag), c.zscale) << c.tag;
    }
}

TEST(CliParts, FullRangeByTagOrPixelFormat) {
    MediaInfo m;
    m.pixFmt = "yuv420p";
    EXPECT_FALSE(isFullRange(m));
    m.colorRange = "pc";
    EXPECT_TRUE(isFullRange(m));
    m.colorRange = "tv";
    EXPECT_FALSE(isFullRange(m));
    m.colorRange = "";
    m.pixFmt = "yuvj422p";
    EXPECT_TRUE(isFullRange(m));
    // Both scalers get the same range.
    m.colorSpace = "bt709";
    const Source s = sourceOf(m);
    EXPECT_EQ(outputColour(m, false).scaleOptions, "out_color_matrix=bt709:out_range=pc");
    EXPECT_EQ(zscaleYuvOptions(s, "m", "r"), "m=709:r=full");
    m.colorSpace = "gbr";
    EXPECT_EQ(zscaleYuvOptions(sourceOf(m), "m", "r"), "m=170m:r=limited");
}

TEST(CliParts, ProgressLines) {
    RunResult r;
    EXPECT_FALSE(readProgressLine("frame=42", r));
    EXPECT_FALSE(readProgressLine("out_time_us=1500000", r));
    EXPECT_FALSE(readProgressLine("out_time_us=N/A", r));
    EXPECT_TRUE(readProgressLine("progress=continue", r));
    EXPECT_EQ(r.frames, 42);
    EXPECT_DOUBLE_EQ(r.seconds, 1.5);
}

TEST(CliParts, FfmpegLinesNameTheOutputOnceEach) {
    const std::string text = "a .velmor-1.mp4 b\n\nsame\r\nsame\nlast\n";
    const std::vector<std::string> lines = ffmpegLines(text, ".velmor-1.mp4", "out.mp4", 2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "same");
    EXPECT_EQ(lines[1], "last");
    EXPECT_EQ(ffmpegLines(text, ".velmor-1.mp4", "out.mp4", 9).front(), "a out.mp4 b");
}

TEST(CliParts, TemporaryNames) {
    const std::string pid = std::to_string(getpid());
    EXPECT_EQ(temporaryNameFor("dir/out.MP4"), "dir/.velmor-" + pid + ".mp4");
    EXPECT_EQ(temporaryNameFor("out.mkv"), ".velmor-" + pid + ".mkv");
    const char* old = std::getenv("TMPDIR");
    const std::string kept = old ? old : "";
    setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(temporaryFolder(), "/var/tmp");
    setenv("TMPDIR", "", 1);
    EXPECT_EQ(temporaryFolder(), "/tmp");
    if (old)
        setenv("TMPDIR", kept.c_str(), 1);
    else
        unsetenv("TMPDIR");
}
