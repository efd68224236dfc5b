// A failed write of the output is a failure. ffmpeg's lines that tell of
// one, read from its text; the finished output read back (whole files
// pass, cut ones fail); and velmor on a small tmpfs of the test's own,
// filled so that the disk runs out at each stage of writing each kind of
// output: exit status 1 naming the file, no temporary file left, an
// existing output untouched. The same for a batch, its grouped pictures
// and its report.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "batch_report.h"
#include "output_check.h"
#include "run_ffmpeg.h"
#include "shell_fixture.h"

namespace {

const std::string kVelmor = VELMOR_BINARY;
constexpr long kPage = 4096; // tmpfs counts its space in pages

long pageDown(long bytes) {
    return bytes / kPage * kPage;
}

// ffmpeg 5.1's own lines, as velmor gets them with the output's name put
// back: those telling of a failed write and the reason in velmor's words,
// and those about the input (which a write failure must never be taken
// from) or about nothing written at all.
TEST(WriteFailure, FfmpegsLinesOfAFailedWrite) {
    const struct {
        const char* line;
        bool failed;
        const char* reason;
    } cases[] = {
        {"Error writing trailer of file:out.mkv: No space left on device", true,
         "no space left on the device"},
        {"Error closing file file:out.mkv: No space left on device", true,
         "no space left on the device"},
        {"av_interleaved_write_frame(): No space left on device", true, "no space left on the device"},
        {"Could not write header for output file #0 (incorrect codec parameters ?): No space left "
         "on device",
         true, "no space left on the device"},
        {"Error writing trailer of file:out.mp4: Disk quota exceeded", true, "the disk quota is used up"},
        {"av_interleaved_write_frame(): File too large", true,
         "the file grew larger than the file system allows"},
        {"Error closing file file:out.ts: Input/output error", true,
         "the device failed to write it (an input/output error)"},
        {"file:out.webm: Read-only file system", true, "the file system is read-only"},
        {"Error writing trailer of pipe:1: Broken pipe", true, "the program reading it stopped reading"},
        {"Error writing trailer of file:out.mov: Invalid argument", true, ""},
        {"Error muxing a packet for out.nut", true, ""},
        {"Error submitting a packet to the muxer: Invalid argument", true, ""},
        // The reason is the errno text that ends the line, whatever the names.
        {"Error writing trailer of file:No space left on device.mkv: Invalid argument", true, ""},
        {"Error writing trailer of file:decoding.mkv: No space left on device", true,
         "no space left on the device"},
        // About the input, or a broken pipe that is not the output's.
        {"file:in.mkv: Input/output error", false, ""},
        {"pipe:0: Input/output error", false, ""},
        {"Error while decoding stream #0:0: Input/output error", false, ""},
        {"Error while decoding stream #0:0: Invalid data found when processing input", false, ""},
        {"[h264 @ 0x55d0c8a3c940] error while decoding MB 5 1, bytestream -23", false, ""},
        {"[matroska,webm @ 0x5581a2c4e880] File ended prematurely", false, ""},
        {"[mov,mp4,m4a,3gp,3g2,mj2 @ 0x55c3] stream 0, offset 0x30: partial file", false, ""},
        {"[aac @ 0x55c3f0a1e700] Queue input is backward in time", false, ""},
        {"Broken pipe", false, ""},
    };
    const std::vector<std::string> inputs = {"pipe:0", "file:in.mkv"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::string line = "left over";
        EXPECT_EQ(writeFailure({c.line}, inputs, line), c.reason);
        EXPECT_EQ(line, c.failed ? c.line : "");
    }
    // Among the lines of a run, the first that tells of the write.
    std::string line;
    EXPECT_EQ(writeFailure({"[h264 @ 0x5] error while decoding MB 5 1, bytestream -23",
                            "Error writing trailer of file:o.mkv: No space left on device",
                            "Error closing file file:o.mkv: Input/output error"},
                           inputs, line),
              "no space left on the device");
    EXPECT_EQ(line, "Error writing trailer of file:o.mkv: No space left on device");
}

class ReadBack : public InFolder {
  protected:
    void ffmpeg(const std::string& args) const {
        const Result r = run("ffmpeg -hide_banner -nostdin -v error -y " + args);
        ASSERT_EQ(r.status, 0) << args << ": " << r.err;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream t;
        t << in.rdbuf();
        return t.str();
    }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }
};

