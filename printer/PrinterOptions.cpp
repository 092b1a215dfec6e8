#include "printer/PrinterOptions.h"

namespace printer {

protocol::OptionConditions PrinterOptions::Conditions() const {
    return {
        .PrintDate = PrintDate,
        .PrintTime = PrintTime,
        .PrintFooter = PrintFooter,
        .OldProtocol = Protocol == ProtocolFormat::EightBytes,
        .ResetAtMidnight = ResetAt == ResetPolicy::Midnight,
        .ReloadAtBandEnd = ReloadAt == ReloadPolicy::BandEnd,
        .PrinterMecaf = Printer == PrinterModel::Address2,
    };
}

PrinterOptions FirstSelectionOptions() {
    PrinterOptions options;
    options.ResetAt = ResetPolicy::PowerOn;
    options.ReloadAt = ReloadPolicy::BandEnd;
    options.Printer = PrinterModel::Address1;
    options.Protocol = ProtocolFormat::Vinculo;
    return options;
}

} // namespace printer
