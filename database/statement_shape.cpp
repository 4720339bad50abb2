#include "database/statement_shape.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace database {
namespace {

// 18 digits always fit a signed 64-bit integer; SQLite reads longer ones
// by rules of its own (a real beyond the range), so those stay text.
constexpr qsizetype kMaxLiftedDigits = 18;

// What an ASCII character is to the scan, looked up once per character: the
// scan runs over every write of a storm of reports, and most of a
// statement's text (names, keywords, blanks, commas) is only passed over.
enum CharClass : unsigned char {
    kPassed = 0,   // needs no look: passed over where it stands
    kWord = 1,     // continues an identifier or keyword
    kStops = 2,    // the scan stops to look at it: a quote, a comment, a parameter, a digit, a NUL...
};

constexpr std::array<unsigned char, 128> MakeClasses()
{
    std::array<unsigned char, 128> classes{};
    for (int c = 'a'; c <= 'z'; ++c)
        classes[static_cast<size_t>(c)] = kWord;
    for (int c = 'A'; c <= 'Z'; ++c)
        classes[static_cast<size_t>(c)] = kWord;
    for (int c = '0'; c <= '9'; ++c)
        classes[static_cast<size_t>(c)] = kWord | kStops;
    classes['_'] = kWord;
    classes['$'] = kWord | kStops;
    // B for BY, after which an integer names a column.
    classes['b'] = kWord | kStops;
    classes['B'] = kWord | kStops;
    for (const char c : {'\0', '\'', '"', '`', '[', '-', '/', '?', ':', '@', '#', '.'})
        classes[static_cast<size_t>(c)] = static_cast<unsigned char>(classes[static_cast<size_t>(c)] | kStops);
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

// Whether the word that starts at `word` (with `left` characters to the
// text's end) is BY.
bool IsBy(const QChar *word, qsizetype left)
{
    return left >= 2 && (word[0] == QLatin1Char('b') || word[0] == QLatin1Char('B'))
        && (word[1] == QLatin1Char('y') || word[1] == QLatin1Char('Y')) && (left == 2 || !IsWordChar(word[2]));
}

// Whether a string's value, bound as UTF-16, is the text between its quotes:
// SQLite drops a byte-order mark at its start, and pairs a surrogate with
// the closing quote.
bool BindsAsWritten(const QChar *value, qsizetype length)
{
    if (length > 0 && (value[0] == QChar(0xFEFF) || value[0] == QChar(0xFFFE)))
        return false;
    return std::none_of(value, value + length, [](QChar c) { return c.isSurrogate(); });
}

// The value of at most kMaxLiftedDigits digits.
int64_t DigitsValue(const QChar *digits, qsizetype length)
{
    int64_t value = 0;
    for (qsizetype i = 0; i < length; ++i)
        value = value * 10 + (digits[i].unicode() - '0');
    return value;
}

class Shaper {
public:
    Shaper(const QString &sql, StatementShape &shape) : m_text(sql.constData()), m_size(sql.size()), m_shape(shape) {}

    bool Run()
    {
        m_shape.count = 0;
        m_runStart = 0;
        // Every lifted literal is at least as long as its ?, so the key
        // never outgrows the text: it is written in place, and cut to its
        // length at the end.
        m_shape.key.resize(m_size);
        m_key = m_shape.key.data();
        m_keyLength = 0;
        while (m_pos < m_size) {
            qsizetype pos = m_pos;
            char16_t u = m_text[pos].unicode();
            // Beyond ASCII every character continues a word (as SQLite reads
            // it); only a literal looks at what it is.
            while (u >= 0x80 || (kClasses[u] & kStops) == 0) {
                if (++pos == m_size)
                    break;
                u = m_text[pos].unicode();
            }
            m_pos = pos;
            if (pos == m_size)
                break;
            if (!Stop(u))
                return false;
        }
        AppendRun(m_size);
        m_shape.key.resize(m_keyLength);
        return true;
    }

private:
    // At a character the scan stops for (kStops); false for a text that
    // must run as it is.
    bool Stop(char16_t u)
    {
        // A digit, $ or B after a word's first character is more of that
        // word: only where a word or number starts does it mean anything.
        const bool inWord = m_pos > 0 && IsWordChar(m_text[m_pos - 1]);
        switch (u) {
        case 0:
            // SQLite stops reading at a NUL, even inside a literal; a bound
            // value would carry it and what follows into the row.
            return false;
        case '\'':
            return StringLiteral();
        case '"':
        case '`':
            return CopyQuoted(QChar(u));
        case '[':
            return CopyQuoted(QLatin1Char(']'));
        case '-':
            if (Next() == QLatin1Char('-'))
                return CopyLineComment();
            Copy(1);
            return true;
        case '/':
            if (Next() == QLatin1Char('*'))
                return CopyBlockComment();
            Copy(1);
            return true;
        case '?':
        case ':':
        case '@':
        case '#':
            return false; // a parameter of the statement's own
        case '$':
            if (!inWord)
                return false;
            Copy(1);
            return true;
        case '.':
            if (IsDigit(Next()))
                return Number();
            Copy(1);
            return true;
        case 'b':
        case 'B':
            if (!inWord && IsBy(m_text + m_pos, m_size - m_pos))
                return false;
            Copy(1);
            return true;
        default: // a digit
            if (inWord) {
                Copy(1);
                return true;
            }
            return Number();
        }
    }

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
            if (c.isNull())
                return false;
            if (c != QLatin1Char('\''))
                continue;
            if (end + 1 < m_size && m_text[end + 1] == QLatin1Char('\'')) {
                keep = true; // a doubled quote: the value is not the text between the quotes
                ++end;
                continue;
            }
            break;
        }
        if (!BindsAsWritten(m_text + m_pos + 1, end - m_pos - 1))
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
        while (end < m_size && m_text[end] != close && !m_text[end].isNull())
            ++end;
        if (end >= m_size || m_text[end] != close)
            return false;
        Copy(end + 1 - m_pos);
        return true;
    }

