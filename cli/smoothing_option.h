// --smoothing N: the frames over which the clip points follow a running
// value (filter/smoothing.h). Not part of a script line.
#pragma once

#include <string>

struct Options;
struct UserSettings;

// The value checked against the setting's range and stored; "" or the mistake.
std::string applySmoothingOption(const std::string& value, UserSettings& s);

// Warnings for modes that ignore the option.
void warnAboutSmoothing(Options& o);

// The window the options give (0 when not given).
int smoothingWindowOf(const Options& o);
