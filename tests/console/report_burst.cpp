// Plays a hotel's room units right after a poll, for the headless test:
// inside the server's network namespace it brings the loopback up, sends one
// full status report with the door open for every room of building 1, floors
// 1..floors, rooms 0..rooms-1, to 127.0.0.1:port as fast as the socket takes
// them, and sends SIGTERM to the server the moment the last one is out.
//   kelvor_report_burst <port> <floors> <rooms per floor> <server pid>
// It prints "sent <n> dropped <k>": k is what the kernel dropped for full
// receive buffers in that namespace meanwhile (RcvbufErrors of /proc/net/snmp).
#include "support/loopback.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kReportLength = 79;

long RcvbufErrors()
{
    std::ifstream snmp("/proc/net/snmp");
    std::string names, values, line;
    while (std::getline(snmp, line)) {
        if (line.rfind("Udp:", 0) != 0)
            continue;
        if (names.empty())
            names = line;
        else
            values = line;
    }
    std::istringstream n(names), v(values);
    std::string name, value;
    while (n >> name && v >> value)
        if (name == "RcvbufErrors")
            return std::stol(value);
    return -1;
}

// A full report whose stored fields are a new room's, with the door open.
void DoorOpenReport(unsigned char *f, int floor, int room)
{
    std::memset(f, 0, kReportLength);
    f[0] = 0xFF;
    f[1] = kReportLength;
    std::memcpy(f + 2, "ZOLP", 4);
    f[6] = 1;
    f[15] = 0x00;
    f[16] = 0x84;
    f[18] = 1;
    f[19] = static_cast<unsigned char>(floor);
    f[20] = static_cast<unsigned char>(room);
    f[36] = f[37] = f[68] = f[69] = 22;
    f[50] = 30;
    std::memset(f + 70, 0xFF, 4);
    f[49] = 1; // door open
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s <port> <floors> <rooms per floor> <server pid>\n", argv[0]);
        return 2;
    }
    const int port = std::atoi(argv[1]), floors = std::atoi(argv[2]), rooms = std::atoi(argv[3]);
    const pid_t server = static_cast<pid_t>(std::atol(argv[4]));
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0 || !LoopbackUp(fd)) {
        std::perror("report_burst: loopback");
        return 1;
    }
    const long dropsBefore = RcvbufErrors();
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    unsigned char frame[kReportLength];
    int sent = 0;
    for (int floor = 1; floor <= floors; ++floor)
        for (int room = 0; room < rooms; ++room) {
            DoorOpenReport(frame, floor, room);
            if (::sendto(fd, frame, sizeof frame, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) ==
                kReportLength)
                ++sent;
        }
    if (::kill(server, SIGTERM) != 0) {
        std::perror("report_burst: kill");
        return 1;
    }
    std::printf("sent %d dropped %ld\n", sent, RcvbufErrors() - dropsBefore);
    return 0;
}
