// The foxhis and nehops XML commands: the function table applied to the
// rooms, and the reply.
#include "pms/pms_commands.h"

#include "console/kelvor_dlg.h"
#include "database/ado_recordset.h"
#include "pms/pms_functions.h"
#include "pms/pms_text.h"
#include "protocol/device_com_ctrl.h"
#include "protocol/event_row.h"
#include "protocol/frame_codes.h"

#include <cstdarg>
#include <cstdio>

namespace {

const char *Tag(PmsLanguage language) { return language == PmsLanguage::Foxhis ? "foxhis" : "nehops"; }

// Reads the next child of that name into text; a missing child leaves it.
void ReadChild(CXmlDoc &doc, const char *name, std::string &text)
{
    if (doc.FindNextChild(name))
        text = doc.GetChildText();
}

} // namespace

CPmsCommands::CPmsCommands(CKelvorDlg &dlg) : m_dlg(dlg) {}

CPmsCommands::~CPmsCommands() = default;

CADOMyRecordset &CPmsCommands::Recordset()
{
    if (!m_recordset)
        m_recordset = std::make_unique<CADOMyRecordset>(&m_dlg.m_db);
    return *m_recordset;
}

void CPmsCommands::Log(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(m_logText, sizeof m_logText, format, args);
    va_end(args);
    m_dlg.AddLog(m_logText);
}

bool CPmsCommands::RunXmlCommand(CXmlDoc &command, const std::string &version, PmsLanguage language,
                                 Channel channel)
{
    const char *tag = Tag(language);
    const std::string functionName = command.GetChildText();
    ReadChild(command, "id", channel.texts.id);
    ReadChild(command, "pc_id", channel.texts.pcId);

    std::string room = "0";
    const PmsFunction &function = FindPmsFunction(functionName);
    ReadFunctionChildren(command, function, language, channel, room);
    Log("<%s>  %s(%s)   ROOM: %s", tag, function.description, functionName.c_str(), room.c_str());

    const int msgCode = function.kind == PmsFunction::Unknown ? 3 : 1;
    if (msgCode == 1) {
        const bool nehops = language == PmsLanguage::Nehops;
        const PmsRoomNumber r = DecodeRoomNumber(room.c_str(), true, nehops);
        const PmsRoomNumber r2 = DecodeRoomNumber(channel.room2.c_str(), true, nehops);
        CRoom *target = m_dlg.m_hotel.FindRoom(r.build, r.floor, r.room);
        CRoom *target2 = m_dlg.m_hotel.FindRoom(r2.build, r2.floor, r2.room);
        Log("<%s>  对应到房间号%d|%d%02d  %s", tag, r.build, r.floor, r.room, target ? "" : "无效房间");
        if (target || !nehops)
            ApplyFunction(function, language, r, target, r2, target2, channel.texts.sta);
        // The reply says the command was carried out: not before its writes
        // are committed. A lost batch is told in the event log, and the PMS
        // gets no reply, as for a command that was not carried out.
        if (!m_dlg.m_db.CommitBatch())
            return false;
    }
    BuildReply(channel.reply, language, version, functionName, channel.texts, msgCode);
    return true;
}

void CPmsCommands::ReadFunctionChildren(CXmlDoc &command, const PmsFunction &function, PmsLanguage language,
                                        Channel channel, std::string &room)
{
    switch (function.kind) {
    case PmsFunction::CheckIn:
    case PmsFunction::CheckOut:
    case PmsFunction::RepairSet:
    case PmsFunction::RepairCleared:
        ReadChild(command, "roomno", room);
        break;
    case PmsFunction::RoomChange:
        // foxhis: roomno1 is the room left, roomno0 the room entered;
        // nehops the other way round.
        if (language == PmsLanguage::Foxhis) {
            ReadChild(command, "roomno0", channel.room2);
            ReadChild(command, "roomno1", room);
        } else {
            ReadChild(command, "roomno0", room);
            ReadChild(command, "roomno1", channel.room2);
        }
        break;
    case PmsFunction::RoomClean:
        if (command.FindNextChild("rmvc")) {
            command.StepIn();
            ReadChild(command, "roomno", room);
            command.StepOut();
        }
        break;
    case PmsFunction::StateSync:
        ReadChild(command, "roomno", room);
        ReadChild(command, "roomtotal", channel.texts.roomTotal);
        ReadChild(command, "roomseq", channel.texts.roomSeq);
        ReadChild(command, "sta", channel.texts.sta);
        break;
    case PmsFunction::Unknown:
        break;
    }
}

