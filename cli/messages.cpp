// velmor's own lines on standard error.
#include "messages.h"

#include <cstdio>

int failure(const std::string& message, int code) {
    std::fprintf(stderr, "velmor: %s\n", message.c_str());
    return code;
}

void warn(const std::string& message) {
    std::fprintf(stderr, "velmor: warning: %s\n", message.c_str());
}
