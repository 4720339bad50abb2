#include "loopback_burst.h"

#include "allocation_counter.h"
#include "console/kelvor_dlg.h"
#include "database/db_connection.h"
#include "protocol/udp_socket.h"
#include "storm_reports.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QTimer>
#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

int CountRows(CKelvorDlg &server, const char *table)
{
    CADOMyRecordset rs(&server.m_db);
    rs.Exec(std::string("select count(*) as N from ") + table);
    return std::atoi(rs.GetFieldString("N").c_str());
}

} // namespace

BurstFigures RunBurst(CKelvorDlg &server, const std::vector<BurstRoom> &rooms, const QString &outsideTempdb)
{
    BurstFigures figures;
    // Datagrams built and sockets opened beforehand: the sending is all the
    // burst is.
    std::vector<std::array<uint8_t, kReportLength>> datagrams(rooms.size());
    std::vector<int> sockets(rooms.size(), -1);
    for (size_t i = 0; i < rooms.size(); ++i) {
        BuildReport(datagrams[i].data(), rooms[i].floor, rooms[i].room, rooms[i].on);
        sockets[i] = socket(AF_INET, SOCK_DGRAM, 0);
    }
    const int knownBefore = server.m_rcuKnownCount;
    const int64_t dropsBefore = server.m_udpSocket->KernelDrops();
    const int eventsBefore = CountRows(server, "event_msg_list");
    const int historyBefore = CountRows(server, "fengji_his");
    const int passesBefore = server.m_idlePasses;
    const auto &connection = *server.m_db.GetActiveConnection();

    const long allocationsBefore = Allocations();
    const uint16_t serverPort = server.UdpPort();
    std::atomic<int> sent{0};
    std::atomic<bool> sending{true};
    const auto start = Clock::now();
    std::thread sender([&] {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(serverPort);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (size_t i = 0; i < rooms.size(); ++i) {
            if (sendto(sockets[i], datagrams[i].data(), kReportLength, 0, reinterpret_cast<const sockaddr *>(&to),
                       sizeof to) == kReportLength)
                ++sent;
        }
        sending = false;
    });
    std::thread outside;
    if (!outsideTempdb.isEmpty()) {
        outside = std::thread([&] {
            // Once the burst is under way.
            while (sending && sent < static_cast<int>(rooms.size()) / 4)
                std::this_thread::yield();
            const std::string command = "sqlite3 -cmd '.timeout 10000' '" + outsideTempdb.toStdString() +
                                        "' 'update REALTIMEROOM set RMSTATE = 2 where BUILD = " + std::to_string(kBuild) +
                                        " and FLOOR = 1 and ROOMNUM = 1'";
            const auto begun = Clock::now();
            figures.outsideStatus = std::system(command.c_str());
            figures.outsideSeconds = Seconds(begun);
        });
    }

    // Runs after the server's own idle hook (connected first): the burst is
    // over once every datagram sent was read or dropped and no batch is open.
    QEventLoop loop;
    auto finished = [&] {
        if (sending || server.m_udpSocket->hasPendingDatagrams() || connection.BatchOpen())
            return;
        const int handled = server.m_rcuKnownCount - knownBefore;
        const int64_t dropped = server.m_udpSocket->KernelDrops() - dropsBefore;
        if (handled + dropped < sent)
            return;
        if (figures.lastCommitSeconds < 0)
            figures.lastCommitSeconds = Seconds(start);
        loop.quit();
    };
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &loop, finished);
    QTimer tick; // wakes the loop while the sender runs
    QObject::connect(&tick, &QTimer::timeout, &loop, [] {});
    tick.start(2);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    figures.allocations = Allocations() - allocationsBefore;
    sender.join();
    if (outside.joinable())
        outside.join();
    for (int fd : sockets)
        close(fd);

    figures.sent = sent;
    figures.handled = server.m_rcuKnownCount - knownBefore;
    figures.kernelDrops = server.m_udpSocket->KernelDrops() - dropsBefore;
    figures.eventRows = CountRows(server, "event_msg_list") - eventsBefore;
    figures.historyRows = CountRows(server, "fengji_his") - historyBefore;
    figures.idlePasses = server.m_idlePasses - passesBefore;
    return figures;
}
