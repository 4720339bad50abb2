#include "platform/gbk.h"

#include <QSysInfo>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {
namespace {

// Eight bytes at a time: every statement's text passes here on its way to
// the database.
constexpr uint64_t kHighBits = 0x8080808080808080ULL;

bool IsAscii(std::string_view text)
{
    const char *at = text.data();
    size_t left = text.size();
    for (; left >= sizeof(uint64_t); at += sizeof(uint64_t), left -= sizeof(uint64_t)) {
        uint64_t word;
        std::memcpy(&word, at, sizeof word);
        if (word & kHighBits)
            return false;
    }
    for (; left > 0; ++at, --left) {
        if (static_cast<unsigned char>(*at) >= 0x80)
            return false;
    }
    return true;
}

// One converter per direction and thread: iconv_t is not thread-safe and
// opening one per call would cost more than most conversions.
class Converter {
public:
    Converter(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    std::string Convert(std::string_view in)
    {
        std::string out;
        if (m_cd == reinterpret_cast<iconv_t>(-1)) {
            out.assign(in);
            return out;
        }
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        out.resize(in.size() * 2 + 8);
        char *src = const_cast<char *>(in.data());
        size_t srcLeft = in.size();
        char *dst = out.data();
        size_t dstLeft = out.size();
        while (srcLeft > 0) {
            if (iconv(m_cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1))
                break;
            if (errno == E2BIG) {
                const size_t used = static_cast<size_t>(dst - out.data());
                out.resize(out.size() * 2);
                dst = out.data() + used;
                dstLeft = out.size() - used;
                continue;
            }
            // EILSEQ or EINVAL (a character cut at the end): replace one byte.
            if (dstLeft == 0) {
                const size_t used = static_cast<size_t>(dst - out.data());
                out.resize(out.size() * 2);
                dst = out.data() + used;
                dstLeft = out.size() - used;
            }
            *dst++ = '?';
            --dstLeft;
            ++src;
            --srcLeft;
        }
        out.resize(static_cast<size_t>(dst - out.data()));
        return out;
    }

private:
    iconv_t m_cd;
};

// GBK decoded by table straight into UTF-16: glibc's converter goes through
// its generic loop for every byte, ASCII included, and the program's texts
// are mostly ASCII with a few Chinese words. The table is read from that
// converter once, character by character, so it decodes as the converter
// does; a byte that starts no character becomes '?', as Convert has it.
class GbkTable {
public:
    GbkTable() : m_pairs(128 * 256, 0)
    {
        const iconv_t cd = iconv_open(QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE", "GBK");
        if (cd == reinterpret_cast<iconv_t>(-1))
            return;
        for (int lead = 0x80; lead <= 0xFF; ++lead) {
            const char single[1] = {static_cast<char>(lead)};
            m_singles[lead - 0x80] = One(cd, single, 1);
            if (m_singles[lead - 0x80])
                continue;
            for (int trail = 0; trail <= 0xFF; ++trail) {
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                m_pairs[static_cast<size_t>((lead - 0x80) * 256 + trail)] = One(cd, pair, 2);
            }
        }
        iconv_close(cd);
        m_usable = true;
    }

    bool Usable() const { return m_usable; }

    // Into `out`, whose storage is used again where it is its own and large
    // enough.
    void Decode(std::string_view gbk, QString &out) const
    {
        out.resize(static_cast<qsizetype>(gbk.size()));
        char16_t *units = reinterpret_cast<char16_t *>(out.data());
        char16_t *to = units;
        const auto *bytes = reinterpret_cast<const unsigned char *>(gbk.data());
        const size_t size = gbk.size();
        for (size_t i = 0; i < size;) {
            // A statement's text is mostly ASCII around a few Chinese
            // words: its runs are widened many bytes at a time.
#if defined(__SSE2__)
            for (const __m128i zero = _mm_setzero_si128(); i + 16 <= size; i += 16, to += 16) {
                const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + i));
                if (_mm_movemask_epi8(block) != 0)
                    break;
                _mm_storeu_si128(reinterpret_cast<__m128i *>(to), _mm_unpacklo_epi8(block, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(to + 8), _mm_unpackhi_epi8(block, zero));
            }
#endif
            for (uint64_t word; i + sizeof word <= size; i += sizeof word, to += sizeof word) {
                std::memcpy(&word, bytes + i, sizeof word);
                if (word & kHighBits)
                    break;
                for (size_t k = 0; k < sizeof word; ++k)
                    to[k] = bytes[i + k];
            }
            if (i == size)
                break;
            const unsigned char byte = bytes[i];
            if (byte < 0x80) {
                *to++ = byte;
                ++i;
            } else if (const char16_t single = m_singles[byte - 0x80]) {
                *to++ = single;
                ++i;
            } else if (const char16_t pair = i + 1 < size ? m_pairs[static_cast<size_t>((byte - 0x80) * 256 + bytes[i + 1])] : 0) {
                *to++ = pair;
                i += 2;
            } else {
                *to++ = u'?';
                ++i;
            }
        }
        out.truncate(to - units);
    }

private:
    // The one UTF-16 unit the converter makes of exactly these bytes; 0 when
    // they are not one whole character.
    static char16_t One(iconv_t cd, const char *bytes, size_t size)
    {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char16_t units[4] = {};
        char *src = const_cast<char *>(bytes);
        size_t srcLeft = size;
        char *dst = reinterpret_cast<char *>(units);
        size_t dstLeft = sizeof units;
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0
            || sizeof units - dstLeft != sizeof(char16_t) || QChar::isSurrogate(units[0]))
            return 0;
        return units[0];
    }

