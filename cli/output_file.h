// The output file: where it goes (a file or standard output), whether an
// existing one may be replaced, the temporary name ffmpeg writes under, and
// the rename that makes the finished file the output.
#pragma once

#include <sys/stat.h>

#include <string>

#include "options.h"

// Where the output goes, and what is there now.
struct OutputTarget {
    bool toStdout = false;
    bool exists = false;
    struct stat existing {};
    std::string ext, temporary;
};

// The output's temporary name: beside it, hidden, short (the output's own
// name may be as long as a name can be), with the extension that tells
// ffmpeg the format. `tag` tells apart the temporaries of one process.
std::string temporaryNameFor(const std::string& output, const std::string& tag = "");

// What stops velmor writing the output: "" when nothing does, or when only
// the question whether to replace it is left; `code` the exit status.
std::string pathProblem(const Options& o, const std::string& source, bool sequence,
                        OutputTarget& t, int& code);

// The input readable, the output a name velmor may write; 0 or an exit status.
// A numbered sequence is not one file: the probe finds its pictures or not.
int checkPaths(const Options& o, const std::string& source, bool sequence, OutputTarget& t);

// Makes the temporary file (none for standard output), so that no one else
// takes its name; 0 or an exit status.
int claimTemporary(const Options& o, OutputTarget& t);

// Makes the empty file `name`, which must not exist; false with errno set.
bool claimName(const std::string& name);

// The finished temporary file becomes the output: a replaced file's owner
// (where velmor may give it, as root) and permissions stay, a new file gets
// the usual ones, and a file that appeared meanwhile is someone else's.
int finishOutput(const Options& o, const OutputTarget& t);

// The same rename, quietly: "" or what went wrong (the temporary then gone).
std::string placeOutput(const std::string& output, const OutputTarget& t);
