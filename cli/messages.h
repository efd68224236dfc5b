// What velmor says on standard error: a failure, which also gives the exit
// status, and a warning.
#pragma once

#include <string>

// "velmor: MESSAGE"; returns `code`.
int failure(const std::string& message, int code = 1);
// "velmor: warning: MESSAGE".
void warn(const std::string& message);
