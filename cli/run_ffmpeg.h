// Running the job's ffmpeg (or, on the deep route, the decoding ffmpeg,
// velmor's 16-bit correction and the encoding ffmpeg), following its
// progress, and reporting the run to the user.
#pragma once

#include <string>
#include <vector>

#include "ffmpeg_job.h"
#include "options.h"

struct RunResult {
    int status = 0; // as waitpid gives it
    long frames = 0;
    double seconds = 0;
    bool interrupted = false;
    std::string errors; // what ffmpeg wrote to standard error
    std::string writerErrors; // of that, what the ffmpeg writing the output wrote
    std::string refusal; // the deep route's middle refused the decoder's stream: why
};

// One line of ffmpeg's -progress report into `r` (frame=, out_time_us=);
// true for the progress= line that ends each report.
bool readProgressLine(const std::string& line, RunResult& r);

// ffmpeg's error lines, the temporary name replaced by the output's,
// repeats dropped, at most the last `keep`.
std::vector<std::string> ffmpegLines(const std::string& text, const std::string& temporary,
                                     const std::string& output, std::size_t keep);

// ffmpeg's word that writing the output failed, which ffmpeg 5.1 may give
// and still exit with status 0 (a full disk shows only when the trailer
// or the close fails): `line` the first of `lines` telling of a failed
// write, trailer or close, or naming a failed write's errno text; "" when
// none does. Returns the reason in velmor's words where the line names
// one. A line that starts with one of `inputs` (ffmpeg's names of them)
// or tells of decoding speaks of the input, never of the output.
std::string writeFailure(const std::vector<std::string>& lines,
                         const std::vector<std::string>& inputs, std::string& line);

// Whether the ffmpeg in PATH has the filter `name` (ffmpeg -filters).
bool ffmpegHasFilter(const std::string& name);

// Runs the job's ffmpeg with velmor.so at hand; `error` says why it could not start.
RunResult runJob(const Options& o, const Job& job, const std::string& pluginDir,
                 std::string& error);

// What the run means for the user: 0 when the output may be kept.
int reportRun(const Options& o, const Job& job, const RunResult& r, const std::string& temporary);
