// End-to-end tests of velmor's batches (velmor INPUT... -o DIR/) on tiny
// clips: each output byte for byte the one file mode writes, a failing file
// among good ones, the report's rows, interrupts and resuming, clashes and
// the -n/-y rules, folders, and --shard's shares covering the batch.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "shell_fixture.h"

namespace {

const std::string kVelmor = VELMOR_BINARY;

class Batch : public InFolder {
  protected:
    std::string read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream t;
        t << in.rdbuf();
        return t.str();
    }
    bool exists(const std::string& name) const { return access(path(name).c_str(), F_OK) == 0; }
    void clip(const std::string& name, const std::string& size = "66x48", double seconds = 0.4) {
        ASSERT_EQ(run("ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=size=" + size +
                      ":rate=10:duration=" + std::to_string(seconds) +
                      " -vf eq=contrast=0.4 -c:v ffv1 '" + name + "'")
                      .status,
                  0);
    }
    // Every file below `folder` (relative paths), hidden ones included.
    std::set<std::string> tree(const std::string& folder) const {
        std::set<std::string> names;
        const Result r = run("cd '" + folder + "' && find . -type f | sed 's|^./||' >&2");
        std::istringstream in(r.err);
        for (std::string line; std::getline(in, line);) names.insert(line);
        return names;
    }
    // Decodes the output: ffmpeg prints nothing for a sound file.
    void expectDecodes(const std::string& name) const {
        const Result r = run("ffmpeg -v error -nostdin -i '" + name + "' -f null -");
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(r.err, "") << name;
    }
    // Whether `folder` holds a hidden file (a temporary one) anywhere below.
    bool holdsHidden(const std::string& folder) const {
        for (const auto& f : tree(path(folder)))
            if (f[0] == '.') return true;
        return false;
    }
    // Polls `done` every 25 ms, at most `tries` times; its last answer.
    template <class Done>
    static bool waitFor(Done done, int tries) {
        for (int i = 0; i < tries && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
        return done();
    }
    pid_t spawn(const std::vector<std::string>& args) const {
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_t pid = 0;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, path("spawned.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }
};

// Three good clips and one file that is no video: the others done and
// equal to file mode's outputs, exit status 1, a row each in the report;
// --fail-fast leaves the files after the failure undone.
TEST_F(Batch, OneFailingFileAmongGoodOnes) {
    SKIP_IF_SANITIZED();
    for (const char* c : {"a.nut", "b.nut", "c.nut"}) clip(c);
    std::ofstream(path("bad.mkv")) << "not a video\n";
    for (const char* report : {"r.csv", "r.jsonl"}) {
        SCOPED_TRACE(report);
        run("rm -rf out");
        const Result r = run(kVelmor + " a.nut bad.mkv b.nut c.nut --gain 80 -o out/ -j 2 --report " +
                             report);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("velmor: bad.mkv is not a video"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("4 files in"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("3 done, 1 failed"), std::string::npos) << r.err;
        EXPECT_EQ(tree(path("out")), (std::set<std::string>{"a.nut", "b.nut", "c.nut"}));
        const std::string rows = read(report);
        const bool csv = std::string(report) == "r.csv";
        for (const char* name : {"a.nut", "b.nut", "c.nut"}) {
            const std::string row = csv ? "\"" + std::string(name) + "\",\"out/" + name + "\",\"done\""
                                        : "{\"input\":\"" + std::string(name) + "\",\"output\":\"out/" +
                                              name + "\",\"status\":\"done\"";
            EXPECT_NE(rows.find(row), std::string::npos) << rows;
        }
        EXPECT_NE(rows.find(csv ? "\"bad.mkv\",\"out/bad.mkv\",\"failed\",\"bad.mkv is not"
                                : "\"status\":\"failed\",\"message\":\"bad.mkv is not"),
                  std::string::npos)
            << rows;
        EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), csv ? 5 : 4);
    }
    for (const char* name : {"a.nut", "b.nut", "c.nut"}) {
        ASSERT_EQ(run(kVelmor + " " + name + " --gain 80 -o single-" + name).status, 0);
        EXPECT_EQ(read("out/" + std::string(name)), read("single-" + std::string(name))) << name;
        expectDecodes("out/" + std::string(name));
    }
    run("rm -rf out");
    const Result fast = run(kVelmor + " a.nut bad.mkv b.nut c.nut -o out/ -j 1 --fail-fast --report f.csv");
    EXPECT_EQ(fast.status, 1);
    EXPECT_EQ(tree(path("out")), (std::set<std::string>{"a.nut"}));
    EXPECT_NE(read("f.csv").find("\"c.nut\",\"out/c.nut\",\"not run\""), std::string::npos);
}

// Pictures of every kind the 8-bit route groups, with a deep one and a
// broken one among them: fewer ffmpeg runs than pictures, each output byte
// for byte file mode's (turned as its EXIF orientation says), the broken one failing as file mode fails it, and
// a replaced output keeping its permissions (-y).
TEST_F(Batch, PicturesShareAnFfmpegAndEqualFileMode) {
    SKIP_IF_SANITIZED();
    const struct {
        const char* name;
        const char* filters; // after a washed-out test picture
    } pictures[] = {
        {"a.jpg", "format=yuvj420p"},
        {"b.png", "format=rgb24"},
        {"c.png", "format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='4*X'"},
        {"d.png", "format=gray"},
        {"e.bmp", "format=bgr24"},
        {"f.tif", "format=rgb24"},
        {"bad.jpg", nullptr},
        {"deep.png", "format=rgb48be"},
        {"g g.webp", "format=yuv420p"},
        {"h.jpg", "format=yuvj420p"}, // turned by its EXIF orientation below
    };
    std::string names;
    for (const auto& p : pictures) {
        names += " '" + std::string(p.name) + "'";
        if (!p.filters) {
            std::ofstream(path(p.name)) << "not a picture\n";
            continue;
        }
        ASSERT_EQ(run("ffmpeg -v error -nostdin -f lavfi -i testsrc2=size=61x47 -frames:v 1 -vf "
                      "\"eq=contrast=0.4," + std::string(p.filters) + "\" '" + p.name + "'")
                      .status,
                  0) << p.name;
    }
    run(exifTurnedJpeg("h.jpg", "t.jpg") + " && mv t.jpg h.jpg");
    // ffmpeg as the batch finds it in PATH, counting the correcting runs.
    run("mkdir bin && printf '#!/bin/sh\\ncase \"$*\" in *frei0r=velmor*) echo run >>runs.txt;; "
        "esac\\nexec %s \"$@\"\\n' \"$(command -v ffmpeg)\" >bin/ffmpeg && chmod +x bin/ffmpeg");
    run("mkdir out && echo mine >out/a.jpg && chmod 600 out/a.jpg");
    const Result r = run("PATH=$PWD/bin:$PATH " + kVelmor + names + " -o out/ -j 2 -y --report r.csv");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("velmor: bad.jpg has no video or picture"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("9 done, 1 failed"), std::string::npos) << r.err;
    const std::string runs = read("runs.txt");
    // Eight pictures on the 8-bit route: two jobs' groups, and the last
    // few alone as the jobs' shares shrink.
    EXPECT_LE(std::count(runs.begin(), runs.end(), '\n'), 4) << runs;
    struct stat st {};
    stat(path("out/a.jpg").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    for (const auto& p : pictures) {
        if (!p.filters) continue;
        const std::string single = "single-" + std::string(p.name);
        ASSERT_EQ(run(kVelmor + " '" + p.name + "' -o '" + single + "'").status, 0) << p.name;
        EXPECT_TRUE(read("out/" + std::string(p.name)) == read(single)) << p.name;
        expectDecodes("out/" + std::string(p.name));
    }
    EXPECT_EQ(tree(path("out")).size(), 9u);
}

// Names that clash, outputs that exist (-n, -y, --resume, neither), and
// folders: --recursive keeps the paths below the folder, leaves hidden
// files out, names the unknown ones skipped, and never takes the output
// folder inside it for input.
TEST_F(Batch, ClashesExistingOutputsAndFolders) {
    SKIP_IF_SANITIZED();
    run("mkdir -p in/sub in/.hidden");
    for (const char* c : {"in/a.mkv", "in/sub/b.mkv", "in/.hidden/h.mkv", "in/a.nut"}) clip(c);
    std::ofstream(path("in/notes.txt")) << "notes\n";
    Result r = run(kVelmor + " --recursive in -o in/out/ --format mkv");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("would be written to in/out/a.mkv"), std::string::npos) << r.err;
    EXPECT_FALSE(exists("in/out"));
    r = run(kVelmor + " in -o out/");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("give --recursive"), std::string::npos) << r.err;
    run("rm in/a.nut");
    ASSERT_EQ(run(kVelmor + " --recursive in/ -o in/out/ --format nut").status, 0);
    EXPECT_EQ(tree(path("in/out")), (std::set<std::string>{"a.nut", "sub/b.nut"}));
    expectDecodes("in/out/sub/b.nut");
    // Again: its own outputs are no inputs, and existing outputs need a rule.
    std::ofstream(path("in/out/a.nut")) << "mine\n";
    r = run(kVelmor + " --recursive in -o in/out --format nut");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("give -y to replace it"), std::string::npos) << r.err;
    EXPECT_EQ(read("in/out/a.nut"), "mine\n");
    for (const char* rule : {"-n", "--resume"}) {
        r = run(kVelmor + " --recursive in -o in/out --format nut " + rule);
        EXPECT_EQ(r.status, 0) << rule << r.err;
        EXPECT_NE(r.err.find("0 done, 3 skipped"), std::string::npos) << r.err; // notes.txt too
        EXPECT_NE(r.err.find("skipped: in/notes.txt: not a kind"), std::string::npos) << r.err;
        EXPECT_EQ(read("in/out/a.nut"), "mine\n");
    }
    EXPECT_EQ(run(kVelmor + " --recursive in -o in/out --format nut -y --resume").status, 2);
    ASSERT_EQ(run(kVelmor + " --recursive in -o in/out --format nut -y").status, 0);
    expectDecodes("in/out/a.nut");
    EXPECT_EQ(tree(path("in/out")), (std::set<std::string>{"a.nut", "sub/b.nut"}));
}

