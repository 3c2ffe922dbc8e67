#pragma once

#include "import/imported_string.h"

#include <QDate>
#include <QStringList>
#include <QTime>
#include <optional>

// The text of an export and its pieces: decoding, CSV fields, numbers in either decimal
// convention, and dates written in a phone's language.
namespace import_text {

// The bytes as text (UTF-16 after its byte-order mark, UTF-8, else Windows-1252 as spreadsheets
// in Europe write), without byte-order marks wherever they stand, or a refusal when they are not
// text. NUL bytes are refused unless `dropNul` (a LabRadar pads with them).
struct Decoded {
    QString text;
    QString refusal;
};
Decoded decode(const QByteArray& bytes, bool dropNul);

// The lines of a text, without their line ends (LF, CR LF or CR).
QStringList lines(const QString& text);

// The fields of a CSV line: quotes group separators and are removed ("" is one quote).
QStringList fields(const QString& line, QChar separator);

// A number written with a decimal point or a decimal comma ("488,3", " 924.3"), or grouped in
// thousands with the other mark for decimals ("1,369.8", "1.369,8"). One mark alone is the
// decimal one. None when it is not a number.
std::optional<FileNumber> number(const QString& text);

// A month's name or abbreviation in English, German, Dutch, French, Spanish, Italian,
// Portuguese or a Scandinavian language, any case: 1 to 12, or 0.
int monthNumber(const QString& word);

// A date written with the month's name in any of those languages and any order ("April 6, 2024
// at 1:36 PM", "JULI 02, 2024 17:08", "8. Februar 2025 um 10:08", "12. May 2024 at 18.19"), with
// its time if it has one.
QDateTime namedMonthDate(const QString& text);

// "17:09:22", "1:41:26 PM" (any space before PM, U+202F too), "18.19.39", "10:08".
QTime clockTime(const QString& text);

} // namespace import_text
