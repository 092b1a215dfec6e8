// Frames per second that the splitter and the decoder together get through
// on a recorded stream: the frames of a whole "Programar" band ("e", four
// header lines, configuration frames 17 and 18) and then "R", "T", "w" and
// "f", repeated to some megabytes and fed in reads of 64 bytes, the size a
// serial read brings. Compared with what 115200 baud can carry.
#include "protocol/Commands.h"
#include "protocol/Decoder.h"
#include "protocol/FrameSplitter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace {

template <typename F> void record(std::vector<uint8_t>& stream, const F& frame) {
    stream.insert(stream.end(), frame.bytes().begin(), frame.bytes().end());
}

std::vector<uint8_t> recordedSession() {
    using namespace protocol;
    std::vector<uint8_t> session;
    record(session, E2pFrame());
    const char* texts[] = {"Atendimento Cart\xE3o", "Senha Preferencial", "* BANDA 2 LINHA  3 *",
                           "Aten\xE7\xE3o"};
    for (uint8_t line = 0; line < 4; ++line) {
        std::string text = texts[line];
        ConvertAccents(text);
        record(session, LineFrame(static_cast<uint8_t>(5 + line), line, text));
    }
    const uint8_t options = OptionBits({.PrintDate = true, .PrintTime = true, .PrintFooter = true});
    record(session, ConfigFrame(ConfigFrameId::Bands1And2, options, 4, {1, 999}, {1000, 1999}));
    record(session, ConfigFrame(ConfigFrameId::Bands3And4, options, 4, {-50, 50}, {1, 9999}));
    record(session, ClockFrame({14, 5, 9, 23, 2, 2003}));
    record(session, PrintBandFrame(2));
    record(session, RestartFrame());
    record(session, ReportFrame());
    return session;
}

struct Outcome {
    std::size_t frames = 0;
    std::size_t faults = 0; // anything but a decoded frame: must stay 0
    double seconds = 0;
};

Outcome run(const std::vector<uint8_t>& stream) {
    using Clock = std::chrono::steady_clock;
    constexpr std::size_t Read = 64;
    protocol::FrameSplitter splitter;
    Outcome outcome;
    auto now = protocol::FrameSplitter::TimePoint{};
    const auto start = Clock::now();
    for (std::size_t at = 0; at < stream.size(); at += Read) {
        const auto chunk = std::span(stream).subspan(at, std::min(Read, stream.size() - at));
        now += std::chrono::microseconds(5556); // 64 bytes at 115200 baud
        for (const auto& item : splitter.Feed(chunk, now)) {
            if (item.ItemKind != protocol::FrameSplitter::Item::Kind::Frame ||
                !std::holds_alternative<protocol::Command>(protocol::Decode(item.Bytes)))
                ++outcome.faults;
            ++outcome.frames;
        }
    }
    outcome.faults += splitter.Flush().size();
    outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return outcome;
}

} // namespace

int main() {
    const std::vector<uint8_t> session = recordedSession();
    constexpr std::size_t Target = 4 * 1024 * 1024;
    std::vector<uint8_t> stream;
    std::size_t sessions = 0;
    while (stream.size() < Target) {
        stream.insert(stream.end(), session.begin(), session.end());
        ++sessions;
    }

    run(stream); // warm-up
    std::vector<Outcome> runs;
    for (int i = 0; i < 7; ++i)
        runs.push_back(run(stream));
    std::sort(runs.begin(), runs.end(),
              [](const Outcome& a, const Outcome& b) { return a.seconds < b.seconds; });
    const Outcome& median = runs[runs.size() / 2];

    const double framesPerSecond = static_cast<double>(median.frames) / median.seconds;
    const double bytesPerSecond = static_cast<double>(stream.size()) / median.seconds;
    constexpr double LineBytesPerSecond = 115200.0 / 10; // 10 bits a byte; 8N2 carries less
    std::printf("stream: %zu bytes, %zu sessions of 11 frames (%zu bytes each)\n", stream.size(),
                sessions, session.size());
    std::printf("median of %zu runs: %.1f ms, %.0f frames/s, %.1f MB/s\n", runs.size(),
                median.seconds * 1e3, framesPerSecond, bytesPerSecond / 1e6);
    std::printf("115200 baud carries %.0f bytes/s (%.0f long frames/s): %.0f times that\n",
                LineBytesPerSecond, LineBytesPerSecond / 28, bytesPerSecond / LineBytesPerSecond);
    std::printf("faults: %zu\n", median.faults);
    return median.frames == sessions * 11 && median.faults == 0 ? 0 : 1;
}
