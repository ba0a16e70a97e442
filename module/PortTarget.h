#pragma once
// What a port number can stand for, written as its TQ7310_COM<n> value:
//   tcp:HOST[:PORT]     a Modbus TCP server or gateway (PORT 502 if left out)
//   rtu-tcp:HOST:PORT   a serial server carrying RTU frames over TCP as they
//                       are, CRC and all
//   anything else       a serial device's path
// HOST is a name, an IPv4 address or an IPv6 address in brackets.

#include <charconv>
#include <optional>
#include <string>
#include <string_view>

namespace module_line {

enum class TargetKind { Serial, ModbusTcp, RtuOverTcp };

inline constexpr int kModbusTcpPort = 502;
// A Modbus TCP frame's header: transaction id, protocol id, length, then the
// unit id, where an RTU frame has its address; the PDU follows as in RTU.
inline constexpr int kMbapBytes = 7;
inline constexpr int kMbapUnitAt = kMbapBytes - 1;
inline constexpr std::string_view kTcpPrefix = "tcp:";
inline constexpr std::string_view kRtuTcpPrefix = "rtu-tcp:";

// The environment variable that points port `number` somewhere.
inline std::string portVariable(int number) {
    return "TQ7310_COM" + std::to_string(number);
}

struct PortTarget {
    TargetKind kind = TargetKind::Serial;
    std::string device;  // Serial: the path; else the host, without brackets
    int tcpPort = 0;     // the network targets'

    bool networked() const { return kind != TargetKind::Serial; }
    // The far end as people write it: HOST:PORT, brackets around IPv6.
    std::string endpoint() const {
        const bool v6 = device.find(':') != std::string::npos;
        return (v6 ? "[" + device + "]" : device) + ":" + std::to_string(tcpPort);
    }
    // As a TQ7310_COM<n> value.
    std::string text() const {
        switch (kind) {
            case TargetKind::ModbusTcp:
                return std::string(kTcpPrefix) + endpoint();
            case TargetKind::RtuOverTcp:
                return std::string(kRtuTcpPrefix) + endpoint();
            case TargetKind::Serial:
                break;
        }
        return device;
    }
    bool operator==(const PortTarget&) const = default;
};

namespace detail {

inline std::optional<int> tcpPortOf(std::string_view digits) {
    int port = 0;
    const auto* end = digits.data() + digits.size();
    const auto [at, error] = std::from_chars(digits.data(), end, port);
    if (digits.empty() || error != std::errc() || at != end || port < 1 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

// HOST[:PORT] into the target; false when malformed.
inline bool readEndpoint(std::string_view rest, bool portRequired, PortTarget& target) {
    std::string_view host = rest;
    std::string_view port;
    if (rest.starts_with('[')) {
        const auto close = rest.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        host = rest.substr(1, close - 1);
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty() && !after.starts_with(':')) {
            return false;
        }
        port = after.empty() ? after : after.substr(1);
        if (after == ":") {
            return false;
        }
    } else if (const auto colon = rest.rfind(':'); colon != std::string_view::npos) {
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (host.find(':') != std::string_view::npos || port.empty()) {
            return false;  // an IPv6 address needs its brackets
        }
    }
    if (host.empty() || host.find_first_of(" \t[]/") != std::string_view::npos ||
        (port.empty() && portRequired)) {
        return false;
    }
    const auto number = port.empty() ? std::optional<int>(kModbusTcpPort) : tcpPortOf(port);
    if (!number) {
        return false;
    }
    target.device = std::string(host);
    target.tcpPort = *number;
    return true;
}

}  // namespace detail

// The target `text` names; nullopt for a network target written wrongly
// (no host, a port outside 1..65535, rtu-tcp without its port).
inline std::optional<PortTarget> parsePortTarget(std::string_view text) {
    PortTarget target;
    if (text.starts_with(kTcpPrefix)) {
        target.kind = TargetKind::ModbusTcp;
        return detail::readEndpoint(text.substr(kTcpPrefix.size()), false, target)
                   ? std::optional(target)
                   : std::nullopt;
    }
    if (text.starts_with(kRtuTcpPrefix)) {
        target.kind = TargetKind::RtuOverTcp;
        return detail::readEndpoint(text.substr(kRtuTcpPrefix.size()), true, target)
                   ? std::optional(target)
                   : std::nullopt;
    }
    target.device = std::string(text);
    return target;
}

}  // namespace module_line
