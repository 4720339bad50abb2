#pragma once
// The numbered options of table sysoptions. Reads are a plain select; writes
// go through the stored procedure UpdateSysOptions and count as done only
// when it changed exactly one row.
#include "database/ado_database.h"

#include <string>
#include <string_view>

class CSysOption {
public:
    // The option's Value (empty while the database is not set or not open, or
    // when the row is missing); its Disabled flag through `disabled`.
    std::string GetSysOption(int code, int *disabled = nullptr);
    // False when the option was not written; the failure has been told
    // (standard error, or a message box for an option the table lacks), so
    // callers with nothing else to do may ignore the result.
    bool SetSysOption(int code, std::string_view value, int disabled = 0);
    bool SetOptionInt(int code, int value, int disabled = 0);

    std::string GetSysOption1(int *disabled = nullptr) { return GetSysOption(1, disabled); }
    std::string GetSysOption2(int *disabled = nullptr) { return GetSysOption(2, disabled); }
    std::string GetSysOption13(int *disabled = nullptr) { return GetSysOption(13, disabled); }
    std::string GetSysOption14(int *disabled = nullptr) { return GetSysOption(14, disabled); }
    std::string GetSysOption15(int *disabled = nullptr) { return GetSysOption(15, disabled); }

    void SetOptionDatabase(CADODatabase *database) { m_optionDatabase = database; }
    CADODatabase *GetOptionDatabase() const { return m_optionDatabase; }

private:
    CADODatabase *m_optionDatabase = nullptr;
};
