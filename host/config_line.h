// A saved script's settings line, "Config(100, 10, 100, 0, 0)", as text:
// the command line's --config and the frei0r plug-in's script parameter read
// it with this one parser, so a line means the same wherever it is pasted.
#pragma once

#include <cstdint>
#include <string>

// The five values of a "Config(...)" call, in its order.
struct ConfigValues {
    std::int32_t gainPercent = 100;
    std::int32_t threshold = 10;
    std::int32_t gammaHundredths = 100;
    std::int32_t sCurve = 0;
    std::int32_t bypassTitles = 0;
};

// "Config(100, 10, 100, 0, 0)" as a saved script holds it, with or without
// the object path before it and the semicolon after it. Any five 32-bit
// integers; nothing else is accepted.
bool parseConfigLine(const std::string& line, ConfigValues& values);

// A whole 32-bit integer, nothing before or after it.
bool parseWholeNumber(const std::string& text, std::int32_t& value);
