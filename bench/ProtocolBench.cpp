// Time to build the frames of one whole "Programar" sequence ("e", four
// header lines, configuration frames 17 and 18) and hand them byte by byte
// to a port, without the pauses between frames. The port is a sink that only
// counts bytes, so the figure is the protocol's own cost.
#include "protocol/Commands.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct CountingPort {
    std::size_t bytes = 0;
    // Out of line, like a call into the serial component.
    [[gnu::noinline]] bool WriteChar(char c) {
        bytes += 1;
        asm volatile("" : : "r"(c) : "memory");
        return true;
    }
};

template <typename F> void send(CountingPort& port, const F& frame) {
    for (uint8_t b : frame.bytes())
        port.WriteChar(static_cast<char>(b));
}

struct Band {
    std::array<std::string, 4> texts;
    std::array<uint8_t, 4> styles;
};

void programmingSequence(CountingPort& port, const Band& band, int bandNumber,
                         const std::array<protocol::TicketRange, 4>& ranges) {
    using namespace protocol;
    send(port, E2pFrame());
    for (int line = 0; line < 4; ++line) {
        std::string buffer = band.texts[static_cast<std::size_t>(line)];
        ConvertAccents(buffer);
        send(port, LineFrame(static_cast<uint8_t>((bandNumber - 1) * 4 + line + 1),
                             band.styles[static_cast<std::size_t>(line)], buffer));
    }
    const uint8_t options = OptionBits({.PrintDate = true, .PrintTime = true, .PrintFooter = true});
    send(port, ConfigFrame(ConfigFrameId::Bands1And2, options, 4, ranges[0], ranges[1]));
    send(port, ConfigFrame(ConfigFrameId::Bands3And4, options, 4, ranges[2], ranges[3]));
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main() {
    using Clock = std::chrono::steady_clock;
    const Band band{{"Atendimento Cart\xE3o", "Senha Preferencial", "* BANDA 2 LINHA  3 *",
                     "Aguarde sua chamada"},
                    {3, 1, 0, 2}};
    const std::array<protocol::TicketRange, 4> ranges{
        {{1, 999}, {12, 345}, {1000, 1999}, {-5, 9999}}};

    CountingPort port;
    constexpr int Batch = 1000;
    constexpr int BatchRuns = 301;
    constexpr int SingleRuns = 20001;

    for (int i = 0; i < Batch; ++i) // warm-up
        programmingSequence(port, band, 2, ranges);

    std::vector<double> perSequenceInBatch;
    for (int run = 0; run < BatchRuns; ++run) {
        const auto start = Clock::now();
        for (int i = 0; i < Batch; ++i)
            programmingSequence(port, band, 2, ranges);
        const std::chrono::duration<double, std::nano> elapsed = Clock::now() - start;
        perSequenceInBatch.push_back(elapsed.count() / Batch);
    }

    std::vector<double> single;
    for (int run = 0; run < SingleRuns; ++run) {
        const auto start = Clock::now();
        programmingSequence(port, band, 2, ranges);
        const std::chrono::duration<double, std::nano> elapsed = Clock::now() - start;
        single.push_back(elapsed.count());
    }

    CountingPort one;
    programmingSequence(one, band, 2, ranges);
    std::printf("programming sequence: 7 frames, %zu bytes per sequence\n", one.bytes);
    std::printf("median over %d batches of %d sequences: %.0f ns per sequence\n", BatchRuns, Batch,
                median(perSequenceInBatch));
    std::printf("median of %d single sequences (clock reads included): %.0f ns\n", SingleRuns,
                median(single));
    std::printf("(bytes handed over in total: %zu)\n", port.bytes);
    return one.bytes == 14 + 4 * 28 + 2 * 28 ? 0 : 1;
}
