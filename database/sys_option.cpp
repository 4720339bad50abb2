#include "database/sys_option.h"

#include "database/ado_recordset.h"
#include "database/sql_quote.h"
#include "platform/decimal_text.h"
#include "platform/error_line.h"
#include "platform/message_box.h"

#include <cstdio>

std::string CSysOption::GetSysOption(int code, int *disabled)
{
    std::string value;
    if (disabled)
        *disabled = 0;
    if (!m_optionDatabase || !m_optionDatabase->IsOpen())
        return value;
    CADOMyRecordset recordset(m_optionDatabase);
    char sql[64];
    std::snprintf(sql, sizeof sql, "select * from sysoptions where Optioncode=%d", code);
    recordset.SetQuery(sql);
    if (recordset.Exec() && recordset.GetRecordCount() != 0) {
        value = recordset.GetFieldString("Value");
        if (disabled)
            *disabled = platform::LeadingDecimal(recordset.GetFieldString("Disabled"));
        recordset.Close();
    }
    return value;
}

bool CSysOption::SetSysOption(int code, std::string_view value, int disabled)
{
    if (!m_optionDatabase)
        return false;
    if (!m_optionDatabase->IsOpen()) {
        platform::MessageBox("数据库连接未连接！", platform::MsgButtons::Ok);
        return false;
    }
    CADOMyRecordset recordset(m_optionDatabase);
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "UpdateSysOptions %d,%d,'", code, disabled);
    // Quoted although the program only writes numbers: a value can never
    // change the statement.
    recordset.SetQuery(prefix + database::SqlQuote(value) + "'");
    int affected = 0;
    if (!recordset.Exec(&affected)) {
        platform::WriteErrorLine("option not written", recordset.GetLastErrorText());
        return false;
    }
    if (affected != 1) {
        platform::MessageBox("设置失败！", platform::MsgButtons::Ok);
        return false;
    }
    recordset.Close();
    return true;
}

bool CSysOption::SetOptionInt(int code, int value, int disabled)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return SetSysOption(code, text, disabled);
}
