#include "database/sql_quote.h"

namespace database {

std::string SqlQuote(std::string_view text)
{
    std::string quoted;
    quoted.reserve(text.size() + 4);
    for (char c : text) {
        quoted.push_back(c);
        if (c == '\'')
            quoted.push_back('\'');
    }
    return quoted;
}

} // namespace database
