#pragma once
// The error codes and texts callers see, in the form the program has always
// reported database failures: an HRESULT, its system meaning, a source and the
// provider's description.
#include <cstdint>
#include <string>

namespace database {

constexpr uint32_t kErrServerNotAnswering = 0x80004005; // E_FAIL
constexpr uint32_t kErrLoginRefused = 0x80040E4D;       // DB_SEC_E_AUTH_FAILED
constexpr uint32_t kErrLoginGivenUp = 0x80004004;       // E_ABORT: the wait was ended from outside
constexpr uint32_t kErrInCommand = 0x80040E14;          // DB_E_ERRORSINCOMMAND
constexpr uint32_t kErrItemNotFound = 0x800A0CC1;       // adErrItemNotFound
constexpr uint32_t kErrNoCurrentRecord = 0x800A0BCD;    // adErrNoCurrentRecord
constexpr uint32_t kErrObjectClosed = 0x800A0E78;       // adErrObjectClosed

struct ComError {
    uint32_t code = 0;
    std::string source;      // GBK
    std::string description; // GBK
};

// The system's message text for a code ("Unspecified error",
// "IDispatch error #3092", ...).
std::string CodeMeaning(uint32_t code);

// "<title> Error\n\tCode = %08lx\n\tCode meaning = ...\n\tSource = ...\n\tDescription = ...\n"
std::string FormatComError(const char *title, const ComError &error);

} // namespace database
