// Running ffmpeg for a file and reporting on it: its progress report read
// from a pipe of its own, its error lines kept and shown when it fails, a
// signal that stops it, a file that ends before it says it does.
#include "run_ffmpeg.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "deep_route.h"
#include "filter_host.h"
#include "messages.h"
#include "process.h"
#include "progress.h"
#include "signals.h"
#include "sizes.h"
#include "smoothing_option.h"

namespace {

// The errno texts of a failed write as ffmpeg prints them, in velmor's
// words; `alone` where the text by itself tells of a write (a broken pipe
// may be the decoder's, on the deep route, when the encoder stops).
struct WriteReason {
    const char* said;
    const char* reason;
    bool alone;
};
const WriteReason kWriteReasons[] = {
    {"No space left on device", "no space left on the device", true},
    {"Disk quota exceeded", "the disk quota is used up", true},
    {"File too large", "the file grew larger than the file system allows", true},
    {"Input/output error", "the device failed to write it (an input/output error)", true},
    {"Read-only file system", "the file system is read-only", true},
    {"Broken pipe", "the program reading it stopped reading", false},
};

// The errno text that ends ffmpeg's `line` ("...: No space left on
// device"), where it is one of a failed write; nullptr where not.
const WriteReason* writeReasonOf(const std::string& line) {
    const std::size_t end = line.find_last_not_of(" \t") + 1;
    for (const WriteReason& w : kWriteReasons) {
        const std::size_t n = std::strlen(w.said);
        if (end >= n && line.compare(end - n, n, w.said) == 0) return &w;
    }
    return nullptr;
}

// What ffmpeg says when a packet's write, the trailer or the close of its
// output fails (a packet's also in later ffmpeg's words).
const char* const kWriteFailures[] = {"Error writing trailer of", "Error closing file",
                                      "av_interleaved_write_frame()", "Error muxing a packet",
                                      "Error submitting a packet to the muxer"};

// Whether ffmpeg's `line` is about reading one of `inputs` (its name
// first) or decoding it.
bool aboutInput(const std::string& line, const std::vector<std::string>& inputs) {
    if (line.find("decoding") != std::string::npos) return true;
    for (const std::string& in : inputs)
        if (line.rfind(in + ":", 0) == 0) return true;
    return false;
}

// The names ffmpeg reads in `args`: each one after -i.
std::vector<std::string> inputsOf(const std::vector<std::string>& args) {
    std::vector<std::string> inputs;
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "-i") inputs.push_back(args[i + 1]);
    return inputs;
}

