// Drawing the progress line: it is redrawn in place (a carriage return
// first) and ends with a newline once the run is over.
#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

Progress::Progress(bool quiet, long frames, double seconds)
    : shown(!quiet && isatty(2)), totalFrames(frames), totalSeconds(seconds) {}

void Progress::update(long done, double seconds, bool final) {
    if (!shown) return;
    const auto now = std::chrono::steady_clock::now();
    if (!final && now - last < std::chrono::milliseconds(250)) return;
    last = now;
    const double elapsed = std::chrono::duration<double>(now - started).count();
    const double fps = elapsed > 0 ? done / elapsed : 0;
    char line[200];
    if (totalSeconds > 0 && seconds > 0 && !final) {
        const long left = static_cast<long>((totalSeconds - seconds) * elapsed / seconds);
        std::snprintf(line, sizeof line,
                      "\rvelmor: frame %ld of about %ld, %.0f%%, %.1f fps, %ld:%02ld left ",
                      done, totalFrames, std::min(100.0, 100 * seconds / totalSeconds), fps,
                      std::max(0L, left) / 60, std::max(0L, left) % 60);
    } else {
        std::snprintf(line, sizeof line, "\rvelmor: frame %ld, %.1f fps%s", done, fps,
                      final ? "                          " : " ");
    }
    std::fputs(line, stderr);
    if (final) std::fputs("\n", stderr);
}
