#include "database/statement_shape.h"

#include <array>
#include <cstring>

namespace database {
namespace {

// 18 digits always fit a signed 64-bit integer; SQLite reads longer ones
// by rules of its own (a real beyond the range), so those stay text.
constexpr qsizetype kMaxLiftedDigits = 18;

// What an ASCII character is to the scan, looked up once per character: the
// scan runs over every write of a storm of reports.
enum CharClass : unsigned char {
    kPlain = 0, // passed over as it is
    kWord = 1,  // continues an identifier or keyword
    kDigit = 2 | kWord,
    kSpecial = 4, // starts something the scan looks at: a quote, a comment, a parameter, a number's point
};

constexpr std::array<unsigned char, 128> MakeClasses()
{
    std::array<unsigned char, 128> classes{};
    for (int c = 'a'; c <= 'z'; ++c)
        classes[static_cast<size_t>(c)] = kWord;
    for (int c = 'A'; c <= 'Z'; ++c)
        classes[static_cast<size_t>(c)] = kWord;
    for (int c = '0'; c <= '9'; ++c)
        classes[static_cast<size_t>(c)] = kDigit;
    classes['_'] = kWord;
    for (const char c : {'\'', '"', '`', '[', '-', '/', '?', ':', '@', '$', '#', '.'})
        classes[static_cast<size_t>(c)] = static_cast<unsigned char>(classes[static_cast<size_t>(c)] | kSpecial);
    classes['$'] = kWord | kSpecial;
    return classes;
}
constexpr std::array<unsigned char, 128> kClasses = MakeClasses();

bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// A character that continues an identifier or keyword; SQLite takes every
// character beyond ASCII as one.
bool IsWordChar(QChar c)
{
    const char16_t u = c.unicode();
    return u >= 0x80 || (kClasses[u] & kWord) != 0;
}

bool IsBy(const QChar *word, qsizetype length)
{
    return length == 2 && (word[0] == QLatin1Char('b') || word[0] == QLatin1Char('B'))
        && (word[1] == QLatin1Char('y') || word[1] == QLatin1Char('Y'));
}

class Shaper {
public:
    Shaper(const QString &sql, StatementShape &shape) : m_text(sql.constData()), m_size(sql.size()), m_shape(shape) {}

    bool Run()
    {
        m_shape.count = 0;
        m_runStart = 0;
        // SQLite stops reading at a NUL, even inside a literal; a bound value
        // would carry it and what follows into the row.
        if (QStringView(m_text, m_size).contains(QChar(0)))
            return false;
        // Every lifted literal is at least as long as its ?, so the key
        // never outgrows the text: it is written in place, and cut to its
        // length at the end.
        m_shape.key.resize(m_size);
        m_key = m_shape.key.data();
        m_keyLength = 0;
        while (m_pos < m_size) {
            const QChar c = m_text[m_pos];
            const char16_t u = c.unicode();
            if (u < 0x80 && kClasses[u] == kPlain) {
                ++m_pos;
                continue;
            }
            if (u < 0x80 && kClasses[u] == kWord) {
                if (!Word())
                    return false;
                continue;
            }
            bool ok = true;
            switch (u) {
            case '\'':
                ok = StringLiteral();
                break;
            case '"':
            case '`':
                ok = CopyQuoted(c);
                break;
            case '[':
                ok = CopyQuoted(QLatin1Char(']'));
                break;
            case '-':
                if (Next() == QLatin1Char('-'))
                    CopyLineComment();
                else
                    Copy(1);
                break;
            case '/':
                if (Next() == QLatin1Char('*'))
                    ok = CopyBlockComment();
                else
                    Copy(1);
                break;
            case '?':
            case ':':
            case '@':
            case '$':
            case '#':
                return false; // a parameter of the statement's own
            case '.':
                if (IsDigit(Next()))
                    ok = Number();
                else
                    Copy(1);
                break;
            default:
                if (IsDigit(c))
                    ok = Number();
                else if (IsWordChar(c))
                    ok = Word();
                else
                    Copy(1);
                break;
            }
            if (!ok)
                return false;
        }
        AppendRun(m_size);
        m_shape.key.resize(m_keyLength);
        return true;
    }

private:
    QChar Next() const { return m_pos + 1 < m_size ? m_text[m_pos + 1] : QChar(); }

    // Text that stays in the key is only passed over here; it goes into the
    // key a run at a time, where a literal or the end cuts it.
    void Copy(qsizetype length) { m_pos += length; }

    void AppendRun(qsizetype end)
    {
        std::memcpy(m_key + m_keyLength, m_text + m_runStart, static_cast<size_t>(end - m_runStart) * sizeof(QChar));
        m_keyLength += end - m_runStart;
        m_runStart = m_pos;
    }

    // The literal stood at `from` up to m_pos.
    bool Lift(const StatementShape::Literal &literal, qsizetype from)
    {
        if (m_shape.count == StatementShape::kMaxLiterals)
            return false;
        m_shape.literals[static_cast<size_t>(m_shape.count++)] = literal;
        AppendRun(from);
        m_key[m_keyLength++] = QLatin1Char('?');
        return true;
    }

