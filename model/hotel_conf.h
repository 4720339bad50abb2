#pragma once
// The hotel's configuration file: its name, its address and the layout list.
//
//   [Hotel]
//   Name=...
//   Address=...
//   [Layout]
//   item1=1 3 10 0
//   item2=1 4 12
//
// Each itemN is "building floor roomCount" and then the gap room numbers;
// items are taken in the order of N. The file is UTF-8 text; the program's
// texts are GBK. A line that cannot be used (also a building and floor that
// an earlier item has already) is skipped with a message that names it;
// nothing half-read reaches the layout list.
#include "model/hotel.h"

#include <string>
#include <string_view>
#include <vector>

// The file's name; it is read from the server's working directory.
inline constexpr const char *kHotelConfFile = "hotel.conf";

struct HotelConf {
    bool found = false;                  // false: no file, so no rooms
    std::string name;                    // GBK
    std::string address;                 // GBK
    std::vector<stRoomAssignItem> layout;
    std::vector<std::string> messages;   // GBK, one per problem, for the log
};

// A missing file gives an empty configuration (found false) and one message.
HotelConf LoadHotelConf(const std::string &path = kHotelConfFile);
// The file's text (UTF-8).
HotelConf ParseHotelConf(std::string_view text);
