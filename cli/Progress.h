#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The progress of several ports sending at once, one line per port on a
// terminal, redrawn in place. Every method may be called from any thread;
// output is serialised. When not live, nothing is drawn.
class Progress {
public:
    Progress(std::vector<std::string> ports, bool live);

    // Port `port` is about to send step `step` (0-based) of `steps`, named
    // `name`, of band `band` (0: the command has no band); `done` of `total`
    // steps of the whole command are behind it.
    void Step(std::size_t port, int band, std::size_t step, std::size_t steps,
              const std::string& name, std::size_t done, std::size_t total);
    // The port's final state: done, or the error that stopped it.
    void Finished(std::size_t port, const std::optional<std::string>& error);

private:
    void draw();

    std::mutex lock;
    std::vector<std::string> names;
    std::vector<std::string> states;
    bool live;
    bool drawn = false;
    std::size_t nameWidth = 0;
};
