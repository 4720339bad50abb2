#pragma once
// The PMS room-state poller (PMS types 2 and 3): a worker thread that reads
// every room's RMSTATE from the live-room table over and over and marks the
// rooms whose value changed, for the room monitor to act on.
#include <atomic>

class CADODatabase;
class CHotel;
class CKelvorDlg;

// What a poll loop has done so far; for watching it from another thread.
struct PmsPollerProgress {
    std::atomic<int> passes{0};   // whole passes over the rooms
    std::atomic<int> failures{0}; // statements that failed
};

// The thread's work until stop is set: its own connection to the database
// `primary` is connected to, its own walk over the hotel's rooms. Returns 0.
int PollPmsRoomStates(const CHotel &hotel, const CADODatabase &primary, const std::atomic<int> &stop,
                      PmsPollerProgress *progress = nullptr);

// The thread entry: PollPmsRoomStates on the main object's hotel, connection
// and stop flag.
int PmsRoomStateThread(CKelvorDlg *dlg);
