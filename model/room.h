#pragma once
// One guest room: its place in the hotel, its room unit's address, the states
// the unit and the PMS last reported, the change times and the marks the room
// monitor acts on. Written in place by the datagram engine, the PMS link and
// the room address dialog; copied only into the reply message.
#include "model/object.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// One fan-coil unit of a room; the eleven fields travel as raw 32-bit values.
struct stFanCoilUnit {
    int32_t present = 0;
    int32_t fanSpeed = 0;
    int32_t control = 0;
    int32_t halt = 0;
    int32_t tempSensor = 0;
    int32_t curTemp = 22;
    int32_t setTemp = 22;
    int32_t valveState = 0;
    int32_t seasonMode = 0;
    int32_t unitId = 255; // 255: free slot
    int32_t unitType = 0;
};
static_assert(sizeof(stFanCoilUnit) == 44);

// The fan-coil slots of a room. The room monitor asks every pass whether a
// unit present in a slot in use is outside the temperature range; that is
// answered from the lowest and highest temperature of those units, worked
// out again only after the slots were open to writing: every non-const
// access (a slot, or the slots as a pointer) forgets them. A pointer taken
// for writing is used within the handler that took it. The bounds follow
// the slots in memory, so a byte copy of the whole keeps the two together.
class FanCoilSlots {
public:
    static constexpr int kSlots = 32;
    static constexpr int kInUse = 16; // the slots that are filled, copied and sent

    stFanCoilUnit &operator[](int slot)
    {
        m_boundsKnown = false;
        return m_units[slot];
    }
    const stFanCoilUnit &operator[](int slot) const { return m_units[slot]; }
    operator stFanCoilUnit *()
    {
        m_boundsKnown = false;
        return m_units;
    }
    operator const stFanCoilUnit *() const { return m_units; }

    // True when a unit present in slots 0..kInUse-1 has a current
    // temperature below low or above high (both bounds are allowed values).
    bool AnyPresentOutside(int32_t low, int32_t high) const;

private:
    stFanCoilUnit m_units[kSlots];
    mutable bool m_boundsKnown = false;
    mutable bool m_anyPresent = false;
    mutable int32_t m_lowest = 0, m_highest = 0;
};

// The PMS poller's hand-over in one atomic word, so that a polled state and
// its mark are always stored and taken together: the state in the low 32
// bits, the mark (2: a change the monitor has not taken yet) in the high 32.
class PolledPmsWord {
public:
    static constexpr int32_t kMarked = 2;

    void Store(int32_t state)
    {
        m_word.store(uint64_t{kMarked} << 32 | static_cast<uint32_t>(state), std::memory_order_release);
    }
    // Clears the mark and gives the state stored with it; false when unmarked.
    bool Take(int32_t &state)
    {
        if (Mark(m_word.load(std::memory_order_relaxed)) == 0)
            return false;
        const uint64_t taken = m_word.fetch_and(0xFFFFFFFFu, std::memory_order_acquire);
        if (Mark(taken) == 0)
            return false;
        state = State(taken);
        return true;
    }
    uint64_t Load(std::memory_order order) const { return m_word.load(order); }
    static int32_t State(uint64_t word) { return static_cast<int32_t>(static_cast<uint32_t>(word)); }
    static int32_t Mark(uint64_t word) { return static_cast<int32_t>(word >> 32); }

private:
    std::atomic<uint64_t> m_word{0};
};

// One half of the word above, read as the field it stands for.
class PolledPmsField {
public:
    PolledPmsField(const PolledPmsWord &word, int32_t (*half)(uint64_t)) : m_word(word), m_half(half) {}
    PolledPmsField(const PolledPmsField &) = delete;
    PolledPmsField &operator=(const PolledPmsField &) = delete;
    int32_t load(std::memory_order order = std::memory_order_seq_cst) const { return m_half(m_word.Load(order)); }
    operator int32_t() const { return load(); }

private:
    const PolledPmsWord &m_word;
    int32_t (*m_half)(uint64_t);
};

class CRoom : public CObject {
public:
    static constexpr int kFanCoilSlots = FanCoilSlots::kSlots;
    static constexpr int kFanCoilsInUse = FanCoilSlots::kInUse;
    static constexpr size_t kNameSize = 30;
    static constexpr size_t kDeviceTableSize = 41;
    // The longest text form: every decimal line at its widest.
    static constexpr size_t kMaxTextSize = 1538;
    // The archive form is always this long.
    static constexpr size_t kArchiveSize = 142;

