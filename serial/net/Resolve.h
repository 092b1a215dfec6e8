#pragma once
// Which server a network port's host and port stand for, so that two names
// of one server (localhost and 127.0.0.1, ::ffff:127.0.0.1 and 127.0.0.1)
// are known as one. The lookup is one file per platform (ResolvePosix.cpp,
// ResolveWin32.cpp); the rest is portable.

#include <array>
#include <compare>
#include <cstdint>
#include <string>
#include <vector>

namespace serial::net {

struct Endpoint {
    bool V4 = false;
    std::array<uint8_t, 16> Address{}; // an IPv4 address in the first four bytes
    uint32_t Scope = 0;                // an IPv6 address's interface, 0 for none
    uint16_t Port = 0;

    // "127.0.0.1:4001", "[fe80::1%2]:4001" (the interface by number).
    std::string Text() const;
    auto operator<=>(const Endpoint&) const = default;
};

// The addresses the system resolves `host` to (a name, or an address, an
// IPv6 one with its interface after "%"), as they came. Empty when it does
// not resolve.
std::vector<Endpoint> ResolveHost(const std::string& host, uint16_t port);

// The server's endpoints: ResolveHost's, an IPv4-mapped IPv6 address as the
// IPv4 address it maps, sorted, each once.
std::vector<Endpoint> ServerEndpoints(const std::string& host, uint16_t port);

} // namespace serial::net
