#include "cli/ConfigurationLayout.h"

#include "model/Text.h"

namespace {

std::string printsOrNot(bool prints) {
    return prints ? "imprime" : "não imprime";
}

} // namespace

void ShowBandHeading(std::ostream& out, const ConfigurationModel& m, int band) {
    out << "Banda " << band << "   Inicio Banda: " << m.BandStart(band)
        << "   Final Banda: " << m.BandEnd(band) << '\n';
}

void ShowBandLine(std::ostream& out, const ConfigurationModel& m, int band, int line) {
    const auto k = static_cast<std::size_t>(ConfigurationModel::LineIndex(band, line));
    out << "  Linha " << line << "  "
        << Padded("\"" + Printable(Utf8FromCp1252(m.BandLineText[k])) + "\"", 24)
        << Padded(ItemName(m.LineStyle[k], printer::StyleItems), 16)
        << (m.LineEnabled[k] ? "impressa" : "não impressa") << '\n';
}

void ShowBand(std::ostream& out, const ConfigurationModel& m, int band) {
    out << '\n';
    ShowBandHeading(out, m, band);
    for (int line = 1; line <= ConfigurationModel::LinesPerBand; ++line)
        ShowBandLine(out, m, band, line);
}

void ShowOptions(std::ostream& out, const printer::PrinterOptions& o) {
    out << "Zerar Senha: " << ItemName(printer::Position(o.ResetAt), printer::ResetItems)
        << "\nRecarregar Senha: " << ItemName(printer::Position(o.ReloadAt), printer::ReloadItems)
        << "\nImpressora: " << ItemName(printer::Position(o.Printer), printer::PrinterItems)
        << "\nProtocolo: " << ItemName(printer::Position(o.Protocol), printer::ProtocolItems)
        << "\nNúmero de Bandas: " << o.BandCount << "\nData: " << printsOrNot(o.PrintDate)
        << "\nHora: " << printsOrNot(o.PrintTime) << "\nRodapé: " << printsOrNot(o.PrintFooter)
        << '\n';
}
