// The batch's pure parts: which command lines are batches and what they
// mean, the shares of --shard, output names, the report's two forms and
// the display's lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "batch_inputs.h"
#include "batch_options.h"
#include "batch_progress.h"
#include "batch_report.h"
#include "picture_group.h"
#include "shard.h"

namespace {

struct BatchCase {
    std::vector<std::string> args;
    bool ok, batch;
    std::string error;                  // a part of the mistake's line
    std::vector<std::string> inputs, fileArgs;
    int jobs = 0;
};

TEST(BatchOptions, TableOfCommandLines) {
    const BatchCase cases[] = {
        {{"a.mp4", "-o", "b.mp4"}, true, false, "", {}, {}},
        {{"a.mp4", "-o", "-"}, true, false, "", {}, {}},
        {{"a.mp4", "b.mp4", "-o", "out/", "--gain", "80", "-y"}, true, true, "",
         {"a.mp4", "b.mp4"}, {"--gain", "80", "-y"}},
        {{"-j", "3", "--gamma=1.5", "a.mp4", "--output=out/", "--", "-b.mp4"}, true, true, "",
         {"a.mp4", "-b.mp4"}, {"--gamma=1.5"}, 3},
        {{"--jobs=2", "--ffmpeg-args", "-crf 20", "x", "-o", "/tmp"}, true, true, "", {"x"},
         {"--ffmpeg-args", "-crf 20"}, 2},
        {{"-o", "out/"}, false, true, "give the inputs", {}, {}},
        {{"a.mp4", "--resume", "-o", "b.mp4"}, false, true, "--resume is for many inputs", {}, {}},
        {{"a.mp4", "-j", "0", "-o", "out/"}, false, true, "--jobs: '0'", {}, {}},
        {{"a.mp4", "-j", "-o", "out/"}, false, true, "--jobs: '-o'", {}, {}},
        {{"a.mp4", "--shard", "3/2", "-o", "out/"}, false, true, "--shard: '3/2'", {}, {}},
        {{"a.mp4", "--recursive=1", "-o", "out/"}, false, true, "takes no value", {}, {}},
        {{"a.mp4", "--format", "", "-o", "out/"}, false, true, "--format", {}, {}},
        {{"a.mp4", "-o"}, false, false, "--output needs a value", {}, {}},
        {{"a.mp4", "b.mp4", "-o", "out/", "--help"}, true, false, "", {}, {}},
    };
    for (const BatchCase& c : cases) {
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        BatchOptions b;
        std::string error;
        ASSERT_EQ(parseBatchOptions(c.args, b, error), c.ok) << error;
        if (!c.ok) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            continue;
        }
        EXPECT_EQ(b.batch, c.batch);
        if (!c.batch) continue;
        EXPECT_EQ(b.inputs, c.inputs);
        EXPECT_EQ(b.fileArgs, c.fileArgs);
        EXPECT_EQ(b.jobs, c.jobs);
        EXPECT_EQ(b.outputDir.back() == '/', b.outputDir == "/");
    }
}

TEST(BatchOptions, ShardText) {
    const struct { const char* text; bool ok; int k, n; } cases[] = {
        {"1/1", true, 1, 1}, {"2/3", true, 2, 3}, {"3/3", true, 3, 3}, {"0/3", false, 0, 0},
        {"4/3", false, 0, 0}, {"1/0", false, 0, 0}, {"1", false, 0, 0}, {"1/3x", false, 0, 0},
        {"-1/3", false, 0, 0}, {"/3", false, 0, 0}};
    for (const auto& c : cases) {
        int k = 0, n = 0;
        EXPECT_EQ(parseShard(c.text, k, n), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(std::make_pair(k, n), std::make_pair(c.k, c.n)) << c.text;
        }
    }
}

