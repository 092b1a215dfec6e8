#pragma once

#include "printer/PrinterConfiguration.h"
#include "protocol/Commands.h"

#include <cstdint>
#include <string>
#include <vector>

// What the printer is told by each command, as data: the frames in the order
// they go out, each with the time that follows it. The window and the
// command-line tool both send these plans, so both put the same bytes on the
// line with the same timing. Plain C++, no Qt, no state.
namespace printer {

struct PlanStep {
    // What the step sends, for progress and error messages: "e", "linha 1"
    // to "linha 4", "17", "18", "R", "T", "w", "f".
    std::string Name;
    std::vector<uint8_t> Frame;
    // After the frame: first a pause during which the sender stays busy (the
    // window handles no events), then the wait of the step timer before the
    // next step. Only "Programar" has a step timer.
    int PauseMs = 0;
    int IntervalMs = 0;

    bool operator==(const PlanStep&) const = default;
};

using Plan = std::vector<PlanStep>;

// "Programar" for band (1 to 4): "e", 250 ms, then the band's four header
// lines and the configuration frames 17 and 18, each 500 ms after the end of
// the step before, and the end 500 ms after frame 18.
Plan ProgramPlan(const PrinterConfiguration& config, int band);
// "Config": frame 17, 200 ms, frame 18.
Plan ConfigPlan(const PrinterConfiguration& config);
// "Relógio": one clock frame from one reading of the clock.
Plan ClockPlan(const protocol::ClockFields& now);
// "Imprimir": a ticket of band (1 to 4).
Plan PrintPlan(int band);
// "Re Iniciar".
Plan RestartPlan();
// "Log": the printer's programming report.
Plan ReportPlan();

// Header line `line` (1 to 4) of `band` as "Programar" sends it: identifier
// (band - 1) * 4 + line; style code, or 0 for a line that is not printed;
// the text through the accent conversion.
protocol::LongFrame HeaderLineFrame(const ConfigurationModel& model, int band, int line);
// Frame 17 (bands 1 and 2) or 18 (bands 3 and 4).
protocol::LongFrame ConfigurationFrame(const PrinterConfiguration& config,
                                       protocol::ConfigFrameId id);

// Milliseconds from the start of the plan at which each step's frame begins,
// when writing takes no time; one more entry for the end of the plan.
std::vector<int> StepStartTimes(const Plan& plan);

} // namespace printer
