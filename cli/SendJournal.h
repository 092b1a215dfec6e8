#pragma once

#include "cli/PortName.h"
#include "journal/Record.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

// What one port's send leaves in the journal: the frames as they reach the
// line, each with its time from the command's start, and the outcome once
// the port is done or the command is cut off. The port's thread feeds it;
// an interrupt may end it from another thread, so every call is locked and
// the record is appended once.
class SendRecord {
public:
    using Clock = std::chrono::steady_clock;

    // What every port of one command shares.
    struct Command {
        std::string Name; // "program"...
        std::string Started = {};
        Clock::time_point Start = {};
        journal::Source Configuration = {};
    };

    // A port of `command`; a virtual printer's port records nothing.
    SendRecord(const Command& command, const PortName& port);

    // Looks up what the port leads to, on the port's own thread, as the
    // system's device list takes a while.
    void Trace();
    // The bands the port's plans are for, and their number of steps.
    void Planned(const std::vector<int>& bands, std::size_t steps);
    // Before step `step` (0-based, over the whole command) is sent.
    void Step(std::size_t step);
    // A byte of that step's frame has gone to the line.
    void Sent(uint8_t byte);

    // Appends the record with its outcome. Nothing, or why the journal
    // could not be written. Later calls do nothing.
    std::optional<std::string> Completed();
    std::optional<std::string> Failed(const std::string& error);
    std::optional<std::string> Interrupted();

private:
    std::optional<std::string> finish(journal::Outcome outcome);

    std::mutex lock_;
    journal::Record record_;
    Clock::time_point start_;
    std::vector<std::vector<uint8_t>> bytes_; // of each frame begun
    std::size_t step_ = 0;                    // 1-based step under way; 0 before the first
    std::size_t steps_ = 0;
    bool virtual_ = false; // set once, before any thread
    bool done_ = false;
};

// The command's shared part: its name, now, and the settings file read
// (an absolute path and the SHA-256 of its bytes), if any.
SendRecord::Command JournalCommand(const std::string& name, const std::string& file,
                                   const std::string& fileSha256);

// The one warning of a command whose records could not be written.
void SayJournalFailure(const std::string& reason);
