#pragma once
// The event types of event_msg_list with their titles, and the one statement
// that writes an event row. Every writer names its event by EventKind, so
// type and title always come from this one table and no outside text ever
// enters the statement.
#include <cstddef>
#include <cstdint>

enum class EventKind {
    CleanRequest,
    CleanDone,
    EmergencyCall,
    EmergencyCallCleared,
    GuestCardIn,
    AttendantCardIn,
    ManagerCardIn,
    UnknownCardIn,
    CardOut,
    CheckoutRequest,
    CheckoutWithdrawn,
    DndSet,
    DndCleared,
    DoorOpened,
    DoorClosed,
    ServiceRequest,       // full status report
    LaundryShortRequest,  // short status report
    ServiceDone,          // full status report
    LaundryShortDone,     // short status report
    TemperatureAlarm,
    DoorAlarm,
    SafeOpened,
    SafeClosed,
    FoxhisCheckIn,        // foxhis and nehops check-in
    ZhongruanCheckIn,     // polled PMS state, PMS type 2
    QianlimaCheckIn,      // polled PMS state, PMS type 3
    FoxhisCheckOut,
    FoxhisRepairSet,
    FoxhisRepairCleared,
    NehopsRepairSet,
    NehopsRepairCleared,
    ZhongruanCheckOut,
    ZhongruanReserved,
    ZhongruanRepair,
    QianlimaCheckOut,
    QianlimaReserved,
    QianlimaRepair,
    LaundryRequest,       // full status report
    LaundryDone,
    PickupReady,
    PickupDone,
    Count
};

struct EventType {
    EventKind kind;
    int msgType;
    const char *title; // GBK, exactly as stored
};

const EventType &EventTypeOf(EventKind kind);

// Type 5's title by the card type byte: 1 guest; 2 or upper four bits all set
// attendant; 3 manager; anything else unknown.
EventKind CardInEvent(uint8_t cardType);

// Enough for every event row statement.
constexpr size_t kEventRowSize = 256;

// The event row statement into out (size bytes, NUL-terminated). Returns its
// length, or -1 when it does not fit.
int FormatEventRow(char *out, size_t size, int buildNum, int floorNum, int roomNum, EventKind kind, int32_t cardSn,
                   int cardId);
