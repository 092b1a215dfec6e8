#pragma once

// An RFC 2217 device server on 127.0.0.1 that misbehaves on purpose, for one
// connection: it takes the com port option and confirms the line settings as
// a good server does, and then (per fault) holds the flow or floods. It
// records every data byte it receives, unescaped, with its arrival time. It
// stops by itself: when the client leaves, when its life ends, and a flood
// ends at its own time and byte limits.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class MisbehavingServer {
public:
    using Clock = std::chrono::steady_clock;

    enum class Fault {
        None,
        SuspendWithAnswers,     // FLOWCONTROL-SUSPEND right after the line answers
        SuspendAfterFirstFrame, // ... once the first frame has arrived
        OptionsBeforeAnswer,    // IAC DO/WILL of unknown options, com port never taken
        OptionsAfterAnswer,     // the same after the line answers
        DataBeforeAnswer,       // data, com port never taken
        DataAfterAnswer,
        NopAfterAnswer,
        SubNegotiationAfterAnswer, // line state notifications
    };

    struct Options {
        Fault What = Fault::None;
        int ResumeAfterMs = -1; // after a suspend; -1: never
        int FloodMs = 25000;
        std::size_t FloodBytes = std::size_t(1) << 32;
        std::size_t FloodBytesPerSecond = 0; // 0: as fast as the client takes
        std::size_t ReadBytesPerSecond = 0;  // 0: reads all that comes
        int LifeMs = 30000;
    };

    struct Byte {
        Clock::time_point At;
        uint8_t Value;
    };

    explicit MisbehavingServer(Options options);
    ~MisbehavingServer();
    MisbehavingServer(const MisbehavingServer&) = delete;
    MisbehavingServer& operator=(const MisbehavingServer&) = delete;

    // Listens on an ephemeral port and starts serving; false when it could not.
    bool Start();
    std::string Address() const;
    std::vector<Byte> Received() const;
    std::size_t FloodSent() const { return floodSent_.load(); }

private:
    void Serve();
    void Handle(const uint8_t* bytes, std::size_t count);
    void Command(uint8_t code, const std::string& value);
    bool Flooding() const;
    void Enqueue(const std::string& bytes) { out_ += bytes; }

    Options options_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> floodSent_{0};
    std::thread thread_;
    mutable std::mutex lock_;
    std::vector<Byte> received_;

    // Serving thread only.
    enum class Parse { Data, Iac, Option, Sb, SbIac } parse_ = Parse::Data;
    uint8_t verb_ = 0;
    std::string sb_;
    bool lastWasCr_ = false;
    std::string out_;
    bool answered_ = false; // the line settings are confirmed
    Clock::time_point floodFrom_{};
    bool floodStarted_ = false;
    Clock::time_point suspendAt_ = Clock::time_point::max();
    Clock::time_point resumeAt_ = Clock::time_point::max();
    bool suspended_ = false;
};
