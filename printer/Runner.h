#pragma once

#include "printer/Plan.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Sends a plan on the caller's thread: every frame byte by byte, in order,
// sleeping each step's pause and interval after its frame. It stops at the
// first byte that cannot be written, so nothing of the plan follows a failed
// byte.
namespace printer {

// Takes one byte for the line. Throws (any std::exception) when the byte
// cannot be written; the message says why.
using ByteSink = std::function<void(uint8_t byte)>;
// Sleeps the given milliseconds. Tests and benchmarks may record instead.
using Sleeper = std::function<void(int ms)>;
// Told before each step is sent, with its index and the plan.
using StepObserver = std::function<void(std::size_t step, const Plan& plan)>;

struct RunResult {
    bool Done = true;           // every step was sent
    std::size_t FailedStep = 0; // the step whose byte failed, when not Done
    std::string Error;          // the sink's message, when not Done

    explicit operator bool() const { return Done; }
};

// The real clock's sleep, on the calling thread.
void SleepMs(int ms);

RunResult Run(const Plan& plan, const ByteSink& sink, const Sleeper& sleep = SleepMs,
              const StepObserver& beforeStep = {});

} // namespace printer
