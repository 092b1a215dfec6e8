// "qrv simulate" on Linux: a virtual printer on a pseudo-terminal linked as
// COMn in the port map folder. It cuts what arrives into frames as the
// printer does, decodes each, keeps what the printer was told and prints a
// ticket preview or a report when asked; on request it fails as a printer
// does (a full buffer, a pulled cable), so the window and qrv can be seen
// failing. This file is the run; the printer's memory, what is said and the
// port map entry are pieces of their own.
#include "cli/SimulateRun.h"

#include "cli/Command.h"
#include "cli/PortName.h"
#include "cli/SimulateLink.h"
#include "simulator/Line.h"
#include "simulator/Narration.h"
#include "simulator/Overloaded.h"
#include "simulator/VirtualPrinter.h"

#include "ports/PortMap.h"
#include "protocol/FrameSplitter.h"
#include "simulator/Pty.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using simulator::pty::SystemError;

// The printer's line: raw, 9600 baud, 8 data bits, no parity, 2 stop bits,
// on our side, until the sender sets its own.
simulator::pty::Pair openPty() {
    simulator::pty::Pair pair = simulator::pty::OpenPair(true);
    simulator::pty::SetRawLine(pair.Slave.get(), B9600, 2);
    return pair;
}

// The read end of the pipe that stop signals write into.
int catchSignals() {
    const int fd = simulator::pty::CatchStopSignals();
    // A closed standard output must end the run through the loop, removing
    // the link, not kill the process.
    ::signal(SIGPIPE, SIG_IGN);
    return fd;
}

class Simulation {
public:
    Simulation(const SimulateOptions& chosen, simulator::pty::Pair& line, int stopSignals)
        : options(chosen), terminal(line), signals(stopSignals) {}

    // Runs until a signal, or a hang-up asked for. False when the line or
    // standard output failed (said on standard error).
    bool Run();
    // The event on standard output, as text or as one JSON object.
    bool Say(const simulator::Event& event);
    bool OutputFailed() const { return outputFailed; }
    // The system's error of the failed output (EPIPE: it was closed).
    int OutputError() const { return outputError; }

private:
    using Steady = std::chrono::steady_clock;
    enum class ReadOutcome { Data, Empty, Failed };

    ReadOutcome readOnce(std::vector<uint8_t>& buffer);

    void handle(const protocol::FrameSplitter::Item& item);
    void watchLine();
    void countFrame();
    void stall();
    void hangUp();

    const SimulateOptions& options;
    simulator::pty::Pair& terminal;
    int signals; // the stop signals' pipe
    simulator::VirtualPrinter printer;
    protocol::FrameSplitter splitter;
    // The sender's line settings as of the last read; ours at the start.
    simulator::LineSettings senderLine = simulator::PrintersLine;
    int frames = 0;
    bool reading = true;
    bool stopping = false;
    bool outputFailed = false;
    int outputError = 0;
    bool lineFailed = false;
};

bool Simulation::Say(const simulator::Event& event) {
    if (outputFailed)
        return false;
    std::cout << simulator::Rendered(event, options.Json ? simulator::Format::Json
                                                         : simulator::Format::Text)
              << '\n';
    errno = 0;
    std::cout.flush();
    if (!std::cout || std::fflush(stdout) != 0) {
        outputError = errno;
        outputFailed = true;
        stopping = true;
    }
    return !outputFailed;
}

void Simulation::handle(const protocol::FrameSplitter::Item& item) {
    using Kind = protocol::FrameSplitter::Item::Kind;
    // The splitter keeps steady time; the line shows the local clock.
    const auto wall =
        simulator::WallClock::now() -
        std::chrono::duration_cast<simulator::WallClock::duration>(Steady::now() - item.Arrival);
    if (item.ItemKind != Kind::Frame) {
        Say(simulator::Fault{wall, item.ItemKind, item.Text, item.Bytes});
        return;
    }
    const protocol::DecodeResult result = protocol::Decode(item.Bytes);
    const auto* command = std::get_if<protocol::Command>(&result);
    if (command) {
        Say(simulator::FrameReceived{wall, item.Bytes, senderLine, *command});
        if (const auto printout = printer.Take(*command, wall))
            Say(std::visit(Overloaded{
                               [](const simulator::Ticket& t) -> simulator::Event { return t; },
                               [](const simulator::Report& r) -> simulator::Event { return r; },
                           },
                           *printout));
    }
    // A frame that does not decode counts too; what the count sets off is
    // said before its fault.
    countFrame();
    if (!command)
        Say(simulator::Fault{wall, Kind::Frame, std::get<protocol::DecodeError>(result).Text,
                             item.Bytes});
}

void Simulation::countFrame() {
    ++frames;
    if (options.StallAfter && frames == *options.StallAfter && reading)
        stall();
    if (options.HangUpAfter && frames == *options.HangUpAfter)
        hangUp();
}

void Simulation::stall() {
    reading = false;
    // The sender's writes wait only once the line's queue is full, and
    // stopping to read leaves it room for some 20 KB: fill it from our side.
    const simulator::pty::Filled filled = simulator::pty::FillLine(terminal.Slave.get());
    if (filled.Error != 0) {
        errno = filled.Error;
        std::cerr << "qrv: " << SystemError("enchendo a linha") << '\n';
    }
    // A sender that flushes its output when it closes the port (TCOFLUSH
    // drops what the master has not read) would make room for the next one.
    // Stopped output keeps the line full for every sender, as a printer
    // that holds its line off while its buffer is full.
    if (::tcflow(terminal.Slave.get(), TCOOFF) != 0)
        std::cerr << "qrv: " << SystemError("parando a linha") << '\n';
    Say(simulator::Stalled{frames, filled.Bytes});
}

