// One file's conversion: the paths checked, the input probed, the ffmpeg
// job planned and run, the output finished.
#pragma once

#include <string>

#include "options.h"

// Where velmor.so is (a folder), or "" with `looked` listing where it was looked for.
std::string findPluginDirectory(std::string& looked);

// Converts `source` (the input, or standard input as spooled) as the
// options say; messages name the input as the user gave it. 0 or an exit
// status.
int convertFile(const Options& o, const std::string& source);

// Converts the options' input. Standard input ('-'), a named pipe or a
// device such as /dev/stdin cannot be read twice (once to learn what it
// holds, once to convert it), so it is first copied into a temporary file,
// which goes again when the conversion ends, however it ends.
int convert(const Options& o);
