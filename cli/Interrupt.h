#pragma once

#include <functional>
#include <memory>

// While it lives, SIGINT, SIGTERM and SIGHUP run `report` with the signal's
// number on a thread of its own, and then end the process as the signal's
// default action would, so the shell sees the command killed by it (status
// 128 + n) and a script that runs it stops as its user meant. Make it before
// any other thread: the threads started after it leave those signals to it.
// On Windows the console's Ctrl+C, Ctrl+Break and closing run `report` with
// SIGINT, SIGBREAK and SIGTERM, and the process ends with the status the
// console gives an interrupted program.
class InterruptReport {
public:
    explicit InterruptReport(std::function<void(int)> report);
    ~InterruptReport();
    InterruptReport(const InterruptReport&) = delete;
    InterruptReport& operator=(const InterruptReport&) = delete;

private:
    struct State;
    std::unique_ptr<State> state;
};
