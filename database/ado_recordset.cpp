#include "database/ado_recordset.h"

#include "database/db_connection.h"
#include "database/sqlite_dialect.h"
#include "platform/error_line.h"
#include "platform/gbk.h"

#include <QDateTime>
#include <QSqlField>
#include <QSqlQuery>
#include <charconv>
#include <cstdio>
#include <ctime>

namespace {

constexpr const char *kAdoSource = "ADODB.Recordset";
constexpr const char *kDefaultDateFormat = "%Y-%m-%d %H:%M:%S";

// As %lld and %llu print it: a workstation's push reads several numbers of
// every event row.
std::string DecimalText(auto value)
{
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, static_cast<size_t>(end - text));
}

// The C library's gcvt: the shortest general form with `digits` significant
// digits.
std::string Gcvt(double value, int digits)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    return text;
}

std::string FormatDate(const QDateTime &when, std::string_view format)
{
    if (!when.isValid())
        return "Invalid DateTime";
    const QDate date = when.date();
    const QTime time = when.time();
    std::tm tm{};
    tm.tm_year = date.year() - 1900;
    tm.tm_mon = date.month() - 1;
    tm.tm_mday = date.day();
    tm.tm_hour = time.hour();
    tm.tm_min = time.minute();
    tm.tm_sec = time.second();
    tm.tm_wday = date.dayOfWeek() % 7;
    tm.tm_yday = date.dayOfYear() - 1;
    tm.tm_isdst = -1;
    const std::string pattern(format.empty() ? std::string_view(kDefaultDateFormat) : format);
    char text[256];
    const size_t length = std::strftime(text, sizeof text, pattern.c_str(), &tm);
    return std::string(text, length);
}

// The field's value as text, by the value's type; false for a type without
// a text form (binary data).
bool FieldText(const QVariant &value, bool declaredBit, std::string_view dateFormat, std::string &text)
{
    if (!value.isValid() || value.isNull()) {
        text.clear();
        return true;
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        text = value.toBool() ? "T" : "F";
        return true;
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
        text = declaredBit ? (value.toLongLong() ? "T" : "F") : DecimalText(value.toLongLong());
        return true;
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        text = declaredBit ? (value.toULongLong() ? "T" : "F") : DecimalText(value.toULongLong());
        return true;
    case QMetaType::Float:
        text = Gcvt(value.toFloat(), 10);
        return true;
    case QMetaType::Double:
        text = Gcvt(value.toDouble(), 20);
        return true;
    case QMetaType::QDate:
        text = FormatDate(QDateTime(value.toDate(), QTime(0, 0)), dateFormat);
        return true;
    case QMetaType::QDateTime:
        text = FormatDate(value.toDateTime(), dateFormat);
        return true;
    case QMetaType::QString:
        text = platform::GbkStringFromQString(*static_cast<const QString *>(value.constData()));
        return true;
    default:
        return false;
    }
}

} // namespace

CADORecordset::CADORecordset(CADODatabase *database)
    : m_connection(database ? database->GetActiveConnection() : nullptr)
{
}

CADORecordset::~CADORecordset()
{
    Close();
    m_recordset.reset(); // before the connection it was made on
}

bool CADORecordset::Readable() const
{
    return m_open && m_connection && m_connection->IsOpen() && m_connection->Generation() == m_generation;
}

bool CADORecordset::IsOpen() const
{
    if (!m_connection)
        return false;
    std::lock_guard lock(m_connection->Mutex());
    return Readable();
}

// The rows go back to the heap, not only out of reach: clear() would keep
// the storage of the largest result this recordset ever read (a backlog of
// thousands of event rows) for as long as the recordset lives.
void CADORecordset::Close()
{
    m_open = false;
    if (m_result.values.capacity() != 0)
        std::vector<QVariant>().swap(m_result.values);
    // Not a fresh QSqlRecord: each one allocates, and a statement closes its
    // recordset twice.
    if (!m_result.columns.isEmpty())
        m_result.columns.clear();
    m_result.columnCount = 0;
    m_result.rowCount = 0;
    m_columnsByName.clear();
    m_nextNamed = 0;
    m_row = 0;
}

void CADORecordset::Fail(const database::ComError &error)
{
    m_lastError = error.code;
    m_lastErrorText = "Query = " + m_sql + "\n" + FormatComError("CADORecordset", error);
}

void CADORecordset::FailAdo(uint32_t code, const char *description)
{
    Fail({code, kAdoSource, description});
}

