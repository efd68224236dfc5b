// The batch's contract, checked over generated compositions: random mixes
// and orders of clips, 8-bit and deep pictures, a picture with a warning,
// broken files and files whose name lies about what they hold, at -j 1 to
// 3, whole or split with --shard. Every input ends in exactly one outcome,
// the one file mode gives it (done, or failed with its reason); the exit
// status is 1 exactly when one failed; each output is byte for byte file
// mode's; nothing hidden is left. VELMOR_COMPOSITIONS sets how many
// compositions run (12 by default; docs/testing.md).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "shell_fixture.h"

namespace {

const std::string kVelmor = VELMOR_BINARY;

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream t;
    t << in.rdbuf();
    return t.str();
}

// The report's rows (CSV: quoted fields, quotes doubled), input -> status.
std::multimap<std::string, std::string> reportStatuses(const std::string& csv) {
    std::multimap<std::string, std::string> rows;
    std::vector<std::string> fields(1);
    bool quoted = false, header = true;
    for (std::size_t i = 0; i < csv.size(); ++i) {
        const char c = csv[i];
        if (quoted && c == '"' && i + 1 < csv.size() && csv[i + 1] == '"') {
            fields.back() += '"', ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            fields.emplace_back();
        } else if (!quoted && c == '\n') {
            if (!header && fields.size() >= 3) rows.emplace(fields[0], fields[2]);
            header = false, fields.assign(1, "");
        } else {
            fields.back() += c;
        }
    }
    return rows;
}

// One input of the pool: how ffmpeg makes it (empty: the text of a broken file).
struct PoolFile {
    const char* name;
    const char* make; // ffmpeg's arguments after -f lavfi -i testsrc2=...
};

const PoolFile kPool[] = {
    {"c1.nut", "size=66x48:rate=10:duration=0.4 -vf eq=contrast=0.4 -c:v ffv1"},
    {"c2.mp4", "size=64x48:rate=10:duration=0.5 -vf eq=contrast=0.5 -c:v libx264 -f mp4"},
    {"p1.png", "size=61x47 -frames:v 1 -vf eq=contrast=0.4,format=rgb24"},
    {"p2.jpg", "size=61x47 -frames:v 1 -vf eq=contrast=0.3,format=yuvj420p"},
    {"p3.bmp", "size=33x20 -frames:v 1 -vf eq=contrast=0.6,format=bgr24"},
    {"p4.tif", "size=40x30 -frames:v 1 -vf eq=contrast=0.5,format=rgb24"},
    {"deep.png", "size=61x47 -frames:v 1 -vf eq=contrast=0.4,format=rgb48be"},
    // A picture with alpha under a JPEG's name: a warning, so it goes alone.
    {"alpha.jpg", "size=30x20 -frames:v 1 -vf \"format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='4*X'\" -f image2 -c:v png"},
    {"clip.png", "size=32x24:rate=10:duration=0.3 -c:v ffv1 -f nut"}, // a clip named as a picture
    {"still.avi", "size=32x24 -frames:v 1 -c:v png -f image2"},      // a picture named as a clip
    {"bad.png", nullptr},
    {"bad.mp4", nullptr},
};

// The pool, made once, and each file's conversion by file mode: its
// output (pool/ref/NAME) and whether it succeeded.
class BatchContract : public InFolder {
  protected:
    static std::string pool;
    static std::map<std::string, bool> converts;

    static void SetUpTestSuite() {
#ifdef VELMOR_SANITIZED
        return; // the test skips: ffmpeg cannot load the sanitized velmor.so
#endif
        char name[] = "/tmp/velmor-pool-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        pool = name;
        std::system(("mkdir " + pool + "/ref").c_str());
        for (const PoolFile& f : kPool) {
            const std::string at = pool + "/" + f.name;
            if (!f.make) {
                std::ofstream(at) << "not a picture or a video\n";
            } else {
                ASSERT_EQ(std::system(("ffmpeg -v error -nostdin -f lavfi -i testsrc2=" +
                                       std::string(f.make) + " '" + at + "'")
                                          .c_str()),
                          0)
                    << f.name;
            }
            const std::string single = "cd " + pool + " && " + kVelmor + " " + f.name +
                                       " -o ref/" + f.name + " 2>/dev/null";
            converts[f.name] = std::system(single.c_str()) == 0;
        }
    }
    static void TearDownTestSuite() {
        if (!pool.empty()) std::system(("rm -rf " + pool).c_str());
    }
};

std::string BatchContract::pool;
std::map<std::string, bool> BatchContract::converts;

TEST_F(BatchContract, EveryInputEndsAsFileModeEndsIt) {
    SKIP_IF_SANITIZED();
    ASSERT_FALSE(converts["bad.png"]);
    ASSERT_TRUE(converts["c1.nut"] && converts["deep.png"] && converts["alpha.jpg"]);
    const char* env = std::getenv("VELMOR_COMPOSITIONS");
    const int compositions = env ? std::atoi(env) : 12;
    std::mt19937 random(39);
    for (int n = 0; n < compositions; ++n) {
        std::vector<std::string> names;
        for (const PoolFile& f : kPool) names.push_back(f.name);
        std::shuffle(names.begin(), names.end(), random);
        names.resize(2 + random() % (names.size() - 1));
        const int jobs = 1 + int(random() % 3), shards = random() % 3 == 0 ? 2 + int(random() % 2) : 1;
        std::string list, trace = "-j " + std::to_string(jobs) + " shards " + std::to_string(shards) + ":";
        for (const auto& name : names) list += " " + name, trace += " " + name;
        SCOPED_TRACE(trace);
        const std::string out = path("out" + std::to_string(n));
        std::multimap<std::string, std::string> statuses;
        for (int k = 1; k <= shards; ++k) {
            const std::string report = out + "-" + std::to_string(k) + ".csv";
            const std::string shard = shards > 1 ? " --shard " + std::to_string(k) + "/" + std::to_string(shards) : "";
            const Result r = run("cd " + pool + " && " + kVelmor + list + " -o " + out + "/ -j " +
                                 std::to_string(jobs) + shard + " --report " + report);
            const auto rows = reportStatuses(readFile(report));
            bool anyFailed = false;
            for (const auto& [input, status] : rows) anyFailed |= status == "failed";
            EXPECT_EQ(r.status, anyFailed ? 1 : 0) << r.err;
            EXPECT_NE(r.err.find(std::to_string(rows.size()) + " files in"), std::string::npos) << r.err;
            statuses.insert(rows.begin(), rows.end());
        }
        // Exactly one outcome an input, file mode's, and file mode's bytes.
        EXPECT_EQ(statuses.size(), names.size());
        for (const auto& name : names) {
            ASSERT_EQ(statuses.count(name), 1u) << name;
            EXPECT_EQ(statuses.find(name)->second, converts[name] ? "done" : "failed") << name;
            if (converts[name]) {
                EXPECT_TRUE(readFile(out + "/" + name) == readFile(pool + "/ref/" + name)) << name;
            }
        }
        EXPECT_EQ(run("find " + out + " -name '.*' | grep -q .").status, 1) << "a hidden file is left";
    }
}

} // namespace
