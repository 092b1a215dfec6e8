// "show": what a settings file holds, for a person or, with --json, for a
// script. Values are shown as the file stores them, out-of-range ones by
// their numbers.
#include "cli/Command.h"
#include "cli/Configuration.h"
#include "cli/ConfigurationLayout.h"
#include "model/Text.h"

#include <nlohmann/json.hpp>

#include <iostream>
#include <memory>

namespace {

using printer::PrinterConfiguration;

void showReadable(const std::string& path, const PrinterConfiguration& config) {
    std::cout << "Arquivo: " << Printable(path) << '\n';
    for (int band = 1; band <= ConfigurationModel::BandCount; ++band)
        ShowBand(std::cout, config.Model, band);
    std::cout << '\n';
    ShowOptions(std::cout, config.Options);
}

void showJson(const std::string& path, const PrinterConfiguration& config) {
    const ConfigurationModel& m = config.Model;
    const printer::PrinterOptions& o = config.Options;
    nlohmann::ordered_json bands = nlohmann::ordered_json::array();
    for (int band = 1; band <= ConfigurationModel::BandCount; ++band) {
        nlohmann::ordered_json lines = nlohmann::ordered_json::array();
        for (int line = 1; line <= ConfigurationModel::LinesPerBand; ++line) {
            const auto k = static_cast<std::size_t>(ConfigurationModel::LineIndex(band, line));
            lines.push_back({{"line", line},
                             {"text", Utf8FromCp1252(m.BandLineText[k])},
                             {"style", m.LineStyle[k]},
                             {"printed", static_cast<bool>(m.LineEnabled[k])}});
        }
        bands.push_back({{"band", band},
                         {"start", m.BandStart(band)},
                         {"end", m.BandEnd(band)},
                         {"lines", std::move(lines)}});
    }
    const nlohmann::ordered_json options = {{"resetAt", printer::Position(o.ResetAt)},
                                            {"reloadAt", printer::Position(o.ReloadAt)},
                                            {"printer", printer::Position(o.Printer)},
                                            {"protocol", printer::Position(o.Protocol)},
                                            {"bandCount", o.BandCount},
                                            {"printDate", o.PrintDate},
                                            {"printTime", o.PrintTime},
                                            {"printFooter", o.PrintFooter}};
    const nlohmann::ordered_json all = {
        {"file", path}, {"bands", std::move(bands)}, {"options", options}};
    // The path is the one string not known to be UTF-8.
    std::cout << all.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

} // namespace

void AddShowCommand(CLI::App& app, Commands& commands) {
    struct ShowOptions {
        std::string File;
        bool Json = false;
    };
    auto options = std::make_shared<ShowOptions>();
    CLI::App* show = app.add_subcommand(
        "show", "O que o arquivo guarda: bandas, linhas, estilos e opções, como na janela");
    show->add_option("FILE", options->File, "Arquivo de configuração (*.snh)")
        ->required()
        ->type_name("");
    show->add_flag("--json", options->Json, "Um objeto JSON, para scripts");
    commands.push_back({show, [options] {
                            const LoadedConfiguration loaded = LoadConfiguration(options->File);
                            if (loaded.Error) {
                                SayError(*loaded.Error);
                                return static_cast<int>(ExitBadSettingsFile);
                            }
                            if (options->Json)
                                showJson(options->File, loaded.Configuration);
                            else
                                showReadable(options->File, loaded.Configuration);
                            return static_cast<int>(ExitDone);
                        }});
}
