// The commands that talk to printers: each sends the plan of one of the
// window's buttons to every --port at once, one thread and one serial port
// component per port, or prints the plan with --dry-run.
#include "cli/Command.h"
#include "cli/Configuration.h"
#include "cli/FailureText.h"
#include "cli/Interrupt.h"
#include "cli/PortChecks.h"
#include "cli/PortName.h"
#include "cli/Progress.h"
#include "cli/SendJournal.h"
#include "model/Text.h"

#include "printer/Plan.h"
#include "printer/Runner.h"
#include "serial/PrinterLine.h"
#include "serial/VaComm.h"
#include "serial/net/NetworkAddress.h"
#include "serial/net/Resolve.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <deque>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// What one port sends: the plans in turn, each with its band (0: none).
struct Job {
    int Band = 0;
    printer::Plan Plan;
};
using Jobs = std::vector<Job>;
// Builds the jobs on the port's own thread, just before it sends, so the
// clock is read once per port when that port is ready.
using JobMaker = std::function<Jobs(const printer::PrinterConfiguration&)>;

struct SendOptions {
    std::string Command;
    std::vector<std::string> Ports;
    bool DryRun = false;
    bool Quiet = false;
    std::string File;
    int Band = 0;
};

// Writes one byte of a frame; a byte the line does not take within the
// port's WriteTimeout stops the port.
void SendByte(TVaComm& port, uint8_t byte) {
    port.SendChar(static_cast<char>(byte));
}

bool stderrIsTerminal() {
#ifdef _WIN32
    // A console that draws the progress lines: escape sequences switched on.
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return _isatty(_fileno(stderr)) && GetConsoleMode(err, &mode) &&
           SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#else
    return ::isatty(STDERR_FILENO);
#endif
}

void printPlan(const Jobs& jobs) {
    int start = 0;
    for (const Job& job : jobs) {
        const std::vector<int> times = printer::StepStartTimes(job.Plan);
        for (std::size_t i = 0; i < job.Plan.size(); ++i)
            std::cout << start + times[i] << '\t' << HexBytes(job.Plan[i].Frame) << '\n';
        start += times.back();
    }
}

protocol::ClockFields localClock() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    ::localtime_s(&local, &now);
#else
    ::localtime_r(&now, &local);
#endif
    return {local.tm_hour, local.tm_min,     local.tm_sec,
            local.tm_mday, local.tm_mon + 1, local.tm_year + 1900};
}

// The server a network port reaches: its addresses and port, however the
// host was written. Empty for a local port or a host that does not resolve
// (opening it then says so).
std::vector<serial::net::Endpoint> serverOf(const std::string& device) {
    const auto address = serial::net::ParseNetworkAddress(device);
    if (!address)
        return {};
    return serial::net::ServerEndpoints(address->Host, address->Port);
}

// The ports of the command line. One device under two names (COM3 mapped to
// /dev/pts/0, and /dev/pts/0), or one device server under two (localhost and
// 127.0.0.1, rfc2217:// and socket:// of one host and port) would get every
// frame twice, or fail at random: refused as the same name twice is.
std::vector<PortName> portsOf(const std::vector<std::string>& texts) {
    std::vector<PortName> ports;
    std::vector<std::string> devices;
    std::vector<std::optional<std::pair<uint64_t, uint64_t>>> identities;
    for (const std::string& text : texts) {
        const PortName port = *ParsePortName(text); // the option's check let only names through
        if (std::find(ports.begin(), ports.end(), port) != ports.end())
            throw CLI::ValidationError("a porta " + port.Display() + " foi dada mais de uma vez");
        const std::string device = DevicePath(port);
        const auto identity =
            serial::net::IsNetworkAddress(device) ? std::nullopt : DeviceIdentity(device);
        for (std::size_t i = 0; identity && i < ports.size(); ++i)
            if (identities[i] == identity)
                throw CLI::ValidationError(ports[i].Display() + " e " + port.Display() +
                                           " são o mesmo dispositivo (" + device + ")");
        ports.push_back(port);
        devices.push_back(device);
        identities.push_back(identity);
    }
    // Names are looked up only when two network ports could be one.
    std::vector<std::size_t> network;
    for (std::size_t i = 0; i < ports.size(); ++i)
        if (serial::net::IsNetworkAddress(devices[i]))
            network.push_back(i);
    if (network.size() < 2)
        return ports;
    std::vector<std::vector<serial::net::Endpoint>> servers;
    for (const std::size_t i : network)
        servers.push_back(serverOf(devices[i]));
    for (std::size_t b = 1; b < network.size(); ++b)
        for (std::size_t a = 0; a < b; ++a)
            for (const serial::net::Endpoint& e : servers[b])
                if (std::binary_search(servers[a].begin(), servers[a].end(), e))
                    throw CLI::ValidationError(
                        ports[network[a]].Display() + " e " + ports[network[b]].Display() +
                        " são o mesmo servidor de portas (" + e.Text() + ")");
    return ports;
}

