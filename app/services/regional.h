#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// Numbers and dates as the user's regional format writes them.
namespace regional {

// The user's decimal separator (normally "." or ",").
QString decimalSeparator();

// Fixed-decimals formatting with the regional separator: format(x, 2) is the pattern "0.00".
QString format(double value, int decimals);
inline QString format2(double value) { return format(value, 2); }
inline QString format1(double value) { return format(value, 1); }
inline QString format3(double value) { return format(value, 3); }

// Plain number text (up to 15 significant digits, no trailing zeros), regional separator.
QString numberText(double value);

// Regional text to number: surrounding spaces, a sign, digits, at most one regional decimal
// separator and an exponent are accepted; anything else is not a number.
std::optional<double> toNumber(const QString& text);
// As toNumber, but a non-number raises AppError TypeMismatch.
double toNumberOrFail(const QString& text);

// The leading number of a text read with a point as decimal separator whatever the locale;
// blanks are skipped, reading stops at the first character that cannot continue a number,
// and no number gives 0.
double leadingNumber(const QString& text);

// 16-bit signed arithmetic that fails with Overflow outside -32768..32767.
qint16 toInt16(double value);
qint16 addInt16(qint16 a, int b);

// Raises Overflow unless value is a finite number (an arithmetic result the path may use).
double checked(double value);

// True when the decimal separator text is exactly a comma.
bool isCommaSeparator(const QString& separator);

// The user's locale check at start-up: true when its decimal separator is a comma,
// otherwise the flag as it was.
bool checkDecimalSeparator(bool eurozone);

// "dd/mm/yyyy hh:mm:ss" (or "dd/mm/yy hh:mm:ss") with the user's date and time separators.
QString shotDateTime(const QDateTime& when, bool fourDigitYear);
// The user's date and time separators, looked up once for many dates.
struct DateSeparators {
    QChar date = u'/';
    QChar time = u':';
};
DateSeparators dateSeparators();
QString shotDateTime(const QDateTime& when, bool fourDigitYear, const DateSeparators& separators);

} // namespace regional
