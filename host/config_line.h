// A saved script's settings line, "Config(100, 10, 100, 0, 0)", as text:
// the command line's --config and the frei0r plug-in's script parameter read
// it with this one parser, so a line means the same wherever it is pasted.
#pragma once

#include <cstdint>
#include <string>

#include "setting_table.h"

// "Config(100, 10, 100, 0, 0)" as a saved script holds it, with or without
// the object path before it and the semicolon after it. Any five 32-bit
// integers; nothing else is accepted.
bool parseConfigLine(const std::string& line, ScriptNumbers& values);

// A whole 32-bit integer, nothing before or after it.
bool parseWholeNumber(const std::string& text, std::int32_t& value);
