// The batch's display. Each file's velmor runs with its standard error on a
// pipe, so it draws no progress of its own; what it says is shown, under
// the file's name, when it ends, and the batch's one line is redrawn below.
#include "batch_progress.h"

#include <cstdio>
#include <sstream>

std::string clockText(double seconds) {
    const long s = seconds > 0 ? static_cast<long>(seconds + 0.5) : 0;
    char t[32];
    if (s >= 3600)
        std::snprintf(t, sizeof t, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(t, sizeof t, "%ld:%02ld", s / 60, s % 60);
    return t;
}

std::string batchProgressLine(const BatchProgress& p, const std::vector<std::string>& current,
                              double elapsed) {
    std::string line = "velmor: " + std::to_string(p.finished) + " of " + std::to_string(p.total) +
                       " files";
    if (p.failed) line += ", " + std::to_string(p.failed) + " failed";
    if (p.converted > 0 && p.finished < p.total)
        line += ", " + clockText(elapsed / p.converted * (p.total - p.finished)) + " left";
    for (std::size_t i = 0; i < current.size(); ++i) line += (i ? ", " : ": ") + current[i];
    return line;
}

std::string attributed(const std::string& input, const std::string& text) {
    std::istringstream in(text);
    std::string out, line;
    while (std::getline(in, line)) {
        const std::size_t cr = line.find_last_of('\r');
        if (cr != std::string::npos) line.erase(0, cr + 1);
        if (line.empty()) continue;
        if (line.rfind("velmor: ", 0) == 0) line.erase(0, 8);
        // Messages that name the input already are not named twice.
        const bool named = line.rfind(input + " ", 0) == 0 || line.rfind(input + ":", 0) == 0;
        out += "velmor: " + (named ? "" : input + ": ") + line + "\n";
    }
    return out;
}

std::string lastMessage(const std::string& text) {
    std::istringstream in(text);
    std::string line, last;
    while (std::getline(in, line))
        if (line.rfind("velmor: ", 0) == 0 && line.rfind("velmor: warning: ", 0) != 0)
            last = line.substr(8);
    return last;
}

void drawBatchProgress(BatchProgress& p, const std::vector<std::string>& current, bool now) {
    if (!p.shown) return;
    const auto t = std::chrono::steady_clock::now();
    if (!now && t - p.last < std::chrono::milliseconds(250)) return;
    p.last = t;
    std::string line =
        batchProgressLine(p, current, std::chrono::duration<double>(t - p.started).count());
    if (line.size() > 150) line = line.substr(0, 147) + "...";
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    p.drawn = true;
}

void printAbove(BatchProgress& p, const std::string& text) {
    if (text.empty()) return;
    if (p.drawn) std::fputs("\r\033[K", stderr);
    p.drawn = false;
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}
