// Still pictures of a batch corrected in groups, one ffmpeg for many: an
// ffmpeg start costs as much as correcting a photograph. Each picture's
// own command is file mode's (buildJob); the group's command puts them
// side by side: the shared options, every input, then each output's
// options with its input's number. ffmpeg treats each output on its own,
// so each file is byte for byte what file mode writes. Whatever does not
// fit (a deep picture, a refusal, a warning, a failed probe, any complaint
// from the group's ffmpeg) goes back to the batch to be converted alone,
// where file mode says what went wrong.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "ffmpeg_job.h"
#include "options.h"

// One picture's file-mode command, cut at its input: `shared` before it,
// `input` (up to and with -i NAME), `output` after it.
struct CutJob {
    std::vector<std::string> shared, input, output;
};

// Whether file mode's job for a picture can share an ffmpeg, and the job
// cut at `inputArgs` (how that ffmpeg reads the input); pure. It can when
// it is one ffmpeg run on one input whose shared options are only global
// ones, whose output options name the input only in -map, and that has
// nothing to say (no warnings, no cover art).
bool cutGroupable(const Job& job, const std::vector<std::string>& inputArgs, CutJob& cut);

// The group's one ffmpeg command: the first job's shared options, every
// input, every output with "-map 0:..." naming its own input; pure.
std::vector<std::string> groupCommand(const std::vector<CutJob>& jobs);

// Whether a batch file may join a group, by its names: a single picture
// into a picture, no time options.
bool mayJoinGroup(const Options& file, const std::string& input, const std::string& output);

struct GroupFile {
    std::string input, output;
};

// A group's line on standard error for file `k` of the group: "done" or
// "alone" (convert it alone). The batch reads them back with readGroupLine.
std::string groupLine(std::size_t k, bool done);
// true for a group line, with `k` and `done` set.
bool readGroupLine(const std::string& line, std::size_t& k, bool& done);

// Corrects the group's files that fit, as many at once as keep ffmpeg's
// memory small, and writes a group line for each file on standard error.
// Runs in a process of its own (the batch's child); its exit status.
int runPictureGroup(const Options& file, const std::vector<GroupFile>& files);
