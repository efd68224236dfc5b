// The batch's job pool. Each file is one child velmor (this very program,
// /proc/self/exe) given the user's file options, "-o OUTPUT -- INPUT": it
// does all that file mode does (routes, tags, refusals, the temporary name
// renamed into place), so a batch's output is byte for byte the one file
// mode writes. The pool reads each child's standard error through a pipe;
// the pipe's end tells that the child is done, and wait4 gives its status
// and peak memory. A child gets SIGTERM should the batch die first, and
// then removes its temporary file as on an interrupt. Still pictures go
// in groups instead (picture_group.h): a forked child plans each as file
// mode does and corrects many in one ffmpeg, saying on its standard error
// which it finished; the others come back to be converted alone.
#include "batch_run.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "batch_inputs.h"
#include "batch_progress.h"
#include "batch_report.h"
#include "messages.h"
#include "options.h"
#include "picture_group.h"
#include "shard.h"
#include "signals.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Running {
    pid_t pid = -1;
    int err = -1;       // the reading end of the child's standard error
    std::size_t item = 0;
    std::vector<std::size_t> group; // a group of pictures' items (item is the first)
    std::string text;   // what it wrote there
    Clock::time_point started;
};

struct Pool {
    const BatchOptions& b;
    const Options& file; // the file options, as read for checking
    std::vector<BatchItem> items;
    std::vector<ReportRow> rows;
    std::vector<Running> running;
    BatchProgress progress;
    int jobs = 1;
    bool stopping = false; // --fail-fast or a signal: nothing more starts
    std::vector<bool> joins;            // the item may join a group of pictures
    std::vector<std::size_t> joinersFrom; // how many of the items from here on may
    std::vector<std::size_t> alone;     // items a group gave back, to convert alone
};

// A group's pictures: each job's share of those still to come, at least a
// few (so that the last groups still share an ffmpeg start) and at most
// kGroupFiles (its process probes them all first).
constexpr std::size_t kGroupFiles = 48, kGroupFilesLeast = 8;

// Makes the folders down to `path`'s (mkdir -p); "" or what went wrong.
std::string makeParents(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string dir = path.substr(0, slash);
        if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST)
            return "cannot make the folder " + dir + ": " + std::strerror(errno);
    }
    return "";
}

// Forks a child whose standard error is a pipe to the pool and which gets
// SIGTERM should the batch die first; `body` runs in it and never returns.
template <class Body>
bool forkChild(Pool& pool, Running r, std::string& error, Body body) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return error = std::string("cannot make a pipe: ") + std::strerror(errno), false;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
        dup2(null, 0), dup2(null, 1), dup2(fds[1], 2);
        body();
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return error = std::string("cannot start: ") + std::strerror(errno), false;
    }
    r.pid = pid, r.err = fds[0], r.started = Clock::now();
    pool.running.push_back(r);
    return true;
}

// Starts the child velmor for item `k`; false with the row's message set.
bool startChild(Pool& pool, std::size_t k) {
    const BatchItem& item = pool.items[k];
    std::vector<std::string> args = {"velmor"};
    args.insert(args.end(), pool.b.fileArgs.begin(), pool.b.fileArgs.end());
    if (pool.file.overwrite != Overwrite::Always) args.push_back("-n");
    for (const char* a : {"-o", item.output.c_str(), "--", item.input.c_str()}) args.push_back(a);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    Running r;
    r.item = k;
    return forkChild(pool, r, pool.rows[k].message, [&] {
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) signal(s, SIG_DFL);
        execv("/proc/self/exe", argv.data());
    });
}

// Starts a child that corrects the pictures `group` with few ffmpeg runs.
bool startGroup(Pool& pool, const std::vector<std::size_t>& group) {
    std::vector<GroupFile> files;
    for (std::size_t k : group) files.push_back({pool.items[k].input, pool.items[k].output});
    Running r;
    r.item = group.front(), r.group = group;
    return forkChild(pool, r, pool.rows[group.front()].message, [&] {
        caughtSignal = 0;
        _exit(runPictureGroup(pool.file, files));
    });
}

// A file that could not start: failed, as a file that ran and failed.
void notStarted(Pool& pool, std::size_t k) {
    ReportRow& row = pool.rows[k];
    row.status = "failed";
    ++pool.progress.finished, ++pool.progress.failed;
    printAbove(pool.progress, attributed(row.input, row.message + "\n"));
    if (pool.b.failFast) pool.stopping = true;
}

// What happens to item `k` before anything runs: true when it is to run;
// otherwise it is finished, skipped or refused.
bool admitItem(Pool& pool, std::size_t k) {
    ReportRow& row = pool.rows[k];
    struct stat st {};
    const bool exists = lstat(pool.items[k].output.c_str(), &st) == 0;
    if (exists && (pool.b.resume || pool.file.overwrite == Overwrite::Never)) {
        row.status = "skipped", row.message = "the output exists";
        ++pool.progress.finished;
        return false;
    }
    if (exists && pool.file.overwrite == Overwrite::Ask)
        row.message = pool.items[k].output + " exists; give -y to replace it, or --resume to skip it";
    else if (const std::string e = makeParents(pool.items[k].output); !e.empty())
        row.message = e;
    else
        return true;
    notStarted(pool, k);
    return false;
}