    // A word directly before the quote makes it another kind of literal
    // (x'0A' a blob, N'..' SQL Server's wide string), one directly after it
    // runs into the ? (?7 is a parameter's number); a value SQLite would
    // read otherwise when bound as UTF-16 (a leading byte-order mark, a
    // surrogate, which SQLite's decoder pairs with the closing quote) would
    // not be the same text. All these are kept as they are.
    bool StringLiteral()
    {
        const bool prefixed = m_pos > 0 && IsWordChar(m_text[m_pos - 1]);
        qsizetype end = m_pos + 1;
        bool keep = prefixed;
        for (;; ++end) {
            if (end >= m_size)
                return false;
            const QChar c = m_text[end];
            if (c.isSurrogate())
                keep = true;
            if (c != QLatin1Char('\''))
                continue;
            if (end + 1 < m_size && m_text[end + 1] == QLatin1Char('\'')) {
                keep = true; // a doubled quote: the value is not the text between the quotes
                ++end;
                continue;
            }
            break;
        }
        if (end > m_pos + 1 && (m_text[m_pos + 1] == QChar(0xFEFF) || m_text[m_pos + 1] == QChar(0xFFFE)))
            keep = true;
        if (end + 1 < m_size && IsWordChar(m_text[end + 1]))
            keep = true;
        if (keep) {
            Copy(end + 1 - m_pos);
            return true;
        }
        StatementShape::Literal literal;
        literal.kind = StatementShape::Literal::Kind::Text;
        literal.at = m_pos + 1;
        literal.length = end - m_pos - 1;
        const qsizetype from = m_pos;
        m_pos = end + 1;
        return Lift(literal, from);
    }

    // "name", `name`, [name]: copied whole, whatever they hold. A doubled
    // closing character inside "..." and `...` stands for itself and is
    // copied with the rest.
    bool CopyQuoted(QChar close)
    {
        qsizetype end = m_pos + 1;
        while (end < m_size && m_text[end] != close)
            ++end;
        if (end >= m_size)
            return false;
        Copy(end + 1 - m_pos);
        return true;
    }

    void CopyLineComment()
    {
        qsizetype end = m_pos;
        while (end < m_size && m_text[end] != QLatin1Char('\n'))
            ++end;
        Copy(end - m_pos);
    }

    bool CopyBlockComment()
    {
        for (qsizetype end = m_pos + 2; end + 1 < m_size; ++end) {
            if (m_text[end] == QLatin1Char('*') && m_text[end + 1] == QLatin1Char('/')) {
                Copy(end + 2 - m_pos);
                return true;
            }
        }
        return false;
    }

    // A plain decimal integer is lifted; anything else that starts like a
    // number (1.5, .5, 1e3, 0x1F, 12abc) is copied as one token.
    bool Number()
    {
        qsizetype end = m_pos;
        while (end < m_size && IsDigit(m_text[end]))
            ++end;
        const bool plain = end > m_pos && end - m_pos <= kMaxLiftedDigits
                        && (m_pos == 0 || (!IsWordChar(m_text[m_pos - 1]) && m_text[m_pos - 1] != QLatin1Char('.')))
                        && (end == m_size || (!IsWordChar(m_text[end]) && m_text[end] != QLatin1Char('.')));
        if (!plain) {
            while (end < m_size && (IsWordChar(m_text[end]) || m_text[end] == QLatin1Char('.')
                                    || ((m_text[end] == QLatin1Char('+') || m_text[end] == QLatin1Char('-'))
                                        && (m_text[end - 1] == QLatin1Char('e') || m_text[end - 1] == QLatin1Char('E')))))
                ++end;
            Copy(end - m_pos);
            return true;
        }
        StatementShape::Literal literal;
        for (qsizetype i = m_pos; i < end; ++i)
            literal.integer = literal.integer * 10 + (m_text[i].unicode() - '0');
        const qsizetype from = m_pos;
        m_pos = end;
        return Lift(literal, from);
    }

    // An identifier or keyword, digits inside it included. After BY an
    // integer is a column's position, not a value: such statements run as
    // they are.
    bool Word()
    {
        qsizetype end = m_pos;
        while (end < m_size && IsWordChar(m_text[end]))
            ++end;
        if (IsBy(m_text + m_pos, end - m_pos))
            return false;
        Copy(end - m_pos);
        return true;
    }

    const QChar *m_text;
    qsizetype m_size;
    StatementShape &m_shape;
    qsizetype m_pos = 0;
    qsizetype m_runStart = 0; // the first character not yet in the key
    QChar *m_key = nullptr;
    qsizetype m_keyLength = 0;
};

} // namespace

bool ShapeOf(const QString &sql, StatementShape &shape)
{
    return Shaper(sql, shape).Run();
}

} // namespace database