const char kClip[] = "-f lavfi -i testsrc2=size=160x120:rate=25:duration=0.4 -f lavfi -i "
                     "sine=duration=0.4 -shortest ";
const char kPicture[] = "-f lavfi -i testsrc2=size=160x120,noise=alls=30:allf=t -frames:v 1 "
                        "-update 1 ";

// Files of each kind velmor writes, as ffmpeg writes them, read back
// whole. Those whose readers know the file's length or its end (Matroska,
// NUT, PNG, WebP, BMP, TIFF, PPM) must fail at every cut short of the
// whole, less the few last bytes (`tail`: tags, padding) a reader may go
// without; a cut is where the disk ran out. The others' readers go without
// up to hundreds of bytes at the end (MP4's metadata, AVI's index, JPEG's
// last data), and streamed kinds (MPEG-TS, MPEG-PS, Ogg, GIF) may end
// anywhere: there ffmpeg's words tell of a full disk.
TEST_F(ReadBack, WholeFilesPassCutOnesFail) {
    const struct {
        const char* name;
        const char* args;
        long tail; // -1: no cut is checked
    } files[] = {{"v.mkv", kClip, 32},      {"v.webm", kClip, 32},    {"v.nut", kClip, 0},
                 {"v.mp4", kClip, -1},      {"v.mov", kClip, -1},     {"v.avi", kClip, -1},
                 {"v.ts", kClip, -1},       {"v.mpg", kClip, -1},     {"v.ogv", kClip, -1},
                 {"v.flv", kClip, -1},      {"v.gif", kClip, -1},     {"p.png", kPicture, 0},
                 {"p.webp", kPicture, 0},   {"p.bmp", kPicture, 0},   {"p.tif", kPicture, 8},
                 {"p.jpg", kPicture, -1},   {"p.tga", kPicture, -1},  {"p.ppm", kPicture, 0}};
    std::mt19937 rng(20261208);
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        ffmpeg(std::string(f.args) + f.name);
        const bool picture = f.name[0] == 'p';
        EXPECT_EQ(unreadableOutput(path(f.name), picture), "");
        if (f.tail < 0) continue;
        const std::string whole = read(f.name);
        const long longest = long(whole.size()) - f.tail - 1;
        std::vector<long> cuts;
        for (long i = 0; i < 24; ++i) cuts.push_back(longest * i / 23);
        for (int i = 0; i < 24; ++i) cuts.push_back(long(rng() % std::uint32_t(longest + 1)));
        const std::string cutName = std::string("cut-") + f.name;
        for (long cut : cuts) {
            write(cutName, whole.substr(0, std::size_t(cut)));
            EXPECT_NE(unreadableOutput(path(cutName), picture), "")
                << cut << " of " << whole.size() << " bytes";
        }
    }
}

// An ffmpeg that ends with status 0 and not a word, its output cut to half
// (a write lost without an error): file mode reads the file back, fails
// naming it, and leaves the existing output and no temporary file.
TEST_F(ReadBack, AnOutputCutShortWithoutAWordIsNotKept) {
    SKIP_IF_SANITIZED();
    ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -c:v ffv1 clip.nut");
    ffmpeg(std::string(kPicture) + "picture.png");
    // The last argument is the output ("file:" and its name).
    run("mkdir bin && printf '#!/bin/sh\\n%s \"$@\" || exit\\nfor f; do :; done\\nf=${f#file:}\\n"
        "[ -f \"$f\" ] && truncate -s $(($(stat -c %%s \"$f\") / 2)) \"$f\"\\nexit 0\\n' "
        "\"$(command -v ffmpeg)\" >bin/ffmpeg && chmod +x bin/ffmpeg");
    const struct {
        const char *input, *output, *fault;
    } cases[] = {{"clip.nut", "out.mkv", "does not read to its end ("},
                 {"clip.nut", "out.nut", "does not read to its end ("},
                 {"picture.png", "out.png", "holds a picture that does not decode ("}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        write(c.output, "the user's own\n");
        const Result r = run("PATH=$PWD/bin:$PATH " + kVelmor + " " + c.input + " -o " + c.output + " -y");
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("velmor: cannot write " + std::string(c.output) +
                             ": the file ffmpeg wrote " + c.fault),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(read(c.output), "the user's own\n");
        EXPECT_EQ(run("ls -A | grep '^[.]' >&2").err, "");
    }
    // With the real ffmpeg the same command keeps its file.
    EXPECT_EQ(run(kVelmor + " clip.nut -o out.mkv -y").status, 0);
    EXPECT_NE(read("out.mkv"), "the user's own\n");
}