// Starts what comes next: a file a group gave back, a group of pictures,
// or a file.
void startNext(Pool& pool, std::size_t& next) {
    if (!pool.alone.empty()) {
        const std::size_t k = pool.alone.front();
        pool.alone.erase(pool.alone.begin());
        if (!startChild(pool, k)) notStarted(pool, k);
        return;
    }
    const std::size_t first = next++;
    if (pool.rows[first].status != "not run" || !admitItem(pool, first)) return;
    if (!pool.joins[first]) { // a clip, or a picture that cannot share an ffmpeg
        if (!startChild(pool, first)) notStarted(pool, first);
        return;
    }
    std::vector<std::size_t> group = {first};
    const std::size_t jobs = std::size_t(pool.jobs);
    const std::size_t share = (pool.joinersFrom[first] + jobs - 1) / jobs;
    const std::size_t size = std::min(kGroupFiles, std::max(share, kGroupFilesLeast));
    for (; group.size() < size && next < pool.items.size() && pool.joins[next]; ++next)
        if (admitItem(pool, next)) group.push_back(next);
    if (startGroup(pool, group)) return;
    for (std::size_t k : group) pool.rows[k].message = pool.rows[first].message, notStarted(pool, k);
}

std::vector<std::string> currentNames(const Pool& pool) {
    std::vector<std::string> names;
    for (const Running& r : pool.running)
        names.push_back(pool.items[r.item].relative +
                        (r.group.size() > 1 ? " and " + std::to_string(r.group.size() - 1) + " more"
                                            : ""));
    return names;
}

// A group's end: its files done, or given back to convert alone; a file
// it said nothing of was interrupted (or goes alone, when nothing stops).
// Each done file's time is its share of the group's, its memory the group's.
void finishGroup(Pool& pool, const Running& r, double seconds, long peakKib) {
    std::vector<int> said(r.group.size(), -1); // -1 nothing, 0 alone, 1 done
    std::string other;
    std::size_t start = 0;
    while (start < r.text.size()) {
        std::size_t end = r.text.find('\n', start);
        if (end == std::string::npos) end = r.text.size();
        const std::string line = r.text.substr(start, end - start);
        start = end + 1;
        std::size_t k = 0;
        bool done = false;
        if (readGroupLine(line, k, done) && k < said.size())
            said[k] = done;
        else
            other += line + "\n";
    }
    for (std::size_t j = 0; j < r.group.size(); ++j) {
        ReportRow& row = pool.rows[r.group[j]];
        if (said[j] == 1) {
            row.status = "done", row.seconds = seconds / double(r.group.size());
            row.peakKib = peakKib;
            ++pool.progress.converted, ++pool.progress.finished;
        } else if (said[j] == 0 || (!pool.stopping && !caughtSignal)) {
            pool.alone.push_back(r.group[j]);
        } else {
            row.status = "interrupted";
            ++pool.progress.finished;
        }
    }
    if (other.find_first_not_of('\n') != std::string::npos) printAbove(pool.progress, other);
}

// The child of `pool.running[i]` has closed its standard error: its end.
void finishChild(Pool& pool, std::size_t i) {
    Running r = pool.running[i];
    pool.running.erase(pool.running.begin() + std::ptrdiff_t(i));
    close(r.err);
    int status = 0;
    struct rusage use {};
    while (wait4(r.pid, &status, 0, &use) < 0 && errno == EINTR) {
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - r.started).count();
    if (!r.group.empty()) return finishGroup(pool, r, seconds, use.ru_maxrss);
    ReportRow& row = pool.rows[r.item];
    row.seconds = seconds;
    row.peakKib = use.ru_maxrss;
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const bool signalled = WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) > 128);
    row.status = ok ? "done" : signalled && pool.stopping ? "interrupted" : "failed";
    row.message = ok ? "" : lastMessage(r.text);
    if (row.message.empty() && !ok) row.message = "velmor ended with status " + std::to_string(status);
    if (ok) ++pool.progress.converted;
    ++pool.progress.finished;
    if (row.status == "failed") ++pool.progress.failed;
    printAbove(pool.progress, attributed(row.input, r.text));
    if (row.status == "failed" && pool.b.failFast && !pool.stopping) {
        pool.stopping = true;
        for (const Running& other : pool.running) kill(other.pid, SIGTERM);
    }
}

// Waits for what the children write (at most a quarter second when the
// progress line is shown) and finishes the children that are done.
void serviceChildren(Pool& pool) {
    std::vector<pollfd> fds;
    for (const Running& r : pool.running) fds.push_back({r.err, POLLIN, 0});
    const int ready = poll(fds.data(), fds.size(), pool.progress.shown ? 250 : -1);
    if (ready <= 0) return; // a signal or the redraw's time
    for (std::size_t i = fds.size(); i-- > 0;) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buffer[4096];
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
            std::string& text = pool.running[i].text;
            text.append(buffer, static_cast<std::size_t>(n));
            if (text.size() > 65536) text.erase(0, text.size() - 65536);
        } else if (n == 0 || errno != EINTR) {
            finishChild(pool, i);
        }
    }
}

