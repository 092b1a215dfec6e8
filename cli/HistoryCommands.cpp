// "history": the journal of sends, newest first; "history show" decodes what
// one send told the printer, "history export" turns it into a settings file
// that sends the same frames again.
#include "cli/Command.h"
#include "cli/Configuration.h"
#include "cli/ConfigurationLayout.h"
#include "cli/SentFrames.h"
#include "model/Text.h"

#include "journal/Journal.h"
#include "journal/System.h"
#include "model/Utf8Path.h"
#include "settings/AtomicFile.h"
#include "settings/SettingsFile.h"

#include <charconv>
#include <filesystem>
#include <iostream>
#include <memory>

namespace {

std::string when(const journal::Record& r) {
    std::string text = r.Started.substr(0, 19);
    if (text.size() > 10)
        text[10] = ' ';
    return text;
}

std::string bandsOf(const journal::Record& r) {
    if (r.Bands.empty())
        return "-";
    std::string text = r.Bands.size() == 1 ? "banda" : "bandas";
    for (const int band : r.Bands)
        text += " " + std::to_string(band);
    return text;
}

std::string outcomeOf(const journal::Outcome& o) {
    const std::string at = std::to_string(o.Step) + " de " + std::to_string(o.Steps);
    switch (o.What) {
    case journal::Outcome::Failed:
        return o.Step == 0 ? "falhou ao abrir" : "falhou no passo " + at;
    case journal::Outcome::Interrupted:
        return o.Step == 0 ? "interrompido antes do envio" : "interrompido no passo " + at;
    case journal::Outcome::Completed:
        break;
    }
    return "concluído";
}

std::string sourceOf(const journal::Source& s) {
    switch (s.From) {
    case journal::Source::File:
        return s.Path;
    case journal::Source::Window:
        return s.Path.empty() ? "(janela)" : "(janela) " + s.Path;
    case journal::Source::None:
        break;
    }
    return "-";
}

std::vector<std::string> journalFiles() {
    return journal::JournalFiles(journal::JournalPath());
}

// The one record of `id`, or a message on standard error and nothing.
std::optional<journal::Entry> recordOf(const std::string& id) {
    const bool hex = !id.empty() && id.find_first_not_of("0123456789abcdef") == std::string::npos;
    if (!hex) {
        SayError("id inválido \"" + id + "\": use os dígitos que \"qrv history\" mostra");
        return std::nullopt;
    }
    std::vector<journal::Entry> found = journal::FindById(journalFiles(), id);
    if (found.empty()) {
        SayError("nenhum envio com o id " + id + " no histórico (" + journal::JournalPath() + ")");
        return std::nullopt;
    }
    if (found.size() > 1) {
        SayError("o id " + id + " serve para " + std::to_string(found.size()) +
                 " envios: dê mais dígitos");
        return std::nullopt;
    }
    return std::move(found.front());
}

std::vector<std::vector<uint8_t>> framesOf(const journal::Record& r) {
    std::vector<std::vector<uint8_t>> frames;
    for (const journal::SentFrame& f : r.Frames)
        frames.push_back(journal::FromHex(f.Hex).value_or(std::vector<uint8_t>{}));
    return frames;
}

int list(const journal::Filter& filter, bool json) {
    if (!filter.Since.empty())
        if (auto why = journal::CheckSince(filter.Since)) {
            SayError(*why);
            return ExitBadCommandLine;
        }
    const journal::Reading reading = journal::Read(journalFiles(), filter);
    for (const std::string& note : reading.Notes)
        SayError("aviso: " + note);
    for (const journal::Entry& e : reading.Entries) {
        if (json) {
            std::cout << e.Line << '\n';
            continue;
        }
        const journal::Record& r = e.Data;
        std::cout << e.Id << "  " << when(r) << "  " << Padded(Printable(r.Port.Named), 12) << "  "
                  << Padded(r.Command, 8) << "  " << Padded(bandsOf(r), 9) << "  "
                  << Padded(outcomeOf(r.Result), 26) << "  " << Printable(sourceOf(r.Configuration))
                  << '\n';
    }
    return ExitDone;
}

int show(const std::string& id) {
    const std::optional<journal::Entry> entry = recordOf(id);
    if (!entry)
        return ExitBadCommandLine;
    const journal::Record& r = entry->Data;
    std::cout << "Envio " << entry->Id << ": " << r.Command << ", " << when(r) << " ("
              << r.DurationMs << " ms), " << Printable(r.Program + " " + r.Version) << ", "
              << Printable(r.User + "@" + r.Host) << '\n';
    std::cout << "Porta: " << Printable(r.Port.Named);
    if (!r.Port.Device.empty() && r.Port.Device != r.Port.Named)
        std::cout << " -> " << Printable(r.Port.Device);
    if (!r.Port.Stable.empty())
        std::cout << " (" << Printable(r.Port.Stable) << ")";
    std::cout << "\nArquivo: " << Printable(sourceOf(r.Configuration));
    if (!r.Configuration.Sha256.empty())
        std::cout << " (SHA-256 " << r.Configuration.Sha256 << ")";
    std::cout << "\nResultado: " << outcomeOf(r.Result);
    if (!r.Result.Error.empty())
        std::cout << ": " << Printable(r.Result.Error);
    std::cout << '\n';

    const SentConfiguration sent = FromFrames(framesOf(r), {});
    const ConfigurationModel& m = sent.Configuration.Model;
    for (int band = 1; band <= ConfigurationModel::BandCount; ++band) {
        bool lines = false;
        for (int line = 1; line <= ConfigurationModel::LinesPerBand; ++line)
            lines =
                lines ||
                sent.LineSent[static_cast<std::size_t>(ConfigurationModel::LineIndex(band, line))];
        const bool range = sent.RangeSent[static_cast<std::size_t>(band - 1)];
        if (!lines && !range)
            continue;
        std::cout << '\n';
        if (range)
            ShowBandHeading(std::cout, m, band);
        else
            std::cout << "Banda " << band << '\n';
        for (int line = 1; lines && line <= ConfigurationModel::LinesPerBand; ++line)
            if (sent.LineSent[static_cast<std::size_t>(ConfigurationModel::LineIndex(band, line))])
                ShowBandLine(std::cout, m, band, line);
    }
    if (sent.OptionsSent) {
        std::cout << '\n';
        ShowOptions(std::cout, sent.Configuration.Options);
    }
    if (sent.Clock) {
        char text[40];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d %02d/%02d/%02d", sent.Clock->Hours,
                      sent.Clock->Minutes, sent.Clock->Seconds, sent.Clock->Day, sent.Clock->Month,
                      sent.Clock->YearInCentury);
        std::cout << "\nRelógio acertado para " << text << '\n';
    }
    for (const int band : sent.PrintedBands)
        std::cout << "\nImprimir: um ticket da banda " << band << '\n';
    if (sent.Restarted)
        std::cout << "\nRe Iniciar: a impressora foi reiniciada\n";
    if (sent.Reported)
        std::cout << "\nLog: a impressora imprimiu o relatório\n";
    for (const auto& [number, why] : sent.Undecoded)
        std::cout << "\nQuadro " << number << " não decodificado: " << why << '\n';
    return ExitDone;
}

