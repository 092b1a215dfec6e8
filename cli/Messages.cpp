#include "cli/Messages.h"

#include <algorithm>
#include <regex>

namespace {

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words)
        out += (out.empty() ? "" : ", ") + w;
    return out;
}

// "--band" is an option; "FILE" or "COMn" an argument.
std::string named(const std::string& name) {
    return (name.starts_with("-") ? "a opção " : "o argumento ") + name;
}

std::string unknownCommand(const std::vector<std::string>& arguments,
                           const std::vector<std::string>& commands) {
    const auto word = std::find_if(arguments.begin(), arguments.end(),
                                   [](const std::string& a) { return !a.starts_with("-"); });
    if (word == arguments.end())
        return "falta o comando (um de: " + joined(commands) + ")";
    return "comando desconhecido \"" + *word + "\" (os comandos: " + joined(commands) + ")";
}

} // namespace

std::string CommandLineErrorText(const CLI::Error& error, const std::vector<std::string>& arguments,
                                 const std::vector<std::string>& commands) {
    const std::string what = error.what();
    const std::string kind = error.get_name();
    std::smatch m;
    if (kind == "RequiredError") {
        if (what == "A subcommand is required" ||
            std::regex_match(what, std::regex("Requires at least \\d+ subcommands")))
            return unknownCommand(arguments, commands);
        if (std::regex_match(what, m, std::regex("(\\S+) is required")))
            return "falta " + named(m[1]);
    }
    // CLI11 names a subcommand's ExtrasError after the subcommand, so the
    // text alone tells it.
    if (std::regex_match(what, m,
                         std::regex("The following arguments? (?:was|were) not expected: (.*)"))) {
        const std::string extras = m[1];
        const bool noCommand =
            std::none_of(arguments.begin(), arguments.end(), [&](const std::string& a) {
                return std::find(commands.begin(), commands.end(), a) != commands.end();
            });
        if (noCommand)
            return unknownCommand(arguments, commands);
        if (extras.starts_with("-") && extras.find(' ') == std::string::npos)
            return "opção desconhecida: " + extras;
        return (extras.find(' ') == std::string::npos ? "argumento a mais: "
                                                      : "argumentos a mais: ") +
               extras;
    }
    if (kind == "ArgumentMismatch") {
        if (std::regex_search(what, m, std::regex("arguments to (\\S+), got 0$")) ||
            std::regex_match(what, m, std::regex("(\\S+): \\d+ required .* missing")) ||
            std::regex_match(what, m, std::regex("(\\S+): At least \\d+ required but received 0")))
            return "falta o valor de " + named(m[1]);
        if (std::regex_search(what, m, std::regex("arguments to (\\S+), got")))
            return "valores demais para " + named(m[1]);
    }
    if (kind == "ConversionError") {
        if (std::regex_match(what, m, std::regex("Could not convert: (\\S+) = (.*)")))
            return "valor inválido \"" + std::string(m[2]) + "\" para " + named(m[1]);
        if (std::regex_match(what, m, std::regex("(\\S+): too many inputs for a flag")))
            return named(m[1]) + " não leva valor";
        if (std::regex_match(what, m,
                             std::regex("The value (.*) is not an allowed value for (\\S+)")))
            return "valor inválido \"" + std::string(m[1]) + "\" para " + named(m[2]);
    }
    if (kind == "ExcludesError" && std::regex_match(what, m, std::regex("(\\S+) excludes (\\S+)")))
        return std::string(m[1]) + " e " + std::string(m[2]) + " não podem ser usadas juntas";
    if (kind == "RequiresError" && std::regex_match(what, m, std::regex("(\\S+) requires (\\S+)")))
        return std::string(m[1]) + " precisa de " + std::string(m[2]);
    // Our own checks speak Portuguese already, prefixed with what they
    // checked ("--port: porta inválida ...").
    return what;
}