// Stops the job's ffmpeg: asked first, made to after two seconds.
int stopChild(ChildProcess& child) {
    kill(child.pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 40; ++i) {
        if (waitpid(child.pid, &status, WNOHANG) == child.pid) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(child.pid, SIGKILL);
    return waitForChild(child.pid);
}

// Reads ffmpeg's progress lines until it ends or a signal comes.
void followProgress(ChildProcess& child, Progress& progress, RunResult& r) {
    std::string pending;
    char buffer[4096];
    while (!caughtSignal) {
        pollfd p{child.pipe, POLLIN, 0};
        const int ready = poll(&p, 1, 200);
        if (ready <= 0) continue; // a timeout, or a signal to look at
        const ssize_t n = read(child.pipe, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (readProgressLine(line, r)) progress.update(r.frames, r.seconds);
        }
    }
    r.interrupted = true;
}

bool failed(int status) {
    return !WIFEXITED(status) || WEXITSTATUS(status) != 0;
}

// The deep route's two pipes, decoder to velmor and velmor to encoder.
bool makeDeepPipes(int fromDecoder[2], int toEncoder[2], std::string& error) {
    if (pipe2(fromDecoder, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    if (pipe2(toEncoder, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        close(fromDecoder[0]), close(fromDecoder[1]);
        return false;
    }
    fcntl(fromDecoder[0], F_SETPIPE_SZ, kPipeBytes);
    fcntl(toEncoder[0], F_SETPIPE_SZ, kPipeBytes);
    return true;
}

// The deep route: the decoding ffmpeg's frames through the core's deep run
// (on a thread of its own) into the encoding ffmpeg, whose progress is
// followed here. Either ffmpeg failing ends the other: a closed pipe.
RunResult runDeepJob(const Options& o, const Job& job, std::string& error) {
    RunResult r;
    int fromDecoder[2], toEncoder[2];
    if (!makeDeepPipes(fromDecoder, toEncoder, error)) return r;
    ChildProcess decoder = startJob(job.decoderArgs, {}, error, -1, fromDecoder[1]);
    close(fromDecoder[1]);
    ChildProcess encoder =
        decoder.pid < 0 ? ChildProcess{} : startJob(job.args, {}, error, toEncoder[0], -1);
    close(toEncoder[0]);
    if (encoder.pid < 0) {
        close(fromDecoder[0]), close(toEncoder[1]);
        if (decoder.pid >= 0) stopChild(decoder);
        return r;
    }
    const FilterSettings settings = settingsFromOptions(o);
    DeepPumpResult pumped;
    std::thread pump([&] {
        pumped = pumpDeepFrames(fromDecoder[0], toEncoder[1], settings,
                                smoothingWindowOf(o), &caughtSignal);
        close(toEncoder[1]); // the encoder's end of input
        close(fromDecoder[0]); // a decoder still writing stops
    });
    Progress progress(o.quiet, job.expectedFrames, job.expectedSeconds);
    followProgress(encoder, progress, r);
    int decoderStatus = 0;
    if (r.interrupted) {
        r.status = stopChild(encoder);
        decoderStatus = stopChild(decoder);
        pump.join();
    } else {
        r.status = waitForChild(encoder.pid);
        pump.join();
        decoderStatus = waitForChild(decoder.pid);
        progress.update(r.frames, r.seconds, true);
    }
    close(encoder.pipe);
    // The decoder's complaint explains the encoder's, never the other way.
    r.writerErrors = errorTextOf(encoder);
    r.errors = errorTextOf(decoder) + r.writerErrors;
    if (!r.interrupted && failed(decoderStatus) && !failed(r.status)) r.status = decoderStatus;
    if (!r.interrupted && pumped.refused) {
        r.refusal = pumped.error;
    } else if (!r.interrupted && !pumped.ok && !failed(decoderStatus) && !failed(r.status)) {
        r.errors += pumped.error + "\n";
        r.status = 1 << 8; // exit status 1
    }
    for (const ChildProcess* c : {&decoder, &encoder})
        if (c->errorFile >= 0) close(c->errorFile);
    if (caughtSignal && progress.shown) std::fputs("\n", stderr);
    return r;
}

// What the run said of writing the output, as velmor's failure: "" when
// it told of no failed write. A run that failed for another reason (its
// exit status says so) is reported as such, with all ffmpeg said.
std::string unwrittenOutput(const Options& o, const Job& job, const RunResult& r,
                            const std::string& temporary, int code) {
    std::string said;
    const std::string why = writeFailure(ffmpegLines(r.writerErrors, temporary, o.output, SIZE_MAX),
                                         inputsOf(job.args), said);
    if (said.empty() || (why.empty() && code != 0)) return "";
    return "cannot write " + (o.output == "-" ? std::string("standard output") : o.output) + ": " +
           (why.empty() ? "ffmpeg could not finish writing it" : why) + " (ffmpeg: " + said + ")";
}

} // namespace

bool readProgressLine(const std::string& line, RunResult& r) {
    if (line.rfind("frame=", 0) == 0) r.frames = std::atol(line.c_str() + 6);
    if (line.rfind("out_time_us=", 0) == 0 && std::atof(line.c_str() + 12) > 0)
        r.seconds = std::atof(line.c_str() + 12) / 1e6;
    return line.rfind("progress=", 0) == 0;
}

std::vector<std::string> ffmpegLines(const std::string& text, const std::string& temporary,
                                     const std::string& output, std::size_t keep) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        for (std::size_t at; !temporary.empty() && (at = line.find(temporary)) != std::string::npos;)
            line.replace(at, temporary.size(), output);
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        if (std::find(lines.begin(), lines.end(), line) == lines.end()) lines.push_back(line);
    }
    if (lines.size() > keep) lines.erase(lines.begin(), lines.end() - keep);
    return lines;
}

std::string writeFailure(const std::vector<std::string>& lines,
                         const std::vector<std::string>& inputs, std::string& line) {
    line.clear();
    for (const std::string& l : lines) {
        const auto* why = writeReasonOf(l);
        bool failed = why && why->alone && !aboutInput(l, inputs);
        for (const char* f : kWriteFailures) failed = failed || l.find(f) != std::string::npos;
        if (!failed) continue;
        line = l;
        return why ? why->reason : "";
    }
    return "";
}

bool ffmpegHasFilter(const std::string& name) {
    std::string list, last;
    if (runCapture({"ffmpeg", "-hide_banner", "-nostdin", "-filters"}, list, last) != 0) return false;
    return list.find(" " + name + " ") != std::string::npos;
}

RunResult runJob(const Options& o, const Job& job, const std::string& pluginDir,
                 std::string& error) {
    if (!job.decoderArgs.empty()) return runDeepJob(o, job, error);
    RunResult r;
    ChildProcess child = startJob(job.args, {"FREI0R_PATH=" + pluginDir}, error);
    if (child.pid < 0) return r;
    Progress progress(o.quiet, job.expectedFrames, job.expectedSeconds);
    followProgress(child, progress, r);
    if (r.interrupted) {
        r.status = stopChild(child);
    } else {
        r.status = waitForChild(child.pid);
        progress.update(r.frames, r.seconds, true);
    }
    close(child.pipe);
    r.errors = r.writerErrors = errorTextOf(child);
    if (child.errorFile >= 0) close(child.errorFile);
    if (caughtSignal && progress.shown) std::fputs("\n", stderr);
    return r;
}

int reportRun(const Options& o, const Job& job, const RunResult& r, const std::string& temporary) {
    const int code = WIFSIGNALED(r.status) ? 128 + WTERMSIG(r.status)
                     : WIFEXITED(r.status) ? WEXITSTATUS(r.status)
                                           : 1;
    if (caughtSignal) {
        failure(std::string("interrupted (") + strsignal(caughtSignal) + "); " + o.output +
                " was not written");
        return 128 + caughtSignal;
    }
    if (!r.refusal.empty()) // what ffmpeg says then only follows from it
        return failure("cannot convert " + o.input + ": " + r.refusal);
    const std::string unwritten = unwrittenOutput(o, job, r, temporary, code);
    if (!unwritten.empty()) return failure(unwritten);
    const std::vector<std::string> lines = ffmpegLines(r.errors, temporary, o.output, 12);
    if (code != 0 || r.frames == 0) {
        for (const auto& l : lines) std::fprintf(stderr, "ffmpeg: %s\n", l.c_str());
        return failure(code != 0 ? "ffmpeg failed converting " + o.input + " into " + o.output +
                                       " (exit status " + std::to_string(code) + ")"
                                 : o.input + " gave no frames");
    }
    for (std::size_t i = 0; i < lines.size() && i < 5; ++i)
        warn("ffmpeg: " + lines[lines.size() - std::min<std::size_t>(5, lines.size()) + i]);
    // A file that ends before it says it does.
    if (job.expectedSeconds > 0 && r.seconds > 0 &&
        r.seconds + std::max(0.5, 0.1 * job.expectedSeconds) < job.expectedSeconds) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "%s ended early: %.2f s (%ld frames) read of the %.2f s (about %ld "
                      "frames) it claims; the output holds what was read",
                      o.input.c_str(), r.seconds, r.frames, job.expectedSeconds,
                      job.expectedFrames);
        warn(text);
    }
    return 0;
}
