#include "regional.h"

#include "app_error.h"

#include <QLocale>
#include <cmath>

namespace regional {

namespace {

QChar separatorIn(const QString& pattern, QChar fallback)
{
    bool quoted = false;
    for (QChar c : pattern) {
        if (c == u'\'') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && !c.isLetter() && !c.isSpace())
            return c;
    }
    return fallback;
}

QString twoDigits(int n)
{
    return QString::number(n).rightJustified(2, u'0');
}

} // namespace

QString decimalSeparator()
{
    return QLocale().decimalPoint();
}

QString format(double value, int decimals)
{
    if (std::abs(value) * std::pow(10.0, decimals) < 0.5)
        value = 0.0; // no "-0.00"
    QString text = QString::number(value, 'f', decimals);
    const QString sep = decimalSeparator();
    if (sep != QLatin1String("."))
        text.replace(u'.', sep);
    return text;
}

QString numberText(double value)
{
    QString text = QString::number(value, 'g', 15);
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    const QString sep = decimalSeparator();
    if (sep != QLatin1String("."))
        text.replace(u'.', sep);
    return text;
}

std::optional<double> toNumber(const QString& text)
{
    const QString sep = decimalSeparator();
    const QString t = text.trimmed();
    qsizetype i = 0;
    const qsizetype n = t.size();
    QByteArray plain;
    if (i < n && (t[i] == u'+' || t[i] == u'-'))
        plain.append(char(t[i++].unicode()));
    int digits = 0;
    bool point = false;
    while (i < n) {
        if (t[i].isDigit() && t[i].unicode() < 128) {
            plain.append(char(t[i].unicode()));
            ++digits;
            ++i;
        } else if (!point && !sep.isEmpty() && t.mid(i, sep.size()) == sep) {
            plain.append('.');
            point = true;
            i += sep.size();
        } else {
            break;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < n && (t[i] == u'e' || t[i] == u'E')) {
        plain.append('e');
        ++i;
        if (i < n && (t[i] == u'+' || t[i] == u'-'))
            plain.append(char(t[i++].unicode()));
        int expDigits = 0;
        while (i < n && t[i].isDigit() && t[i].unicode() < 128) {
            plain.append(char(t[i++].unicode()));
            ++expDigits;
        }
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;
    bool ok = false;
    const double value = plain.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double toNumberOrFail(const QString& text)
{
    const auto value = toNumber(text);
    if (!value)
        AppError::raise(AppError::TypeMismatch);
    return *value;
}

double leadingNumber(const QString& text)
{
    QByteArray plain;
    bool point = false;
    bool exponent = false;
    bool signAllowed = true;
    for (QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r')
            continue;
        const char16_t u = c.unicode();
        if (u >= u'0' && u <= u'9') {
            plain.append(char(u));
            signAllowed = false;
        } else if ((u == u'+' || u == u'-') && signAllowed) {
            plain.append(char(u));
            signAllowed = false;
        } else if (u == u'.' && !point && !exponent) {
            plain.append('.');
            point = true;
            signAllowed = false;
        } else if ((u == u'e' || u == u'E' || u == u'd' || u == u'D') && !exponent && !plain.isEmpty()) {
            plain.append('e');
            exponent = true;
            signAllowed = true;
        } else {
            break;
        }
    }
    // Drop a dangling exponent or sign so that "12e" reads as 12.
    while (!plain.isEmpty() && !std::isdigit(static_cast<unsigned char>(plain.back())) && plain.back() != '.')
        plain.chop(1);
    bool ok = false;
    const double value = plain.toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

qint16 toInt16(double value)
{
    const double rounded = std::nearbyint(value);
    if (!std::isfinite(rounded) || rounded < -32768.0 || rounded > 32767.0)
        AppError::raise(AppError::Overflow);
    return static_cast<qint16>(rounded);
}

qint16 addInt16(qint16 a, int b)
{
    return toInt16(double(a) + double(b));
}

double checked(double value)
{
    if (!std::isfinite(value))
        AppError::raise(AppError::Overflow);
    return value;
}

bool isCommaSeparator(const QString& separator)
{
    return separator == QLatin1String(",");
}

bool checkDecimalSeparator(bool eurozone)
{
    QString separator = QLocale().decimalPoint();
    const qsizetype zero = separator.indexOf(QChar(0));
    if (zero >= 0)
        separator.truncate(zero);
    return isCommaSeparator(separator) ? true : eurozone;
}

DateSeparators dateSeparators()
{
    const QLocale locale;
    return {separatorIn(locale.dateFormat(QLocale::ShortFormat), u'/'),
            separatorIn(locale.timeFormat(QLocale::ShortFormat), u':')};
}

QString shotDateTime(const QDateTime& when, bool fourDigitYear)
{
    return shotDateTime(when, fourDigitYear, dateSeparators());
}

QString shotDateTime(const QDateTime& when, bool fourDigitYear, const DateSeparators& separators)
{
    const QChar dateSep = separators.date;
    const QChar timeSep = separators.time;
    const QDate d = when.date();
    const QTime t = when.time();
    if (d.year() >= 0 && d.year() <= 9999 && t.isValid()) {
        // Written in place: a recovered cache formats tens of thousands of these.
        QString text(fourDigitYear ? 19 : 17, Qt::Uninitialized);
        QChar* out = text.data();
        auto two = [&out](int n) {
            *out++ = QChar(u'0' + n / 10);
            *out++ = QChar(u'0' + n % 10);
        };
        two(d.day());
        *out++ = dateSep;
        two(d.month());
        *out++ = dateSep;
        if (fourDigitYear)
            two(d.year() / 100);
        two(d.year() % 100);
        *out++ = u' ';
        two(t.hour());
        *out++ = timeSep;
        two(t.minute());
        *out++ = timeSep;
        two(t.second());
        return text;
    }
    const QString year = fourDigitYear ? QString::number(d.year()).rightJustified(4, u'0') : twoDigits(d.year() % 100);
    return twoDigits(d.day()) + dateSep + twoDigits(d.month()) + dateSep + year + u' ' + twoDigits(t.hour()) +
           timeSep + twoDigits(t.minute()) + timeSep + twoDigits(t.second());
}

} // namespace regional
