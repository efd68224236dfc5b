// What a file's name says: its extension, whether velmor knows a format
// for it, whether it is a picture, and whether a picture's name is a
// numbered sequence (f%03d.png) or one file with a '%' in its name.
#include "file_kinds.h"

#include <cctype>

#include "names.h"

std::string extensionOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string e = path.substr(dot + 1);
    for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return e;
}

bool isImageExtension(const std::string& e) {
    return has({"png", "jpg", "jpeg", "bmp", "tif", "tiff", "webp", "ppm", "tga"}, e);
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

bool isKnownExtension(const std::string& e) {
    return isImageExtension(e) || has({"mp4", "m4v", "mov", "mkv", "webm", "avi", "nut", "ts",
                                       "m2ts", "mts", "mpg", "mpeg", "flv", "ogv", "gif"},
                                      e);
}
