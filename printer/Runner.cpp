#include "printer/Runner.h"

#include <chrono>
#include <exception>
#include <thread>

namespace printer {

void SleepMs(int ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

RunResult Run(const Plan& plan, const ByteSink& sink, const Sleeper& sleep,
              const StepObserver& beforeStep) {
    for (std::size_t i = 0; i < plan.size(); ++i) {
        if (beforeStep)
            beforeStep(i, plan);
        try {
            for (const uint8_t byte : plan[i].Frame)
                sink(byte);
        } catch (const std::exception& error) {
            return {false, i, error.what()};
        }
        sleep(plan[i].PauseMs + plan[i].IntervalMs);
    }
    return {};
}

} // namespace printer