// Every input in exactly one share, whatever the order of the list, and
// the shares not all in one (the hash spreads them).
TEST(Shard, EveryInputInExactlyOneShareInAnyOrder) {
    std::vector<BatchItem> all;
    for (int i = 0; i < 300; ++i)
        all.push_back({"x", "dir " + std::to_string(i % 7) + "/clip" + std::to_string(i) + ".mp4", ""});
    std::mt19937 random(34);
    for (int count : {1, 2, 3, 7}) {
        std::multiset<std::string> seen;
        for (int k = 1; k <= count; ++k) {
            std::vector<BatchItem> items = all;
            std::shuffle(items.begin(), items.end(), random);
            keepShare(items, k, count);
            if (count > 1) {
                EXPECT_LT(items.size(), all.size() * 2 / count) << k << "/" << count;
            }
            for (const auto& i : items) seen.insert(i.relative);
        }
        EXPECT_EQ(seen.size(), all.size());
        for (const auto& i : all) EXPECT_EQ(seen.count(i.relative), 1u) << i.relative;
    }
    // The hash is fixed by its definition: the same on every machine.
    EXPECT_EQ(stableHash(""), 14695981039346656037ull);
    EXPECT_EQ(stableHash("a"), 0xaf63dc4c8601ec8cull);
}

TEST(BatchInputs, OutputNamesAndWhatAFolderGives) {
    const struct { const char* relative; const char* format; const char* out; } names[] = {
        {"a.mp4", "", "a.mp4"},          {"a.mp4", "mkv", "a.mkv"},
        {"d.x/a", "mkv", "d.x/a.mkv"},   {"d/a.b.tif", "png", "d/a.b.png"},
        {"d/.hidden", "mkv", "d/.hidden.mkv"}};
    for (const auto& n : names) EXPECT_EQ(outputRelative(n.relative, n.format), n.out) << n.relative;
    for (const char* taken : {"a.mp4", "b.JPG", "c.mkv", "d.tif"}) EXPECT_TRUE(takenFromFolder(taken)) << taken;
    for (const char* left : {".velmor-12.mp4", "notes.txt", "README", ".hidden.mkv"})
        EXPECT_FALSE(takenFromFolder(left)) << left;
}

TEST(BatchReport, RowsInBothForms) {
    const ReportRow row{"a \"b\",c.mp4", "out/a.mp4", "failed", "line\nnext\\", 1.5, 2048};
    EXPECT_EQ(reportHeader(true), "input,output,status,message,seconds,peak_kib\n");
    EXPECT_EQ(reportLine(row, true),
              "\"a \"\"b\"\",c.mp4\",\"out/a.mp4\",\"failed\",\"line\nnext\\\",1.500,2048\n");
    EXPECT_EQ(reportLine(row, false),
              "{\"input\":\"a \\\"b\\\",c.mp4\",\"output\":\"out/a.mp4\",\"status\":\"failed\","
              "\"message\":\"line\\u000anext\\\\\",\"seconds\":1.500,\"peak_kib\":2048}\n");
    EXPECT_TRUE(reportIsCsv("r.csv"));
    EXPECT_FALSE(reportIsCsv("r.jsonl"));
    EXPECT_FALSE(reportIsCsv("csv"));
}

TEST(BatchProgress, LinesAndAttribution) {
    BatchProgress p;
    p.total = 10, p.finished = 4, p.converted = 2, p.failed = 1;
    EXPECT_EQ(batchProgressLine(p, {"a.mp4", "b.mp4"}, 20),
              "velmor: 4 of 10 files, 1 failed, 1:00 left: a.mp4, b.mp4");
    p.converted = 0, p.failed = 0;
    EXPECT_EQ(batchProgressLine(p, {}, 20), "velmor: 4 of 10 files");
    EXPECT_EQ(clockText(3725), "1:02:05");
    EXPECT_EQ(attributed("a.mp4", "velmor: warning: no sound\rx\nvelmor: a.mp4 is not a video\n"),
              "velmor: a.mp4: x\nvelmor: a.mp4 is not a video\n");
    EXPECT_EQ(attributed("a.mp4", "velmor: warning: no sound\n"),
              "velmor: a.mp4: warning: no sound\n");
    EXPECT_EQ(lastMessage("velmor: one\nvelmor: warning: w\nffmpeg says\n"), "one");
}

} // namespace

