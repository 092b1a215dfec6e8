// qrv: programs, configures and inspects queue-ticket printers from the
// command line, several at once. Command and option names are English; what
// the user reads is Brazilian Portuguese.
#include "cli/Command.h"
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/HelpText.h"
#include "cli/Messages.h"
#include "model/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>

namespace {

// The subcommand the user chose, or the tool itself.
const CLI::App* chosen(const CLI::App& app) {
    for (const CLI::App* sub : app.get_subcommands())
        return sub;
    return &app;
}

std::shared_ptr<CLI::Formatter> portugueseFormatter() {
    auto formatter = std::make_shared<CLI::Formatter>();
    formatter->label("Usage", "Uso");
    formatter->label("OPTIONS", "OPÇÕES");
    formatter->label("SUBCOMMAND", "COMANDO");
    formatter->label("SUBCOMMANDS", "COMANDOS");
    formatter->label("Positionals", "Argumentos");
    formatter->label("REQUIRED", "(obrigatório)");
    formatter->label("TEXT", "TEXTO");
    formatter->label("INT", "NÚMERO");
    formatter->label("Excludes", "Exclui");
    formatter->label("Needs", "Precisa de");
    formatter->column_width(28);
    return formatter;
}

// A command's output that did not reach its file is a failure, as a full
// disk must not leave a script with an empty file and success.
int checkedOutput(int status) {
    errno = 0;
    std::cout.flush();
    int error = errno;
    if (std::fflush(stdout) != 0)
        error = errno;
    if (std::cout && !std::ferror(stdout))
        return status;
    std::cerr << "qrv: não foi possível escrever na saída padrão"
              << (error != 0 ? std::string(": ") + std::strerror(error) : std::string()) << '\n';
    return status == ExitDone ? ExitDeviceFailed : status;
}

} // namespace

void SayError(const std::string& text) {
    std::cerr << "qrv: " << Printable(text, true) << '\n';
}

int OnlyOnLinux(const std::string& command) {
    std::cerr << "qrv: o comando " << command << " existe só no Linux; no Windows a porta se "
              << "chama pelo nome do sistema (COM1, COM2...).\n";
    return ExitBadCommandLine;
}

int main(int argc, char** argv) {
    CommandLine commandLine(argc, argv);
    argc = commandLine.Count();
    argv = commandLine.Argv();
    PrepareStandardStreams();
    // Standard error does not flush standard output first: a full output
    // then fails at the last flush, where its reason is still known.
    std::cerr.tie(nullptr);
    CLI::App app{"Programa, configura e consulta impressoras de senhas pela linha serial.\n"
                 "Várias portas --port ao mesmo tempo: cada uma segue sozinha.",
                 "qrv"};
    const std::shared_ptr<CLI::Formatter> formatter = portugueseFormatter();
    app.formatter(formatter);
    app.option_defaults()->group("Opções");
    app.set_help_flag("-h,--help", "Mostra esta ajuda e sai");
    app.set_version_flag("--version", std::string("qrv ") + QRV_VERSION, "Mostra a versão e sai");
    app.require_subcommand(1);
    // Options are "--name" everywhere: "/path" is a file, never an option.
    app.allow_windows_style_options(false);
    std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    std::vector<std::string> commandNames;
    app.failure_message([&](const CLI::App* top, const CLI::Error& error) -> std::string {
        const CLI::App* sub = chosen(*top);
        return "qrv: linha de comando inválida: " +
               Printable(CommandLineErrorText(error, arguments, commandNames)) + "\n" +
               formatter->make_usage(sub, sub == top ? "qrv" : "qrv " + sub->get_name()) +
               "Use --help para ver os comandos e as opções.\n";
    });
    app.footer("Situação de saída: 0 tudo feito; 1 uma porta falhou (ou um mapeamento foi "
               "recusado);\n2 linha de comando inválida; 3 arquivo de configuração inutilizável. "
               "Também 1 quando\na saída padrão não pôde ser escrita ou algo inesperado falhou.");

    Commands commands;
    AddPortCommands(app, commands);
    AddShowCommand(app, commands);
    AddSendCommands(app, commands);
    AddHistoryCommands(app, commands);
    AddSimulateCommand(app, commands);
    for (Command& c : commands) {
        c.App->group(helptext::Listed(c.App->get_name()) ? "Comandos" : "");
        c.App->get_help_ptr()->group("Opções");
        commandNames.push_back(c.App->get_name());
    }

    try {
        app.parse(argc, argv);
        for (Command& c : commands)
            if (c.App->parsed())
                return checkedOutput(c.Run());
        return checkedOutput(ExitDone);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return checkedOutput(status == 0 ? ExitDone : ExitBadCommandLine);
    } catch (const std::exception& error) {
        SayError(error.what());
        return checkedOutput(ExitDeviceFailed);
    } catch (...) {
        SayError("erro inesperado");
        return checkedOutput(ExitDeviceFailed);
    }
}
