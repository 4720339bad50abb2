// A command from the TCP link: logged, tried as a set-top-box string, then as
// XML of the configured PMS language.
#include "pms/pms_commands.h"

#include "console/kelvor_dlg.h"
#include "database/ado_recordset.h"
#include "database/sql_quote.h"
#include "platform/decimal_text.h"
#include "pms/pms_text.h"
#include "protocol/crc.h"
#include "protocol/device_com_ctrl.h"
#include "protocol/frame_codes.h"

#include <cstdio>
#include <cstring>

void CPmsCommands::HandleTcpCommand(const char *command)
{
    Log("接收到命令串：%s", command);
    SetTopBoxStep(command);

    PmsLanguage language;
    if (m_dlg.m_pmsType == kPmsFoxhis)
        language = PmsLanguage::Foxhis;
    else if (m_dlg.m_pmsType == kPmsNehops)
        language = PmsLanguage::Nehops;
    else
        return;
    const char *root = language == PmsLanguage::Foxhis ? "foxhis" : "nehops";
    if (!m_tcpCommand.LoadText(command))
        return;
    m_tcpCommand.SetPosition(0, 0, 0);
    if (!m_tcpCommand.FindNext(root))
        return;
    const std::string version = m_tcpCommand.GetAttribute("ver");
    if (!m_tcpCommand.FindNextChild("func"))
        return;
    std::string &room2 = m_tcpRoom2[language == PmsLanguage::Foxhis ? 0 : 1];
    if (RunXmlCommand(m_tcpCommand, version, language, {m_tcpTexts, room2, m_tcpReply}))
        SendTcpReply(m_tcpReply.GetText());
}

// The optional RMNAME column names rooms; a name found there wins over the
// number the text would decode to.
bool CPmsCommands::FindSetTopBoxRoomByName(const char *name, PmsRoomNumber &number)
{
    CADOMyRecordset &rs = Recordset();
    const bool hasNames = rs.Exec("select col_length('room_ip_list', 'RMNAME')") && rs.GetRecordCount() > 0
                          && !rs.IsFieldNull(0);
    rs.Close();
    if (!hasNames)
        return false;
    // The name comes from outside: quoted so it can only ever be a name.
    const std::string sql = "Select * from room_ip_list where RMNAME = '" + database::SqlQuote(name) + "'";
    bool found = false;
    if (rs.Exec(sql) && rs.GetRecordCount() > 0) {
        number.build = platform::LeadingDecimal(rs.GetFieldString("BUILD_NUM"));
        number.floor = platform::LeadingDecimal(rs.GetFieldString("FLOOR_NUM"));
        number.room = platform::LeadingDecimal(rs.GetFieldString("room_num"));
        found = true;
    }
    rs.Close();
    return found;
}

void CPmsCommands::SetTopBoxStep(const char *command)
{
    const SetTopBoxFields fields = SplitSetTopBox(command);
    PmsRoomNumber number;
    if (!FindSetTopBoxRoomByName(fields.a, number))
        number = DecodeRoomNumber(fields.a, false, true);
    CRoom *room = m_dlg.m_hotel.FindRoom(number.build, number.floor, number.room);
    if (!room) {
        Log("<机顶盒>找不到该房间号%s", fields.a);
        return;
    }

    CDeviceComCtrl record;
    AddressRecord(record, RCU_STB_COMMAND, number);
    uint8_t subRecord[8] = {8, 0xFF, static_cast<uint8_t>(platform::LeadingDecimal(fields.c)), 0, 0,
                            static_cast<uint8_t>(platform::LeadingDecimal(fields.b)), 0, 0};
    CalcFrameCRC16(subRecord);
    const uint16_t length =
        record.BuildFrame(m_dlg.m_sendBuf, sizeof m_dlg.m_sendBuf, subRecord, static_cast<int>(sizeof subRecord));
    m_dlg.SendUdp(length, room->m_rcuPort, room->GetIPString().c_str());
    Log("<机顶盒>接口软件向%d|%d%02d房间发送指令", number.build, number.floor, number.room);
    SendTcpReply("ok");
}

// A reply that does not fit the reply buffer (a long command echoed back)
// goes out whole from the reply text itself rather than being cut.
void CPmsCommands::SendTcpReply(const std::string &text)
{
    if (text.size() <= sizeof m_dlg.m_pmsReplyBuf) {
        std::memcpy(m_dlg.m_pmsReplyBuf, text.data(), text.size());
        m_dlg.SendToPms(static_cast<int>(text.size()));
    } else {
        m_dlg.SendToPmsLink(text.data(), text.size());
    }
}