namespace {

// File mode's command for a picture, as buildJob gives it, and changes to
// it: only one run on one input, with global shared options, naming the
// input only in -map and saying nothing, shares an ffmpeg.
TEST(PictureGroup, WhichJobsShareAnFfmpegAndTheirCommand) {
    const std::vector<std::string> input = {"-f", "image2", "-pattern_type", "none", "-i", "file:a%.jpg"};
    auto base = [&] {
        Job j;
        j.args = {"ffmpeg", "-hide_banner", "-nostdin", "-nostats", "-v", "error", "-progress", "pipe:3"};
        j.args.insert(j.args.end(), input.begin(), input.end());
        for (const char* a : {"-y", "-frames:v", "1", "-map", "0:0", "-filter:v:0", "format=bgra,frei0r=velmor",
                              "file:.velmor-1-0.jpg"})
            j.args.push_back(a);
        return j;
    };
    const struct {
        const char* change;
        bool shares;
    } cases[] = {
        {"", true},        {"time before the input", false}, {"another input mapped", false},
        {"metadata", false}, {"a warning", false},           {"deep route", false},
        {"no such input", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        Job j = base();
        std::vector<std::string> in = input;
        const std::string change = c.change;
        if (change == "time before the input") j.args.insert(j.args.begin() + 8, {"-ss", "1"});
        if (change == "another input mapped") j.args[j.args.size() - 4] = "1:0";
        if (change == "metadata") j.args.insert(j.args.end() - 1, {"-map_metadata", "0"});
        if (change == "a warning") j.warnings.push_back("odd");
        if (change == "deep route") j.decoderArgs = {"ffmpeg"};
        if (change == "no such input") in.back() = "file:b.jpg";
        CutJob cut;
        EXPECT_EQ(cutGroupable(j, in, cut), c.shares);
    }
    CutJob cut;
    ASSERT_TRUE(cutGroupable(base(), input, cut));
    const std::vector<std::string> two = groupCommand({cut, cut});
    const Job first = base();
    std::vector<std::string> expected(first.args.begin(), first.args.begin() + 8);
    for (int k = 0; k < 2; ++k) {
        expected.insert(expected.end(), {"-threads", "1"});
        expected.insert(expected.end(), input.begin(), input.end());
    }
    for (const char* map : {"0:0", "1:0"})
        for (const char* a : {"-y", "-frames:v", "1", "-map", map, "-filter:v:0", "format=bgra,frei0r=velmor",
                              "-threads", "1", "file:.velmor-1-0.jpg"})
            expected.push_back(a);
    EXPECT_EQ(two, expected);
    // Threads the user gave the encoder (--ffmpeg-args) stay theirs.
    CutJob given = cut;
    given.output.insert(given.output.end() - 1, {"-threads", "4"});
    const std::vector<std::string> one = groupCommand({given});
    EXPECT_EQ(std::count(one.begin(), one.end(), "-threads"), 2);
    EXPECT_EQ(*(std::find(one.rbegin(), one.rend(), "-threads") - 1), "4");
}

TEST(PictureGroup, WhoJoinsAndTheGroupsLines) {
    Options o;
    EXPECT_TRUE(mayJoinGroup(o, "in/a.JPG", "out/a.png"));
    EXPECT_FALSE(mayJoinGroup(o, "in/a.mp4", "out/a.png"));
    EXPECT_FALSE(mayJoinGroup(o, "in/a.png", "out/a.mkv"));
    EXPECT_FALSE(mayJoinGroup(o, "in/f%03d.png", "out/f%03d.png"));
    o.start = "1";
    EXPECT_FALSE(mayJoinGroup(o, "in/a.jpg", "out/a.jpg"));
    std::size_t k = 0;
    bool done = false;
    for (bool d : {true, false}) {
        EXPECT_TRUE(readGroupLine(groupLine(12, d).substr(0, groupLine(12, d).size() - 1), k, done));
        EXPECT_EQ(k, 12u);
        EXPECT_EQ(done, d);
    }
    for (const char* other : {"velmor-group x done", "velmor-group 3 maybe", "velmor: 3 done", ""})
        EXPECT_FALSE(readGroupLine(other, k, done)) << other;
}

} // namespace