// A folder `fs` in the test's folder with a tmpfs of its own, and the
// free space on it set to the byte: the rest taken by a file "filler".
class FullDisk : public ReadBack {
  protected:
    bool mounted = false;
    void TearDown() override {
        if (mounted && umount2(path("fs").c_str(), 0) != 0) umount2(path("fs").c_str(), MNT_DETACH);
        ReadBack::TearDown();
    }
    // Mounts a tmpfs of `bytes` on fs; "" or why it cannot.
    std::string mountFs(long bytes) {
        mkdir(path("fs").c_str(), 0755);
        const std::string size = "size=" + std::to_string(bytes);
        if (mount("tmpfs", path("fs").c_str(), "tmpfs", MS_NOSUID | MS_NODEV, size.c_str()) != 0)
            return std::string("cannot mount a tmpfs (") + std::strerror(errno) +
                   "): the full-disk tests need root";
        mounted = true;
        return "";
    }
    long freeOnFs() const {
        struct statvfs s {};
        return statvfs(path("fs").c_str(), &s) == 0 ? long(s.f_bavail * s.f_frsize) : -1;
    }
    // Leaves `bytes` (whole pages) free on fs.
    void leaveFree(long bytes) {
        std::remove(path("fs/filler").c_str());
        const long fill = freeOnFs() - bytes;
        ASSERT_GE(fill, 0) << "the tmpfs is too small";
        std::ofstream(path("fs/filler"), std::ios::binary) << std::string(std::size_t(fill), '\0');
        ASSERT_EQ(freeOnFs(), bytes);
    }
    // Every file below `folder`, hidden ones included.
    std::set<std::string> tree(const std::string& folder) const {
        const Result r = run("cd '" + folder + "' && find . -type f | sed 's|^./||' >&2");
        std::istringstream in(r.err);
        std::set<std::string> names;
        for (std::string line; std::getline(in, line);) names.insert(line);
        return names;
    }
    ino_t inode(const std::string& name) const {
        struct stat st {};
        return stat(path(name).c_str(), &st) == 0 ? st.st_ino : 0;
    }
    long size(const std::string& name) const { return long(read(name).size()); }
};

struct Stage {
    const char* name;
    long free;
};

// Where in the writing of a file of `bytes` the disk runs out, as the free
// space that leaves it there: nothing fits, one page (the header, the
// first packets), half, all but the last page or two (the last cluster),
// all but the trailer's last bytes.
std::vector<Stage> stagesOf(long bytes) {
    return {{"header", 0},
            {"first packet", kPage},
            {"middle", pageDown(bytes / 2)},
            {"last cluster", pageDown(bytes - 1) - kPage},
            {"trailer", pageDown(bytes - 1)}};
}

