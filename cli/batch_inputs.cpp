// Expanding a batch's inputs. A file given names itself (its output takes
// its name); a folder given with --recursive names the files below it that
// velmor takes, each keeping its path below the folder. The output folder
// is left out where it lies inside an input folder, so that a second run
// does not take the first run's outputs for inputs.
#include "batch_inputs.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "file_kinds.h"

namespace {

std::string baseName(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const std::size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

struct Walk {
    dev_t skipDev = 0;
    ino_t skipIno = 0; // the output folder
    std::string error;
};

// Adds the files below `dir` (their paths below the argument as `below`).
void walkFolder(const std::string& dir, const std::string& below, Walk& w,
                std::vector<BatchItem>& items) {
    DIR* d = opendir(dir.c_str());
    if (!d) {
        w.error = "cannot read the folder " + dir + ": " + std::strerror(errno);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* e = readdir(d))
        if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = dir + "/" + name, rel = below.empty() ? name : below + "/" + name;
        struct stat st {};
        if (stat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode) && !(st.st_dev == w.skipDev && st.st_ino == w.skipIno))
            walkFolder(path, rel, w, items);
        else if (S_ISREG(st.st_mode) && takenFromFolder(name))
            items.push_back({path, rel, ""});
        if (!w.error.empty()) return;
    }
}

} // namespace

std::string outputRelative(const std::string& relative, const std::string& format) {
    if (format.empty()) return relative;
    const std::size_t slash = relative.find_last_of('/');
    const std::size_t dot = relative.find_last_of('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExt ? relative.substr(0, dot) : relative) + "." + format;
}

bool takenFromFolder(const std::string& name) {
    return !name.empty() && name[0] != '.' && isKnownExtension(extensionOf(name));
}

bool expandInputs(const BatchOptions& b, std::vector<BatchItem>& items, std::string& error) {
    items.clear();
    Walk walk;
    struct stat out {};
    if (stat(b.outputDir.c_str(), &out) == 0) walk.skipDev = out.st_dev, walk.skipIno = out.st_ino;
    for (const std::string& input : b.inputs) {
        if (input == "-") {
            error = "standard input cannot be one of many inputs; convert it alone";
            return false;
        }
        struct stat st {};
        const bool isDir = stat(input.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        if (isDir && !b.recursive) {
            error = input + " is a folder; give --recursive to convert the files below it";
            return false;
        }
        if (isDir) {
            std::string root = input;
            while (root.size() > 1 && root.back() == '/') root.pop_back();
            walkFolder(root, "", walk, items);
            if (!walk.error.empty()) return error = walk.error, false;
        } else {
            items.push_back({input, baseName(input), ""}); // file mode says what is wrong with it
        }
    }
    std::map<std::string, std::string> taken; // output -> input
    for (BatchItem& item : items) {
        item.output = b.outputDir + (b.outputDir == "/" ? "" : "/") +
                      outputRelative(item.relative, b.format);
        const auto [at, fresh] = taken.emplace(item.output, item.input);
        if (!fresh) {
            error = "both " + at->second + " and " + item.input + " would be written to " +
                    item.output + "; convert them in separate batches or folders";
            return false;
        }
    }
    return true;
}
