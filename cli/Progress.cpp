#include "cli/Progress.h"

#include "model/Text.h"

#include <algorithm>
#include <iostream>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

constexpr std::size_t BarWidth = 20;

std::size_t terminalWidth() {
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) &&
        info.srWindow.Right > info.srWindow.Left)
        return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
    return 80;
#else
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
#endif
}

// Cut to `columns` characters of UTF-8 text, so that a line never wraps: a
// wrapped line would throw the cursor movement of the redraw off.
std::string fit(const std::string& text, std::size_t columns) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue;
        if (++characters > columns)
            return text.substr(0, i);
    }
    return text;
}

std::string bar(std::size_t done, std::size_t total) {
    const std::size_t filled = total == 0 ? BarWidth : done * BarWidth / total;
    return "[" + std::string(filled, '#') + std::string(BarWidth - filled, '.') + "]";
}

} // namespace

Progress::Progress(std::vector<std::string> ports, bool isLive)
    : names(std::move(ports)), states(names.size(), "aguardando"), where(names.size()),
      live(isLive) {
    for (const std::string& n : names)
        nameWidth = std::max(nameWidth, n.size());
}

void Progress::Step(std::size_t port, int band, std::size_t step, std::size_t steps,
                    const std::string& name, std::size_t done, std::size_t total) {
    {
        const std::lock_guard guard(lock);
        where.at(port) = {Where::Sending, band, step, steps, name, false, done + 1 == total};
    }
    if (!live)
        return;
    std::string state = bar(done, total) + " ";
    if (band > 0)
        state += "Banda " + std::to_string(band) + ", ";
    state +=
        "passo " + std::to_string(step + 1) + " de " + std::to_string(steps) + " (" + name + ")";
    const std::lock_guard guard(lock);
    states.at(port) = std::move(state);
    draw();
}

void Progress::Sent(std::size_t port) {
    const std::lock_guard guard(lock);
    where.at(port).Sent = true;
}

void Progress::Finished(std::size_t port, const std::optional<std::string>& error) {
    const std::lock_guard guard(lock);
    where.at(port).Phase = error ? Where::Failed : Where::Done;
    if (!live)
        return;
    states.at(port) = error ? "falhou: " + *error : bar(1, 1) + " concluído";
    draw();
}

void Progress::draw() {
    std::string out;
    if (drawn)
        out += "\x1b[" + std::to_string(names.size()) + "A";
    const std::size_t width = terminalWidth() - 1;
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string line = names[i] + std::string(nameWidth + 2 - names[i].size(), ' ') + states[i];
        out += "\r\x1b[2K" + fit(Printable(line), width) + "\n";
    }
    drawn = true;
    std::cerr << out << std::flush;
}

std::string Progress::stoppedAt(const Where& w) {
    if (w.Phase == Where::Waiting)
        return "nada foi enviado";
    const std::string band = w.Band > 0 ? "a banda " + std::to_string(w.Band) : std::string();
    const std::string step = "passo " + std::to_string(w.Step + 1) + " de " +
                             std::to_string(w.Steps) + " (" + w.Name + ")";
    if (!w.Sent)
        return (w.Band > 0 ? band + " não terminou, " : std::string()) + "parou no " + step;
    if (w.Last)
        return "todos os passos tinham sido enviados";
    if (w.Step + 1 == w.Steps)
        return (w.Band > 0 ? band + " foi toda enviada; " : std::string()) +
               "parou antes da banda seguinte";
    return (w.Band > 0 ? band + " não terminou, " : std::string()) + "parou depois do " + step +
           ", já enviado";
}

std::string Progress::StoppedAt(std::size_t port) {
    const std::lock_guard guard(lock);
    return stoppedAt(where.at(port));
}

std::vector<std::string> Progress::Unfinished() {
    const std::lock_guard guard(lock);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Where& w = where[i];
        std::string line = names[i] + ": ";
        if (w.Phase == Where::Waiting)
            line += "interrompida antes do primeiro passo; nada foi enviado";
        else if (w.Phase == Where::Done || (w.Phase == Where::Sending && w.Sent && w.Last))
            line += "tudo enviado antes da interrupção";
        else if (w.Phase == Where::Failed)
            line += "já tinha falhado antes da interrupção";
        else
            line += "interrompida: " + stoppedAt(w);
        lines.push_back(line);
    }
    return lines;
}
