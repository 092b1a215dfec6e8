// The system's name lookup for Resolve.h, POSIX.
#include "serial/net/Resolve.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

// After the socket headers, which it needs.
#include "serial/net/ResolveList.h"

namespace serial::net {

std::vector<Endpoint> ResolveHost(const std::string& host, uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0)
        return {};
    std::vector<Endpoint> endpoints = detail::EndpointsOf(list, port);
    ::freeaddrinfo(list);
    return endpoints;
}

} // namespace serial::net
