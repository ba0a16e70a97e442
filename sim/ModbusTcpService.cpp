#include "ModbusTcpService.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace sim {

namespace {

// MBAP: transaction id, protocol id, length (of unit id and PDU), unit id.
constexpr std::size_t kLengthAt = 4;
constexpr std::size_t kUnitAt = 6;
constexpr std::size_t kHeader = 7;
constexpr std::uint8_t kExceptionFlag = 0x80;
constexpr std::uint8_t kGatewayTargetFailed = 0x0B;
// The longest a request may take to arrive whole once it has begun.
constexpr std::uint32_t kPieceUs = 200'000;
// More clients than a test bench has; more are refused.
constexpr std::size_t kMaxClients = 32;

Responder::Bytes withMbap(std::span<const std::uint8_t> request,
                          std::span<const std::uint8_t> pdu) {
    const std::size_t length = pdu.size() + 1;
    // Sized at once: GCC 12 at -O2 takes an insert into the header for an
    // overflow (-Warray-bounds).
    Responder::Bytes adu(kHeader + pdu.size());
    std::copy_n(request.begin(), kHeader, adu.begin());
    std::copy(pdu.begin(), pdu.end(), adu.begin() + kHeader);
    adu[kLengthAt] = static_cast<std::uint8_t>(length >> 8);
    adu[kLengthAt + 1] = static_cast<std::uint8_t>(length);
    return adu;
}

// libmodbus sizes a request by its function and cuts one it does not know
// short after the function code; the header says where it really ends.
bool readRest(int fd, std::uint8_t* adu, int& size) {
    const int declared = static_cast<int>(kUnitAt) + (adu[kLengthAt] << 8 | adu[kLengthAt + 1]);
    while (size < std::min(declared, MODBUS_TCP_MAX_ADU_LENGTH)) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(kPieceUs / 1000)) <= 0) {
            return false;
        }
        const ssize_t n = ::read(fd, adu + size, static_cast<std::size_t>(declared - size));
        if (n <= 0) {
            return false;
        }
        size += static_cast<int>(n);
    }
    return declared <= MODBUS_TCP_MAX_ADU_LENGTH;
}

}  // namespace

ModbusTcpService::ModbusTcpService(Responder& responder)
    : responder_(responder),
      listener_(responder.options().bind, responder.options().tcpPort,
                module_line::TargetKind::ModbusTcp) {}

ModbusTcpService::~ModbusTcpService() {
    for (const Client& c : clients_) {
        modbus_free(c.receiver);
        ::close(c.fd);
    }
}

void ModbusTcpService::watch(std::vector<pollfd>& fds) const {
    fds.push_back({listener_.fd(), POLLIN, 0});
    for (const Client& c : clients_) {
        fds.push_back({c.fd, POLLIN, 0});
    }
}

void ModbusTcpService::serve(std::span<const pollfd> fds) {
    // The clients as they were polled; those gone are taken out after.
    std::vector<Client> kept;
    for (std::size_t i = 0; i < clients_.size(); ++i) {
        const Client& c = clients_[i];
        if (fds[i + 1].revents == 0 || ((fds[i + 1].revents & POLLIN) != 0 && serveRequest(c))) {
            kept.push_back(c);
            continue;
        }
        responder_.console().log("tcp: client gone");
        modbus_free(c.receiver);
        ::close(c.fd);
    }
    clients_ = std::move(kept);
    if ((fds[0].revents & POLLIN) != 0) {
        accept();
    }
}

void ModbusTcpService::accept() {
    const int fd = listener_.accept();
    if (fd < 0) {
        return;
    }
    // Only the receiving half of libmodbus is used; it never connects.
    modbus_t* receiver = clients_.size() < kMaxClients ? modbus_new_tcp("127.0.0.1", 0) : nullptr;
    if (receiver == nullptr) {
        responder_.console().log("tcp: client refused");
        ::close(fd);
        return;
    }
    modbus_set_socket(receiver, fd);
    modbus_set_byte_timeout(receiver, 0, kPieceUs);
    clients_.push_back({fd, receiver});
}

bool ModbusTcpService::serveRequest(const Client& client) {
    const auto arrival = std::chrono::steady_clock::now();
    std::uint8_t adu[MODBUS_TCP_MAX_ADU_LENGTH];
    int size = modbus_receive(client.receiver, adu);
    if (size <= static_cast<int>(kHeader) || !readRest(client.fd, adu, size)) {
        return false;
    }
    answer(client, {adu, static_cast<std::size_t>(size)}, arrival);
    return true;
}

void ModbusTcpService::answer(const Client& client, std::span<const std::uint8_t> adu,
                              Responder::Time arrival) {
    const std::span<const std::uint8_t> pdu = adu.subspan(kHeader);
    const int unit = adu[kUnitAt];
    if (unit != responder_.options().address && unit != RequestHandler::kBroadcast) {
        // No such unit behind us: a gateway says so, a server keeps quiet.
        const bool gateway = responder_.options().gateway;
        responder_.console().log("tcp: " + hex(adu) + ": unit " + std::to_string(unit) +
                                 (gateway ? " not here -> exception 0B" : " not here, ignored"));
        if (gateway) {
            const std::uint8_t refusal[] = {static_cast<std::uint8_t>(pdu[0] | kExceptionFlag),
                                            kGatewayTargetFailed};
            responder_.send(client.fd, withMbap(adu, refusal), 0, arrival, {});
        }
        return;
    }
    const Responder::Bytes request = responder_.rtuFrame(adu.subspan(kUnitAt));
    const Responder::Answer a = responder_.answer(request, arrival, "tcp: ");
    if (a.reply.size() > 2) {
        const std::span<const std::uint8_t> reply(a.reply);
        responder_.send(client.fd, withMbap(adu, reply.subspan(1, reply.size() - 3)),
                        request.size() + reply.size(), arrival, a.hold);
    }
}

}  // namespace sim
