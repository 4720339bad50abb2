#pragma once
// The reports and statements of the status report storm: a full report per
// room, with every event state on or every one off, and the statements an
// all-changed report runs, as SQLite gets them.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// Building 7: should a datagram of another program ever reach the server's
// port (tests use hotels of buildings 1 and 2), it finds no room here, so the
// dispatcher's known-room counter counts only the benchmark's own.
constexpr int kBuild = 7;
constexpr int kReportLength = 79;
constexpr int kRangeLow = 16, kRangeHigh = 28;

using Clock = std::chrono::steady_clock;
inline double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// A full report for one room: every event state on, or every one off. On,
// unit 0 is too hot; off, both units are in range.
void BuildReport(uint8_t *frame, int floor, int room, bool on);

// The 22 statements of a report switching the room on, as SQLite gets them.
void AllChangedStatements(int floor, int room, std::vector<std::string> &out);
