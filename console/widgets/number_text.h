#pragma once
// Numbers typed into the dialogs' edits.
#include <QString>
#include <climits>
#include <cstdlib>

// The leading decimal number of the text as atoi reads it ("12abc" is 12,
// "abc" is 0), held to the range of int instead of overflowing.
inline int LeadingNumber(const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    const long long value = std::strtoll(bytes.constData(), nullptr, 10);
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}