// The configuration the frames are laid over, and what the command says of
// it: the recorded file while it still has the recorded bytes, else the
// window's defaults.
std::pair<printer::PrinterConfiguration, std::string> baseOf(const journal::Source& source) {
    if (source.From == journal::Source::None || source.Path.empty())
        return {{}, "o envio não veio de um arquivo: o resto tem os valores padrão da janela"};
    if (source.From == journal::Source::File) {
        LoadedConfiguration loaded = LoadConfiguration(source.Path);
        if (!loaded.Error && loaded.Sha256 == source.Sha256)
            return {std::move(loaded.Configuration),
                    "o resto vem de " + source.Path + ", que não mudou desde o envio"};
        const std::string why = loaded.Error ? "não pode ser lido" : "mudou desde o envio";
        return {{}, source.Path + " " + why + ": o resto tem os valores padrão da janela"};
    }
    return {{},
            "o envio veio da janela, cujo arquivo não tem o que estava na tela: o resto tem "
            "os valores padrão da janela"};
}

int exportTo(const std::string& id, const std::string& file, bool force) {
    const std::optional<journal::Entry> entry = recordOf(id);
    if (!entry)
        return ExitBadCommandLine;
    auto [base, said] = baseOf(entry->Data.Configuration);
    const SentConfiguration sent = FromFrames(framesOf(entry->Data), std::move(base));
    if (!sent.CarriesConfiguration()) {
        SayError("o envio " + entry->Id + " (" + entry->Data.Command +
                 ") não levou configuração nenhuma: não há o que exportar");
        return ExitBadCommandLine;
    }
    std::error_code ec;
    if (!force && std::filesystem::exists(Utf8Path(file), ec)) {
        SayError("o arquivo \"" + file + "\" já existe: dê outro nome ou use --force");
        return ExitBadCommandLine;
    }
    try {
        WriteFileAtomically(file, SettingsFile::Format(sent.Configuration));
    } catch (const SettingsWriteError& e) {
        SayError(e.what());
        return ExitDeviceFailed;
    }
    std::string carried;
    for (int band = 1; band <= ConfigurationModel::BandCount; ++band)
        if (sent.LineSent[static_cast<std::size_t>(ConfigurationModel::LineIndex(band, 1))])
            carried += (carried.empty() ? "" : ", ") + std::to_string(band);
    std::cout << Printable(file) << ": "
              << (carried.empty() ? std::string() : "linhas da banda " + carried + ", ")
              << (sent.OptionsSent ? "opções e faixas" : "") << " como o envio " << entry->Id
              << " as mandou; " << Printable(said) << '\n';
    return ExitDone;
}

} // namespace