// Stopped by a signal (to velmor alone, as kill sends it, or SIGKILL, which
// velmor cannot catch): no output half-written, no temporary file left;
// the same command with --resume converts only what is missing.
TEST_F(Batch, InterruptAndResume) {
    SKIP_IF_SANITIZED();
    for (const char* c : {"a.nut", "b.nut", "c.nut", "d.nut"}) clip(c, "640x360", 12);
    const std::vector<std::string> command = {kVelmor, path("a.nut"), path("b.nut"), path("c.nut"), path("d.nut"), "-o",
                                              path("out/"), "-j", "1", "--resume", "--quiet"};
    for (int sig : {SIGINT, SIGKILL}) {
        SCOPED_TRACE(strsignal(sig));
        run("rm -rf out");
        const pid_t pid = spawn(command);
        // Wait until one output is complete and the next one under way.
        auto under = [&] {
            const std::set<std::string> t = tree(path("out"));
            return t.size() >= 2 && t.count("a.nut");
        };
        ASSERT_TRUE(waitFor(under, 400)) << read("spawned.txt");
        kill(pid, sig);
        expectEndedBy(pid, sig);
        // The file's velmor cleans up after itself when the batch is gone.
        waitFor([&] { return !holdsHidden("out"); }, 200);
        // Only the file finished before the signal: the one under way was
        // stopped, and no file's velmor outlived the batch to finish it.
        const std::set<std::string> left = tree(path("out"));
        EXPECT_FALSE(holdsHidden("out"));
        EXPECT_EQ(left, (std::set<std::string>{"a.nut"}));
        for (const auto& f : left) expectDecodes("out/" + f);
        struct stat before {};
        stat(path("out/a.nut").c_str(), &before);
        const Result again = run(kVelmor + " a.nut b.nut c.nut d.nut -o out/ -j 2 --resume --report r.csv");
        EXPECT_EQ(again.status, 0) << again.err;
        EXPECT_NE(again.err.find(std::to_string(4 - left.size()) + " done, " +
                                 std::to_string(left.size()) + " skipped"),
                  std::string::npos)
            << again.err;
        struct stat after {};
        stat(path("out/a.nut").c_str(), &after);
        EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec); // not redone
        EXPECT_EQ(tree(path("out")), (std::set<std::string>{"a.nut", "b.nut", "c.nut", "d.nut"}));
        ASSERT_EQ(run(kVelmor + " d.nut -y -o single.nut").status, 0);
        EXPECT_EQ(read("out/d.nut"), read("single.nut"));
        // Run again: nothing left to do.
        EXPECT_NE(run(kVelmor + " a.nut b.nut c.nut d.nut -o out/ --resume").err.find("0 done, 4 skipped"),
                  std::string::npos);
    }
}

