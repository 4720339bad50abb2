#pragma once
// Brings the loopback up in a network namespace just made (where it starts
// down), through any socket of that namespace.
#include <cstring>
#include <net/if.h>
#include <sys/ioctl.h>

inline bool LoopbackUp(int socketFd)
{
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    if (::ioctl(socketFd, SIOCGIFFLAGS, &request) != 0)
        return false;
    request.ifr_flags |= IFF_UP;
    return ::ioctl(socketFd, SIOCSIFFLAGS, &request) == 0;
}
