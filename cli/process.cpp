// Starting and finishing child processes for velmor; see process.h.
#include "process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sizes.h"

extern char** environ;

namespace {

int temporaryFile() {
    std::string path = temporaryFolder() + "/velmor-err-XXXXXX";
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd >= 0) unlink(name.data());
    return fd;
}

std::string allTextOf(int fd) {
    if (fd < 0) return {};
    std::string text;
    char buffer[4096];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > 65536) text.erase(0, text.size() - 65536);
    }
    return text;
}

std::string lastLineOf(int fd) {
    std::string text = allTextOf(fd);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const std::size_t cut = text.find_last_of("\r\n");
    return cut == std::string::npos ? text : text.substr(cut + 1);
}

} // namespace

std::string errorTextOf(const ChildProcess& child) {
    return allTextOf(child.errorFile);
}

ChildProcess startJob(const std::vector<std::string>& args,
                      const std::vector<std::string>& environment, std::string& error,
                      int input, int output) {
    ChildProcess child;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return child;
    }
    child.errorFile = temporaryFile();
    // Everything the child needs, made before fork: after it only
    // async-signal-safe calls are allowed.
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const auto& add : environment)
            if (entry.compare(0, add.find('=') + 1, add, 0, add.find('=') + 1) == 0)
                replaced = true;
        if (!replaced) envStrings.push_back(entry);
    }
    envStrings.insert(envStrings.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const pid_t parent = getpid();

    const pid_t pid = fork();
    if (pid < 0) {
        error = std::string("cannot start ffmpeg: ") + std::strerror(errno);
        close(fds[0]);
        close(fds[1]);
        if (child.errorFile >= 0) close(child.errorFile);
        return ChildProcess{};
    }
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127); // velmor is already gone
        // The signals velmor catches come back to their defaults here.
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) signal(s, SIG_DFL);
        dup2(fds[1], 3); // dup2 clears close-on-exec on the copy
        if (child.errorFile >= 0) dup2(child.errorFile, 2);
        if (output >= 0) dup2(output, 1);
        const int null = input >= 0 ? input : open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (null >= 0) dup2(null, 0);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(fds[1]);
    child.pid = pid;
    child.pipe = fds[0];
    return child;
}

ChildProcess startChild(const std::vector<std::string>& args, PipeEnd end, std::string& error) {
    ChildProcess child;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return child;
    }
    fcntl(fds[0], F_SETPIPE_SZ, kPipeBytes);
    const int childEnd = end == PipeEnd::ReadOutput ? fds[1] : fds[0];
    const int ourEnd = end == PipeEnd::ReadOutput ? fds[0] : fds[1];
    child.errorFile = temporaryFile();

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, childEnd, end == PipeEnd::ReadOutput ? 1 : 0);
    if (end == PipeEnd::ReadOutput)
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (child.errorFile >= 0) posix_spawn_file_actions_adddup2(&actions, child.errorFile, 2);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = posix_spawnp(&child.pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(childEnd);
    if (rc != 0) {
        error = "cannot start " + args[0] + ": " + std::strerror(rc);
        close(ourEnd);
        if (child.errorFile >= 0) close(child.errorFile);
        return ChildProcess{};
    }
    child.pipe = ourEnd;
    return child;
}

int waitForChild(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

int finishChild(ChildProcess& child, std::string& lastError) {
    if (child.pipe >= 0) close(child.pipe);
    child.pipe = -1;
    const int status = child.pid > 0 ? waitForChild(child.pid) : 0;
    child.pid = -1;
    lastError = lastLineOf(child.errorFile);
    if (child.errorFile >= 0) close(child.errorFile);
    child.errorFile = -1;
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

int runCapture(const std::vector<std::string>& args, std::string& output, std::string& lastError) {
    ChildProcess child = startChild(args, PipeEnd::ReadOutput, lastError);
    if (child.pid < 0) return 127;
    char buffer[4096];
    output.clear();
    for (ssize_t n; (n = read(child.pipe, buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        output.append(buffer, static_cast<std::size_t>(n));
    }
    return finishChild(child, lastError);
}

bool programExists(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t colon = dirs.find(':', start);
        if (colon == std::string::npos) colon = dirs.size();
        const std::string dir = dirs.substr(start, colon - start);
        const std::string full = (dir.empty() ? "." : dir) + "/" + name;
        if (access(full.c_str(), X_OK) == 0) return true;
        start = colon + 1;
    }
    return false;
}

std::size_t readFully(int fd, void* buffer, std::size_t size) {
    auto* p = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd, p + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool writeFully(int fd, const void* buffer, std::size_t size) {
    const auto* p = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, p + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string temporaryFolder() {
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}
