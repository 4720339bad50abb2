#include "database/com_error.h"

#include <cstdio>

namespace database {

std::string CodeMeaning(uint32_t code)
{
    char text[64];
    if (code == kErrServerNotAnswering)
        return "Unspecified error";
    if (code == kErrLoginGivenUp)
        return "Operation aborted";
    if (code >= 0x80040200 && code <= 0x8004FFFF) {
        std::snprintf(text, sizeof text, "IDispatch error #%u", static_cast<unsigned>(code - 0x80040200));
        return text;
    }
    std::snprintf(text, sizeof text, "Unknown error 0x%08X", static_cast<unsigned>(code));
    return text;
}

std::string FormatComError(const char *title, const ComError &error)
{
    char code[16];
    std::snprintf(code, sizeof code, "%08lx", static_cast<unsigned long>(error.code));
    std::string text = title;
    text += " Error\n\tCode = ";
    text += code;
    text += "\n\tCode meaning = " + CodeMeaning(error.code);
    text += "\n\tSource = " + error.source;
    text += "\n\tDescription = " + error.description + "\n";
    return text;
}

} // namespace database
