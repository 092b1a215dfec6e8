#pragma once

#include "model/ConfigurationModel.h"
#include "printer/PrinterOptions.h"

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

// How qrv lays out a configuration for a person, band by band and then the
// options, as the window names each value: "qrv show" for a file, "qrv
// history show" for what a send told the printer.

// The list item at a stored position, as the window names it.
template <std::size_t N>
std::string ItemName(int32_t position, const std::array<std::string_view, N>& items) {
    if (position == -1)
        return "(nenhum)";
    if (position < 0 || position >= static_cast<int32_t>(N))
        return std::to_string(position) + " (fora da lista)";
    if (items[static_cast<std::size_t>(position)].empty())
        return "(item vazio)";
    return std::string(items[static_cast<std::size_t>(position)]);
}

// "Banda 2   Inicio Banda: 1   Final Banda: 999".
void ShowBandHeading(std::ostream& out, const ConfigurationModel& model, int band);
// "  Linha 1  "text"   Normal   impressa".
void ShowBandLine(std::ostream& out, const ConfigurationModel& model, int band, int line);
// The heading and the four lines of a band, after a blank line.
void ShowBand(std::ostream& out, const ConfigurationModel& model, int band);
// "Zerar Senha: ..." to "Rodapé: ...", one a line.
void ShowOptions(std::ostream& out, const printer::PrinterOptions& options);
