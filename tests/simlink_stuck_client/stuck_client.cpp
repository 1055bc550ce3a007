// vario-simlink-stuck-client: a client of the Linux simulator link that sends messages to
// the add-on's window and never reads a reply, for the test that the development
// simulator keeps answering everyone else. Prints "dropped by the add-on" when the
// add-on closes it, else "still connected", after holding on for the given seconds.
// Usage: vario-simlink-stuck-client SECONDS
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/linux/simlink_linux_internal.h"
#include "simlink/request_area.h"

using namespace platform::simlink_linux;

int main(int argc, char** argv) {
    int hold_s = argc > 1 ? std::atoi(argv[1]) : 5;
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = RendezvousPath(simlink::kAddOnWindowClass);
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::printf("cannot connect to %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }
    // A message that is not the link's own: answered at once, and never read here.
    MessagePacket packet{};
    packet.message = 0x0400;
    long sent = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(hold_s);
    bool dropped = false;
    while (std::chrono::steady_clock::now() < end && !dropped) {
        packet.sequence = static_cast<uint32_t>(sent + 1);
        ssize_t result = send(fd, &packet, sizeof packet, MSG_NOSIGNAL);
        if (result == static_cast<ssize_t>(sizeof packet)) {
            ++sent;
            continue;
        }
        if (result < 0 && (errno == EPIPE || errno == ECONNRESET)) dropped = true;
        pollfd entry{fd, 0, 0};  // POLLHUP comes by itself
        if (poll(&entry, 1, 50) > 0 && (entry.revents & POLLHUP)) dropped = true;
    }
    std::printf("%ld messages sent, none read: %s\n", sent, dropped ? "dropped by the add-on" : "still connected");
    close(fd);
    return 0;
}