bool CADORecordset::CanRead(int column)
{
    if (!Readable()) {
        FailAdo(database::kErrObjectClosed, "Operation is not allowed when the object is closed.");
        return false;
    }
    if (column < 0 || column >= m_result.columnCount) {
        FailAdo(database::kErrItemNotFound,
                "Item cannot be found in the collection corresponding to the requested name or ordinal.");
        return false;
    }
    if (!HasRow()) {
        FailAdo(database::kErrNoCurrentRecord, "Either BOF or EOF is True, or the current record has been "
                                               "deleted. Requested operation requires a current record.");
        return false;
    }
    return true;
}

int CADORecordset::GetRecordCount()
{
    if (!m_connection)
        return 0;
    std::lock_guard lock(m_connection->Mutex());
    // The rows are all read at Exec, so the count is known wherever the
    // current row stands, and asking for it moves nothing.
    if (!Readable())
        return 0;
    return static_cast<int>(m_result.rowCount);
}

bool CADORecordset::IsFieldNull(int16_t index)
{
    if (!m_connection)
        return false;
    std::lock_guard lock(m_connection->Mutex());
    return CanRead(index) && Field(index).isNull();
}

bool CADORecordset::GetFieldValue(std::string_view fieldName, std::string &value, std::string_view dateFormat)
{
    if (!m_connection)
        return false;
    std::lock_guard lock(m_connection->Mutex());
    bool declaredBit = false;
    const int index = ColumnOf(fieldName, &declaredBit);
    if (!CanRead(index))
        return false;
    // FieldText leaves `value` alone where it fails.
    return FieldText(Field(index), declaredBit, dateFormat, value);
}

// A walk reads the same names in the same order on every row, so the name
// after the last one found is tried first.
int CADORecordset::ColumnOf(std::string_view fieldName, bool *declaredBit)
{
    const size_t known = m_columnsByName.size();
    for (size_t tried = 0; tried < known; ++tried) {
        const size_t at = (m_nextNamed + tried) % known;
        const NamedColumn &named = m_columnsByName[at];
        if (named.name == fieldName) {
            m_nextNamed = at + 1;
            *declaredBit = named.declaredBit;
            return named.column;
        }
    }
    const int column = m_result.columns.indexOf(platform::QStringFromGbk(fieldName));
    *declaredBit = column >= 0 && m_result.columns.field(column).metaType().id() == QMetaType::Bool;
    m_columnsByName.push_back({std::string(fieldName), column, *declaredBit});
    m_nextNamed = m_columnsByName.size();
    return column;
}

std::string CADORecordset::GetFieldString(std::string_view fieldName)
{
    std::string value;
    if (!GetFieldValue(fieldName, value))
        return std::string();
    return value;
}

bool CADORecordset::IsEof() const
{
    if (!m_connection)
        return true;
    std::lock_guard lock(m_connection->Mutex());
    return !Readable() || !HasRow();
}

void CADORecordset::MoveNext()
{
    if (!m_connection)
        return;
    std::lock_guard lock(m_connection->Mutex());
    if (Readable() && HasRow())
        ++m_row;
}

bool CADOMyRecordset::Exec(std::string_view sql, int *recordsAffected)
{
    m_sql = sql;
    return Exec(recordsAffected);
}

bool CADOMyRecordset::ExecOrTell(std::string_view sql, const char *what)
{
    if (Exec(sql))
        return true;
    platform::WriteErrorLine(what, m_lastErrorText);
    return false;
}

bool CADOMyRecordset::Exec(int *recordsAffected)
{
    if (!m_connection)
        return false;
    std::lock_guard lock(m_connection->Mutex());
    Close();
    if (!m_connection->IsOpen())
        return false;
    database::ComError error;
    if (!m_connection->IsOwnThread(&error)) {
        Fail(error);
        return false;
    }
    if (!m_recordset || m_generation != m_connection->Generation()) {
        m_recordset.reset();
        m_recordset = std::make_unique<QSqlQuery>(m_connection->Database());
        m_recordset->setForwardOnly(true);
        m_generation = m_connection->Generation();
    }
    int affected = 0;
    platform::QStringFromGbk(m_sql, m_text);
    if (!m_connection->Execute(*m_recordset, m_text, recordsAffected ? &affected : nullptr, &error, &m_result)) {
        Close();
        Fail(error);
        return false;
    }
    if (recordsAffected)
        *recordsAffected = affected;
    if (m_result.read) {
        m_open = m_result.hasColumns;
        return true;
    }
    if (m_recordset->isActive() && m_recordset->isSelect()) {
        m_result.columns = m_recordset->record();
        database::SqliteDialect::TypeBitColumns(*m_recordset, m_result.columns);
        m_result.columnCount = m_result.columns.count();
        while (m_recordset->next()) {
            for (int column = 0; column < m_result.columnCount; ++column)
                m_result.values.push_back(m_recordset->value(column));
            ++m_result.rowCount;
        }
        m_open = true;
    }
    m_recordset->finish();
    return true;
}
