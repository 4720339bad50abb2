#pragma once
// The PMS command handler: the set-top-box step of every TCP command, and the
// foxhis and nehops XML commands over TCP and (foxhis only) UDP, with the
// room-state frames, event rows, room states and replies they cause. It runs
// on the UI thread and works through the main object's public parts (hotel,
// database, send buffer, log).
#include "xml/xml_doc.h"

#include <cstdint>
#include <memory>
#include <string>

class CKelvorDlg;
class CADOMyRecordset;
class CRoom;
class CDeviceComCtrl;
struct PmsFunction;
struct PmsRoomNumber;

enum class PmsLanguage { Foxhis, Nehops };

// The texts a channel keeps from one command to the next: a child that a
// command lacks leaves the previous command's text in place.
struct PmsRememberedTexts {
    std::string id, pcId, roomTotal, roomSeq, sta;
};

class CPmsCommands {
public:
    explicit CPmsCommands(CKelvorDlg &dlg);
    ~CPmsCommands();
    CPmsCommands(const CPmsCommands &) = delete;
    CPmsCommands &operator=(const CPmsCommands &) = delete;

    // One command read from the TCP link (NUL-terminated), the database open.
    void HandleTcpCommand(const char *command);
    // A foxhis datagram: the document stands on the "func" child of its root,
    // whose "ver" attribute is given. The reply goes to the PMS by UDP.
    void HandleUdpCommand(CXmlDoc &command, const std::string &version, const char *senderAddress);

private:
    // The texts of one XML channel.
    struct Channel {
        PmsRememberedTexts &texts;
        std::string &room2; // the room entered in a room change
        CXmlDoc &reply;
    };

    void SetTopBoxStep(const char *command);
    bool FindSetTopBoxRoomByName(const char *name, PmsRoomNumber &number);
    // Steps 4 to 10 of an XML command on a document standing on "func";
    // the reply text is left in the channel's reply document. False: no
    // reply, the writes of a command carried out were lost.
    bool RunXmlCommand(CXmlDoc &command, const std::string &version, PmsLanguage language, Channel channel);
    void ReadFunctionChildren(CXmlDoc &command, const PmsFunction &function, PmsLanguage language,
                              Channel channel, std::string &room);
    void ApplyFunction(const PmsFunction &function, PmsLanguage language, const PmsRoomNumber &r, CRoom *room,
                       const PmsRoomNumber &r2, CRoom *room2, const std::string &sta);
    // A command record for one room's unit, as every PMS frame has it.
    static void AddressRecord(CDeviceComCtrl &record, uint32_t code, const PmsRoomNumber &number);
    void SendRoomState(PmsLanguage language, const PmsRoomNumber &number, CRoom *room, int state);
    void UpdateLiveRoomState(const CRoom &room);
    void BuildReply(CXmlDoc &reply, PmsLanguage language, const std::string &version, const std::string &function,
                    const PmsRememberedTexts &texts, int msgCode);
    void SendTcpReply(const std::string &text);
    void SendUdpReply(const std::string &text, const char *senderAddress);
    CADOMyRecordset &Recordset();
    void Log(const char *format, ...) __attribute__((format(printf, 2, 3)));

    CKelvorDlg &m_dlg;
    std::unique_ptr<CADOMyRecordset> m_recordset; // made on first use
    CXmlDoc m_tcpCommand;
    CXmlDoc m_tcpReply;
    CXmlDoc m_udpReply;
    PmsRememberedTexts m_tcpTexts;
    PmsRememberedTexts m_udpTexts;
    std::string m_tcpRoom2[2]; // foxhis, nehops
    std::string m_udpRoom2;
    // A log line may quote a whole command.
    char m_logText[3 * 3000 + 256] = {};
};