// A group of large pictures stopped part way (Ctrl-C to the batch, or the
// batch killed outright): the pictures finished before stay, complete;
// the run under way leaves no temporary file and no partial output.
TEST_F(Batch, InterruptedPictureGroupLeavesOnlyWholePictures) {
    SKIP_IF_SANITIZED();
    std::vector<std::string> command = {kVelmor};
    for (int i = 0; i < 8; ++i) {
        const std::string name = "p" + std::to_string(i) + ".png";
        ASSERT_EQ(run("ffmpeg -v error -nostdin -f lavfi -i testsrc2=size=3000x2000 -frames:v 1 "
                      "-vf eq=contrast=0." + std::to_string(3 + i) + " " + name)
                      .status,
                  0);
        command.push_back(path(name));
    }
    for (const char* a : {"-o", "", "-j", "1", "--quiet"}) command.push_back(a);
    for (int sig : {SIGINT, SIGKILL}) {
        SCOPED_TRACE(strsignal(sig));
        run("rm -rf out");
        command[command.size() - 4] = path("out/");
        const pid_t pid = spawn(command);
        auto someDone = [&] {
            if (!exists("out")) return false;
            for (const auto& f : tree(path("out")))
                if (f[0] != '.') return true;
            return false;
        };
        // A run finished, and the next one's ffmpeg under way.
        auto runUnderWay = [&] { return run("pgrep -f '[f]fmpeg.*" + dir + "/out' >/dev/null").status == 0; };
        waitFor([&] { return someDone() && runUnderWay(); }, 800);
        ASSERT_TRUE(someDone()) << read("spawned.txt");
        kill(pid, sig);
        expectEndedBy(pid, sig);
        EXPECT_TRUE(waitFor([&] { return !holdsHidden("out"); }, 200)); // no temporary file left
        const std::set<std::string> left = tree(path("out"));
        EXPECT_LT(left.size(), 8u);
        for (const auto& f : left) expectDecodes("out/" + f);
    }
}

