// What the end-to-end tests of velmor share: a fresh folder a test, and a
// shell command run in it with its standard error kept. ffmpeg cannot load
// a sanitized velmor.so, so conversions skip in the sanitized build.
#ifndef VELMOR_TESTS_SHELL_FIXTURE_H
#define VELMOR_TESTS_SHELL_FIXTURE_H

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#ifdef VELMOR_SANITIZED
#define SKIP_IF_SANITIZED() GTEST_SKIP() << "ffmpeg cannot load the sanitized velmor.so"
#else
#define SKIP_IF_SANITIZED() (void)0
#endif

struct Result {
    int status;
    std::string err;
};

inline std::string shellQuoted(const std::string& s) {
    return "'" + s + "'";
}

// Waits for `pid`, which was sent `sig`: SIGKILL ends it at once; velmor
// answers any other signal by exiting with 128 + the signal.
inline void expectEndedBy(pid_t pid, int sig) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    if (sig == SIGKILL)
        EXPECT_TRUE(WIFSIGNALED(status)) << status;
    else
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + sig) << status;
}

// A shell command writing JPEG `from` as `to` with an EXIF orientation of 6
// (a quarter turn): an APP1 segment right after the start of the image.
inline std::string exifTurnedJpeg(const std::string& from, const std::string& to) {
    return "{ head -c 2 " + from + "; printf '\\377\\341\\0\\42Exif\\0\\0MM\\0*\\0\\0\\0\\10\\0\\1"
           "\\1\\22\\0\\3\\0\\0\\0\\1\\0\\6\\0\\0\\0\\0\\0\\0'; tail -c +3 " + from + "; } >" + to;
}

class InFolder : public ::testing::Test {
  protected:
    std::string dir;
    void SetUp() override {
        char name[] = "/tmp/velmor-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override { std::system(("rm -rf " + shellQuoted(dir)).c_str()); }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    // Runs `command` with sh in the test's folder; its status (128 when a
    // signal ended it) and what it wrote to standard error.
    Result run(const std::string& command) const {
        const std::string errFile = path("stderr.txt");
        const int rc = std::system(("cd " + shellQuoted(dir) + " && (" + command + ") 2>" +
                                    shellQuoted(errFile) + " </dev/null")
                                       .c_str());
        std::ifstream in(errFile);
        std::stringstream text;
        text << in.rdbuf();
        std::remove(errFile.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : 128, text.str()};
    }
};

#endif
