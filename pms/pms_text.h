#pragma once
// The plain-text parts of the PMS command languages: the set-top-box string's
// three fields and the bbffrr room numbers of every language.
#include <cstddef>
#include <cstdint>

// The three fields A:B:C of a set-top-box string, each at most 45 bytes in a
// zeroed 50-byte field.
struct SetTopBoxFields {
    static constexpr size_t kFieldSize = 50;
    static constexpr size_t kMaxField = 45;
    char a[kFieldSize] = {};
    char b[kFieldSize] = {};
    char c[kFieldSize] = {};
};

// A: up to the first ':'; B: from the byte after the one that ended A, up to
// the next ':'; C: from the byte after the one that ended B, white space
// skipped, up to the next white space. A field that would start at or past the
// end of the string is empty.
SetTopBoxFields SplitSetTopBox(const char *command);

struct PmsRoomNumber {
    int32_t build = 0;
    int32_t floor = 0;
    int32_t room = 0;
};

// bbffrr: building = n / 10000, then floor and room from the last four digits.
// The set-top box reads n signed, the XML languages unsigned; zeroBuildingIsOne
// (set-top box and nehops) turns building 0 into 1.
PmsRoomNumber DecodeRoomNumber(const char *text, bool asUnsigned, bool zeroBuildingIsOne);
