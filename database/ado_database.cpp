#include "database/ado_database.h"

#include "database/db_connection.h"
#include "platform/error_line.h"

CADODatabase::CADODatabase() : m_connection(std::make_shared<database::DbConnection>()) {}

CADODatabase::~CADODatabase()
{
    Close();
}

bool CADODatabase::Open(std::string_view connectionString, std::string_view user, std::string_view password)
{
    if (!connectionString.empty())
        m_connectionString = connectionString;
    database::ComError error;
    if (m_connection->Open(database::CurrentEngineSettings(), m_connectionString, std::string(user),
                           std::string(password), &error))
        return true;
    Fail(error);
    return false;
}

bool CADODatabase::OpenSibling(const CADODatabase &primary)
{
    const std::shared_ptr<database::DbConnection> other = primary.m_connection;
    database::EngineSettings settings;
    std::string user;
    std::string password;
    {
        std::lock_guard lock(other->Mutex());
        settings = other->Settings();
        user = other->User();
        password = other->Password();
        // Read under the primary's lock: the UI thread may be reopening it.
        m_connectionString = other->ConnectionString();
    }
    database::ComError error;
    if (m_connection->Open(settings, m_connectionString, user, password, &error))
        return true;
    Fail(error);
    return false;
}

void CADODatabase::Fail(const database::ComError &error)
{
    m_lastError = error.code;
    m_errorDescription = error.description;
    m_lastErrorText = "Connection String = " + m_connectionString + "\n" + FormatComError("CADODataBase", error);
}

void CADODatabase::SetLoginGiveUp(int fd) { m_connection->SetLoginGiveUp(fd); }

bool CADODatabase::IsOpen() const
{
    return m_connection && m_connection->IsOpen();
}

void CADODatabase::Close()
{
    if (IsOpen())
        m_connection->Close();
}

void CADODatabase::EnableGroupCommit(std::function<void(const database::BatchLoss &)> reporter,
                                     std::function<void()> begun)
{
    m_connection->SetGroupCommit(true, std::move(reporter), std::move(begun));
}

bool CADODatabase::CommitBatch()
{
    return m_connection->CommitBatch();
}

bool CADODatabase::BeginTransaction()
{
    database::ComError error;
    if (m_connection->BeginTransaction(&error))
        return true;
    Fail(error);
    return false;
}

bool CADODatabase::CommitTransaction()
{
    database::ComError error;
    if (m_connection->CommitTransaction(&error))
        return true;
    Fail(error);
    return false;
}

CADODatabase::LiveRoomWriteGroup::LiveRoomWriteGroup(CADODatabase &database) : m_connection(*database.m_connection)
{
    m_connection.BeginLiveRoomGroup();
}

CADODatabase::LiveRoomWriteGroup::~LiveRoomWriteGroup()
{
    m_connection.EndLiveRoomGroup();
}

void CADODatabase::SetLiveRoomFailureReporter(std::function<void(const std::string &diagnostic)> reporter)
{
    m_connection->SetLiveRoomFailureReporter(
        [reporter = std::move(reporter)](const std::string &text, const database::ComError &error) {
            const std::string diagnostic = "Query = " + text + "\n" + FormatComError("CADORecordset", error);
            if (reporter)
                reporter(diagnostic);
            else
                platform::WriteErrorLine("live-room write failed", diagnostic);
        });
}