    char16_t m_singles[128] = {};
    std::vector<char16_t> m_pairs; // (lead - 0x80) * 256 + trail
    bool m_usable = false;
};

// The way back, for the characters GBK has: each is asked of glibc's
// encoder once, so a text encodes as the converter encodes it. A text with
// a character not found here goes through the converter whole, and gets
// the converter's '?'s.
class GbkEncodeTable {
public:
    GbkEncodeTable() : m_codes(0x10000, 0)
    {
        const iconv_t cd = iconv_open("GBK", QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE");
        if (cd == reinterpret_cast<iconv_t>(-1))
            return;
        for (char32_t u = 0x80; u <= 0xFFFF; ++u) {
            if (QChar::isSurrogate(u))
                continue;
            const char16_t unit = static_cast<char16_t>(u);
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            unsigned char bytes[4] = {};
            char *src = reinterpret_cast<char *>(const_cast<char16_t *>(&unit));
            size_t srcLeft = sizeof unit;
            char *dst = reinterpret_cast<char *>(bytes);
            size_t dstLeft = sizeof bytes;
            if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0)
                continue;
            const size_t length = sizeof bytes - dstLeft;
            // A single byte beyond ASCII is marked by a zero second byte.
            if (length == 1 && bytes[0] >= 0x80)
                m_codes[u] = static_cast<uint16_t>(bytes[0] << 8);
            else if (length == 2 && bytes[0] >= 0x80 && bytes[1] != 0)
                m_codes[u] = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
        }
        iconv_close(cd);
    }

    // False, leaving `out` unfinished, at a character the table lacks.
    bool Encode(const QChar *units, qsizetype size, std::string &out) const
    {
        out.resize(static_cast<size_t>(size) * 2);
        char *to = out.data();
        for (qsizetype i = 0; i < size; ++i) {
            const char16_t u = units[i].unicode();
            if (u < 0x80) {
                *to++ = static_cast<char>(u);
                continue;
            }
            const uint16_t code = m_codes[u];
            if (code == 0)
                return false;
            *to++ = static_cast<char>(code >> 8);
            if ((code & 0xFF) != 0)
                *to++ = static_cast<char>(code & 0xFF);
        }
        out.resize(static_cast<size_t>(to - out.data()));
        return true;
    }

private:
    std::vector<uint16_t> m_codes; // by UTF-16 unit: lead byte << 8 | trail byte
};

} // namespace

std::string Utf8FromGbk(std::string_view gbk)
{
    if (IsAscii(gbk))
        return std::string(gbk);
    thread_local Converter converter("UTF-8", "GBK");
    return converter.Convert(gbk);
}

std::string GbkFromUtf8(std::string_view utf8)
{
    if (IsAscii(utf8))
        return std::string(utf8);
    thread_local Converter converter("GBK", "UTF-8");
    return converter.Convert(utf8);
}

QString QStringFromGbk(std::string_view gbk)
{
    QString text;
    QStringFromGbk(gbk, text);
    return text;
}

void QStringFromGbk(std::string_view gbk, QString &out)
{
    // The table widens ASCII as fast as Latin-1 is widened, without a pass
    // of its own to find out whether the text is all ASCII.
    static const GbkTable table;
    if (table.Usable()) {
        table.Decode(gbk, out);
    } else if (IsAscii(gbk)) {
        out = QString::fromLatin1(gbk.data(), static_cast<qsizetype>(gbk.size()));
    } else {
        const std::string utf8 = Utf8FromGbk(gbk);
        out = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    }
}

std::string GbkStringFromQString(const QString &text)
{
    // ASCII is the same in both: a row's numbers and names as they are.
    const QChar *units = text.constData();
    const qsizetype size = text.size();
    if (std::all_of(units, units + size, [](QChar c) { return c.unicode() < 0x80; })) {
        std::string ascii(static_cast<size_t>(size), '\0');
        std::transform(units, units + size, ascii.begin(), [](QChar c) { return static_cast<char>(c.unicode()); });
        return ascii;
    }
    static const GbkEncodeTable table;
    std::string gbk;
    if (table.Encode(units, size, gbk))
        return gbk;
    const QByteArray utf8 = text.toUtf8();
    return GbkFromUtf8(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

QByteArray GbkFromQString(const QString &text)
{
    const std::string gbk = GbkStringFromQString(text);
    return QByteArray(gbk.data(), static_cast<qsizetype>(gbk.size()));
}

std::string_view FieldText(const char *field, size_t size)
{
    const void *zero = std::memchr(field, 0, size);
    return std::string_view(field, zero ? static_cast<size_t>(static_cast<const char *>(zero) - field) : size);
}

void CopyToField(char *field, size_t size, std::string_view text)
{
    if (size == 0)
        return;
    size_t n = 0;
    const size_t limit = size - 1;
    // Step whole characters: a GBK lead byte (0x81..0xFE) takes its trail byte.
    while (n < text.size()) {
        const bool lead = static_cast<unsigned char>(text[n]) >= 0x81 && n + 1 < text.size();
        const size_t step = lead ? 2 : 1;
        if (n + step > limit)
            break;
        n += step;
    }
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, size - n);
}

} // namespace platform
