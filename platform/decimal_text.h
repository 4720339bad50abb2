#pragma once
// The one reading of a number at the start of a text, for every place that
// takes the leading decimal of a database column, an option, a PMS field or an
// edit: white space, at most one sign, then digits up to the first other
// character. No digits give 0. A value beyond 32 bits is held at the nearest
// end of the range, as the C runtime the program was first written for reads
// it (glibc's atoi would wrap it instead, and strtol would keep 64 bits).
#include <cstdint>
#include <string_view>

namespace platform {

int32_t LeadingDecimal(std::string_view text);

} // namespace platform