// N workers with the same command, each listing the inputs in its own
// order, write every output once, equal to one batch's.
TEST_F(Batch, ShardsCoverTheBatchOnce) {
    SKIP_IF_SANITIZED();
    std::string names, reversed;
    for (int i = 0; i < 7; ++i) {
        const std::string n = "c" + std::to_string(i) + ".nut";
        clip(n, "34x26", 0.2);
        names += " " + n;
        reversed = " " + n + reversed;
    }
    ASSERT_EQ(run(kVelmor + names + " -o all/").status, 0);
    std::multiset<std::string> seen;
    for (int k = 1; k <= 3; ++k) {
        const Result r = run(kVelmor + (k % 2 ? names : reversed) + " -o shards/ --shard " +
                             std::to_string(k) + "/3 --report s" + std::to_string(k) + ".csv");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string rows = read("s" + std::to_string(k) + ".csv");
        for (int i = 0; i < 7; ++i)
            if (rows.find("\"c" + std::to_string(i) + ".nut\"") != std::string::npos)
                seen.insert("c" + std::to_string(i));
    }
    EXPECT_EQ(seen.size(), 7u);
    EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), 7u);
    EXPECT_EQ(tree(path("shards")), tree(path("all")));
    for (int i = 0; i < 7; ++i) {
        const std::string n = "/c" + std::to_string(i) + ".nut";
        EXPECT_EQ(read("shards" + n), read("all" + n)) << n;
    }
}

} // namespace