void configure(TVaComm& comm, const PortName& port) {
    SetPrinterLine(comm);
    if (port.Number > 0) {
        comm.SetDeviceName("COM%d");
        comm.SetPortNum(port.Number);
        return;
    }
    // The device name is a format: a "%" of the path must stay a "%".
    std::string name;
    for (const char c : port.Path)
        name += c == '%' ? std::string("%%") : std::string(1, c);
    comm.SetDeviceName(name);
}

std::size_t stepCount(const Jobs& jobs) {
    std::size_t n = 0;
    for (const Job& job : jobs)
        n += job.Plan.size();
    return n;
}

// Why a port stopped: the component's message and what it was made from.
struct PortFailure {
    std::string Message;
    int Code = 0;
    bool WhileSending = false; // the port was open
    bool OutOfMemory = false;
    int WriteLimitMs = 0;
};

// Opens, sends and closes one port on the calling thread. Why it stopped,
// or nothing.
std::optional<PortFailure> sendToPort(const PortName& port, std::size_t index,
                                      const printer::PrinterConfiguration& config,
                                      const JobMaker& make, Progress& progress,
                                      SendRecord& record) {
    PortFailure failure;
    try {
        TVaComm comm;
        configure(comm, port);
        failure.WriteLimitMs = static_cast<int>(comm.Buffers().WriteTimeout());
        comm.Open();
        failure.WhileSending = true;
        const Jobs jobs = make(config);
        const std::size_t total = stepCount(jobs);
        std::vector<int> bands;
        for (const Job& job : jobs)
            if (job.Band > 0)
                bands.push_back(job.Band);
        record.Planned(bands, total);
        std::size_t done = 0;
        std::optional<PortFailure> stopped;
        for (const Job& job : jobs) {
            std::size_t left = 0; // bytes of the current step's frame still to go
            const printer::RunResult result = printer::Run(
                job.Plan,
                [&](uint8_t byte) {
                    try {
                        SendByte(comm, byte);
                    } catch (const EVaCommError& e) {
                        failure.Code = e.Code(); // the runner keeps only the message
                        throw;
                    }
                    record.Sent(byte);
                    if (--left == 0)
                        progress.Sent(index);
                },
                printer::SleepMs,
                [&](std::size_t step, const printer::Plan& plan) {
                    left = plan[step].Frame.size();
                    record.Step(done + step);
                    progress.Step(index, job.Band, step, plan.size(), plan[step].Name, done + step,
                                  total);
                    if (left == 0)
                        progress.Sent(index);
                });
            if (!result) {
                failure.Message = result.Error;
                stopped = failure;
                break;
            }
            done += job.Plan.size();
        }
        if (!stopped)
            comm.DrainWrite(); // a byte still held at the end is a failed send
        comm.Close();
        return stopped;
    } catch (const EVaCommError& e) {
        failure.Message = e.what();
        failure.Code = e.Code();
    } catch (const std::bad_alloc& e) {
        failure.Message = e.what();
        failure.OutOfMemory = true;
    } catch (const std::exception& e) {
        failure.Message = e.what();
    }
    return failure;
}

