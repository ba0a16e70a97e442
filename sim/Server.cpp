#include "Server.h"

#include <poll.h>

#include <cerrno>
#include <cstdio>

#include "ModbusTcpService.h"
#include "RtuTcpService.h"
#include "StopSignals.h"

namespace sim {

Server::Server(const Options& options, Line& line)
    : options_(options),
      line_(line),
      console_(model_, options.verbose),
      responder_(options, model_, console_),
      port_(responder_, line.fd(), {}, [&line] { return line.masterBaud(); }) {
    model_.setFaults(options.moduleFaults);
    if (options.tcpPort >= 0) {
        services_.push_back(std::make_unique<ModbusTcpService>(responder_));
    }
    if (options.rtuTcpPort >= 0) {
        services_.push_back(std::make_unique<RtuTcpService>(responder_));
    }
}

Server::~Server() = default;

int Server::run() {
    if (!port_.ready()) {
        std::fprintf(stderr, "tq7310-sim: cannot set up the receiver\n");
        return 1;
    }
    const std::string serving = "tq7310-sim: serving address " + std::to_string(options_.address) +
                                " at " + std::to_string(options_.baud) + "," +
                                std::string(1, options_.parity) + ",8,1 on ";
    Console::say(serving + line_.device() + "\n");
    for (const auto& service : services_) {
        Console::say(serving + service->target() + "\n");
    }
    std::vector<pollfd> fds;
    while (!stopRequested() && !console_.quit()) {
        fds = {{line_.fd(), POLLIN, 0}, {console_.fd(), POLLIN, 0}, {stopFd(), POLLIN, 0}};
        std::vector<std::size_t> firsts;
        for (const auto& service : services_) {
            firsts.push_back(fds.size());
            service->watch(fds);
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::perror("tq7310-sim: poll");
            return 1;
        }
        if (fds[2].revents != 0) {
            continue;  // a signal: the loop condition sees it
        }
        if (fds[1].revents != 0) {
            console_.read();
        }
        if ((fds[0].revents & POLLIN) != 0) {
            if (int error = 0; !port_.serveFrame(error)) {
                std::fprintf(stderr, "tq7310-sim: %s: %s\n", line_.device().c_str(),
                             modbus_strerror(error));
                return 1;
            }
        } else if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            std::fprintf(stderr, "tq7310-sim: %s: line closed\n", line_.device().c_str());
            return 1;
        }
        for (std::size_t i = 0; i < services_.size(); ++i) {
            const std::size_t end = i + 1 < firsts.size() ? firsts[i + 1] : fds.size();
            services_[i]->serve(std::span<const pollfd>(fds).subspan(firsts[i], end - firsts[i]));
        }
    }
    return 0;
}

}  // namespace sim
