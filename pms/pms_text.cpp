#include "pms/pms_text.h"

#include "platform/decimal_text.h"

#include <cctype>
#include <cstring>

namespace {

bool IsBlank(unsigned char c) { return std::isspace(c) != 0; }

// Copies from command[from] up to a stop byte, the end or kMaxField bytes;
// returns the position of the byte that ended the field.
template <typename Stop>
size_t CopyField(const char *command, size_t length, size_t from, char *field, Stop stop)
{
    size_t at = from;
    size_t n = 0;
    while (at < length && n < SetTopBoxFields::kMaxField && !stop(static_cast<unsigned char>(command[at])))
        field[n++] = command[at++];
    return at;
}

} // namespace

SetTopBoxFields SplitSetTopBox(const char *command)
{
    SetTopBoxFields fields;
    const size_t length = std::strlen(command);
    const auto colon = [](unsigned char c) { return c == ':'; };
    size_t at = CopyField(command, length, 0, fields.a, colon) + 1;
    if (at >= length)
        return fields;
    at = CopyField(command, length, at, fields.b, colon) + 1;
    while (at < length && IsBlank(static_cast<unsigned char>(command[at])))
        ++at;
    if (at < length)
        CopyField(command, length, at, fields.c, IsBlank);
    return fields;
}

PmsRoomNumber DecodeRoomNumber(const char *text, bool asUnsigned, bool zeroBuildingIsOne)
{
    const int32_t value = platform::LeadingDecimal(text);
    PmsRoomNumber number;
    if (asUnsigned) {
        uint32_t n = static_cast<uint32_t>(value);
        number.build = static_cast<int32_t>(n / 10000);
        if (n >= 10000)
            n %= 10000;
        number.floor = static_cast<int32_t>(n / 100);
        number.room = static_cast<int32_t>(n % 100);
    } else {
        int32_t n = value;
        number.build = n / 10000;
        if (n >= 10000)
            n %= 10000;
        number.floor = n / 100;
        number.room = n % 100;
    }
    if (zeroBuildingIsOne && number.build == 0)
        number.build = 1;
    return number;
}
