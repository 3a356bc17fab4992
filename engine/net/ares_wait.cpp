#include "engine/net/ares_wait.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

namespace quaymark {

void InitialiseAres() {
    static std::once_flag initialised;
    std::call_once(initialised, [] { ares_library_init(ARES_LIB_INIT_ALL); });
}

void AwaitAres(ares_channel channel, std::chrono::steady_clock::time_point deadline) {
    std::array<ares_socket_t, ARES_GETSOCK_MAXNUM> sockets{};
    const int mask = ares_getsock(channel, sockets.data(), ARES_GETSOCK_MAXNUM);
    std::vector<pollfd> fds;
    for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
        const short events = static_cast<short>((ARES_GETSOCK_READABLE(mask, i) ? POLLIN : 0) |
                                                (ARES_GETSOCK_WRITABLE(mask, i) ? POLLOUT : 0));
        if (events != 0) {
            fds.push_back(
                {.fd = sockets[static_cast<std::size_t>(i)], .events = events, .revents = 0});
        }
    }
    timeval most{};
    const auto left = std::max<std::int64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                 deadline - std::chrono::steady_clock::now())
                                                 .count(),
                                             0);
    most.tv_sec = static_cast<time_t>(left / 1000000);
    most.tv_usec = static_cast<suseconds_t>(left % 1000000);
    timeval next{};
    const timeval* wait = ares_timeout(channel, &most, &next);
    const int ms = static_cast<int>(wait->tv_sec * 1000 + (wait->tv_usec + 999) / 1000);
    if (::poll(fds.data(), fds.size(), ms) <= 0) {
        ares_process_fd(channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);  // timeouts
        return;
    }
    for (const pollfd& fd : fds) {
        ares_process_fd(channel,
                        (fd.revents & (POLLIN | POLLERR | POLLHUP)) ? fd.fd : ARES_SOCKET_BAD,
                        (fd.revents & POLLOUT) ? fd.fd : ARES_SOCKET_BAD);
    }
}

}  // namespace quaymark
