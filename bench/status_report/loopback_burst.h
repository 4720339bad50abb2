#pragma once
// One burst over loopback: every room unit answers the poll at once, each
// from a socket of its own, with no pacing, while this thread runs the
// server's event loop as the server does.
#include <QString>
#include <cstdint>
#include <vector>

class CKelvorDlg;

struct BurstRoom {
    int floor, room;
    bool on; // the report's states
};

struct BurstFigures {
    int sent = 0;
    int handled = 0;         // the dispatcher's known-room counter
    int64_t kernelDrops = 0; // for the server's socket
    int eventRows = 0, historyRows = 0;
    double lastCommitSeconds = -1; // from the first send until every row is committed
    int idlePasses = 0;            // room monitor passes meanwhile
    long allocations = 0;          // heap allocations of the process meanwhile
    double outsideSeconds = -1;    // the outside sqlite3 update, when one ran
    int outsideStatus = -1;
};

// With `outsideTempdb` set, an outside sqlite3 process updates the
// live-room table in that file while the burst is read.
BurstFigures RunBurst(CKelvorDlg &server, const std::vector<BurstRoom> &rooms, const QString &outsideTempdb = {});
