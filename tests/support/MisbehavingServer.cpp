#include "MisbehavingServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <initializer_list>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWill = 251, kSb = 250, kNop = 241, kSe = 240,
                  kComPort = 44;
constexpr uint8_t kSuspend = 108, kResume = 109, kLineState = 106;

std::string Bytes(std::initializer_list<uint8_t> list) {
    return std::string(list.begin(), list.end());
}

std::string ServerCommand(uint8_t code, const std::string& value) {
    std::string out = Bytes({kIac, kSb, kComPort, code});
    for (const char c : value) {
        out += c;
        if (static_cast<uint8_t>(c) == kIac)
            out += c;
    }
    return out + Bytes({kIac, kSe});
}

// 64 KiB of the flood a fault sends.
std::string FloodChunk(MisbehavingServer::Fault what) {
    using F = MisbehavingServer::Fault;
    std::string unit;
    switch (what) {
    case F::OptionsBeforeAnswer:
    case F::OptionsAfterAnswer:
        // Options no client knows, asked both ways, round and round.
        for (uint8_t option = 100; option < 200; ++option)
            unit += Bytes({kIac, kDo, option, kIac, kWill, option});
        break;
    case F::DataBeforeAnswer:
    case F::DataAfterAnswer:
        unit = "0123456789";
        break;
    case F::NopAfterAnswer:
        unit = Bytes({kIac, kNop});
        break;
    case F::SubNegotiationAfterAnswer:
        unit = ServerCommand(kLineState, std::string(1, '\x60'));
        break;
    default:
        return {};
    }
    std::string chunk;
    while (chunk.size() < 65536)
        chunk += unit;
    return chunk;
}

bool FloodsBeforeAnswer(MisbehavingServer::Fault what) {
    return what == MisbehavingServer::Fault::OptionsBeforeAnswer ||
           what == MisbehavingServer::Fault::DataBeforeAnswer;
}

} // namespace

MisbehavingServer::MisbehavingServer(Options options) : options_(options) {}

MisbehavingServer::~MisbehavingServer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
}

bool MisbehavingServer::Start() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size) != 0)
        return false;
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
    return true;
}

std::string MisbehavingServer::Address() const {
    return "rfc2217://127.0.0.1:" + std::to_string(port_);
}

std::vector<MisbehavingServer::Byte> MisbehavingServer::Received() const {
    std::lock_guard lock(lock_);
    return received_;
}

bool MisbehavingServer::Flooding() const {
    return floodStarted_ && floodSent_.load() < options_.FloodBytes &&
           Clock::now() < floodFrom_ + std::chrono::milliseconds(options_.FloodMs);
}

