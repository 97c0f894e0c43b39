// Waiting for a state instead of waiting a while: a test polls what it expects to see until it holds
// or the deadline passes, so a slow machine costs time, never a false failure.
#pragma once

#include <chrono>
#include <thread>

namespace e2e {

// True as soon as done() holds; false when it still does not hold at the deadline.
template <class Predicate>
bool Eventually(Predicate done, std::chrono::milliseconds deadline,
                std::chrono::milliseconds every = std::chrono::milliseconds(20)) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(every);
    }
}

}  // namespace e2e
