// Child processes: the demo's and the covers' ffmpeg runs through a pipe, and
// the conversion's one ffmpeg process, which reports its progress on a pipe
// of its own and dies with velmor.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

struct ChildProcess {
    pid_t pid = -1;
    int pipe = -1;      // the child's stdout (reading) or stdin (writing)
    int errorFile = -1; // the child's stderr, kept in an unlinked temporary file
};

enum class PipeEnd { ReadOutput, WriteInput };

// Starts `args` (args[0] looked up in PATH) with a pipe to or from it. On
// failure returns a child with pid -1 and sets `error`.
ChildProcess startChild(const std::vector<std::string>& args, PipeEnd end, std::string& error);

// Closes the pipe, waits for the child; returns its exit status (128+signal
// when killed). `lastError` gets the last line it wrote to stderr.
int finishChild(ChildProcess& child, std::string& lastError);

// Runs `args` to completion and returns its stdout.
int runCapture(const std::vector<std::string>& args, std::string& output, std::string& lastError);

// The conversion's ffmpeg: started with `environment` added to velmor's,
// its standard error kept in an unlinked temporary file, its progress
// report ("-progress pipe:3") on a pipe whose reading end is `pipe`. It
// gets SIGKILL should velmor die first, so it never outlives velmor.
// `input` and `output`, when not -1, become its standard input and output
// (the deep route's pipes); otherwise it reads nothing and writes where
// velmor does.
ChildProcess startJob(const std::vector<std::string>& args,
                      const std::vector<std::string>& environment, std::string& error,
                      int input = -1, int output = -1);

// Waits for the child `pid` to end (through interrupted waits); its status
// as waitpid gives it.
int waitForChild(pid_t pid);

// Everything the child wrote to its standard error (at most the last 64 KiB).
std::string errorTextOf(const ChildProcess& child);

bool programExists(const std::string& name);

// Reads or writes exactly `size` bytes unless the pipe ends or fails;
// returns the count moved (reads stop early at end of input).
std::size_t readFully(int fd, void* buffer, std::size_t size);
bool writeFully(int fd, const void* buffer, std::size_t size);

// Where velmor keeps its temporary files: $TMPDIR, or /tmp when unset or empty.
std::string temporaryFolder();
