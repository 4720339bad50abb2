#include "platform/decimal_text.h"

#include <limits>

namespace platform {

namespace {

// The C locale's white space, as isspace sees it.
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

int32_t LeadingDecimal(std::string_view text)
{
    size_t at = 0;
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    // One past the largest magnitude is enough to know the value is held.
    constexpr int64_t kStop = int64_t{std::numeric_limits<int32_t>::max()} + 2;
    int64_t magnitude = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at)
        if (magnitude < kStop)
            magnitude = magnitude * 10 + (text[at] - '0');
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

} // namespace platform
