#include "serial/net/NetworkAddress.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace serial::net {

namespace {

constexpr int kCodeBase = 0x20000000;

struct Scheme {
    std::string_view Prefix;
    NetworkAddress::Protocol Kind;
};
constexpr Scheme kSchemes[] = {{"rfc2217://", NetworkAddress::Protocol::Rfc2217},
                               {"socket://", NetworkAddress::Protocol::Raw}};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return a == std::tolower(static_cast<unsigned char>(b));
           });
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// Dotted decimal with four parts of 0..255, no leading zeros.
bool IsIpv4(std::string_view text) {
    int parts = 0;
    while (true) {
        const size_t dot = text.find('.');
        const std::string_view part = text.substr(0, dot);
        if (part.empty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), IsDigit) ||
            (part.size() > 1 && part.front() == '0'))
            return false;
        int value = 0;
        std::from_chars(part.data(), part.data() + part.size(), value);
        if (value > 255)
            return false;
        ++parts;
        if (dot == std::string_view::npos)
            break;
        text.remove_prefix(dot + 1);
    }
    return parts == 4;
}

// Up to eight groups of 1..4 hex digits, at most one "::", optionally ending
// in an IPv4 address.
bool IsIpv6(std::string_view text) {
    if (text.size() < 2)
        return false;
    const size_t gap = text.find("::");
    if (gap != std::string_view::npos && text.find("::", gap + 1) != std::string_view::npos)
        return false;
    int groups = 0;
    size_t i = 0;
    while (i < text.size()) {
        if (text.compare(i, 2, "::") == 0) {
            i += 2;
            continue;
        }
        if (text[i] == ':') {
            if (i == 0)
                return false;
            ++i;
            continue;
        }
        const size_t end = text.find(':', i);
        const std::string_view group = text.substr(i, end - i);
        if (end == std::string_view::npos && group.find('.') != std::string_view::npos) {
            if (!IsIpv4(group))
                return false;
            groups += 2;
        } else {
            if (group.empty() || group.size() > 4 ||
                !std::all_of(group.begin(), group.end(), IsHexDigit))
                return false;
            ++groups;
            // A single ':' may not end the address.
            if (end == text.size() - 1)
                return false;
        }
        if (end == std::string_view::npos)
            break;
        i = end;
    }
    return gap != std::string_view::npos ? groups <= 7 : groups == 8;
}

// An interface's name or number, as the system takes it after "%".
bool IsZone(std::string_view text) {
    return !text.empty() && text.size() <= 64 && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
    });
}

// Labels of letters, digits and hyphens (not at either end), 1..63 each,
// 253 characters in all; a name of only digits and dots must be an IPv4
// address.
bool IsHostName(std::string_view text) {
    if (text.empty() || text.size() > 253)
        return false;
    if (std::all_of(text.begin(), text.end(), [](char c) { return IsDigit(c) || c == '.'; }))
        return IsIpv4(text);
    while (true) {
        const size_t dot = text.find('.');
        const std::string_view label = text.substr(0, dot);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        for (const char c : label)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-')
                return false;
        if (dot == std::string_view::npos)
            return true;
        text.remove_prefix(dot + 1);
    }
}

std::optional<uint16_t> ParsePort(std::string_view text) {
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), IsDigit))
        return std::nullopt;
    unsigned value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    if (value < 1 || value > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

} // namespace

std::string NetworkAddress::HostPort() const {
    const bool v6 = Host.find(':') != std::string::npos;
    return (v6 ? "[" + Host + "]" : Host) + ":" + std::to_string(Port);
}

std::string NetworkAddress::Text() const {
    return (Kind == Protocol::Rfc2217 ? "rfc2217://" : "socket://") + HostPort();
}

