#pragma once
// The server's database connection. Failures come back as false with the
// code and diagnostic text kept; nothing here shows a message or throws.
#include "database/com_error.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace database {
class DbConnection;
struct BatchLoss;
}

class CADODatabase {
public:
    CADODatabase();
    virtual ~CADODatabase();
    CADODatabase(const CADODatabase &) = delete;
    CADODatabase &operator=(const CADODatabase &) = delete;

    // An empty connection string reopens with the one stored by the last
    // Open that gave one. Which engine serves it is the layer's own setting
    // (engine_settings.h): with the embedded engine the string only tells the
    // administrator ("Uid=sa") from the program's own login.
    bool Open(std::string_view connectionString = {}, std::string_view user = {}, std::string_view password = {});

    // For another thread (the PMS poller): opens this object, made on that
    // thread, as a second connection to the database `primary` is connected
    // to, with the same engine, connection string and login.
    bool OpenSibling(const CADODatabase &primary);

    bool IsOpen() const;
    void Close();
    // The login waits of Open end at once when `fd` becomes readable
    // (DbConnection::SetLoginGiveUp); GetLastError is then kErrLoginGivenUp.
    void SetLoginGiveUp(int fd);

    // Group commit of the writes between two idle moments (DbConnection):
    // turned on for the server's own connection, committed by CommitBatch at
    // every idle moment and by the owner's timer kBatchMaxAge after `begun`.
    // The reporter hears of writes the engine threw away. Whatever the server
    // tells as done (an operator's message, a PMS reply, a push of event
    // rows) is told after CommitBatch says the writes it reports are
    // committed; false: they were lost, and the reporter has heard of it.
    void EnableGroupCommit(std::function<void(const database::BatchLoss &)> reporter, std::function<void()> begun);
    bool CommitBatch();
    // Writes that come all at once in one transaction (DbConnection::
    // BeginTransaction); false with the cause kept when the engine refused.
    bool BeginTransaction();
    bool CommitTransaction();

    // One datagram's handling: while a group lives, the embedded engine's
    // writes of the live-room table are kept (Exec tells success at once,
    // unless its caller asks for the rows changed: that one runs then) and
    // run together in one short transaction when it ends (DbConnection).
    class LiveRoomWriteGroup {
    public:
        explicit LiveRoomWriteGroup(CADODatabase &database);
        ~LiveRoomWriteGroup();
        LiveRoomWriteGroup(const LiveRoomWriteGroup &) = delete;
        LiveRoomWriteGroup &operator=(const LiveRoomWriteGroup &) = delete;

    private:
        database::DbConnection &m_connection;
    };
    // Hears of a kept write that failed when it ran, with the diagnostic
    // text the recordset would have kept ("Query = ...").
    void SetLiveRoomFailureReporter(std::function<void(const std::string &diagnostic)> reporter);

    std::string GetConnectionString() const { return m_connectionString; }
    std::shared_ptr<database::DbConnection> GetActiveConnection() const { return m_connection; }

    // The code of the last failure (0x80004005: the server did not answer;
    // 0x80040E4D: the login was refused), 0 until one occurs.
    uint32_t GetLastError() const { return m_lastError; }
    const std::string &GetLastErrorText() const { return m_lastErrorText; }
    std::string GetErrorDescription() const { return m_errorDescription; }

private:
    void Fail(const database::ComError &error);

    std::shared_ptr<database::DbConnection> m_connection;
    std::string m_connectionString;
    std::string m_lastErrorText;
    std::string m_errorDescription;
    uint32_t m_lastError = 0;
};