void AddHistoryCommands(CLI::App& app, Commands& commands) {
    struct HistoryOptions {
        journal::Filter Filter{{}, {}, 20};
        bool Json = false;
        std::string Id;
        std::string File;
        bool Force = false;
    };
    auto options = std::make_shared<HistoryOptions>();
    CLI::App* history = app.add_subcommand(
        "history", "Histórico dos envios às impressoras, do mais novo ao mais antigo");
    history
        ->add_option("--port", options->Filter.Port,
                     "Só os envios a esta porta: o nome dado (COM3), o dispositivo ou seu "
                     "nome em /dev/serial")
        ->type_name("PORTA");
    history
        ->add_option("--since", options->Filter.Since,
                     "Só os envios desde esta data: AAAA-MM-DD, AAAA-MM-DD HH:MM ou "
                     "AAAA-MM-DDTHH:MM:SS (hora local)")
        ->type_name("DATA");
    history->add_option("--limit", options->Filter.Limit, "Quantos envios no máximo (0: todos)")
        ->capture_default_str()
        ->type_name("N");
    history->add_flag("--json", options->Json, "Um objeto JSON por linha, como o histórico guarda");

    CLI::App* show = history->add_subcommand(
        "show", "O que um envio disse à impressora, decodificado dos seus quadros");
    show->add_option("ID", options->Id, "O id que \"qrv history\" mostra")
        ->required()
        ->type_name("");
    commands.push_back({show, [options] { return ::show(options->Id); }});

    CLI::App* exported = history->add_subcommand(
        "export", "Grava um arquivo de configuração que manda de novo os quadros de um envio");
    exported->add_option("ID", options->Id, "O id que \"qrv history\" mostra")
        ->required()
        ->type_name("");
    exported->add_option("FILE", options->File, "Arquivo de configuração a gravar (*.snh)")
        ->required()
        ->type_name("");
    exported->add_flag("--force", options->Force, "Substitui o arquivo se ele já existir");
    commands.push_back(
        {exported, [options] { return exportTo(options->Id, options->File, options->Force); }});
    // After its subcommands: the first command parsed is the one that runs.
    commands.push_back({history, [options] { return list(options->Filter, options->Json); }});
}
