// The PMS room-state poller. It never touches the UI thread's connection or
// room cursor: it has a connection of its own to the same database (the
// live-room table is global, visible to every connection) and a RoomWalker.
// What it shares is each room's polled state and change mark, handed over by
// CRoom::StorePolledPmsState, and the gate through which the UI thread
// pauses it.
#include "pms/pms_poller.h"

#include "console/kelvor_dlg.h"
#include "database/prepared_read.h"
#include "database/temporary_table_commits.h"

#include <QThread>

namespace {

constexpr unsigned long kPauseMs = 10;
// Shutdown waits 400 ms for the poller before anything else; a holding
// poller looks at the stop flag well within that.
constexpr std::chrono::milliseconds kStopFlagLook{100};

// The 10 ms pause, in one sleep: the stop flag is looked at right after it,
// so the thread ends at most about 10 ms after the flag. Waking every
// millisecond to look would cost an idle hotel more CPU than the passes left
// out.
void Pause(const std::atomic<int> &stop)
{
    if (!stop)
        QThread::msleep(kPauseMs);
}

constexpr const char *kRoomStateQuery =
    "select RMSTATE from ##REALTIMEROOM where BUILD=%d and FLOOR =%d  and ROOMNUM =%d";

// One room's query; false when it failed (the caller tries the same room
// again). A room without a row is left alone.
bool PollRoom(database::PreparedRead &query, CRoom &room)
{
    if (!query.Exec({room.m_buildNum, room.m_floorNum, room.m_roomNum}))
        return false;
    if (query.HasRow()) {
        const int32_t value = query.FieldInteger("RMSTATE");
        if (value != room.m_polledPmsState.load(std::memory_order_relaxed))
            room.StorePolledPmsState(value);
    }
    return true;
}

// Enter and Leave of the gate around the poller's life; declared before the
// connection, so that Leave comes after the connection is closed.
class GateEntry {
public:
    explicit GateEntry(PmsPollerGate &gate) : m_gate(gate) { m_gate.Enter(); }
    ~GateEntry() { m_gate.Leave(); }
    GateEntry(const GateEntry &) = delete;
    GateEntry &operator=(const GateEntry &) = delete;

private:
    PmsPollerGate &m_gate;
};

} // namespace

bool PmsPollerGate::Pause(std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    m_pauseAsked = true;
    return m_changed.wait_for(lock, limit, [this] { return !m_running || m_holding; });
}

void PmsPollerGate::Resume()
{
    std::lock_guard lock(m_mutex);
    m_pauseAsked = false;
    m_changed.notify_all();
}

bool PmsPollerGate::Holding() const
{
    std::lock_guard lock(m_mutex);
    return m_holding;
}

void PmsPollerGate::Enter()
{
    std::lock_guard lock(m_mutex);
    m_running = true;
}

void PmsPollerGate::Leave()
{
    std::lock_guard lock(m_mutex);
    m_running = false;
    m_changed.notify_all();
}

bool PmsPollerGate::HoldWhilePaused(CADODatabase &db, const std::atomic<int> &stop)
{
    std::unique_lock lock(m_mutex);
    if (!m_pauseAsked)
        return !stop;
    db.Close();
    m_holding = true;
    m_changed.notify_all();
    // Resume and Stop wake it; a flag set some other way is still seen
    // within kStopFlagLook.
    while (m_pauseAsked && !stop)
        m_changed.wait_for(lock, kStopFlagLook);
    m_holding = false;
    return !stop;
}

void PmsPollerGate::Stop(std::atomic<int> &stop)
{
    std::lock_guard lock(m_mutex);
    stop = 1;
    m_changed.notify_all();
}

// A pass of one query per room finds nothing new unless someone committed to
// the live-room table since the last pass began; on the embedded engine a
// query costs microseconds, and passing over the rooms without that check
// would keep a core busy for ever. So before each pass the poller asks the
// engine, and while nothing was committed it only pauses and asks again.
int PollPmsRoomStates(const CHotel &hotel, const CADODatabase &primary, const std::atomic<int> &stop,
                      PmsPollerGate &gate, PmsPollerProgress *progress)
{
    GateEntry entry(gate);
    CADODatabase db;
    // After db: gone before its connection.
    database::PreparedRead query(&db, kRoomStateQuery);
    database::TemporaryTableCommits commits(&db);
    CHotel::RoomWalker walker(hotel);
    const auto failed = [&] {
        if (progress)
            ++progress->failures;
        Pause(stop);
    };
    const auto connected = [&] {
        if (db.IsOpen() || db.OpenSibling(primary))
            return true;
        failed();
        return false;
    };
    while (!stop) {
        if (!gate.HoldWhilePaused(db, stop))
            break;
        if (!connected())
            continue;
        if (!commits.SinceLastLook()) {
            if (progress)
                ++progress->skipped;
            Pause(stop);
            continue;
        }
        for (CRoom *room = walker.First(); room && !stop;) {
            if (!gate.HoldWhilePaused(db, stop))
                break;
            if (!connected())
                continue;
            if (!PollRoom(query, *room)) {
                failed();
                continue;
            }
            room = walker.Next();
        }
        if (stop)
            break;
        if (progress)
            ++progress->passes;
        Pause(stop);
    }
    return 0;
}

int PmsRoomStateThread(CKelvorDlg *dlg)
{
    return PollPmsRoomStates(dlg->m_hotel, dlg->m_db, dlg->m_stopThread, dlg->m_pmsPollerGate);
}

void CKelvorDlg::StartPmsThread()
{
    m_pmsThread = QThread::create(PmsRoomStateThread, this);
    // Deleted with this object, after OnDestroy has waited for it to end.
    m_pmsThread->setParent(this);
    m_pmsThread->start(QThread::NormalPriority);
}