// Runs the pool until every item is finished or left.
void runPool(Pool& pool) {
    std::size_t next = 0;
    bool forwarded = false;
    while (next < pool.items.size() || !pool.alone.empty() || !pool.running.empty()) {
        while (!pool.stopping && !caughtSignal && pool.running.size() < std::size_t(pool.jobs) &&
               (next < pool.items.size() || !pool.alone.empty()))
            startNext(pool, next);
        if (caughtSignal && !forwarded) {
            forwarded = pool.stopping = true;
            for (const Running& r : pool.running) kill(r.pid, caughtSignal);
        }
        if (pool.running.empty() && (pool.stopping || caughtSignal)) break;
        drawBatchProgress(pool.progress, currentNames(pool), false);
        if (!pool.running.empty()) serviceChildren(pool);
    }
}

// The summary line, and the list of files that failed.
std::string summaryText(const Pool& pool, double seconds) {
    int counts[5] = {};
    const char* names[5] = {"done", "skipped", "failed", "interrupted", "not run"};
    std::string failedList;
    for (const ReportRow& r : pool.rows)
        for (int s = 0; s < 5; ++s)
            if (r.status == names[s]) ++counts[s];
    std::string line = "velmor: " + std::to_string(pool.rows.size()) + " files in " +
                       clockText(seconds) + ":";
    for (int s = 0; s < 5; ++s)
        if (counts[s] || s == 0)
            line += std::string(s ? "," : "") + " " + std::to_string(counts[s]) + " " + names[s];
    for (std::size_t k = 0; k < pool.rows.size(); ++k) {
        const ReportRow& r = pool.rows[k];
        if (r.status == "failed") failedList += "velmor: failed: " + r.input + ": " + r.message + "\n";
        if (!pool.items[k].skipped.empty()) // the user's choice of -n or --resume goes unlisted
            failedList += "velmor: skipped: " + r.input + ": " + r.message + "\n";
    }
    return line + "\n" + failedList;
}

} // namespace

int runBatch(const BatchOptions& b) {
    std::vector<std::string> check = b.fileArgs;
    for (const char* a : {"-o", "batch.mkv", "--", "batch.mkv"}) check.push_back(a);
    std::string error;
    const std::optional<Options> file = parseOptions(check, error);
    if (!file) return failure(error, 2);
    if (file->mode != Mode::Convert)
        return failure("--raw, --demo and --print-config take no batch of inputs", 2);
    if (b.resume && file->overwrite == Overwrite::Always)
        return failure("--resume and -y contradict each other", 2);
    for (const auto& w : file->warnings) warn(w);
    Pool pool{b, *file, {}, {}, {}, {}, b.jobs > 0 ? b.jobs : usableCores(), false, {}, {}, {}};
    if (!expandInputs(b, pool.items, error)) return failure(error, 2);
    keepShare(pool.items, b.shardIndex, b.shardCount);
    for (const BatchItem& item : pool.items) {
        const bool skipped = !item.skipped.empty();
        pool.rows.push_back({item.input, item.output, skipped ? "skipped" : "not run", item.skipped, 0, 0});
        pool.joins.push_back(!skipped && mayJoinGroup(*file, item.input, item.output));
        if (skipped) ++pool.progress.finished;
    }
    pool.joinersFrom.assign(pool.items.size() + 1, 0);
    for (std::size_t k = pool.items.size(); k-- > 0;)
        pool.joinersFrom[k] = pool.joinersFrom[k + 1] + (pool.joins[k] ? 1 : 0);
    if (const std::string e = makeParents(b.outputDir + "/"); !e.empty()) return failure(e);
    catchTerminatingSignals();
    pool.progress.shown = !file->quiet && isatty(2);
    pool.progress.total = int(pool.items.size());
    runPool(pool);
    // Every input ends in one outcome: only a stop leaves files not run.
    if (!pool.stopping && !caughtSignal)
        for (ReportRow& row : pool.rows)
            if (row.status == "not run") {
                row.status = "failed", row.message = "velmor's batch never started it";
                ++pool.progress.failed;
            }
    if (pool.progress.drawn) drawBatchProgress(pool.progress, {}, true), std::fputs("\n", stderr);
    std::fputs(summaryText(pool, std::chrono::duration<double>(Clock::now() -
                                                                pool.progress.started).count())
                   .c_str(),
               stderr);
    // A report that could not be written is a failure of the batch's own.
    bool reportFailed = false;
    if (!b.report.empty())
        if (const std::string e = writeReport(b.report, pool.rows); !e.empty())
            reportFailed = true, failure(e);
    if (caughtSignal) return 128 + caughtSignal;
    return pool.progress.failed > 0 || reportFailed ? 1 : 0;
}
