// Lists of names (codecs, extensions, pixel formats) and the one question
// asked of them: whether a name is in the list.
#pragma once

#include <set>
#include <string>

inline bool has(const std::set<std::string>& s, const std::string& v) {
    return s.count(v) != 0;
}
