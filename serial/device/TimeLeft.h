#pragma once
// What is left of a time limit, in the milliseconds poll and the socket calls
// take.

#include <chrono>

namespace serial::device {

// Milliseconds from now until `deadline`; 0 once it has passed.
inline int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace serial::device