// The lines after a port's failure: what a device server did, who may open
// a refused device, where the port stopped.
std::vector<std::string> failureLines(const PortName& port, const PortFailure& failure,
                                      Progress& progress, std::size_t index) {
    std::vector<std::string> lines;
    const std::string device = DevicePath(port);
    if (serial::net::IsNetworkAddress(device)) {
        NetworkFailure network;
        network.Code = failure.Code;
        network.WhileSending = failure.WhileSending;
        network.OutOfMemory = failure.OutOfMemory;
        network.Address = device;
        network.WriteLimitMs = failure.WriteLimitMs;
        const ConnectionFault fault = ConnectionFaultOf(failure.Code);
        network.ConnectionRefused = fault == ConnectionFault::Refused;
        network.ConnectionClosed = fault == ConnectionFault::Closed;
        network.HostUnreachable = fault == ConnectionFault::Unreachable;
        if (auto line = NetworkFailureLine(network))
            lines.push_back(std::move(*line));
    } else if (!failure.WhileSending) {
        lines = RefusalHints(port, device, failure.Code);
    }
    if (failure.WhileSending)
        lines.push_back(progress.StoppedAt(index));
    return lines;
}

int send(const SendOptions& options, bool needsFile, const JobMaker& make) {
    const std::vector<PortName> ports = portsOf(options.Ports);
    if (ports.empty() && !options.DryRun)
        throw CLI::ValidationError("diga a porta com --port (ou use --dry-run)");

    printer::PrinterConfiguration config;
    std::string fileSha256;
    if (needsFile) {
        LoadedConfiguration loaded = LoadConfiguration(options.File);
        if (loaded.Error) {
            SayError(*loaded.Error);
            return ExitBadSettingsFile;
        }
        config = printer::AsWindowHolds(std::move(loaded.Configuration));
        fileSha256 = loaded.Sha256;
    }

    if (options.DryRun) {
        printPlan(make(config));
        return ExitDone;
    }

    std::vector<std::string> names;
    for (const PortName& port : ports)
        names.push_back(port.Display());
    Progress progress(names, !options.Quiet && stderrIsTerminal());
    std::vector<std::optional<PortFailure>> errors(ports.size());
    const SendRecord::Command command =
        JournalCommand(options.Command, needsFile ? options.File : std::string(), fileSha256);
    std::deque<SendRecord> records;
    for (const PortName& port : ports)
        records.emplace_back(command, port);
    // One warning for the whole command, however many records it loses.
    const auto appendAll = [&records](const auto& finish) {
        std::optional<std::string> lost;
        for (std::size_t i = 0; i < records.size(); ++i)
            if (auto why = finish(records[i], i); why && !lost)
                lost = std::move(why);
        if (lost)
            SayJournalFailure(*lost);
    };
    const InterruptReport interrupted([&](int) {
        for (const std::string& line : progress.Unfinished())
            SayError(line);
        appendAll([](SendRecord& r, std::size_t) { return r.Interrupted(); });
    });
    {
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < ports.size(); ++i)
            threads.emplace_back([&, i] {
                records[i].Trace();
                errors[i] = sendToPort(ports[i], i, config, make, progress, records[i]);
                progress.Finished(i, errors[i] ? std::optional(errors[i]->Message) : std::nullopt);
            });
    }

    appendAll([&errors](SendRecord& r, std::size_t i) {
        return errors[i] ? r.Failed(errors[i]->Message) : r.Completed();
    });
    int status = ExitDone;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (errors[i]) {
            // One line each: a line break of a device path or of a server's
            // text is shown escaped.
            SayError(Printable(names[i] + ": " + errors[i]->Message));
            for (const std::string& line : failureLines(ports[i], *errors[i], progress, i))
                SayError(Printable(names[i] + ": " + line));
            status = ExitDeviceFailed;
        }
    }
    return status;
}

