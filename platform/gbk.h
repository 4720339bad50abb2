#pragma once
// The one place where text changes code page. Inside the program every text is
// GBK bytes (the sources' narrow literals are compiled to GBK); Qt, SQLite and
// the terminal want UTF-8 or UTF-16, so each boundary converts here.
#include <QByteArray>
#include <QString>
#include <string>
#include <string_view>

namespace platform {

// Bytes that do not convert become '?'; the result is never longer than
// twice (to GBK) or one and a half times (to UTF-8) the input plus a few bytes.
std::string Utf8FromGbk(std::string_view gbk);
std::string GbkFromUtf8(std::string_view utf8);

QString QStringFromGbk(std::string_view gbk);
// The same into `out`, its storage used again where it can be: for a text
// decoded for every statement.
void QStringFromGbk(std::string_view gbk, QString &out);
QByteArray GbkFromQString(const QString &text);
std::string GbkStringFromQString(const QString &text);

// Text up to the first zero byte of a fixed-size field (no zero: all of it).
std::string_view FieldText(const char *field, size_t size);

// Copies text into a fixed-size field: at most size-1 bytes, never splitting a
// GBK character, then zero-fills the rest.
void CopyToField(char *field, size_t size, std::string_view text);

} // namespace platform
