// Progress on standard error when it is a terminal: frames done, the share
// of the length the input claims, frames a second and the time left.
#pragma once

#include <chrono>

struct Progress {
    bool shown;
    long totalFrames;
    double totalSeconds;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now(),
                                          last = started;
    // Shown unless quiet, when standard error is a terminal; `frames` and
    // `seconds` as the input claims them, 0 when unknown.
    Progress(bool quiet, long frames, double seconds);
    // At most four times a second, and once more, with a newline, at the end.
    void update(long done, double seconds, bool final = false);
};