void Simulation::hangUp() {
    reading = false;
    stopping = true;
    terminal.Master.reset();
    terminal.Slave.reset();
    Say(simulator::HungUp{frames});
}

// The sender sets the line on its side of the pseudo-terminal; both sides
// share the settings, so reading them when bytes arrive tells the line those
// bytes came over.
void Simulation::watchLine() {
    const std::optional<termios> settings = simulator::pty::LineSettings(terminal.Slave.get());
    if (!settings)
        return;
    const simulator::LineSettings now = simulator::LineOf(*settings);
    if (now == senderLine)
        return;
    senderLine = now;
    Say(simulator::LineChanged{senderLine});
}

Simulation::ReadOutcome Simulation::readOnce(std::vector<uint8_t>& buffer) {
    const ssize_t n = ::read(terminal.Master.get(), buffer.data(), buffer.size());
    if (n > 0) {
        watchLine();
        const auto now = Steady::now();
        // Every item is shown, also those after a hang-up that one of them caused.
        for (const auto& item :
             splitter.Feed(std::span(buffer.data(), static_cast<std::size_t>(n)), now))
            handle(item);
        return ReadOutcome::Data;
    }
    if (n == 0 || errno == EAGAIN || errno == EINTR)
        return ReadOutcome::Empty;
    std::cerr << "qrv: " << SystemError("lendo a linha") << '\n';
    return ReadOutcome::Failed;
}

bool Simulation::Run() {
    if (options.StallAfter == 0)
        stall();
    if (options.HangUpAfter == 0)
        hangUp();
    std::vector<uint8_t> buffer(4096);
    while (!stopping) {
        pollfd fds[2] = {{signals, POLLIN, 0}, {terminal.Master.get(), POLLIN, 0}};
        int timeout = -1;
        if (const auto deadline = splitter.Deadline()) {
            const auto wait =
                std::chrono::ceil<std::chrono::milliseconds>(*deadline - Steady::now());
            timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(wait.count(), 0));
        }
        if (::poll(fds, reading ? 2 : 1, timeout) < 0) {
            if (errno == EINTR)
                continue;
            std::cerr << "qrv: " << SystemError("poll") << '\n';
            lineFailed = true;
            break;
        }
        if (fds[0].revents != 0) {
            // What the line already holds arrived before the signal.
            while (reading && readOnce(buffer) == ReadOutcome::Data) {
            }
            break;
        }
        if (reading && (fds[1].revents & POLLIN) != 0) {
            if (readOnce(buffer) == ReadOutcome::Failed) {
                lineFailed = true;
                break;
            }
        } else if (reading && fds[1].revents != 0) {
            // Our own slave descriptor keeps the line up; a hang-up here
            // would come back at once on every poll.
            std::cerr << "qrv: a linha da impressora virtual caiu\n";
            lineFailed = true;
            break;
        }
        if (!stopping)
            for (const auto& item : splitter.Idle(Steady::now()))
                handle(item);
    }
    for (const auto& item : splitter.Flush())
        handle(item);
    return !outputFailed && !lineFailed;
}

} // namespace

int RunSimulation(const SimulateOptions& options) {
    // Checked here rather than by CLI11, whose help would print "Exclui: ..."
    // run into the option's name.
    if (options.StallAfter && options.HangUpAfter)
        throw CLI::ValidationError("--stall-after e --hang-up-after não podem ser usadas juntas");
    const int n = *ports::ParseComName(options.Name);
    const std::string name = ports::ComName(n);
    simulator::pty::Pair terminal;
    int signals = -1;
    try {
        terminal = openPty();
        signals = catchSignals();
    } catch (const std::exception& e) {
        std::cerr << "qrv: não foi possível abrir um pseudoterminal: " << e.what() << '\n';
        return ExitDeviceFailed;
    }
    MendPortMap();
    simulator::PortLink link;
    if (const auto refused = link.Place(n, terminal.SlavePath, options.Force)) {
        SayError(*refused + ".");
        return ExitDeviceFailed;
    }

    Simulation simulation(options, terminal, signals);
    bool ok = simulation.Say(simulator::Listening{name, terminal.SlavePath});
    if (ok)
        ok = simulation.Run();
    terminal.Master.reset();
    terminal.Slave.reset();
    const std::string undone = link.Remove();
    if (!ok) {
        if (simulation.OutputFailed()) {
            if (simulation.OutputError() == EPIPE)
                SayError("a saída padrão fechou; impressora virtual encerrada.");
            else
                SayError("não foi possível escrever na saída padrão (" +
                         std::string(std::strerror(simulation.OutputError())) +
                         "); impressora virtual encerrada.");
            // Said: main's last check of the output must not say it again.
            std::cout.clear();
            std::clearerr(stdout);
        }
        return ExitDeviceFailed;
    }
    if (!undone.empty())
        simulation.Say(simulator::Ended{name, undone});
    return ExitDone;
}
