#pragma once
// The layouts of the room units' two status reports as tables: where each
// state sits in the datagram, which room field holds it, and for the states
// that raise events their event types, live-room column, change time and
// change code. The handlers in status_report.cpp only walk these tables.
#include "model/room.h"
#include "protocol/event_types.h"
#include "protocol/statement_forms.h"

#include <cstdint>
#include <span>

namespace status_report {

struct ReportLayout;

// A state that writes an event row when it changes, with its place in each
// report form (0: not in that form).
struct EventField {
    enum class Rule : uint8_t {
        Flag, // active when the byte is 1; the column takes 1 or 0
        Call, // as Flag, but in the full report any byte but 0 is active
        Card, // as Flag; title by card type, the column takes the card type or 0
    };
    uint8_t fullOffset;
    uint8_t shortOffset;
    Rule rule;
    int32_t CRoom::*value;
    int64_t CRoom::*changeTime;
    EventKind whenActive; // for Rule::Card, the title comes from the card type
    EventKind whenInactive;
    bool hasColumn; // the safe door has none
    LiveRoomColumn column;
    int changeCode;

    int Offset(const ReportLayout &layout) const;
};

// A state that is only stored (kind Plain) or stored in a fan-coil slot
// (FanCoil, and Presence for the present byte, which also names the unit).
struct StoredField {
    enum class Kind : uint8_t { Plain, FanCoil, Presence };
    uint8_t offset;
    uint8_t width; // 1, 2 or 4 bytes, little-endian
    Kind kind;
    int8_t slot; // fan-coil slot of FanCoil and Presence, else -1
    uint32_t &(*field)(CRoom &room);
};

// The two units of the full report: what drives the temperature alarm and
// the history row.
struct FanCoilUnit {
    int slot;
    uint8_t presentOffset;
    uint8_t tempOffset;
    int fengjiId; // also the unitId given to the slot when the unit appears
};

struct ReportLayout {
    bool full;
    uint8_t cardTypeOffset; // card type of every event row
    uint8_t cardNumberOffset;
    std::span<const StoredField> stored;
    std::span<const FanCoilUnit> units; // empty for the short report
};

const ReportLayout &FullReport();
const ReportLayout &ShortReport();
// The event states of both forms, in the order their rows are written.
std::span<const EventField> EventFields();

// What a state's byte in a report gives its event row and live-room column.
bool IsActive(const EventField &field, const ReportLayout &layout, uint8_t byte);
EventKind EventFor(const EventField &field, const ReportLayout &layout, uint8_t byte, uint8_t cardType);
int ColumnValue(const EventField &field, const ReportLayout &layout, uint8_t byte, uint8_t cardType);

// Little-endian field of width bytes at p.
uint32_t ReadField(const uint8_t *p, uint8_t width);

} // namespace status_report
