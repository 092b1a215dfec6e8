#include "serial/net/Resolve.h"

#include <algorithm>

namespace serial::net {

namespace {

bool IsV4Mapped(const Endpoint& e) {
    static constexpr uint8_t prefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    return !e.V4 && std::equal(std::begin(prefix), std::end(prefix), e.Address.begin());
}

} // namespace

std::string Endpoint::Text() const {
    std::string text;
    if (V4) {
        for (int i = 0; i < 4; ++i)
            text += (i ? "." : "") + std::to_string(Address[static_cast<std::size_t>(i)]);
        return text + ":" + std::to_string(Port);
    }
    // Groups in hex, the longest run of zero groups (two or more) as "::".
    static constexpr char digits[] = "0123456789abcdef";
    int group[8];
    for (int i = 0; i < 8; ++i)
        group[i] = Address[static_cast<std::size_t>(2 * i)] << 8 |
                   Address[static_cast<std::size_t>(2 * i + 1)];
    int bestStart = -1, bestLength = 1;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && group[j] == 0)
            ++j;
        if (j - i > bestLength) {
            bestStart = i;
            bestLength = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    for (int i = 0; i < 8; ++i) {
        if (i == bestStart) {
            text += "::";
            i += bestLength - 1;
            continue;
        }
        if (!text.empty() && text.back() != ':')
            text += ':';
        std::string hex;
        for (int v = group[i]; v > 0 || hex.empty(); v >>= 4)
            hex.insert(hex.begin(), digits[v & 0xF]);
        text += hex;
    }
    if (Scope != 0)
        text += "%" + std::to_string(Scope);
    return "[" + text + "]:" + std::to_string(Port);
}

std::vector<Endpoint> ServerEndpoints(const std::string& host, uint16_t port) {
    std::vector<Endpoint> endpoints = ResolveHost(host, port);
    for (Endpoint& e : endpoints) {
        if (IsV4Mapped(e)) {
            std::copy(e.Address.begin() + 12, e.Address.end(), e.Address.begin());
            std::fill(e.Address.begin() + 4, e.Address.end(), uint8_t{0});
            e.V4 = true;
            e.Scope = 0;
        }
    }
    std::sort(endpoints.begin(), endpoints.end());
    endpoints.erase(std::unique(endpoints.begin(), endpoints.end()), endpoints.end());
    return endpoints;
}

} // namespace serial::net
