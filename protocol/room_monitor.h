#pragma once
// What the room monitor keeps between its passes: its event and command
// records, its recordset on the main window's connection, the rooms in walk
// order with the place its pushes go on from, and the pace of those pushes.
#include "database/ado_recordset.h"
#include "protocol/device_com_ctrl.h"
#include "protocol/my_event.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <vector>

class CRoom;

// Pushes of changed rooms (about 1.1 KB each) are paced for the slowest
// workstation: a 64 KiB receive buffer holds 28 of them on Linux, which
// charges each datagram its buffer overhead. A pass sends at most
// kRoomPushBurst, and the allowance grows back at kRoomPushesPerSecond, so
// 2,000 changed rooms reach every workstation in about 2 s. While rooms stay
// marked the next pass comes kPendingPassInterval later.
constexpr int kRoomPushBurst = 16;
constexpr int kRoomPushesPerSecond = 1000;
constexpr std::chrono::milliseconds kPendingPassInterval{10};

// The allowance of room pushes, refilled with time up to a burst.
class RoomPushPace {
public:
    using Clock = std::chrono::steady_clock;

    // The pushes allowed now.
    int Allowance(Clock::time_point now)
    {
        const double grown = std::chrono::duration<double>(now - m_since).count() * kRoomPushesPerSecond;
        m_credit = std::min<double>(kRoomPushBurst, m_credit + std::max(0.0, grown));
        m_since = now;
        return static_cast<int>(m_credit);
    }
    void Spend(int pushes) { m_credit -= pushes; }

private:
    double m_credit = kRoomPushBurst;
    Clock::time_point m_since = Clock::now();
};

struct RoomMonitorStorage {
    explicit RoomMonitorStorage(CADODatabase *database) : recordset(database) {}
    CMyEvent event;
    CDeviceComCtrl command;
    CADOMyRecordset recordset;
    // The in-service rooms in walk order (the hotel keeps its shape once
    // built), and the position the next pass walks from: the room after
    // the last one pushed.
    std::vector<CRoom *> rooms;
    size_t walkStart = 0;
    RoomPushPace pace;
};
