#pragma once
// Words of SQL looked for at the start of a statement's text: several times
// for every statement, so without Qt's Unicode case folding while the
// text's characters are ASCII.
#include <QLatin1String>
#include <QStringView>

namespace database {

// text.startsWith(word, Qt::CaseInsensitive) for an ASCII word. Beyond ASCII
// the folding decides: it takes some letters to ASCII ones.
inline bool StartsWithIgnoringCase(QStringView text, QLatin1String word)
{
    if (text.size() < word.size())
        return false;
    for (qsizetype i = 0; i < word.size(); ++i) {
        char16_t c = text[i].unicode();
        if (c >= 0x80)
            return text.startsWith(word, Qt::CaseInsensitive);
        char16_t w = word[i].unicode();
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
        if (w >= u'a' && w <= u'z')
            w = static_cast<char16_t>(w - u'a' + u'A');
        if (c != w)
            return false;
    }
    return true;
}

// QStringView::trimmed, without a call into Qt for a text that starts and
// ends with no blank, as nearly every statement does.
inline QStringView Trimmed(QStringView text)
{
    if (!text.isEmpty() && !text.front().isSpace() && !text.back().isSpace())
        return text;
    return text.trimmed();
}

// Whether nothing but blanks and semicolons stands in [rest, end): after the
// first statement SQLite parsed out of a text.
template <typename Char>
bool OnlyBlanks(const Char *rest, const Char *end)
{
    for (; rest && rest < end; ++rest) {
        switch (*rest) {
        case ' ': case '\t': case '\n': case '\r': case '\f': case '\v': case ';':
            continue;
        default:
            return false;
        }
    }
    return true;
}

} // namespace database
