// GoogleTest's customisation point, found before GoogleTest's own (empty)
// one when it is built for Windows with mingw-w64.
//
// GCC's win32 thread model has no std::mutex or std::condition_variable,
// which GoogleTest's default Notification uses; GoogleTest's Windows mutexes
// do not need them. Notification only serves GoogleTest's own threading
// tests, which are not built; this one waits by polling an atomic flag.
#pragma once

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : notified_(false) {}
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { notified_.store(true); }
    void WaitForNotification() {
        while (!notified_.load()) {
        }
    }

private:
    std::atomic<bool> notified_;
};

}  // namespace internal
}  // namespace testing