    CRoom() : CRoom(0, 0, 0) {}
    CRoom(int32_t build, int32_t floor, int32_t room);
    // Copies carry only the fields the reply to workstations shows; the
    // target keeps its own polled PMS state, marks, gateway, port, unit code
    // and the unused fan-coil slots (a fresh copy has their defaults).
    CRoom(const CRoom &other);
    CRoom &operator=(const CRoom &other);

    // The text form (payload of the room-state reply). The first writes at
    // most kMaxTextSize bytes; the second returns -1 when the text does not
    // fit the size given, having written nothing past it.
    int32_t FormatText(char *buf) const;
    int32_t FormatText(char *buf, size_t size) const;

    // Storing writes kArchiveSize bytes. Loading an archive that ends early
    // sets the archive's end-of-file error and leaves the room unchanged.
    void Serialize(platform::CArchive &ar) override;

    std::string GetIPString() const;
    std::string GetGatewayIPString() const;
    // The name, or floor and room number as "%d%02d" when it has none.
    std::string GetDisplayName() const;

    // The PMS poller's hand-over: the state and its mark go in one atomic
    // store, and the monitor takes them in one atomic step, so a state
    // stored while the monitor takes the last one is delivered once, later.
    void StorePolledPmsState(int32_t state) { m_polledPms.Store(state); }
    // True when a change was marked; clears the mark and gives the state.
    bool TakePolledPmsChange(int32_t &state) { return m_polledPms.Take(state); }

    int32_t m_buildNum;
    int32_t m_floorNum;
    int32_t m_roomNum; // position on the floor, from 0
    int32_t m_spare1 = 1;
    int32_t m_inService = 1; // 0: gap room, skipped by every walk over rooms
    int32_t m_spare2 = 0;
    int32_t m_rcuStatus = 0;
    int32_t m_pmsState = 0;
    PolledPmsWord m_polledPms; // written by the PMS poller thread
    PolledPmsField m_polledPmsState{m_polledPms, PolledPmsWord::State};
    int32_t m_fanCoilChanged = 0;
    PolledPmsField m_pmsChangeMark{m_polledPms, PolledPmsWord::Mark}; // 2: poller saw a change
    uint16_t m_spare3 = 0;
    char m_name[kNameSize] = {}; // GBK, at most 29 bytes and a zero
    int32_t m_changed = 0;
    int64_t m_doorTime = 0;
    int64_t m_callTime = 0;
    int64_t m_cleanTime = 0;
    int64_t m_dndTime = 0;
    int64_t m_checkoutTime = 0;
    int64_t m_serviceTime = 0;
    int64_t m_safeTime = 0;
    int64_t m_cardTime = 0;
    int64_t m_lastHeard = 0;
    int64_t m_laundryTime = 0;
    int64_t m_pickupTime = 0;
    uint32_t m_rcuIp = 0; // first octet in the most significant byte
    uint32_t m_gatewayIp = 0;
    int32_t m_rcuPort = 0;
    int32_t m_unitCode = 0;
    int32_t m_online = 0;
    int32_t m_rangeAlarm = 0;
    int32_t m_doorAlarm = 0;
    uint32_t m_reportWord = 0xFFFFFFFF;
    int32_t m_spare4 = 0;
    int32_t m_reportByte23 = 0;
    int32_t m_runTime = 0;
    uint32_t m_reportDword = 0;
    int32_t m_spare5 = 0;
    FanCoilSlots m_fanCoils;
    uint8_t m_rcuIdent[4] = {};

    // The reported states; the report-byte words hold the byte at that
    // position of the unit's full status report.
    int32_t m_cardType = 0;
    int32_t m_cardIn = 0;
    int32_t m_reportByte40 = 0;
    uint32_t m_cardNumber = 0;
    int32_t m_call = 0;
    int32_t m_cleanRequest = 0;
    int32_t m_dnd = 0;
    int32_t m_spare6 = 0;
    int32_t m_doorOpen = 0;
    int32_t m_reportByte50 = 30;
    int32_t m_reportByte51 = 0;
    int32_t m_spare7 = 0;
    int32_t m_reportByte53 = 0;
    int32_t m_spare8 = 0;
    int32_t m_reportByte55 = 0;
    int32_t m_spare9 = 0;
    int32_t m_reportByte57 = 0;
    int32_t m_spare10 = 0;
    int32_t m_checkoutRequest = 0;
    int32_t m_laundryShort = 0;
    int32_t m_serviceRequest = 0;
    int32_t m_safeOpen = 0;
    int32_t m_laundryRequest = 0;
    int32_t m_laundryPickup = 0;

    // One byte, then 10 entries of {u8, u8, u16 in host byte order}.
    uint8_t m_deviceTable[kDeviceTableSize] = {};
};
