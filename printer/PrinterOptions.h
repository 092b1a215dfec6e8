#pragma once

#include "protocol/Commands.h"

#include <array>
#include <cstdint>
#include <string_view>

// The printer's global options as plain data. Each list option holds the
// position of the item chosen in its list in the window (-1: no item
// chosen), each flag the state of its check box. A settings file may hold a
// position beyond its list; it is kept as it is, and sets no option bit.
// Plain C++, no Qt, no state: any thread may use its own values.
namespace printer {

// "Zerar Senha:" (ComboBox8): when the ticket number goes back to its start.
enum class ResetPolicy : int32_t { None = -1, PowerOn = 0, Midnight = 1 };
// "Recarregar Senha:" (ComboBox10): when the start value is reloaded.
enum class ReloadPolicy : int32_t { None = -1, Midnight = 0, BandEnd = 1 };
// "Impressora:" (ComboBox11): printer address number 1 or 2, or the empty
// third item.
enum class PrinterModel : int32_t { None = -1, Address1 = 0, Address2 = 1, Empty = 2 };
// "Protocolo:" (ComboBox12): the frame format the printer expects.
enum class ProtocolFormat : int32_t { None = -1, Vinculo = 0, EightBytes = 1 };

struct PrinterOptions {
    bool PrintDate = true;   // CheckBox5
    bool PrintTime = true;   // CheckBox7
    bool PrintFooter = true; // CheckBox4
    ResetPolicy ResetAt = ResetPolicy::PowerOn;
    ReloadPolicy ReloadAt = ReloadPolicy::Midnight;
    PrinterModel Printer = PrinterModel::Address1;
    ProtocolFormat Protocol = ProtocolFormat::Vinculo;
    int16_t BandCount = 4; // Up1, "Número de Bandas:" (1 to 4 in the window)

    bool operator==(const PrinterOptions&) const = default;

    // The seven conditions of the option byte; a list sets its bit only when
    // its second item is chosen.
    protocol::OptionConditions Conditions() const;
    uint8_t OptionBits() const { return protocol::OptionBits(Conditions()); }
};

// The options the window gives its lists at the first band selection; the
// three check boxes and the band count are as at start.
PrinterOptions FirstSelectionOptions();

// The items of each list in window order, as the operator reads them (UTF-8).
inline constexpr std::array<std::string_view, 2> ResetItems{"Ligar", "0:00 Hs"};
inline constexpr std::array<std::string_view, 2> ReloadItems{"      0:00 Hs", "Final Banda"};
inline constexpr std::array<std::string_view, 3> PrinterItems{"Bematech", "Mecaf", ""};
inline constexpr std::array<std::string_view, 2> ProtocolItems{"Vinculo", "8 bytes"};
// The styles of a header line, by style code.
inline constexpr std::array<std::string_view, 4> StyleItems{"Enfatizado", "Normal", "Expandido",
                                                            "Dupla Altura"};

// The list position as an int, for the window's lists and the settings file.
template <typename Enum> constexpr int32_t Position(Enum value) {
    return static_cast<int32_t>(value);
}

} // namespace printer
