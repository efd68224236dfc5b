// What a file's name says: its extension and the format velmor writes for
// it, pictures and numbered sequences of pictures.
#pragma once

#include <string>
#include <vector>

// Extensions (lower case, no dot; extensionOf lowers them): those velmor
// writes, those it reads (every written one and more), pictures among them.
bool isKnownExtension(const std::string& ext);
bool isReadExtension(const std::string& ext);
bool isImageExtension(const std::string& ext);
std::string extensionOf(const std::string& path);
// The extension a batch writes an input of extension `ext` as: its own
// where velmor writes it, otherwise .png for a picture and .mkv (which
// holds every kind of stream) for a video.
std::string writtenAs(const std::string& ext);
// The table's extensions: only those written, or every one read.
std::vector<std::string> extensionsOfKind(bool written);
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
