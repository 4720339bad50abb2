#pragma once
// Every text from outside (workstation user names and passwords, PMS room
// names, texts typed by the operator) goes through SqlQuote before it is
// formatted between single quotes into a statement, so that it can never end
// the literal early. GBK is safe to treat bytewise here: no GBK trail byte is
// a quote.
#include <string>
#include <string_view>

namespace database {

// The text with every single quote doubled, without surrounding quotes:
// "O'Hara" gives "O''Hara", ready for "... = '%s'".
std::string SqlQuote(std::string_view text);

} // namespace database
