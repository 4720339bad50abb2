#include "protocol/event_types.h"

#include "protocol/statement_writer.h"

namespace {

// In EventKind order.
const EventType kEventTypes[] = {
    {EventKind::CleanRequest, 1, "请求打扫房间"},
    {EventKind::CleanDone, 2, "打扫房间完成"},
    {EventKind::EmergencyCall, 3, "紧急呼叫"},
    {EventKind::EmergencyCallCleared, 4, "解除紧急呼叫"},
    {EventKind::GuestCardIn, 5, "客人进入房间"},
    {EventKind::AttendantCardIn, 5, "服务员进入房间"},
    {EventKind::ManagerCardIn, 5, "经理进入房间"},
    {EventKind::UnknownCardIn, 5, "未知身份人员进入房间"},
    {EventKind::CardOut, 6, "拔卡断电离开房间"},
    {EventKind::CheckoutRequest, 7, "请求退房"},
    {EventKind::CheckoutWithdrawn, 8, "取消退房请求"},
    {EventKind::DndSet, 9, "房间设置勿扰"},
    {EventKind::DndCleared, 10, "房间取消勿扰"},
    {EventKind::DoorOpened, 11, "房门打开"},
    {EventKind::DoorClosed, 12, "房门关闭"},
    {EventKind::ServiceRequest, 15, "请求服务"},
    {EventKind::LaundryShortRequest, 15, "请求洗衣服务"},
    {EventKind::ServiceDone, 16, "请求服务结束"},
    {EventKind::LaundryShortDone, 16, "洗衣服务结束"},
    {EventKind::TemperatureAlarm, 17, "房间温度不正常报警"},
    {EventKind::DoorAlarm, 18, "房门未关报警"},
    {EventKind::SafeOpened, 19, "保险箱门打开"},
    {EventKind::SafeClosed, 20, "保险箱门关闭"},
    {EventKind::FoxhisCheckIn, 21, "<foxhis>客人入住"},
    {EventKind::ZhongruanCheckIn, 21, "<中软>客人入住"},
    {EventKind::QianlimaCheckIn, 21, "<千里马>客人入住"},
    {EventKind::FoxhisCheckOut, 22, "<foxhis>客人退房"},
    {EventKind::FoxhisRepairSet, 22, "<foxhis>设置维修房"},
    {EventKind::FoxhisRepairCleared, 22, "<foxhis>取消维修房"},
    {EventKind::NehopsRepairSet, 22, "<nehops>设置维修房"},
    {EventKind::NehopsRepairCleared, 22, "<nehops>取消维修房"},
    {EventKind::ZhongruanCheckOut, 22, "<中软>客人退房"},
    {EventKind::ZhongruanReserved, 22, "<中软>房间预定"},
    {EventKind::ZhongruanRepair, 22, "<中软>房间维修"},
    {EventKind::QianlimaCheckOut, 22, "<千里马>客人退房"},
    {EventKind::QianlimaReserved, 22, "<千里马>房间预定"},
    {EventKind::QianlimaRepair, 22, "<千里马>房间维修"},
    {EventKind::LaundryRequest, 24, "请求洗衣服务"},
    {EventKind::LaundryDone, 25, "请求洗衣服务结束"},
    {EventKind::PickupReady, 26, "请取衣"},
    {EventKind::PickupDone, 27, "请取衣结束"},
};
static_assert(sizeof kEventTypes / sizeof kEventTypes[0] == static_cast<size_t>(EventKind::Count));

} // namespace

const EventType &EventTypeOf(EventKind kind)
{
    const auto index = static_cast<size_t>(kind);
    return kEventTypes[index < static_cast<size_t>(EventKind::Count) ? index : 0];
}

EventKind CardInEvent(uint8_t cardType)
{
    if (cardType == 1)
        return EventKind::GuestCardIn;
    if ((cardType & 0xF0) == 0xF0 || cardType == 2)
        return EventKind::AttendantCardIn;
    if (cardType == 3)
        return EventKind::ManagerCardIn;
    return EventKind::UnknownCardIn;
}

int FormatEventRow(char *out, size_t size, int buildNum, int floorNum, int roomNum, EventKind kind, int32_t cardSn,
                   int cardId)
{
    const EventType &type = EventTypeOf(kind);
    return StatementWriter(out, size)
        .Text("Insert into event_msg_list(build_num, floor_num, room_num, msg_type, msg_title, card_sn, card_id)values(")
        .Int(buildNum).Text(", ").Int(floorNum).Text(", ").Int(roomNum).Text(", ").Int(type.msgType)
        .Text(", '").Text(type.title).Text("', ").Int(cardSn).Text(", ").Int(cardId).Text(")")
        .Finish();
}
