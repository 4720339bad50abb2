#include "platform/archive.h"

#include "platform/gbk.h"

#include <cstring>

namespace platform {

CArchive::CArchive() : m_mode(store) {}

CArchive::CArchive(std::vector<uint8_t> bytes) : m_mode(load), m_bytes(std::move(bytes)) {}

CArchive::CArchive(const void *data, size_t size)
    : m_mode(load), m_bytes(static_cast<const uint8_t *>(data), static_cast<const uint8_t *>(data) + size)
{
}

void CArchive::WriteU8(uint8_t v) { m_bytes.push_back(v); }

void CArchive::WriteU16(uint16_t v)
{
    WriteU8(static_cast<uint8_t>(v));
    WriteU8(static_cast<uint8_t>(v >> 8));
}

void CArchive::WriteU32(uint32_t v)
{
    WriteU16(static_cast<uint16_t>(v));
    WriteU16(static_cast<uint16_t>(v >> 16));
}

void CArchive::WriteU64(uint64_t v)
{
    WriteU32(static_cast<uint32_t>(v));
    WriteU32(static_cast<uint32_t>(v >> 32));
}

void CArchive::WriteBytes(const void *data, size_t size)
{
    const auto *p = static_cast<const uint8_t *>(data);
    m_bytes.insert(m_bytes.end(), p, p + size);
}

void CArchive::WriteString(std::string_view text)
{
    const uint64_t n = text.size();
    if (n < 0xFF) {
        WriteU8(static_cast<uint8_t>(n));
    } else if (n < 0xFFFE) {
        WriteU8(0xFF);
        WriteU16(static_cast<uint16_t>(n));
    } else {
        WriteU8(0xFF);
        WriteU16(0xFFFF);
        if (n < 0xFFFFFFFF) {
            WriteU32(static_cast<uint32_t>(n));
        } else {
            WriteU32(0xFFFFFFFF);
            WriteU64(n);
        }
    }
    WriteBytes(text.data(), text.size());
}

bool CArchive::Take(void *out, size_t size)
{
    if (m_error != none || m_bytes.size() - m_pos < size) {
        if (m_error == none)
            m_error = endOfFile;
        std::memset(out, 0, size);
        return false;
    }
    std::memcpy(out, m_bytes.data() + m_pos, size);
    m_pos += size;
    return true;
}

bool CArchive::ReadU8(uint8_t &v) { return Take(&v, 1); }

bool CArchive::ReadU16(uint16_t &v)
{
    uint8_t b[2];
    const bool ok = Take(b, 2);
    v = static_cast<uint16_t>(b[0] | (b[1] << 8));
    return ok;
}

bool CArchive::ReadU32(uint32_t &v)
{
    uint8_t b[4];
    const bool ok = Take(b, 4);
    v = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
        (static_cast<uint32_t>(b[3]) << 24);
    return ok;
}

bool CArchive::ReadU64(uint64_t &v)
{
    uint32_t lo = 0, hi = 0;
    const bool ok = ReadU32(lo) && ReadU32(hi);
    v = ok ? (static_cast<uint64_t>(hi) << 32) | lo : 0;
    return ok;
}

bool CArchive::ReadI32(int32_t &v)
{
    uint32_t u = 0;
    const bool ok = ReadU32(u);
    v = static_cast<int32_t>(u);
    return ok;
}

bool CArchive::ReadI64(int64_t &v)
{
    uint64_t u = 0;
    const bool ok = ReadU64(u);
    v = static_cast<int64_t>(u);
    return ok;
}

bool CArchive::ReadBytes(void *data, size_t size) { return Take(data, size); }

// The length prefix; after the wide marker (0xFF 0xFFFE) the length of the
// UTF-16 string follows in the same form, where 0xFFFE is then a length.
bool CArchive::ReadStringLength(uint64_t &length, bool &wide)
{
    uint8_t b = 0;
    if (!ReadU8(b))
        return false;
    if (b < 0xFF) {
        length = b;
        return true;
    }
    uint16_t w = 0;
    if (!ReadU16(w))
        return false;
    if (w == 0xFFFE && !wide) {
        wide = true;
        return ReadStringLength(length, wide);
    }
    if (w < 0xFFFF) {
        length = w;
        return true;
    }
    uint32_t d = 0;
    if (!ReadU32(d))
        return false;
    length = d;
    return d < 0xFFFFFFFF || ReadU64(length);
}

bool CArchive::ReadString(std::string &text)
{
    text.clear();
    uint64_t length = 0;
    bool wide = false;
    if (!ReadStringLength(length, wide))
        return false;
    const uint64_t left = m_bytes.size() - m_pos;
    if (length > left || (wide && length > left / 2)) {
        m_error = endOfFile;
        return false;
    }
    const uint8_t *bytes = m_bytes.data() + m_pos;
    if (!wide) {
        text.assign(reinterpret_cast<const char *>(bytes), length);
        m_pos += length;
        return true;
    }
    std::u16string units(length, u'\0');
    for (size_t i = 0; i < length; ++i)
        units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    m_pos += 2 * length;
    const QByteArray gbk = GbkFromQString(QString::fromStdU16String(units));
    text.assign(gbk.constData(), static_cast<size_t>(gbk.size()));
    return true;
}

void CArchive::Transfer(int32_t &v)
{
    if (IsStoring()) {
        WriteI32(v);
    } else {
        int32_t t = 0;
        if (ReadI32(t))
            v = t;
    }
}

void CArchive::Transfer(uint32_t &v)
{
    if (IsStoring()) {
        WriteU32(v);
    } else {
        uint32_t t = 0;
        if (ReadU32(t))
            v = t;
    }
}

void CArchive::Transfer(uint16_t &v)
{
    if (IsStoring()) {
        WriteU16(v);
    } else {
        uint16_t t = 0;
        if (ReadU16(t))
            v = t;
    }
}

void CArchive::Transfer(int64_t &v)
{
    if (IsStoring()) {
        WriteI64(v);
    } else {
        int64_t t = 0;
        if (ReadI64(t))
            v = t;
    }
}

void CArchive::Transfer(std::string &v)
{
    if (IsStoring()) {
        WriteString(v);
    } else {
        std::string t;
        if (ReadString(t))
            v = std::move(t);
    }
}

} // namespace platform
