// The script line parser: the name "Config(", optionally after an object
// path ending in '.', then five whole numbers separated by commas, ")", an
// optional ';'; blanks around every token. Numbers outside 32 bits, decimals,
// missing or extra arguments and any other text refuse the whole line.
#include "config_line.h"

#include <cctype>
#include <charconv>

bool parseWholeNumber(const std::string& text, std::int32_t& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    if (first == last || *first == '+') return false;
    const auto r = std::from_chars(first, last, value);
    return r.ec == std::errc() && r.ptr == last;
}

static void skipBlanks(const std::string& s, std::size_t& i) {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
}

bool parseConfigLine(const std::string& line, ScriptNumbers& values) {
    const std::string name = "Config(";
    const std::size_t at = line.find(name);
    if (at == std::string::npos) return false;
    // Before the name: nothing but blanks, or an object path ending in '.'.
    std::size_t i = 0;
    skipBlanks(line, i);
    if (i != at && line[at - 1] != '.') return false;
    for (std::size_t j = i; j < at; ++j)
        if (std::isspace(static_cast<unsigned char>(line[j]))) return false;
    i = at + name.size();
    std::int32_t v[5];
    for (int k = 0; k < 5; ++k) {
        skipBlanks(line, i);
        std::size_t end = i;
        if (end < line.size() && (line[end] == '-' || line[end] == '+')) ++end;
        while (end < line.size() && std::isdigit(static_cast<unsigned char>(line[end]))) ++end;
        if (!parseWholeNumber(line.substr(i, end - i), v[k])) return false;
        i = end;
        skipBlanks(line, i);
        if (i >= line.size() || line[i] != (k < 4 ? ',' : ')')) return false;
        ++i;
    }
    skipBlanks(line, i);
    if (i < line.size() && line[i] == ';') ++i;
    skipBlanks(line, i);
    if (i != line.size()) return false;
    values = {{v[0], v[1], v[2], v[3], v[4]}};
    return true;
}
