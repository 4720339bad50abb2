#pragma once
// A small binary archive: little-endian values written to or read from a byte
// buffer, in the shape the records' Serialize methods expect. Reading past the
// end sets the end-of-file error; the value read is then 0 (or empty) and every
// later read fails too, so a short archive never yields half-old fields.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class CArchive {
public:
    enum Mode { store, load };
    enum Error { none, endOfFile };

    // Storing: starts empty. Loading: reads the given bytes (copied).
    CArchive();
    explicit CArchive(std::vector<uint8_t> bytes);
    CArchive(const void *data, size_t size);

    bool IsStoring() const { return m_mode == store; }
    bool IsLoading() const { return m_mode == load; }
    Error GetError() const { return m_error; }
    bool Ok() const { return m_error == none; }

    const std::vector<uint8_t> &Bytes() const { return m_bytes; }
    size_t Position() const { return m_pos; }

    void WriteU8(uint8_t v);
    void WriteU16(uint16_t v);
    void WriteU32(uint32_t v);
    void WriteU64(uint64_t v);
    void WriteI32(int32_t v) { WriteU32(static_cast<uint32_t>(v)); }
    void WriteI64(int64_t v) { WriteU64(static_cast<uint64_t>(v)); }
    void WriteBytes(const void *data, size_t size);
    // The class library's string form: a length prefix of 1 byte (below 0xFF),
    // else 0xFF and 2 bytes (below 0xFFFE), else 0xFF 0xFFFF and 4 bytes; then
    // the bytes, no terminator. 0xFF 0xFFFE is never a length: it marks a
    // string of UTF-16 characters, whose own length prefix follows.
    void WriteString(std::string_view text);

    bool ReadU8(uint8_t &v);
    bool ReadU16(uint16_t &v);
    bool ReadU32(uint32_t &v);
    bool ReadU64(uint64_t &v);
    bool ReadI32(int32_t &v);
    bool ReadI64(int64_t &v);
    bool ReadBytes(void *data, size_t size);
    // Either form; a UTF-16 string comes back as GBK, as every text inside the
    // program.
    bool ReadString(std::string &text);

    // Storing and loading with one call, for Serialize methods that walk the
    // same fields in both directions. On a failed load the field keeps its value.
    void Transfer(int32_t &v);
    void Transfer(uint32_t &v);
    void Transfer(uint16_t &v);
    void Transfer(int64_t &v);
    void Transfer(std::string &v);

private:
    bool Take(void *out, size_t size);
    bool ReadStringLength(uint64_t &length, bool &wide);

    Mode m_mode;
    Error m_error = none;
    std::vector<uint8_t> m_bytes;
    size_t m_pos = 0;
};

} // namespace platform
