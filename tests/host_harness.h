// The tests' side of the plug-in host: the process's plug-in, and threads.
#pragma once

#include <functional>
#include <vector>

#include "plugin_host.h"

// The process's plug-in library (on Windows the file beside the test
// program), opened on first use; check `error` when the entry points are null.
PluginLibrary& pluginLibrary();

// Runs each job on a thread of its own, all at once, and waits for them all.
void runOnThreads(const std::vector<std::function<void()>>& jobs);