void CPmsCommands::ApplyFunction(const PmsFunction &function, PmsLanguage language, const PmsRoomNumber &r,
                                 CRoom *room, const PmsRoomNumber &r2, CRoom *room2, const std::string &sta)
{
    const char *tag = Tag(language);
    switch (function.kind) {
    case PmsFunction::CheckIn:
    case PmsFunction::CheckOut:
    case PmsFunction::RepairSet:
    case PmsFunction::RepairCleared:
        SendRoomState(language, r, room, function.rcuState);
        if (!WriteEventRow(Recordset(), r.build, r.floor, r.room,
                           language == PmsLanguage::Foxhis ? function.foxhisEvent : function.nehopsEvent, 0, 1))
            m_dlg.ReportFailedStatement(Recordset());
        if (room && function.newPmsState >= 0) {
            room->m_pmsState = function.newPmsState;
            room->m_changed = 1;
            UpdateLiveRoomState(*room);
        }
        break;
    case PmsFunction::RoomChange:
        Log("<%s>  更换到房间号%d|%d%02d", tag, r2.build, r2.floor, r2.room);
        SendRoomState(language, r, room, 0);
        SendRoomState(language, r2, room2, 1);
        break;
    case PmsFunction::StateSync:
        Log("<%s>房态 %s", tag, sta.c_str());
        if (room) {
            room->m_pmsState = PmsStateOfCode(sta);
            room->m_changed = 1;
            UpdateLiveRoomState(*room);
        }
        break;
    case PmsFunction::RoomClean:
    case PmsFunction::Unknown:
        break;
    }
}

void CPmsCommands::AddressRecord(CDeviceComCtrl &record, uint32_t code, const PmsRoomNumber &number)
{
    record.AddressUnsequenced(code, static_cast<uint32_t>(number.build), static_cast<uint32_t>(number.floor),
                              static_cast<uint32_t>(number.room));
}

// The frame is built whether or not the room exists; only a known room is
// sent it.
void CPmsCommands::SendRoomState(PmsLanguage language, const PmsRoomNumber &number, CRoom *room, int state)
{
    CDeviceComCtrl command;
    AddressRecord(command, RCU_ROOM_STATE, number);
    command.SetRoomStateRecord(static_cast<uint8_t>(state));
    const uint16_t length = command.BuildFrame(m_dlg.m_sendBuf, sizeof m_dlg.m_sendBuf);
    if (!room)
        return;
    m_dlg.SendUdp(length, room->m_rcuPort, room->GetIPString().c_str());
    Log("<%s>接口软件向%d|%d%02d房间发送指令", Tag(language), number.build, number.floor, number.room);
}

void CPmsCommands::UpdateLiveRoomState(const CRoom &room)
{
    char sql[160];
    std::snprintf(sql, sizeof sql,
                  "update ##REALTIMEROOM set\r\nRMSTATE =%d\r\nwhere build = %d and floor = %d and roomnum =%d\r\n",
                  room.m_pmsState, room.m_buildNum, room.m_floorNum, room.m_roomNum);
    if (!Recordset().Exec(sql))
        m_dlg.ReportFailedStatement(Recordset());
    Recordset().Close();
}

void CPmsCommands::BuildReply(CXmlDoc &reply, PmsLanguage language, const std::string &version,
                              const std::string &function, const PmsRememberedTexts &texts, int msgCode)
{
    // Loading the empty text only empties the document; the appends into an
    // empty document at its top cannot fail.
    reply.LoadText("");
    reply.AppendElement(Tag(language));
    reply.SetAttribute("ver", version);
    reply.SetAttribute("mode", "response");
    reply.StepIn();
    reply.AppendElement("func", function);
    reply.AppendElement("id", texts.id);
    reply.AppendElement("pc_id", texts.pcId);
    reply.AppendElementInt("msgcode", msgCode);
    reply.AppendElement("msg", "none");
    reply.StepOut();
}
