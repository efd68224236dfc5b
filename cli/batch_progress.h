// What a batch shows on standard error: one progress line for the whole
// batch (on a terminal, unless --quiet), each file's own messages under its
// name, and the summary at the end.
#pragma once

#include <chrono>
#include <string>
#include <vector>

struct BatchProgress {
    bool shown = false; // standard error is a terminal and not --quiet
    bool drawn = false; // a progress line is on the screen, to be cleared before a message
    int total = 0, finished = 0, converted = 0, failed = 0;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now(), last{};
};

// "velmor: 12 of 200 files, 1 failed, 0:41 left: a.mp4, b.mp4": files
// finished, failures, the time left (from the files converted so far, once
// there is one), the files being converted.
std::string batchProgressLine(const BatchProgress& p, const std::vector<std::string>& current,
                              double elapsed);

// A file's velmor wrote `text` to standard error: its lines with the input
// named ("velmor: a.mp4: ..."), progress redraws dropped.
std::string attributed(const std::string& input, const std::string& text);

// The last message of a file's velmor, without "velmor: " ("" if none).
std::string lastMessage(const std::string& text);

// Redraws the line, at most four times a second unless `now`.
void drawBatchProgress(BatchProgress& p, const std::vector<std::string>& current, bool now);

// Prints `text` (whole lines) above the progress line.
void printAbove(BatchProgress& p, const std::string& text);

// "1:05" for 65 seconds; "1:01:05" past an hour.
std::string clockText(double seconds);
