#include "printer/Plan.h"

#include <string_view>

namespace printer {

namespace {

constexpr int OpeningPauseMs = 250;
constexpr int StepIntervalMs = 500;
constexpr int ConfigPauseMs = 200;

template <typename Frame>
PlanStep step(std::string name, const Frame& frame, int pauseMs = 0, int intervalMs = 0) {
    return {std::move(name), {frame.bytes().begin(), frame.bytes().end()}, pauseMs, intervalMs};
}

protocol::TicketRange rangeOf(const ConfigurationModel& model, int band) {
    return {model.BandStart(band), model.BandEnd(band)};
}

} // namespace

protocol::LongFrame HeaderLineFrame(const ConfigurationModel& model, int band, int line) {
    const auto k = static_cast<std::size_t>(ConfigurationModel::LineIndex(band, line));
    const auto style = model.LineEnabled.at(k) ? static_cast<uint8_t>(model.LineStyle.at(k)) : 0;
    std::string text = model.BandLineText.at(k);
    protocol::ConvertAccents(text);
    return protocol::LineFrame(static_cast<uint8_t>(k + 1), style, text);
}

protocol::LongFrame ConfigurationFrame(const PrinterConfiguration& config,
                                       protocol::ConfigFrameId id) {
    const int first = protocol::FirstBandOf(id);
    return protocol::ConfigFrame(id, config.Options.OptionBits(),
                                 static_cast<uint8_t>(config.Options.BandCount),
                                 rangeOf(config.Model, first), rangeOf(config.Model, first + 1));
}

Plan ProgramPlan(const PrinterConfiguration& config, int band) {
    Plan plan{step("e", protocol::E2pFrame(), OpeningPauseMs, StepIntervalMs)};
    for (int line = 1; line <= ConfigurationModel::LinesPerBand; ++line)
        plan.push_back(step("linha " + std::to_string(line),
                            HeaderLineFrame(config.Model, band, line), 0, StepIntervalMs));
    plan.push_back(step("17", ConfigurationFrame(config, protocol::ConfigFrameId::Bands1And2), 0,
                        StepIntervalMs));
    plan.push_back(step("18", ConfigurationFrame(config, protocol::ConfigFrameId::Bands3And4), 0,
                        StepIntervalMs));
    return plan;
}

Plan ConfigPlan(const PrinterConfiguration& config) {
    return {
        step("17", ConfigurationFrame(config, protocol::ConfigFrameId::Bands1And2), ConfigPauseMs),
        step("18", ConfigurationFrame(config, protocol::ConfigFrameId::Bands3And4))};
}

Plan ClockPlan(const protocol::ClockFields& now) {
    return {step("R", protocol::ClockFrame(now))};
}

Plan PrintPlan(int band) {
    return {step("T", protocol::PrintBandFrame(band))};
}

Plan RestartPlan() {
    return {step("w", protocol::RestartFrame())};
}

Plan ReportPlan() {
    return {step("f", protocol::ReportFrame())};
}

std::vector<int> StepStartTimes(const Plan& plan) {
    std::vector<int> times;
    int now = 0;
    for (const PlanStep& s : plan) {
        times.push_back(now);
        now += s.PauseMs + s.IntervalMs;
    }
    times.push_back(now);
    return times;
}

} // namespace printer
