#pragma once
// The shape of an SQLite statement: its text with each integer and plain
// string literal lifted out as a ? parameter. The program writes its rows as
// whole texts (a storm of status reports is many thousands a second, each
// with its room's numbers in it); all the texts of one shape share one
// prepared statement, so SQLite parses and plans each shape once instead of
// every text. SQLite gives a literal and a bound value of the same type the
// same meaning (neither has a column affinity), so a shaped statement does
// exactly what its text does.
#include <QString>

#include <array>
#include <cstdint>

namespace database {

struct StatementShape {
    struct Literal {
        enum class Kind { Integer, Text };
        Kind kind = Kind::Integer;
        int64_t integer = 0;
        // Where it stands in the statement's text: the digits of an
        // integer, the characters between the quotes of a text.
        qsizetype at = 0;
        qsizetype length = 0;
    };
    // More literals than this and the statement runs from its own text.
    static constexpr int kMaxLiterals = 64;

    QString key; // the text with every lifted literal as ?
    std::array<Literal, kMaxLiterals> literals;
    int count = 0;
};

// Fills `shape` from `sql` (SQLite's dialect) and returns true, or returns
// false for a text that must run as it is: one with a NUL, with parameters or SQL
// Server variables of its own (?, :name, @name, $name, #name), an ORDER BY or GROUP BY
// (where an integer names a column), an unterminated literal or comment, or
// too many literals. Literals stay in the key where lifting them could
// change the statement: a number with a fraction or exponent, one of 19
// digits or more, a string with an embedded quote, a byte-order mark at its
// start, a surrogate or a word right after it, x'..' and N'..'.
// Reuses `shape`'s storage: no allocation once the key has grown to size.
bool ShapeOf(const QString &sql, StatementShape &shape);

// Whether `sql` is `known` (a text whose shape is `knownShape`) with other
// values: the same text outside the literals, and in their places literals
// ShapeOf would lift in the same way. Then `shape` gets their values and
// places in `sql` (not the key, which is knownShape's) and ShapeOf(sql)
// would give the same key. Compares where ShapeOf scans.
bool SameShape(const QString &sql, const QString &known, const StatementShape &knownShape, StatementShape &shape);

} // namespace database
