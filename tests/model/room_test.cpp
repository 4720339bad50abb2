#include "model/room.h"
#include "platform/archive.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Text(const CRoom &room)
{
    char buf[CRoom::kMaxTextSize];
    const int32_t n = room.FormatText(buf);
    EXPECT_GT(n, 0);
    return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string Lines(std::initializer_list<long long> values)
{
    std::string s;
    for (long long v : values)
        s += std::to_string(v) + "\n";
    return s;
}

std::string Le32(int32_t v)
{
    const auto u = static_cast<uint32_t>(v);
    return std::string{char(u), char(u >> 8), char(u >> 16), char(u >> 24)};
}

uint32_t ReadLe32(const std::vector<uint8_t> &b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

uint64_t ReadLe64(const std::vector<uint8_t> &b, size_t at)
{
    return uint64_t(ReadLe32(b, at)) | uint64_t(ReadLe32(b, at + 4)) << 32;
}

} // namespace

TEST(RoomText, FreshRoomIsExactlyTheDefaultForm)
{
    const CRoom room(1, 3, 5);
    std::string expected = Lines({1, 3, 5, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1, 0, 0, 0, 0});
    for (int word = 1; word <= 24; ++word)
        expected += word == 10 ? "30\n" : "0\n";
    for (int slot = 0; slot < 16; ++slot)
        for (int32_t v : {0, 0, 0, 0, 0, 22, 22, 0, 0, 255, 0})
            expected += Le32(v);
    expected += std::string(41, '\0');
    expected += Lines({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    expected += std::string(30, '\0') + std::string(4, '\0');

    const std::string text = Text(room);
    EXPECT_EQ(text.size(), 55 * 2 + 2 + 779u); // "-1" and "30" are the two wider lines
    EXPECT_EQ(text, expected);
}

TEST(RoomText, FieldsLandInTheirPlaces)
{
    CRoom room(2, 12, 7);
    room.m_spare3 = 65535;
    room.m_rcuIp = 0xC0A80114; // 192.168.1.20 prints negative as signed
    room.m_spare4 = 44;
    room.m_reportWord = 33;
    room.m_reportDword = 0x80000000u;
    room.m_cardNumber = 0xFFFFFFFEu;
    room.m_laundryPickup = 9;
    room.m_fanCoils[0].fanSpeed = 0x81;
    room.m_fanCoils[15].unitType = 7;
    room.m_fanCoils[16].unitType = 99; // not in use: not sent
    room.m_deviceTable[0] = 10;
    room.m_deviceTable[40] = 0xAB;
    room.m_lastHeard = 1700000000;
    room.m_pickupTime = -5;
    std::memcpy(room.m_name, "A-101", 5);
    std::memcpy(room.m_rcuIdent, "\x01\x02\x03\x04", 4);

    const std::string text = Text(room);
    std::string head = Lines({2, 12, 7, 1, 1, 0, 0, 0, 65535, 0, -1062731500, 0, 0, 0, 44, 33, 0, 0, -2147483648LL, 0});
    head += Lines({0, 0, 0, -2});
    ASSERT_EQ(text.compare(0, head.size(), head), 0) << text.substr(0, head.size());

    const size_t coils = text.find("9\n") + 2; // word 24 is the last line before the slots
    EXPECT_EQ(text.substr(coils + 4, 4), Le32(0x81));
    EXPECT_EQ(text.substr(coils + 15 * 44 + 40, 4), Le32(7));
    const size_t table = coils + 704;
    EXPECT_EQ(text[table], 10);
    EXPECT_EQ(static_cast<unsigned char>(text[table + 40]), 0xAB);
    const std::string times = Lines({1700000000, 0, 0, 0, 0, 0, 0, 0, 0, 0, -5});
    EXPECT_EQ(text.substr(table + 41, times.size()), times);
    const size_t tail = table + 41 + times.size();
    EXPECT_EQ(text.substr(tail), std::string("A-101") + std::string(25, '\0') + "\x01\x02\x03\x04");
}

TEST(RoomText, WidestFormFitsTheMaximumAndShortBuffersAreRefused)
{
    CRoom room(INT32_MIN, INT32_MIN, INT32_MIN);
    for (int32_t *f : {&room.m_spare1, &room.m_inService, &room.m_spare2, &room.m_rcuStatus, &room.m_pmsState,
                       &room.m_changed, &room.m_online, &room.m_rangeAlarm, &room.m_doorAlarm, &room.m_spare4,
                       &room.m_reportByte23, &room.m_runTime, &room.m_spare5, &room.m_cardType, &room.m_laundryPickup})
        *f = INT32_MIN;
    room.m_rcuIp = room.m_reportWord = room.m_reportDword = room.m_cardNumber = 0x80000000u;
    room.m_spare3 = 65535;
    for (int64_t *t : {&room.m_lastHeard, &room.m_doorTime, &room.m_pickupTime})
        *t = INT64_MIN;

    char buf[CRoom::kMaxTextSize + 16];
    std::memset(buf, 0x5A, sizeof buf);
    const int32_t n = room.FormatText(buf, sizeof buf);
    ASSERT_GT(n, 0);
    EXPECT_LE(static_cast<size_t>(n), CRoom::kMaxTextSize);

    std::memset(buf, 0x5A, sizeof buf);
    EXPECT_EQ(room.FormatText(buf, static_cast<size_t>(n) - 1), -1);
    EXPECT_EQ(buf[n - 1], 0x5A) << "wrote past the size given";
    EXPECT_EQ(room.FormatText(buf, static_cast<size_t>(n)), n);
}

TEST(RoomArchive, StoresTheFieldsAtTheirOffsets)
{
    CRoom room(1, 2, 3);
    room.m_spare3 = 0xBEEF;
    room.m_changed = 1;
    room.m_rcuIp = 0xC0A80114;
    room.m_doorAlarm = 6;
    room.m_lastHeard = 0x0102030405060708LL;
    room.m_pickupTime = -1;
    room.m_name[0] = 'x'; // not in the archive form

    platform::CArchive ar;
    room.Serialize(ar);
    const std::vector<uint8_t> &b = ar.Bytes();
    ASSERT_EQ(b.size(), CRoom::kArchiveSize);
    EXPECT_EQ(ReadLe32(b, 0), 1u);
    EXPECT_EQ(ReadLe32(b, 8), 3u);
    EXPECT_EQ(ReadLe32(b, 12), 1u); // spare1
    EXPECT_EQ(ReadLe32(b, 16), 1u); // in service
    EXPECT_EQ(b[32] | b[33] << 8, 0xBEEF);
    EXPECT_EQ(ReadLe32(b, 34), 1u);
    EXPECT_EQ(ReadLe32(b, 38), 0xC0A80114u);
    EXPECT_EQ(ReadLe32(b, 50), 6u);
    EXPECT_EQ(ReadLe64(b, 54), 0x0102030405060708u);
    EXPECT_EQ(ReadLe64(b, 134), UINT64_MAX);
}

// Every field of the archive form at its offset, each with a value of its
// own so that a swapped or shifted field shows.
TEST(RoomArchive, EveryFieldAtItsOffset)
{
    CRoom room;
    struct Field {
        size_t offset;
        size_t size;
        uint64_t value;
    };
    std::vector<Field> fields;
    int32_t next = 0x11000000;
    size_t at = 0;
    for (int32_t *f : {&room.m_buildNum, &room.m_floorNum, &room.m_roomNum, &room.m_spare1, &room.m_inService,
                       &room.m_spare2, &room.m_rcuStatus, &room.m_pmsState}) {
        *f = ++next;
        fields.push_back({at, 4, static_cast<uint32_t>(*f)});
        at += 4;
    }
    room.m_spare3 = 0xA1B2;
    fields.push_back({at, 2, 0xA1B2});
    at += 2;
    room.m_changed = ++next;
    fields.push_back({at, 4, static_cast<uint32_t>(room.m_changed)});
    at += 4;
    room.m_rcuIp = 0xC0A80114;
    fields.push_back({at, 4, 0xC0A80114});
    at += 4;
    for (int32_t *f : {&room.m_online, &room.m_rangeAlarm, &room.m_doorAlarm}) {
        *f = ++next;
        fields.push_back({at, 4, static_cast<uint32_t>(*f)});
        at += 4;
    }
    int64_t time = 0x0100000000000000LL;
    for (int64_t *t : {&room.m_lastHeard, &room.m_doorTime, &room.m_callTime, &room.m_cleanTime, &room.m_dndTime,
                       &room.m_checkoutTime, &room.m_serviceTime, &room.m_safeTime, &room.m_cardTime,
                       &room.m_laundryTime, &room.m_pickupTime}) {
        *t = time += 0x0101010101LL;
        fields.push_back({at, 8, static_cast<uint64_t>(*t)});
        at += 8;
    }
    ASSERT_EQ(at, CRoom::kArchiveSize);
    ASSERT_EQ(fields.size(), 25u);
    EXPECT_EQ(fields[9].offset, 34u);   // m_changed, after the 2-byte spare
    EXPECT_EQ(fields[14].offset, 54u);  // m_lastHeard
    EXPECT_EQ(fields[24].offset, 134u); // m_pickupTime

    platform::CArchive out;
    room.Serialize(out);
    const std::vector<uint8_t> &b = out.Bytes();
    ASSERT_EQ(b.size(), CRoom::kArchiveSize);
    for (const Field &f : fields) {
        uint64_t v = 0;
        for (size_t i = 0; i < f.size; ++i)
            v |= uint64_t{b[f.offset + i]} << (8 * i);
        EXPECT_EQ(v, f.value) << "offset " << f.offset;
    }

    // Loading gives every one of them back and leaves the rest of the target.
    CRoom target;
    target.m_doorOpen = 5;
    target.m_gatewayIp = 6;
    target.m_reportWord = 7;
    std::memcpy(target.m_name, "kept", 4);
    platform::CArchive in(b);
    target.Serialize(in);
    ASSERT_TRUE(in.Ok());
    EXPECT_EQ(in.Position(), CRoom::kArchiveSize);
    platform::CArchive again;
    target.Serialize(again);
    EXPECT_EQ(again.Bytes(), b);
    EXPECT_EQ(target.m_doorOpen, 5);
    EXPECT_EQ(target.m_gatewayIp, 6u);
    EXPECT_EQ(target.m_reportWord, 7u);
    EXPECT_STREQ(target.m_name, "kept");
}

TEST(RoomArchive, LoadGivesBackTheArchivedFieldsOnly)
{
    CRoom source(4, 5, 6);
    source.m_pmsState = 3;
    source.m_online = 1;
    source.m_cardTime = 123456789012LL;
    source.m_doorOpen = 1; // not archived
    platform::CArchive out;
    source.Serialize(out);

    CRoom target;
    target.m_gatewayIp = 77;
    target.m_doorOpen = 0;
    platform::CArchive in(out.Bytes());
    target.Serialize(in);
    EXPECT_TRUE(in.Ok());
    EXPECT_EQ(target.m_buildNum, 4);
    EXPECT_EQ(target.m_roomNum, 6);
    EXPECT_EQ(target.m_pmsState, 3);
    EXPECT_EQ(target.m_online, 1);
    EXPECT_EQ(target.m_cardTime, 123456789012LL);
    EXPECT_EQ(target.m_doorOpen, 0);
    EXPECT_EQ(target.m_gatewayIp, 77u);
}

TEST(RoomArchive, ShortArchiveFailsAndLeavesTheRoomAlone)
{
    CRoom source(4, 5, 6);
    platform::CArchive out;
    source.Serialize(out);
    std::vector<uint8_t> bytes = out.Bytes();
    bytes.pop_back();

    CRoom target(9, 9, 9);
    platform::CArchive in(bytes);
    target.Serialize(in);
    EXPECT_EQ(in.GetError(), platform::CArchive::endOfFile);
    EXPECT_EQ(target.m_buildNum, 9);
    EXPECT_EQ(target.m_roomNum, 9);
}

TEST(RoomCopy, CopiesShownFieldsAndKeepsTheTargetsOwn)
{
    CRoom source(1, 2, 3);
    source.m_doorOpen = 1;
    source.m_reportWord = 5;
    source.m_fanCoils[15].curTemp = 30;
    source.m_fanCoils[16].curTemp = 31;
    source.m_deviceTable[40] = 8;
    std::memcpy(source.m_name, "Suite", 5);
    source.m_gatewayIp = 1;
    source.m_rcuPort = 2;
    source.m_unitCode = 3;
    source.m_fanCoilChanged = 1;
    source.StorePolledPmsState(4);

    CRoom target;
    target.m_gatewayIp = 10;
    target.m_rcuPort = 20;
    target.m_unitCode = 30;
    target = source;
    EXPECT_EQ(target.m_roomNum, 3);
    EXPECT_EQ(target.m_doorOpen, 1);
    EXPECT_EQ(target.m_reportWord, 5u);
    EXPECT_EQ(target.m_fanCoils[15].curTemp, 30);
    EXPECT_EQ(target.m_fanCoils[16].curTemp, 22);
    EXPECT_EQ(target.m_deviceTable[40], 8);
    EXPECT_EQ(target.GetDisplayName(), "Suite");
    EXPECT_EQ(target.m_gatewayIp, 10u);
    EXPECT_EQ(target.m_rcuPort, 20);
    EXPECT_EQ(target.m_unitCode, 30);
    EXPECT_EQ(target.m_fanCoilChanged, 0);
    EXPECT_EQ(target.m_polledPmsState.load(), 0);
    EXPECT_EQ(target.m_pmsChangeMark.load(), 0);
    EXPECT_EQ(Text(target), Text(source));

    const CRoom constructed(source);
    EXPECT_EQ(constructed.m_gatewayIp, 0u);
    EXPECT_EQ(Text(constructed), Text(source));
}

TEST(RoomTexts, AddressesAndDisplayName)
{
    CRoom room(1, 12, 3);
    EXPECT_EQ(room.GetIPString(), "0.0.0.0");
    room.m_rcuIp = 0xC0A80114;
    room.m_gatewayIp = 0xFFFFFFFE;
    EXPECT_EQ(room.GetIPString(), "192.168.1.20");
    EXPECT_EQ(room.GetGatewayIPString(), "255.255.255.254");
    EXPECT_EQ(room.GetDisplayName(), "1203");
    EXPECT_EQ(CRoom(1, 3, 0).GetDisplayName(), "300");
    std::memset(room.m_name, 'n', sizeof room.m_name - 1);
    EXPECT_EQ(room.GetDisplayName(), std::string(29, 'n'));
}

TEST(RoomPmsHandOver, MonitorSeesTheStateThatCameWithTheMark)
{
    CRoom room;
    int32_t state = -1;
    EXPECT_FALSE(room.TakePolledPmsChange(state));
    room.StorePolledPmsState(1);
    room.StorePolledPmsState(3);
    ASSERT_TRUE(room.TakePolledPmsChange(state));
    EXPECT_EQ(state, 3);
    EXPECT_FALSE(room.TakePolledPmsChange(state));

    // The poller counts up; every state the monitor takes is one the poller
    // stored, and the last one is never lost.
    constexpr int32_t kLast = 20000;
    std::thread poller([&] {
        for (int32_t v = 1; v <= kLast; ++v)
            room.StorePolledPmsState(v);
    });
    int32_t seen = 0;
    bool ordered = true;
    while (seen != kLast) {
        int32_t v = 0;
        if (room.TakePolledPmsChange(v)) {
            ordered = ordered && v >= seen && v >= 1 && v <= kLast;
            seen = v;
        }
    }
    poller.join();
    EXPECT_TRUE(ordered);
}

// The hand-over under load: a take never gives a state twice, nor one older
// than the state taken before it, and the last state stored is always taken.
// A take that split the mark from its state could meet a store in between.
TEST(RoomPmsHandOver, NoStateIsTakenTwiceAndTheLastIsNeverLost)
{
    constexpr int32_t kStores = 2000000;
    for (int round = 0; round < 20; ++round) {
        CRoom room;
        std::atomic<bool> done{false};
        std::thread poller([&] {
            for (int32_t v = 1; v <= kStores; ++v) {
                room.StorePolledPmsState(v);
                for (int32_t spin = 0; spin < (v & 15); ++spin)
                    std::atomic_signal_fence(std::memory_order_seq_cst);
            }
            done = true;
        });
        int32_t last = 0;
        int64_t twice = 0, older = 0;
        for (;;) {
            const bool finished = done;
            int32_t v = 0;
            while (room.TakePolledPmsChange(v)) {
                twice += v == last;
                older += v < last;
                last = v;
            }
            if (finished)
                break;
        }
        poller.join();
        ASSERT_EQ(twice, 0) << "round " << round;
        ASSERT_EQ(older, 0) << "round " << round;
        ASSERT_EQ(last, kStores) << "round " << round;
    }
}

// The question the monitor asks every pass is answered from the bounds of
// the units present in the slots in use; every way of writing the slots
// brings the bounds up to date, and the range is the caller's.
TEST(RoomFanCoils, OutOfRangeFollowsEveryWriteOfTheSlots)
{
    CRoom room;
    EXPECT_FALSE(room.m_fanCoils.AnyPresentOutside(5, 40));
    room.m_fanCoils[3].present = 1;
    room.m_fanCoils[3].curTemp = 41;
    EXPECT_TRUE(room.m_fanCoils.AnyPresentOutside(5, 40));
    EXPECT_FALSE(room.m_fanCoils.AnyPresentOutside(5, 41)) << "a new range, the same units";
    room.m_fanCoils[7].present = 1;
    room.m_fanCoils[7].curTemp = 4;
    EXPECT_TRUE(room.m_fanCoils.AnyPresentOutside(5, 41));
    EXPECT_FALSE(room.m_fanCoils.AnyPresentOutside(4, 41));

    stFanCoilUnit *units = room.m_fanCoils; // as a report handler writes them
    units[3].present = 0;
    units[7].curTemp = 20;
    EXPECT_FALSE(room.m_fanCoils.AnyPresentOutside(5, 40));

    CRoom source;
    source.m_fanCoils[15].present = 1;
    source.m_fanCoils[15].curTemp = -3;
    source.m_fanCoils[16].present = 1; // not in use: not looked at
    source.m_fanCoils[16].curTemp = 99;
    ASSERT_TRUE(source.m_fanCoils.AnyPresentOutside(5, 40));
    room = source;
    EXPECT_TRUE(room.m_fanCoils.AnyPresentOutside(5, 40));
    EXPECT_FALSE(room.m_fanCoils.AnyPresentOutside(-3, 40));

    const CRoom fresh;
    std::memcpy(room.m_fanCoils, fresh.m_fanCoils, sizeof room.m_fanCoils);
    EXPECT_FALSE(room.m_fanCoils.AnyPresentOutside(5, 40));
}
