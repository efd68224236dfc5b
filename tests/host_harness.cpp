// The tests' side of the plug-in host.
#include "host_harness.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <thread>
#endif

PluginLibrary& pluginLibrary() {
    static PluginLibrary library;
    static const bool opened = library.open();
    (void)opened;
    return library;
}

#if defined(_WIN32)
namespace {
DWORD WINAPI runJob(void* job) {
    (*static_cast<const std::function<void()>*>(job))();
    return 0;
}
} // namespace

// The toolchain's thread model has no std::thread: the system's threads.
void runOnThreads(const std::vector<std::function<void()>>& jobs) {
    std::vector<HANDLE> threads;
    for (const auto& job : jobs)
        threads.push_back(CreateThread(nullptr, 0, runJob, const_cast<std::function<void()>*>(&job), 0, nullptr));
    for (HANDLE t : threads) {
        if (t == nullptr) std::abort();
        WaitForSingleObject(t, INFINITE);
        CloseHandle(t);
    }
}
#else
void runOnThreads(const std::vector<std::function<void()>>& jobs) {
    std::vector<std::thread> threads;
    for (const auto& job : jobs) threads.emplace_back(job);
    for (auto& t : threads) t.join();
}
#endif
