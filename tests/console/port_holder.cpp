// Runs a program in a network namespace just made, with ports of that
// namespace already taken by sockets the program inherits and never uses:
//   kelvor_port_holder [--udp PORT] [--tcp-listen PORT] [--] <program> [arguments...]
// --udp takes the UDP port on every local address (no SO_REUSEADDR, so the
// program's own bind of it fails); --tcp-listen listens on 127.0.0.1:PORT
// and never accepts: the kernel completes each connection into the backlog,
// and nothing ever answers it (a server that accepts and stays silent).
// The loopback is brought up first. The program is exec'd in place.
#include "support/loopback.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char *g_self = "kelvor_port_holder";

int Fail(const char *what, const char *detail)
{
    std::fprintf(stderr, "%s: %s: %s\n", g_self, what, detail);
    return 1;
}

bool ParsePort(const char *text, uint16_t &port)
{
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value <= 0 || value > 65535)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

// No SOCK_CLOEXEC: the program keeps the socket, and with it the port.
int BoundSocket(int type, uint32_t address, uint16_t port)
{
    const int fd = ::socket(AF_INET, type, 0);
    if (fd < 0)
        return -1;
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(address);
    at.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&at), sizeof at) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

} // namespace

int main(int argc, char **argv)
{
    g_self = argv[0];
    const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (control < 0 || !LoopbackUp(control))
        return Fail("the loopback", std::strerror(errno));
    ::close(control);
    int i = 1;
    for (; i + 1 < argc; i += 2) {
        const bool udp = std::strcmp(argv[i], "--udp") == 0;
        const bool tcp = std::strcmp(argv[i], "--tcp-listen") == 0;
        if (!udp && !tcp)
            break;
        uint16_t port = 0;
        if (!ParsePort(argv[i + 1], port))
            return Fail("not a port", argv[i + 1]);
        const int fd = udp ? BoundSocket(SOCK_DGRAM, INADDR_ANY, port) : BoundSocket(SOCK_STREAM, INADDR_LOOPBACK, port);
        if (fd < 0 || (tcp && ::listen(fd, 16) != 0))
            return Fail(argv[i], std::strerror(errno));
    }
    if (i < argc && std::strcmp(argv[i], "--") == 0)
        ++i;
    if (i >= argc) {
        std::fprintf(stderr, "usage: %s [--udp PORT] [--tcp-listen PORT] [--] <program> [arguments...]\n", g_self);
        return 2;
    }
    ::execv(argv[i], argv + i);
    return Fail(argv[i], std::strerror(errno));
}
