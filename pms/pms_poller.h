#pragma once
// The PMS room-state poller (PMS types 2 and 3): a worker thread that reads
// every room's RMSTATE from the live-room table over and over and marks the
// rooms whose value changed, for the room monitor to act on.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

class CADODatabase;
class CHotel;
class CKelvorDlg;

// What a poll loop has done so far; for watching it from another thread.
struct PmsPollerProgress {
    std::atomic<int> passes{0};   // whole passes over the rooms
    std::atomic<int> failures{0}; // statements that failed
    std::atomic<int> skipped{0};  // passes left out: nothing committed since the last began
};

// Lets the UI thread have the database without the poller for a while: SQL
// Server restores a database only while no other connection uses it, and the
// poller's connection stands in it. Pause makes the poller close its
// connection and hold between two statements; Resume lets it reconnect and
// go on.
class PmsPollerGate {
public:
    // UI thread. Returns true once the poller holds with its connection
    // closed, or when no poller runs (one that starts before Resume holds
    // before it connects); false when it has not come to hold within `limit`.
    // Either way the pause stands until Resume.
    bool Pause(std::chrono::milliseconds limit);
    void Resume();
    // Sets the stop flag and wakes a holding poller, which then ends.
    void Stop(std::atomic<int> &stop);
    // True while the poller holds with its connection closed.
    bool Holding() const;

    // The poller thread: Enter and Leave around its work (Leave after its
    // connection is gone); HoldWhilePaused between two statements closes `db`
    // and holds, asleep until Resume or Stop, while a pause stands and stop
    // is not set. False when stop is set.
    void Enter();
    void Leave();
    bool HoldWhilePaused(CADODatabase &db, const std::atomic<int> &stop);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_pauseAsked = false;
    bool m_running = false;
    bool m_holding = false;
};

// The thread's work until stop is set: its own connection to the database
// `primary` is connected to, its own walk over the hotel's rooms, paused
// through `gate`. Returns 0.
int PollPmsRoomStates(const CHotel &hotel, const CADODatabase &primary, const std::atomic<int> &stop,
                      PmsPollerGate &gate, PmsPollerProgress *progress = nullptr);

// The thread entry: PollPmsRoomStates on the main object's hotel, connection,
// stop flag and gate.
int PmsRoomStateThread(CKelvorDlg *dlg);
