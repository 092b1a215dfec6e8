#pragma once
// Network ports: the names that stand for a serial port behind a device
// server, and the open failures that only they have. Portable, no sockets.
//
//   rfc2217://HOST:PORT  Telnet with the com port option: this side sets the
//                        remote line (speed, framing, flow control, DTR/RTS)
//   socket://HOST:PORT   plain TCP: the bytes as they are, the server's own
//                        line settings hold
//
// HOST is a name, an IPv4 address or an IPv6 address in brackets (a
// link-local one with its interface: [fe80::1%eth0]); PORT is 1 to 65535.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace serial::net {

struct NetworkAddress {
    enum class Protocol { Rfc2217, Raw };
    Protocol Kind = Protocol::Raw;
    std::string Host; // without brackets
    uint16_t Port = 0;

    // "HOST:PORT", an IPv6 host in brackets.
    std::string HostPort() const;
    // The whole name, scheme in lower case: how messages and the command
    // line name the port.
    std::string Text() const;
    bool operator==(const NetworkAddress&) const = default;
};

// Whether the text begins with a URL scheme ("tcp://"), one of ours or not.
bool HasScheme(std::string_view text);
// Whether the text names a network port at all (its scheme), valid or not.
bool IsNetworkAddress(std::string_view text);
// Nothing when the scheme, host or port is not valid.
std::optional<NetworkAddress> ParseNetworkAddress(std::string_view text);

// Failures of a network open that have no system error code. Their codes lie
// far above every errno and Windows code.
enum class NetworkError {
    BadAddress = 1,
    UnknownHost,
    Rfc2217Refused, // the server answered WONT/DONT to the com port option
    Rfc2217Silent,  // it did not answer in time
    Rfc2217Closed,  // it closed the connection before answering
    // After the com port option was taken: the server answered a line
    // setting with another value (the setting it refused), did not answer
    // the line settings in time, or held the flow (FLOWCONTROL-SUSPEND)
    // longer than the write limit.
    Rfc2217BaudRefused,
    Rfc2217DataBitsRefused,
    Rfc2217ParityRefused,
    Rfc2217StopBitsRefused,
    Rfc2217LineSilent,
    Rfc2217Held,
    // A socket:// port whose server opened with Telnet negotiation: it
    // speaks RFC 2217, and raw bytes would lose every 0xFF.
    RawServerSpeaksTelnet,
};
int NetworkErrorCode(NetworkError error);
bool IsNetworkErrorCode(int code);
// How long an RFC 2217 server has for each answer (the com port option, the
// line settings) before the open fails.
inline constexpr int kNegotiationLimitMs = 3000;
// The message for a failed open of `name`, when `code` is one of the codes
// above; empty otherwise (the system's text applies).
std::string NetworkOpenError(const std::string& name, int code);
// The component's English text for one of the codes above, in lower case
// as it follows a comma in the component's messages (what
// serial::device::ErrorText gives for it on every system); empty for any other
// code.
std::string NetworkErrorText(int code);

} // namespace serial::net
