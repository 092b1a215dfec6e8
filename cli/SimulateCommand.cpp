// "simulate": its options and its place on the command line; the run is
// RunSimulation's (SimulateRun.h).
#include "cli/Command.h"
#include "cli/SimulateRun.h"

#include <charconv>
#include <memory>
#include <string>

void AddSimulateCommand(CLI::App& app, Commands& commands) {
    auto options = std::make_shared<SimulateOptions>();
    CLI::App* sub = app.add_subcommand(
        "simulate", "Impressora virtual num pseudoterminal ligado como COMn, para testar sem "
                    "impressora");
    AddComName(sub, options->Name, "Nome da porta que a impressora virtual ocupa");
    const CLI::Validator frameCount(
        [](std::string& text) {
            int n = -1;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
            return ec == std::errc{} && end == text.data() + text.size() && n >= 0
                       ? std::string()
                       : "número de quadros inválido \"" + text + "\": use 0 ou mais";
        },
        "");
    sub->add_flag("--json", options->Json, "Um objeto JSON por linha para cada quadro e cada erro");
    sub->add_flag("--force", options->Force,
                  "Ocupa COMn mesmo que já esteja no mapa; o que havia volta ao sair");
    // The two exclude each other; RunSimulation checks it.
    sub->add_option("--stall-after", options->StallAfter,
                    "Depois de N quadros para de ler e enche a linha (buffer cheio); "
                    "não com --hang-up-after")
        ->check(frameCount)
        ->type_name("N");
    sub->add_option("--hang-up-after", options->HangUpAfter,
                    "Depois de N quadros fecha a linha (cabo desligado) e sai; "
                    "não com --stall-after")
        ->check(frameCount)
        ->type_name("N");
    // The options live as long as the command: CLI11 writes into them.
    commands.push_back({sub, [options] { return RunSimulation(*options); }});
}
