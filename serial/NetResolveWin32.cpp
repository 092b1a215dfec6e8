// The system's name lookup for NetResolve, Windows.
#include "serial/NetResolve.h"

#include <cstring>
#include <mutex>
#include <winsock2.h>
#include <ws2tcpip.h>

namespace vaplatform::net {

std::vector<Endpoint> ResolveHost(const std::string& host, uint16_t port) {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    std::vector<Endpoint> endpoints;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0)
        return endpoints;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        Endpoint e;
        e.Port = port;
        if (a->ai_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
            e.V4 = true;
            std::memcpy(e.Address.data(), &in->sin_addr, 4);
        } else if (a->ai_family == AF_INET6) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(a->ai_addr);
            std::memcpy(e.Address.data(), &in6->sin6_addr, 16);
            e.Scope = in6->sin6_scope_id;
        } else {
            continue;
        }
        endpoints.push_back(e);
    }
    freeaddrinfo(list);
    return endpoints;
}

} // namespace vaplatform::net