bool HasScheme(std::string_view text) {
    const size_t end = text.find("://");
    if (end == std::string_view::npos || end == 0 ||
        !std::isalpha(static_cast<unsigned char>(text.front())))
        return false;
    return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

bool IsNetworkAddress(std::string_view text) {
    return std::any_of(std::begin(kSchemes), std::end(kSchemes),
                       [&](const Scheme& s) { return StartsWithNoCase(text, s.Prefix); });
}

std::optional<NetworkAddress> ParseNetworkAddress(std::string_view text) {
    NetworkAddress address;
    bool known = false;
    for (const Scheme& s : kSchemes) {
        if (StartsWithNoCase(text, s.Prefix)) {
            address.Kind = s.Kind;
            text.remove_prefix(s.Prefix.size());
            known = true;
            break;
        }
    }
    if (!known)
        return std::nullopt;
    std::string_view host;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        host = text.substr(1, close - 1);
        // A link-local address names its interface after "%" (fe80::1%eth0).
        const size_t percent = host.find('%');
        if (!IsIpv6(host.substr(0, percent)) ||
            (percent != std::string_view::npos && !IsZone(host.substr(percent + 1))))
            return std::nullopt;
        text.remove_prefix(close + 1);
        if (text.empty() || text.front() != ':')
            return std::nullopt;
        text.remove_prefix(1);
    } else {
        const size_t colon = text.rfind(':');
        if (colon == std::string_view::npos)
            return std::nullopt;
        host = text.substr(0, colon);
        if (!IsHostName(host))
            return std::nullopt;
        text.remove_prefix(colon + 1);
    }
    const std::optional<uint16_t> port = ParsePort(text);
    if (!port)
        return std::nullopt;
    address.Host = std::string(host);
    // An interface name keeps its letter case.
    std::transform(
        address.Host.begin(),
        address.Host.begin() +
            static_cast<std::ptrdiff_t>(std::min(address.Host.find('%'), address.Host.size())),
        address.Host.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    address.Port = *port;
    return address;
}

int NetworkErrorCode(NetworkError error) {
    return kCodeBase + static_cast<int>(error);
}

bool IsNetworkErrorCode(int code) {
    return code > kCodeBase && code <= NetworkErrorCode(NetworkError::RawServerSpeaksTelnet);
}

std::string NetworkOpenError(const std::string& name, int code) {
    const std::optional<NetworkAddress> address = ParseNetworkAddress(name);
    const std::string server = address ? address->HostPort() : name;
    switch (code - kCodeBase) {
    case static_cast<int>(NetworkError::BadAddress):
        return "Endereço de rede inválido: " + name + ".";
    case static_cast<int>(NetworkError::UnknownHost):
        return "O servidor " + (address ? address->Host : name) + " não foi encontrado (" + name +
               ").";
    case static_cast<int>(NetworkError::Rfc2217Refused):
        return "O servidor " + server + " não aceita RFC 2217 (recusou COM-PORT-OPTION).";
    case static_cast<int>(NetworkError::Rfc2217Silent):
        return "O servidor " + server +
               " não aceita RFC 2217 (não respondeu a COM-PORT-OPTION em 3 s).";
    case static_cast<int>(NetworkError::Rfc2217Closed):
        return "O servidor " + server +
               " não aceita RFC 2217 (fechou a conexão sem responder a COM-PORT-OPTION).";
    case static_cast<int>(NetworkError::RawServerSpeaksTelnet):
        return "O servidor " + server +
               " fala RFC 2217 (abriu a conexão negociando Telnet), e socket:// perderia todo "
               "byte 0xFF: use rfc2217://" +
               server + ".";
    default:
        return {};
    }
}

std::string NetworkErrorText(int code) {
    switch (code - kCodeBase) {
    case static_cast<int>(NetworkError::BadAddress):
        return "invalid network address";
    case static_cast<int>(NetworkError::UnknownHost):
        return "unknown host";
    case static_cast<int>(NetworkError::Rfc2217Refused):
        return "the server refused RFC 2217 (COM-PORT-OPTION)";
    case static_cast<int>(NetworkError::Rfc2217Silent):
        return "the server did not answer COM-PORT-OPTION within 3 s";
    case static_cast<int>(NetworkError::Rfc2217Closed):
        return "the server closed the connection without answering COM-PORT-OPTION";
    case static_cast<int>(NetworkError::Rfc2217BaudRefused):
        return "the server refused the baud rate";
    case static_cast<int>(NetworkError::Rfc2217DataBitsRefused):
        return "the server refused the data bits";
    case static_cast<int>(NetworkError::Rfc2217ParityRefused):
        return "the server refused the parity";
    case static_cast<int>(NetworkError::Rfc2217StopBitsRefused):
        return "the server refused the stop bits";
    case static_cast<int>(NetworkError::Rfc2217LineSilent):
        return "the server did not answer the line settings within 3 s";
    case static_cast<int>(NetworkError::Rfc2217Held):
        return "the server held the flow (FLOWCONTROL-SUSPEND) past the write time-out";
    case static_cast<int>(NetworkError::RawServerSpeaksTelnet):
        return "the server speaks RFC 2217 (Telnet): use rfc2217://";
    default:
        return {};
    }
}

} // namespace serial::net
