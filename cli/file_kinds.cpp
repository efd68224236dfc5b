// What a file's name says: its extension, whether velmor reads it and
// writes it, whether it is a picture, and whether a picture's name is a
// numbered sequence (f%03d.png) or one file with a '%' in its name. The
// one table of extensions below answers file mode, the batch's inputs and
// its folder walks alike.
#include "file_kinds.h"

#include <cctype>

#include "names.h"

namespace {

struct FileKind {
    const char* ext;
    bool picture;
    bool written; // velmor writes it; the others it only reads
};

// Every extension velmor takes, in any letter case. Those it only reads
// are formats ffmpeg reads but velmor has no encoders planned for (camera
// and broadcast containers, scientific and cinema pictures).
const FileKind kKinds[] = {
    {"mp4", false, true},   {"m4v", false, true},   {"mov", false, true},
    {"mkv", false, true},   {"webm", false, true},  {"avi", false, true},
    {"nut", false, true},   {"ts", false, true},    {"m2ts", false, true},
    {"mts", false, true},   {"mpg", false, true},   {"mpeg", false, true},
    {"flv", false, true},   {"ogv", false, true},   {"gif", false, true},
    {"png", true, true},    {"jpg", true, true},    {"jpeg", true, true},
    {"bmp", true, true},    {"tif", true, true},    {"tiff", true, true},
    {"webp", true, true},   {"ppm", true, true},    {"tga", true, true},
    {"mxf", false, false},  {"dv", false, false},   {"3gp", false, false},
    {"3g2", false, false},  {"vob", false, false},  {"m2v", false, false},
    {"m2t", false, false},  {"mod", false, false},  {"tod", false, false},
    {"wmv", false, false},  {"asf", false, false},  {"y4m", false, false},
    {"exr", true, false},   {"dpx", true, false},   {"jp2", true, false},
    {"j2k", true, false},   {"pfm", true, false},   {"pgm", true, false},
    {"pnm", true, false},   {"pam", true, false},   {"sgi", true, false},
    {"pcx", true, false},
};

const FileKind* kindOf(const std::string& ext) {
    for (const FileKind& k : kKinds)
        if (ext == k.ext) return &k;
    return nullptr;
}

} // namespace

std::string extensionOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string e = path.substr(dot + 1);
    for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return e;
}

bool isImageExtension(const std::string& e) {
    const FileKind* k = kindOf(e);
    return k && k->picture;
}

bool isReadExtension(const std::string& e) {
    return kindOf(e) != nullptr;
}

bool isKnownExtension(const std::string& e) {
    const FileKind* k = kindOf(e);
    return k && k->written;
}

std::string writtenAs(const std::string& e) {
    const FileKind* k = kindOf(e);
    if (!k || k->written) return e;
    return k->picture ? "png" : "mkv";
}

std::vector<std::string> extensionsOfKind(bool written) {
    std::vector<std::string> list;
    for (const FileKind& k : kKinds)
        if (k.written || !written) list.push_back(k.ext);
    return list;
}

std::vector<std::string> literalPictureArgs(const std::string& name) {
    if (name.find('%') == std::string::npos || !isImageExtension(extensionOf(name))) return {};
    return {"-f", "image2", "-pattern_type", "none"};
}

bool isPictureSequence(const std::string& name) {
    if (!isImageExtension(extensionOf(name))) return false;
    for (std::size_t i = name.find('%'); i != std::string::npos; i = name.find('%', i)) {
        if (i + 1 < name.size() && name[i + 1] == '%') { // a literal '%'
            i += 2;
            continue;
        }
        std::size_t j = i + 1;
        while (j < name.size() && std::isdigit(static_cast<unsigned char>(name[j]))) ++j;
        if (j < name.size() && name[j] == 'd') return true;
        i = j;
    }
    return false;
}

std::vector<std::string> inputFormatArgs(const std::string& name, bool sequence) {
    if (sequence) return {"-f", "image2"};
    return literalPictureArgs(name);
}
