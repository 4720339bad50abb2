#include "pms/pms_functions.h"

namespace {

using K = EventKind;

const PmsFunction kFunctions[] = {
    {PmsFunction::CheckIn, "GSTIN", "客人入住", 2, true, K::FoxhisCheckIn, K::FoxhisCheckIn, 1},
    {PmsFunction::CheckOut, "GSTOUT", "客人退房", 0, true, K::FoxhisCheckOut, K::FoxhisCheckOut, 0},
    {PmsFunction::RoomChange, "GSTCHG", "客人换房", -1, false, K::Count, K::Count, -1},
    {PmsFunction::RoomClean, "RMVC", "干净房", -1, false, K::Count, K::Count, -1},
    {PmsFunction::RepairSet, "RMSO", "设置维修房", 3, true, K::FoxhisRepairSet, K::NehopsRepairSet, -1},
    {PmsFunction::RepairCleared, "RMRO", "取消维修房", 0, true, K::FoxhisRepairCleared, K::NehopsRepairCleared, -1},
    {PmsFunction::StateSync, "GSTSYN", "房态同步", -1, false, K::Count, K::Count, -1},
};

const PmsFunction kUnknown = {PmsFunction::Unknown, "", "未知信息", -1, false, K::Count, K::Count, -1};

} // namespace

const PmsFunction &FindPmsFunction(std::string_view name)
{
    for (const PmsFunction &function : kFunctions)
        if (name == function.name)
            return function;
    return kUnknown;
}

int PmsStateOfCode(std::string_view sta)
{
    static constexpr std::string_view kCodes[] = {"VR", "VD", "OR", "OD"};
    for (int i = 0; i < 4; ++i)
        if (sta == kCodes[i])
            return i + 1;
    return 0;
}
