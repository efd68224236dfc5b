// Reading a finished output back before it takes the output's name: ffmpeg
// may end with status 0 and a file that stops short (a write that failed
// quietly), and such a file must never replace the user's.
#pragma once

#include <string>

// What keeps the finished file `name` from being an output: "" when it
// opens, every packet reads until the end of the file, and a video packet
// is among them; a single still picture (`picture`) must also decode.
// Otherwise the fault in velmor's words, to follow the file's name ("does
// not read to its end (File ended prematurely)"). Prints nothing.
std::string unreadableOutput(const std::string& name, bool picture);