// File mode over an existing whole output with -y, for each kind of
// output and each stage: status 1, the file named, the output as it was
// (the same file, byte for byte), no temporary file. With room for it,
// the same command writes a file as large as with ample space.
TEST_F(FullDisk, EachStageOfEachKindKeepsTheOutput) {
    SKIP_IF_SANITIZED();
    ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 "
           "-c:v ffv1 -c:a pcm_s16le clip.nut");
    ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -pix_fmt yuv420p10le -c:v ffv1 "
           "deep.nut"); // the 16-bit route: two ffmpegs and velmor between them
    ffmpeg("-f lavfi -i testsrc2=size=320x240,noise=alls=30:allf=t -frames:v 1 picture.png");
    const struct {
        const char *input, *output;
    } kinds[] = {{"clip.nut", "out.mkv"}, {"clip.nut", "out.mp4"},  {"clip.nut", "out.mov"},
                 {"clip.nut", "out.avi"}, {"clip.nut", "out.nut"},  {"clip.nut", "out.ts"},
                 {"clip.nut", "out.webm"}, {"deep.nut", "deep.mkv"}, {"picture.png", "out.png"},
                 {"picture.png", "out.jpg"}, {"picture.png", "out.webp"}};
    long largest = 0;
    for (const auto& k : kinds) {
        ASSERT_EQ(run(kVelmor + " " + k.input + " -o plain-" + k.output).status, 0) << k.output;
        largest = std::max(largest, size(std::string("plain-") + k.output));
    }
    const std::string problem = mountFs(2 * (pageDown(largest) + kPage) + 4 * kPage);
    if (!problem.empty()) GTEST_SKIP() << problem;
    for (const auto& k : kinds) {
        const std::string out = std::string("fs/") + k.output, plain = std::string("plain-") + k.output;
        const long bytes = size(plain);
        ASSERT_GT(bytes, 5 * kPage) << plain << ": too small for every stage to differ";
        std::remove(path("fs/filler").c_str());
        write(out, read(plain));
        const ino_t existing = inode(out);
        for (const Stage& s : stagesOf(bytes)) {
            SCOPED_TRACE(out + ", out of space at the " + s.name);
            leaveFree(s.free);
            const Result r = run(kVelmor + " " + k.input + " -o " + out + " -y");
            EXPECT_EQ(r.status, 1) << r.err;
            EXPECT_NE(r.err.find("velmor: cannot write " + out + ": no space left on the device"),
                      std::string::npos)
                << r.err;
            EXPECT_EQ(inode(out), existing);
            EXPECT_TRUE(read(out) == read(plain));
            EXPECT_EQ(tree(path("fs")), (std::set<std::string>{"filler", k.output}));
        }
        // Matroska's segment has a random identity: the sizes must agree.
        leaveFree(pageDown(bytes - 1) + kPage);
        const Result r = run(kVelmor + " " + k.input + " -o " + out + " -y");
        EXPECT_EQ(r.status, 0) << out << ": " << r.err;
        EXPECT_EQ(size(out), bytes) << out;
        EXPECT_NE(inode(out), existing) << out;
        std::remove(path(out).c_str());
    }
}

// A batch on the full disk: each file's velmor fails, the batch shows each
// as failed and exits with 1, the existing outputs stay. Pictures go
// through a group's ffmpeg first, whose complaint sends each back alone.
TEST_F(FullDisk, ABatchShowsEachFailedFile) {
    SKIP_IF_SANITIZED();
    for (const char* name : {"a.nut", "b.nut"})
        ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -c:v ffv1 " + std::string(name));
    ffmpeg("-f lavfi -i testsrc2=size=320x240,noise=alls=30:allf=t -frames:v 1 p.png");
    ffmpeg("-f lavfi -i testsrc2=size=320x240,noise=alls=20:allf=t -frames:v 1 q.jpg");
    const struct {
        const char *inputs, *folder;
    } batches[] = {{"a.nut b.nut", "out"}, {"p.png q.jpg", "pictures"}};
    std::vector<std::string> outputs; // below fs/ and below plain-
    long needed = 0;
    for (const auto& b : batches) {
        ASSERT_EQ(run(kVelmor + " " + b.inputs + " -o plain-" + b.folder + "/").status, 0);
        for (const auto& f : tree(path(std::string("plain-") + b.folder)))
            outputs.push_back(b.folder + ("/" + f)),
                needed += pageDown(size("plain-" + outputs.back()) + kPage);
    }
    ASSERT_EQ(outputs.size(), 4u);
    const std::string problem = mountFs(2 * needed + 4 * kPage);
    if (!problem.empty()) GTEST_SKIP() << problem;
    run("cp -r plain-out fs/out && cp -r plain-pictures fs/pictures");
    std::vector<ino_t> inodes;
    for (const auto& o : outputs) inodes.push_back(inode("fs/" + o));
    for (const auto& b : batches) {
        std::vector<std::string> own; // the batch's outputs
        long smallest = 0;
        for (const auto& o : outputs) {
            if (o.rfind(b.folder + std::string("/"), 0) != 0) continue;
            own.push_back(o);
            smallest = own.size() == 1 ? size("fs/" + o) : std::min(smallest, size("fs/" + o));
        }
        // Short of the smallest output, so that no file fits.
        const std::vector<Stage> stages = stagesOf(smallest);
        for (const Stage& s : {stages[0], stages[2], stages[4]}) {
            SCOPED_TRACE(std::string(b.inputs) + ", out of space at the " + s.name);
            leaveFree(s.free);
            const Result r = run(kVelmor + " " + b.inputs + " -o fs/" + b.folder + "/ -y -j 1");
            EXPECT_EQ(r.status, 1) << r.err;
            EXPECT_NE(r.err.find("0 done, 2 failed"), std::string::npos) << r.err;
            for (const auto& o : own)
                EXPECT_NE(r.err.find("cannot write fs/" + o + ": no space left on the device"),
                          std::string::npos)
                    << r.err;
            for (std::size_t i = 0; i < outputs.size(); ++i) {
                EXPECT_EQ(inode("fs/" + outputs[i]), inodes[i]) << outputs[i];
                EXPECT_TRUE(read("fs/" + outputs[i]) == read("plain-" + outputs[i])) << outputs[i];
            }
            std::set<std::string> expected = {"filler"};
            expected.insert(outputs.begin(), outputs.end());
            EXPECT_EQ(tree(path("fs")), expected);
        }
    }
}

