// Arbitrary command strings through the PMS link's TCP handler (set-top-box
// step, then foxhis or nehops XML) of a server whose hotel is built and whose
// embedded database (a copy of the seed, with the live-room table and named
// rooms) is open. The first byte picks the PMS type (0..4); the rest is what
// one connection receives, read as the link reads it (as much as the command
// buffer has room for) and cut into commands.
// After each input the invariants must hold; the probe is a set-top-box
// command for room 1|203, answered "ok" in the reply buffer.
#include "database/ado_recordset.h"
#include "pms/pms_command_stream.h"
#include "tests/support/fuzz_server.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

CKelvorDlg *g_server = nullptr;
std::unique_ptr<FuzzInvariants> g_invariants;

bool AnswersSetTopBoxCommand()
{
    static const char command[] = "10203:5:9";
    const auto pmsType = g_server->m_pmsType;
    g_server->m_pmsType = kPmsNone;
    std::memset(g_server->m_pmsReplyBuf, 0, 2);
    std::memcpy(g_server->m_pmsRecvBuf, command, sizeof command - 1);
    g_server->HandlePmsCommand(static_cast<int>(sizeof command - 1));
    g_server->m_pmsType = pmsType;
    return std::memcmp(g_server->m_pmsReplyBuf, "ok", 2) == 0;
}

void MustExec(CADOMyRecordset &rs, const char *sql)
{
    if (!rs.Exec(sql))
        std::abort();
    rs.Close();
}

void StartServer()
{
    g_server = StartFuzzServer("[Layout]\nitem1=1 2 10 0\nitem2=2 1 3\nitem3=1 0 1\n");
    CADOMyRecordset rs(&g_server->m_db);
    MustExec(rs, "CREATE TABLE ##REALTIMEROOM ([INDEX] [int] IDENTITY (1, 1) NOT NULL ,[BUILD] [tinyint] NOT NULL ,"
                 "[FLOOR] [tinyint] NOT NULL ,[ROOMNUM] [tinyint] NOT NULL ,[RMSTATE] [tinyint] NOT NULL) ON [PRIMARY]");
    MustExec(rs, "insert into ##REALTIMEROOM(BUILD, FLOOR, ROOMNUM, RMSTATE)values(1, 2, 3, 1)");
    MustExec(rs, "insert into room_ip_list(BUILD_NUM, FLOOR_NUM, ROOM_NUM, RMNAME) values(2, 1, 1, 'Lobby')");
    MustExec(rs, "insert into room_ip_list(BUILD_NUM, FLOOR_NUM, ROOM_NUM, RMNAME) values(2, 1, 2, 'O''Hara')");
    for (auto [b, f, r] : {std::array{1, 2, 3}, std::array{1, 2, 5}, std::array{2, 1, 1}, std::array{1, 0, 0}}) {
        CRoom *room = g_server->m_hotel.FindRoom(b, f, r);
        room->m_rcuIp = 0x7F000001;
        room->m_rcuPort = 3341;
    }
    g_invariants = std::make_unique<FuzzInvariants>(*g_server, AnswersSetTopBoxCommand,
                                                    std::vector<std::string>{"##REALTIMEROOM"});
    g_invariants->Check();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!g_server)
        StartServer();
    if (size == 0)
        return 0;
    g_server->m_pmsType = data[0] % kPmsTypeCount;
    PmsCommandStream commands;
    for (size_t at = 1; at < size;) {
        const size_t n = size - at < commands.SpaceSize() ? size - at : commands.SpaceSize();
        std::memcpy(commands.Space(), data + at, n);
        commands.Received(n);
        g_server->HandlePmsCommands(commands, nullptr);
        at += n;
    }
    g_invariants->Check();
    return 0;
}
