#pragma once

#include "printer/PrinterConfiguration.h"
#include "protocol/Decoder.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a send told the printer, taken back from its frames: the header
// lines, ranges and options they carried laid over a configuration that
// holds the rest, and the commands that carry no configuration.
struct SentConfiguration {
    printer::PrinterConfiguration Configuration;
    std::array<bool, ConfigurationModel::LineCount> LineSent{};
    std::array<bool, ConfigurationModel::BandCount> RangeSent{};
    bool OptionsSent = false;
    std::optional<protocol::ClockCommand> Clock;
    std::vector<int> PrintedBands; // "T"
    bool Restarted = false;        // "w"
    bool Reported = false;         // "f"
    bool Erased = false;           // "e"
    // Frames that do not decode (a frame cut off by a failure): their
    // number, 1-based, and why.
    std::vector<std::pair<std::size_t, std::string>> Undecoded;

    bool CarriesConfiguration() const;
};

// Each frame decoded in turn over `base`. Values the wire cannot tell apart
// (a line sent with style 0 may be printed "Enfatizado" or not printed; an
// option bit clear is any item but the second) keep base's when base gives
// the same frame, so that an unchanged file comes back unchanged.
SentConfiguration FromFrames(const std::vector<std::vector<uint8_t>>& frames,
                             printer::PrinterConfiguration base);
