// The batch's pure parts: which command lines are batches and what they
// mean, the shares of --shard, output names, the report's two forms and
// the display's lines.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "batch_inputs.h"
#include "batch_options.h"
#include "batch_progress.h"
#include "batch_report.h"
#include "file_kinds.h"
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
        all.push_back({"x", "dir " + std::to_string(i % 7) + "/clip" + std::to_string(i) + ".mp4", "", ""});
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

// A folder tree made for a walk: "f PATH" a file, "d PATH" a folder,
// "l PATH TARGET" a symbolic link, "m PATH TARGET" a bind mount (root only:
// false when it cannot be made).
bool makeTree(const std::string& root, const std::vector<std::string>& entries,
              std::vector<std::string>& mounts) {
    for (const std::string& e : entries) {
        std::istringstream in(e);
        std::string kind, at, target;
        in >> kind >> at >> target;
        const std::string p = root + "/" + at;
        std::system(("mkdir -p \"$(dirname '" + p + "')\"").c_str());
        if (kind == "f") std::ofstream(p) << "x";
        if (kind == "d") mkdir(p.c_str(), 0777);
        if (kind == "l") {
            EXPECT_EQ(symlink(target.c_str(), p.c_str()), 0) << p;
        }
        if (kind == "m") {
            mkdir(p.c_str(), 0777);
            if (std::system(("mount --bind '" + root + "/" + target + "' '" + p + "' 2>/dev/null").c_str()) != 0)
                return false;
            mounts.push_back(p);
        }
    }
    return true;
}

// What a batch takes from its arguments: each row a tree, the arguments
// and either the items ("REL>OUTPUT" taken, "REL:REASON" left out, paths
// below the tree) or a part of the refusal.
TEST(BatchInputs, TableOfTreesAndArguments) {
    const struct {
        std::vector<std::string> tree, inputs;
        std::string output, format;
        bool recursive;
        std::vector<std::string> items;
        std::string error;
    } cases[] = {
        // Every kind read, in any letter case; kinds only read written as
        // .mkv and .png; hidden files and folders unseen; the rest named.
        {{"f in/a.MP4", "f in/b.Jpg", "f in/c.mxf", "f in/d.EXR", "f in/notes.txt",
          "f in/.h.mp4", "f in/.h/x.mp4"},
         {"in"}, "out", "", true,
         {"a.MP4>out/a.MP4", "b.Jpg>out/b.Jpg", "c.mxf>out/c.mkv", "d.EXR>out/d.png",
          "notes.txt:not a kind"}, ""},
        {{"f x.MXF"}, {"x.MXF"}, "out", "", false, {"x.MXF>out/x.mkv"}, ""},
        {{"f x.MXF"}, {"x.MXF"}, "out", "mp4", false, {"x.MXF>out/x.mp4"}, ""},
        // The output folder inside the input: its files are no inputs.
        {{"f in/a.png", "f in/out/a.png"}, {"in/"}, "in/out", "", true, {"a.png>in/out/a.png"}, ""},
        // Links: to a file taken, to folders (in the tree or out of it) not
        // followed, to nothing named.
        {{"f in/a.png", "l in/loop ..", "l in/up /", "l in/f.png a.png", "l in/dead none"},
         {"in"}, "out", "", true,
         {"a.png>out/a.png", "dead:a link to nothing", "f.png>out/f.png",
          "loop:a link to a folder", "up:a link to a folder"}, ""},
        // A folder mounted inside itself is walked once.
        {{"f in/sub/a.png", "m in/sub/m in"}, {"in"}, "out", "", true,
         {"sub/a.png>out/sub/a.png", "sub/m:a folder already walked"}, ""},
        // Refusals, before anything runs.
        {{"f a/x.png", "f b/x.png"}, {"a/x.png", "b/x.png"}, "out", "", false, {}, "would be written to"},
        {{"f in/a.mp4", "f in/a.mkv"}, {"in"}, "out", "mkv", true, {}, "would be written to"},
        {{"f in/c.mxf", "f in/c.mkv"}, {"in"}, "out", "", true, {}, "would be written to"},
        {{"f in/a.mp4"}, {"in"}, "out", "", false, {}, "give --recursive"},
        {{}, {"-"}, "out", "", false, {}, "standard input"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tree.empty() ? c.inputs.front() : c.tree.front());
        char name[] = "/tmp/velmor-walk-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        const std::string root = name;
        std::vector<std::string> mounts;
        const bool made = makeTree(root, c.tree, mounts);
        BatchOptions b;
        for (const auto& i : c.inputs) b.inputs.push_back(i == "-" ? i : root + "/" + i);
        b.outputDir = root + "/" + c.output, b.format = c.format, b.recursive = c.recursive;
        std::vector<BatchItem> items;
        std::string error;
        const bool ok = made && expandInputs(b, items, error);
        for (auto m = mounts.rbegin(); m != mounts.rend(); ++m) std::system(("umount '" + *m + "'").c_str());
        std::system(("rm -rf " + root).c_str());
        if (!made) {
            std::printf("skipped a case: a bind mount needs root\n");
            continue;
        }
        EXPECT_EQ(ok, c.error.empty()) << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        if (!c.error.empty()) continue;
        std::vector<std::string> got;
        for (const BatchItem& i : items)
            got.push_back(i.skipped.empty() ? i.relative + ">" + i.output.substr(root.size() + 1)
                                            : i.relative + ":" + i.skipped);
        ASSERT_EQ(got.size(), c.items.size());
        for (std::size_t k = 0; k < got.size(); ++k) EXPECT_EQ(got[k].rfind(c.items[k], 0), 0u) << got[k];
    }
}

// Every kind the table reads, in any letter case, is taken from a folder
// and written as a kind velmor writes.
TEST(BatchInputs, EveryKindReadIsTakenInAnyCase) {
    std::mt19937 random(39);
    for (const std::string& ext : extensionsOfKind(false)) {
        std::string mixed = ext;
        for (char& ch : mixed)
            if (random() % 2) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        EXPECT_TRUE(takenFromFolder("f." + mixed)) << mixed;
        EXPECT_TRUE(isKnownExtension(writtenAs(ext))) << ext;
    }
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