// Adds a sending command with the options they all share; the caller adds
// the rest to the returned subcommand.
CLI::App* addSendCommand(CLI::App& app, Commands& commands, const std::string& name,
                         const std::string& description, bool needsFile, JobMaker make) {
    auto options = std::make_shared<SendOptions>();
    options->Command = name;
    CLI::App* sub = app.add_subcommand(name, description);
    if (needsFile)
        sub->add_option("FILE", options->File, "Arquivo de configuração (*.snh)")
            ->required()
            ->type_name("");
    const CLI::Validator portName(
        [](std::string& text) {
            if (ParsePortName(text))
                return std::string();
            if (serial::net::HasScheme(text))
                return "endereço de rede inválido \"" + text +
                       "\": use rfc2217://HOST:PORTA ou socket://HOST:PORTA (PORTA de 1 a 65535, "
                       "IPv6 entre colchetes)";
            return "porta inválida \"" + text +
                   "\": use COMn (COM1, com3...) ou um caminho /dev/...";
        },
        "");
    sub->add_option(
           "--port", options->Ports,
           "Porta serial: COMn (como na janela), caminho de dispositivo, rfc2217://HOST:PORTA ou "
           "socket://HOST:PORTA; repita para "
           "várias impressoras ao mesmo tempo")
        ->check(portName)
        ->type_name("PORTA");
    sub->add_flag("--dry-run", options->DryRun,
                  "Não abre porta nenhuma: mostra cada quadro (ms desde o início, bytes em hexa)");
    sub->add_flag("-q,--quiet", options->Quiet, "Sem progresso; só os erros");
    commands.push_back(
        {sub, [options, needsFile, make] { return send(*options, needsFile, make); }});
    return sub;
}

// A band number 1 to 4, refused in Portuguese naming the value.
const CLI::Validator BandNumber(
    [](std::string& text) {
        int n = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
        return ec == std::errc{} && end == text.data() + text.size() && n >= 1 &&
                       n <= ConfigurationModel::BandCount
                   ? std::string()
                   : "banda inválida \"" + text + "\": use 1 a " +
                         std::to_string(ConfigurationModel::BandCount);
    },
    "");

} // namespace

void AddSendCommands(CLI::App& app, Commands& commands) {
    auto band = std::make_shared<int>(0);
    CLI::App* program = addSendCommand(
        app, commands, "program",
        "\"Programar\": as quatro linhas e a configuração, banda 1 a 4 em seguida (ou só --band)",
        true, [band](const printer::PrinterConfiguration& config) {
            Jobs jobs;
            for (int b = 1; b <= ConfigurationModel::BandCount; ++b)
                if (*band == 0 || *band == b)
                    jobs.push_back({b, printer::ProgramPlan(config, b)});
            return jobs;
        });
    program->add_option("--band", *band, "Só esta banda (1 a 4)")
        ->check(BandNumber)
        ->type_name("N");

    addSendCommand(app, commands, "config", "\"Config\": opções e faixas de senhas das bandas",
                   true, [](const printer::PrinterConfiguration& config) {
                       return Jobs{{0, printer::ConfigPlan(config)}};
                   });
    addSendCommand(app, commands, "clock",
                   "\"Relógio\": acerta o relógio pela hora deste computador", false,
                   [](const printer::PrinterConfiguration&) {
                       return Jobs{{0, printer::ClockPlan(localClock())}};
                   });

    auto printBand = std::make_shared<int>(0);
    CLI::App* print = addSendCommand(app, commands, "print", "\"Imprimir\": um ticket da banda",
                                     false, [printBand](const printer::PrinterConfiguration&) {
                                         return Jobs{{*printBand, printer::PrintPlan(*printBand)}};
                                     });
    print->add_option("--band", *printBand, "Banda do ticket (1 a 4)")
        ->required()
        ->check(BandNumber)
        ->type_name("N");

    addSendCommand(app, commands, "restart", "\"Re Iniciar\": reinicia a impressora", false,
                   [](const printer::PrinterConfiguration&) {
                       return Jobs{{0, printer::RestartPlan()}};
                   });
    addSendCommand(app, commands, "report", "\"Log\": a impressora imprime o relatório", false,
                   [](const printer::PrinterConfiguration&) {
                       return Jobs{{0, printer::ReportPlan()}};
                   });
}
