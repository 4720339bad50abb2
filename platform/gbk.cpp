#include "platform/gbk.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <QSysInfo>
#include <iconv.h>

namespace platform {
namespace {

bool IsAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
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

    // GBK into UTF-16 in host order, straight into a QString: every
    // character takes at least one byte of GBK and gives one UTF-16 unit
    // (GBK has nothing beyond the BMP), so as many units as bytes always
    // suffice. A byte that starts no character becomes '?', as above.
    QString ConvertToUtf16(std::string_view in)
    {
        QString out(static_cast<qsizetype>(in.size()), Qt::Uninitialized);
        char *src = const_cast<char *>(in.data());
        size_t srcLeft = in.size();
        char16_t *units = reinterpret_cast<char16_t *>(out.data());
        char *dst = reinterpret_cast<char *>(units);
        size_t dstLeft = in.size() * sizeof(char16_t);
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        while (srcLeft > 0) {
            if (iconv(m_cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1))
                break;
            if (dstLeft < sizeof(char16_t))
                break; // cannot happen, see above
            const char16_t replacement = u'?';
            std::memcpy(dst, &replacement, sizeof replacement);
            dst += sizeof replacement;
            dstLeft -= sizeof replacement;
            ++src;
            --srcLeft;
        }
        out.truncate(static_cast<qsizetype>((dst - reinterpret_cast<char *>(units)) / sizeof(char16_t)));
        return out;
    }
    bool Usable() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

private:
    iconv_t m_cd;
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
    if (IsAscii(gbk))
        return QString::fromLatin1(gbk.data(), static_cast<qsizetype>(gbk.size()));
    thread_local Converter converter(QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE", "GBK");
    if (converter.Usable())
        return converter.ConvertToUtf16(gbk);
    const std::string utf8 = Utf8FromGbk(gbk);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string GbkStringFromQString(const QString &text)
{
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
