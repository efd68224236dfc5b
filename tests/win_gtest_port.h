// GoogleTest's thread-start notification for the cross build, included
// ahead of every GoogleTest source and user. The toolchain's win32 thread
// model has no std::mutex or std::condition_variable, which GoogleTest's own
// Notification needs; GoogleTest lets a port supply the class instead. Only
// GoogleTest's own thread helpers use it, and the tests start no threads.
#pragma once

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { notified_.store(true, std::memory_order_release); }
    void WaitForNotification() {
        while (!notified_.load(std::memory_order_acquire)) {
        }
    }

private:
    std::atomic<bool> notified_{false};
};

} // namespace internal
} // namespace testing
