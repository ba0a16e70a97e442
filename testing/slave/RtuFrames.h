#pragma once
// Frames as a libmodbus master puts them on the line, replies as a libmodbus
// slave builds them, and replies taken the way a master takes them, so the
// tests never compute a CRC of their own. The context's line is one end of a
// socket pair; the test holds the other.

#include <modbus.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <vector>

class RtuFrames {
  public:
    using Bytes = std::vector<std::uint8_t>;

    RtuFrames() {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
            throw std::runtime_error("socketpair");
        }
        line_ = pair[0];
        tap_ = pair[1];
        // Never connected: the descriptor comes from modbus_set_socket.
        ctx_ = modbus_new_rtu("rtu-frames", 9600, 'N', 8, 1);
        if (ctx_ == nullptr) {
            throw std::runtime_error("modbus_new_rtu");
        }
        modbus_set_socket(ctx_, line_);
        // Everything is in the socket before libmodbus looks, so a short
        // frame need not be waited for.
        modbus_set_response_timeout(ctx_, 0, 100'000);
        modbus_set_byte_timeout(ctx_, 0, 10'000);
    }
    ~RtuFrames() {
        modbus_free(ctx_);
        ::close(line_);
        ::close(tap_);
    }
    RtuFrames(const RtuFrames&) = delete;
    RtuFrames& operator=(const RtuFrames&) = delete;

    // Address, function and data become a frame with its CRC.
    Bytes frame(int address, const Bytes& pdu) {
        // Byte by byte: GCC 12 at -O2 takes a range insert into a one-byte
        // vector for an overflow (-Warray-bounds).
        Bytes raw{static_cast<std::uint8_t>(address)};
        for (std::uint8_t b : pdu) {
            raw.push_back(b);
        }
        if (modbus_send_raw_request(ctx_, raw.data(), int(raw.size())) < 0) {
            take();
            return {};
        }
        return take();
    }

    // The reply a slave holding `mapping` gives `request` (a whole frame),
    // the writes applied to `mapping`; or, with `exceptionCode`, that
    // exception reply instead.
    Bytes reply(const Bytes& request, modbus_mapping_t* mapping, int exceptionCode = 0) {
        modbus_set_slave(ctx_, request.empty() ? 0 : request[0]);
        if (exceptionCode != 0) {
            modbus_reply_exception(ctx_, request.data(), static_cast<unsigned int>(exceptionCode));
        } else {
            modbus_reply(ctx_, request.data(), int(request.size()), mapping);
        }
        return take();
    }

    // Whether `frame` (address, function, data, CRC) carries the CRC
    // libmodbus would give those bytes.
    bool checks(const Bytes& frame) {
        if (frame.size() < 4) {
            return false;
        }
        return this->frame(frame[0], Bytes(frame.begin() + 1, frame.end() - 2)) == frame;
    }

    // The same function and data, framed as coming from `address`.
    Bytes readdressed(int address, const Bytes& frame) {
        return this->frame(address, Bytes(frame.begin() + 1, frame.end() - 2));
    }

    // The reply's function and data when a master that asked `address`
    // takes `reply` whole, CRC and length; empty otherwise.
    Bytes accept(int address, const Bytes& reply) {
        if (reply.empty() || ::write(tap_, reply.data(), reply.size()) != ssize_t(reply.size())) {
            return {};
        }
        modbus_set_slave(ctx_, address);
        std::uint8_t got[MODBUS_RTU_MAX_ADU_LENGTH];
        const int n = modbus_receive_confirmation(ctx_, got);
        const bool leftOver = drainLine();
        if (n != int(reply.size()) || leftOver) {
            return {};
        }
        return Bytes(got + 1, got + n - 2);
    }

  private:
    Bytes take() {
        Bytes out;
        std::uint8_t chunk[MODBUS_RTU_MAX_ADU_LENGTH];
        ssize_t n;
        while ((n = ::recv(tap_, chunk, sizeof chunk, MSG_DONTWAIT)) > 0) {
            out.insert(out.end(), chunk, chunk + n);
        }
        return out;
    }
    bool drainLine() {
        bool any = false;
        std::uint8_t chunk[MODBUS_RTU_MAX_ADU_LENGTH];
        while (::recv(line_, chunk, sizeof chunk, MSG_DONTWAIT) > 0) {
            any = true;
        }
        return any;
    }

    modbus_t* ctx_ = nullptr;
    int line_ = -1;  // the master's end
    int tap_ = -1;   // the test's
};