    bool CopyLineComment()
    {
        qsizetype end = m_pos;
        while (end < m_size && m_text[end] != QLatin1Char('\n')) {
            if (m_text[end].isNull())
                return false;
            ++end;
        }
        Copy(end - m_pos);
        return true;
    }

    bool CopyBlockComment()
    {
        for (qsizetype end = m_pos + 2; end + 1 < m_size; ++end) {
            if (m_text[end].isNull())
                return false;
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
        literal.at = m_pos;
        literal.length = end - m_pos;
        literal.integer = DigitsValue(m_text + m_pos, end - m_pos);
        const qsizetype from = m_pos;
        m_pos = end;
        return Lift(literal, from);
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

// The text between two literals is compared whole. Where it equals the
// known text's, ShapeOf's scan of it takes the same steps: each step looks
// at most one character into a literal that follows, and finds there a
// digit (or the inside of a quote) as in the known text. What stands in a
// literal's place is read as ShapeOf's Number and StringLiteral read it;
// whatever either would have kept as it is makes the texts differ.
bool SameShape(const QString &sql, const QString &known, const StatementShape &knownShape, StatementShape &shape)
{
    const QChar *text = sql.constData();
    const QChar *knownText = known.constData();
    const qsizetype size = sql.size();
    qsizetype pos = 0, knownPos = 0;
    const auto sameStretch = [&](qsizetype knownEnd) {
        const qsizetype length = knownEnd - knownPos;
        if (length > size - pos)
            return false;
        // Most stretches between two values are a comma and a blank.
        if (length <= 4) {
            for (qsizetype i = 0; i < length; ++i) {
                if (text[pos + i] != knownText[knownPos + i])
                    return false;
            }
        } else if (std::memcmp(text + pos, knownText + knownPos, static_cast<size_t>(length) * sizeof(QChar)) != 0) {
            return false;
        }
        pos += length;
        return true;
    };
    for (int i = 0; i < knownShape.count; ++i) {
        const StatementShape::Literal &was = knownShape.literals[static_cast<size_t>(i)];
        if (!sameStretch(was.at))
            return false;
        knownPos = was.at + was.length;
        StatementShape::Literal &literal = shape.literals[static_cast<size_t>(i)];
        literal.kind = was.kind;
        literal.integer = 0;
        literal.at = pos;
        qsizetype end = pos;
        if (was.kind == StatementShape::Literal::Kind::Integer) {
            while (end < size && IsDigit(text[end]))
                ++end;
            if (end == pos || end - pos > kMaxLiftedDigits)
                return false;
            literal.integer = DigitsValue(text + pos, end - pos);
        } else {
            while (end < size && text[end] != QLatin1Char('\'') && !text[end].isNull())
                ++end;
            if (end == size || text[end] != QLatin1Char('\'') || !BindsAsWritten(text + pos, end - pos))
                return false;
        }
        literal.length = end - pos;
        pos = end;
    }
    if (!sameStretch(known.size()) || pos != size)
        return false;
    shape.count = knownShape.count;
    return true;
}

} // namespace database
