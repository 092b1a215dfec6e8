#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The progress of several ports sending at once, one line per port on a
// terminal, redrawn in place. Every method may be called from any thread;
// output is serialised. When not live, nothing is drawn, but where each port
// is stays known, for Unfinished.
class Progress {
public:
    Progress(std::vector<std::string> ports, bool live);

    // Port `port` is about to send step `step` (0-based) of `steps`, named
    // `name`, of band `band` (0: the command has no band); `done` of `total`
    // steps of the whole command are behind it.
    void Step(std::size_t port, int band, std::size_t step, std::size_t steps,
              const std::string& name, std::size_t done, std::size_t total);
    // The frame of the step last begun has gone to the line, all of it.
    void Sent(std::size_t port);
    // The port's final state: done, or the error that stopped it.
    void Finished(std::size_t port, const std::optional<std::string>& error);
    // One line per port (Portuguese, without "qrv: ") for a command cut off
    // now: what each port had not finished, by band and step. A port whose
    // every frame went out was not cut, whatever pause was still running.
    std::vector<std::string> Unfinished();
    // Where a port stopped (Portuguese): "nada foi enviado", or the band and
    // step cut off, as Unfinished says it.
    std::string StoppedAt(std::size_t port);

private:
    void draw();
    struct Where;
    static std::string stoppedAt(const Where& w);

    struct Where {
        enum { Waiting, Sending, Done, Failed } Phase = Waiting;
        int Band = 0;
        std::size_t Step = 0, Steps = 0;
        std::string Name;
        bool Sent = false; // the step's frame is out
        bool Last = false; // the command's last step
    };

    std::mutex lock;
    std::vector<std::string> names;
    std::vector<std::string> states;
    std::vector<Where> where;
    bool live;
    bool drawn = false;
    std::size_t nameWidth = 0;
};
