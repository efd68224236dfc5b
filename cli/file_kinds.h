// What a file's name says: its extension and the format velmor writes for
// it, pictures and numbered sequences of pictures.
#pragma once

#include <string>
#include <vector>

// Extensions velmor knows a format for (lower case, no dot).
bool isKnownExtension(const std::string& ext);
std::string extensionOf(const std::string& path);
bool isImageExtension(const std::string& ext);
// What ffmpeg and ffprobe need before a picture's name with a '%' in it, so
// that they open that one file rather than a numbered sequence: nothing
// for other names.
std::vector<std::string> literalPictureArgs(const std::string& name);
// A picture name with a frame number field (f%03d.png, scan%d.tif): when no
// file of that very name exists, it names a numbered sequence, as ffmpeg
// reads it.
bool isPictureSequence(const std::string& name);
// What ffmpeg and ffprobe need before the input's name: a numbered
// sequence's format, or what a literal picture name needs.
std::vector<std::string> inputFormatArgs(const std::string& name, bool sequence);
