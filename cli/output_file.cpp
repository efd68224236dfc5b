// Naming, checking, replacing and finishing the output file.
#include "output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "file_kinds.h"
#include "messages.h"

namespace {

// Asks on the terminal whether to replace `output`.
bool askToReplace(const std::string& output) {
    std::fprintf(stderr, "velmor: %s exists. Replace it? [y/N] ", output.c_str());
    std::fflush(stderr);
    char answer[64] = {};
    if (!std::fgets(answer, sizeof answer, stdin)) return false;
    return answer[0] == 'y' || answer[0] == 'Y';
}

// The extensions velmor writes, as the refusal of another lists them.
std::string writtenList() {
    std::string list;
    for (const std::string& e : extensionsOfKind(true)) list += " ." + e;
    return list;
}

} // namespace

std::string temporaryNameFor(const std::string& output, const std::string& tag) {
    const std::size_t slash = output.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "" : output.substr(0, slash + 1);
    return dir + ".velmor-" + std::to_string(getpid()) + (tag.empty() ? "" : "-" + tag) + "." +
           extensionOf(output);
}

std::string pathProblem(const Options& o, const std::string& source, bool sequence,
                        OutputTarget& t, int& code) {
    code = 1;
    t.toStdout = o.output == "-";
    if (t.toStdout && isatty(1)) return "standard output is a terminal; send it to a file or a pipe";
    struct stat in {}, target {};
    if (sequence)
        in.st_mode = S_IFREG;
    else if (stat(source.c_str(), &in) != 0)
        return "cannot read " + o.input + ": " + std::strerror(errno);
    if (!S_ISREG(in.st_mode) || (!sequence && access(source.c_str(), R_OK) != 0))
        return "cannot read " + o.input + ": " +
               (S_ISDIR(in.st_mode) ? std::string("it is a folder")
                : S_ISREG(in.st_mode) ? std::string(std::strerror(EACCES))
                                      : std::string("it is not a regular file"));
    t.exists = !t.toStdout && lstat(o.output.c_str(), &t.existing) == 0;
    if (t.exists && !sequence && stat(o.output.c_str(), &target) == 0 && target.st_dev == in.st_dev &&
        target.st_ino == in.st_ino)
        return "the output " + o.output + " is the input; choose another name";
    if (t.exists && !S_ISREG(t.existing.st_mode))
        return o.output + " exists and is not a regular file (a folder, device, pipe "
                          "or link); velmor replaces only regular files (for standard "
                          "output, give -o -)";
    // Standard output gets Matroska, which streams and holds every kind of stream.
    t.ext = t.toStdout ? "mkv" : extensionOf(o.output);
    if (!isKnownExtension(t.ext))
        return code = 2, "the output's extension " +
                             (t.ext.empty() ? "(none)" : "'." + t.ext + "'") +
                             " names no format velmor writes; use one of" + writtenList();
    if (t.exists && o.overwrite == Overwrite::Never) return o.output + " exists; not replaced (-n)";
    return "";
}

int checkPaths(const Options& o, const std::string& source, bool sequence, OutputTarget& t) {
    int code = 1;
    const std::string problem = pathProblem(o, source, sequence, t, code);
    if (!problem.empty()) return failure(problem, code);
    if (!t.exists || o.overwrite == Overwrite::Always) return 0;
    if (!isatty(0) || !isatty(2)) return failure(o.output + " exists; give -y to replace it");
    return askToReplace(o.output) ? 0 : failure("not replaced: " + o.output);
}

bool claimName(const std::string& name) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

int claimTemporary(const Options& o, OutputTarget& t) {
    if (t.toStdout) return 0;
    t.temporary = temporaryNameFor(o.output);
    if (!claimName(t.temporary)) return failure("cannot write " + o.output + ": " + std::strerror(errno));
    return 0;
}

std::string placeOutput(const std::string& output, const OutputTarget& t) {
    if (t.exists) {
        if (chown(t.temporary.c_str(), t.existing.st_uid, t.existing.st_gid) != 0) {
            // not ours to give away: the replacement is the user's own
        }
        chmod(t.temporary.c_str(), t.existing.st_mode & 07777);
    }
    const unsigned flags = t.exists ? 0 : RENAME_NOREPLACE;
    if (renameat2(AT_FDCWD, t.temporary.c_str(), AT_FDCWD, output.c_str(), flags) == 0) return "";
    const int e = errno;
    std::remove(t.temporary.c_str());
    return "cannot write " + output + ": " +
           (e == EEXIST ? std::string("it appeared while converting; not replaced")
                        : std::string(std::strerror(e)));
}

int finishOutput(const Options& o, const OutputTarget& t) {
    const std::string problem = placeOutput(o.output, t);
    return problem.empty() ? 0 : failure(problem);
}
