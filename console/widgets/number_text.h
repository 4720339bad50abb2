#pragma once
// Numbers typed into the dialogs' edits.
#include "platform/decimal_text.h"

#include <QString>

// The leading decimal number of the text as atoi reads it ("12abc" is 12,
// "abc" is 0), held to the range of int instead of overflowing.
inline int LeadingNumber(const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    return platform::LeadingDecimal(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}