void MisbehavingServer::Serve() {
    const auto end = Clock::now() + std::chrono::milliseconds(options_.LifeMs);
    int fd = -1;
    while (fd < 0 && !stop_ && Clock::now() < end) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0)
            fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    }
    if (fd < 0)
        return;
    // A deep queue keeps the client's side full: it never finds the flood
    // paused.
    const int deep = 8 << 20;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &deep, sizeof deep);
    const auto start = Clock::now();
    std::size_t read = 0;
    const std::string chunk = FloodChunk(options_.What);
    std::size_t chunkAt = 0;
    if (FloodsBeforeAnswer(options_.What)) {
        floodStarted_ = true;
        floodFrom_ = Clock::now();
    }
    uint8_t buffer[65536];
    while (!stop_ && Clock::now() < end) {
        const auto now = Clock::now();
        if (!suspended_ && now >= suspendAt_) {
            Enqueue(ServerCommand(kSuspend, {}));
            suspended_ = true;
            if (options_.ResumeAfterMs >= 0)
                resumeAt_ = now + std::chrono::milliseconds(options_.ResumeAfterMs);
        }
        if (now >= resumeAt_) {
            Enqueue(ServerCommand(kResume, {}));
            resumeAt_ = Clock::time_point::max();
        }
        std::size_t floodRoom = 0;
        if (Flooding()) {
            floodRoom = chunk.size() - chunkAt;
            if (options_.FloodBytesPerSecond > 0) {
                const double seconds = std::chrono::duration<double>(now - floodFrom_).count();
                const auto allowed = static_cast<std::size_t>(
                    seconds * static_cast<double>(options_.FloodBytesPerSecond));
                floodRoom = std::min(floodRoom, allowed > floodSent_ ? allowed - floodSent_ : 0);
            }
        }
        std::size_t readRoom = sizeof buffer;
        if (options_.ReadBytesPerSecond > 0) {
            const double seconds = std::chrono::duration<double>(now - start).count();
            const auto allowed = static_cast<std::size_t>(
                seconds * static_cast<double>(options_.ReadBytesPerSecond));
            readRoom = std::min(readRoom, allowed > read ? allowed - read : 0);
        }
        pollfd p{fd,
                 static_cast<short>((readRoom > 0 ? POLLIN : 0) |
                                    (!out_.empty() || floodRoom > 0 ? POLLOUT : 0)),
                 0};
        if (::poll(&p, 1, 2) < 0 && errno != EINTR)
            break;
        if (p.revents & POLLIN) {
            const ssize_t n = ::recv(fd, buffer, readRoom, 0);
            if (n > 0)
                read += static_cast<std::size_t>(n);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                break;
            if (n > 0)
                Handle(buffer, static_cast<std::size_t>(n));
        }
        if (p.revents & (POLLERR | POLLHUP))
            break;
        if (!(p.revents & POLLOUT))
            continue;
        if (!out_.empty()) {
            const ssize_t n = ::send(fd, out_.data(), out_.size(), MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;
            if (n > 0)
                out_.erase(0, static_cast<std::size_t>(n));
        } else if (floodRoom > 0) {
            const ssize_t n = ::send(fd, chunk.data() + chunkAt, floodRoom, MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;
            if (n > 0) {
                floodSent_ += static_cast<std::size_t>(n);
                chunkAt = (chunkAt + static_cast<std::size_t>(n)) % chunk.size();
            }
        }
    }
    ::close(fd);
}

void MisbehavingServer::Handle(const uint8_t* bytes, std::size_t count) {
    std::vector<Byte> data;
    const auto now = Clock::now();
    for (std::size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        switch (parse_) {
        case Parse::Data:
            if (b == kIac)
                parse_ = Parse::Iac;
            else
                data.push_back({now, b});
            break;
        case Parse::Iac:
            if (b == kIac) {
                data.push_back({now, b});
                parse_ = Parse::Data;
            } else if (b >= kWill && b <= kDont) {
                verb_ = b;
                parse_ = Parse::Option;
            } else if (b == kSb) {
                sb_.clear();
                parse_ = Parse::Sb;
            } else {
                parse_ = Parse::Data;
            }
            break;
        case Parse::Option:
            // BINARY and SUPPRESS-GO-AHEAD both ways, the com port option
            // unless this server is never to take it; the rest unanswered.
            if (b == 0 || b == 3 || (b == kComPort && !FloodsBeforeAnswer(options_.What))) {
                if (verb_ == kWill)
                    Enqueue(Bytes({kIac, kDo, b}));
                else if (verb_ == kDo)
                    Enqueue(Bytes({kIac, kWill, b}));
            }
            parse_ = Parse::Data;
            break;
        case Parse::Sb:
            if (b == kIac)
                parse_ = Parse::SbIac;
            else
                sb_ += static_cast<char>(b);
            break;
        case Parse::SbIac:
            if (b == kIac) {
                sb_ += static_cast<char>(b);
                parse_ = Parse::Sb;
            } else {
                if (sb_.size() >= 2 && static_cast<uint8_t>(sb_[0]) == kComPort)
                    Command(static_cast<uint8_t>(sb_[1]), sb_.substr(2));
                parse_ = Parse::Data;
            }
            break;
        }
    }
    if (data.empty())
        return;
    if (options_.What == Fault::SuspendAfterFirstFrame && suspendAt_ == Clock::time_point::max())
        suspendAt_ = now + std::chrono::milliseconds(30);
    std::lock_guard lock(lock_);
    received_.insert(received_.end(), data.begin(), data.end());
}

void MisbehavingServer::Command(uint8_t code, const std::string& value) {
    // Every command is confirmed with its own value, as a server that took it.
    Enqueue(ServerCommand(static_cast<uint8_t>(code + 100), value));
    if (code != 4 || answered_)
        return;
    answered_ = true;
    if (options_.What == Fault::SuspendWithAnswers)
        suspendAt_ = Clock::now();
    if (!FloodsBeforeAnswer(options_.What) && !floodStarted_) {
        floodStarted_ = true;
        floodFrom_ = Clock::now();
    }
}
