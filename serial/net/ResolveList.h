#pragma once
// The part of a name lookup both systems share: the endpoints of an
// addrinfo list. Included by each system's resolver after its own socket
// headers, which declare addrinfo, sockaddr_in and sockaddr_in6.

#include "serial/net/Resolve.h"

#include <cstring>

namespace serial::net::detail {

inline std::vector<Endpoint> EndpointsOf(const addrinfo* list, uint16_t port) {
    std::vector<Endpoint> endpoints;
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
    return endpoints;
}

} // namespace serial::net::detail