// The report: one that does not fit (nothing free, or less than it needs),
// or whose name a folder holds, is not written, and neither a part of it
// nor its temporary file is left; an earlier report stays as it was.
TEST_F(FullDisk, AReportThatDoesNotFitIsNotLeft) {
    // Written beside its name (one file system for the rename), hidden.
    const std::string pid = std::to_string(getpid());
    EXPECT_EQ(reportTemporaryFor("r.csv"), ".velmor-" + pid + "-report");
    EXPECT_EQ(reportTemporaryFor("runs/may/r.jsonl"), "runs/may/.velmor-" + pid + "-report");
    const std::string problem = mountFs(16 * kPage);
    if (!problem.empty()) GTEST_SKIP() << problem;
    const ReportRow row{"in/a clip.nut", "out/a clip.nut", "done", "", 1.5, 2048};
    const std::vector<ReportRow> many(300, row); // about 4 pages of CSV
    std::string manyText = reportHeader(true);
    for (const ReportRow& r : many) manyText += reportLine(r, true);
    const struct {
        const char* why;
        long free;
        std::vector<ReportRow> rows;
        bool folderThere; // else an earlier report
        const char* error;
    } cases[] = {{"nothing free", 0, {row}, false, "No space left on device"},
                 {"a page free for four", kPage, many, false, "No space left on device"},
                 {"a folder of its name", 8 * kPage, {row}, true, "Is a directory"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        run("rm -rf fs/*");
        if (c.folderThere)
            mkdir(path("fs/r.csv").c_str(), 0755);
        else
            write("fs/r.csv", "earlier report\n");
        leaveFree(c.free);
        const std::string error = writeReport(path("fs/r.csv"), c.rows);
        EXPECT_NE(error.find("cannot write the report " + path("fs/r.csv") + ": " + c.error),
                  std::string::npos)
            << error;
        if (!c.folderThere) {
            EXPECT_EQ(read("fs/r.csv"), "earlier report\n");
        }
        std::set<std::string> left = {"filler"};
        if (!c.folderThere) left.insert("r.csv");
        EXPECT_EQ(tree(path("fs")), left);
    }
    run("rm -rf fs/*");
    EXPECT_EQ(writeReport(path("fs/r.csv"), many), "");
    EXPECT_TRUE(read("fs/r.csv") == manyText);
    EXPECT_EQ(tree(path("fs")), (std::set<std::string>{"r.csv"}));
}

// A batch whose outputs fit but whose report is on the full disk: exit
// status 1, no report and no temporary file.
TEST_F(FullDisk, ABatchsReportOnAFullDisk) {
    SKIP_IF_SANITIZED();
    for (const char* name : {"a.nut", "b.nut"})
        ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=25:duration=0.4 -c:v ffv1 " + std::string(name));
    const std::string problem = mountFs(4 * kPage);
    if (!problem.empty()) GTEST_SKIP() << problem;
    leaveFree(0);
    const Result r = run(kVelmor + " a.nut b.nut -o out/ --report fs/r.csv");
    EXPECT_EQ(r.status, 1) << r.err; // the batch's own failure
    EXPECT_NE(r.err.find("cannot write the report fs/r.csv: No space left on device"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(tree(path("out")), (std::set<std::string>{"a.nut", "b.nut"}));
    EXPECT_EQ(tree(path("fs")), (std::set<std::string>{"filler"}));
}

} // namespace
