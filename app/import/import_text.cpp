#include "import_text.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
#include <array>
#include <cmath>
#include <utility>

namespace import_text {

Decoded decode(const QByteArray& raw, bool dropNul)
{
    // UTF-16 is known by its byte-order mark; spreadsheets in Windows save "Unicode text" so.
    const bool littleEndian = raw.startsWith("\xFF\xFE");
    if (littleEndian || raw.startsWith("\xFE\xFF")) {
        if (raw.size() % 2 != 0)
            return {{}, QStringLiteral("The file begins as UTF-16 text but has an odd number of bytes.")};
        QStringDecoder utf16(littleEndian ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                             QStringDecoder::Flag::Stateless);
        QString text = utf16.decode(raw.mid(2));
        if (utf16.hasError())
            return {{}, QStringLiteral("The file begins as UTF-16 text but is not UTF-16 text.")};
        for (QChar c : text)
            if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r' && c != u'\f')
                return {{},
                        QStringLiteral("The file is not text (it holds control characters such as %1).")
                            .arg(c.unicode(), 4, 16, QLatin1Char('0'))};
        return {text.remove(QChar(0xFEFF)), {}};
    }
    QByteArray bytes = raw;
    if (dropNul)
        bytes.replace('\0', QByteArray());
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        // Tabs, line ends and form feeds are text; other control characters are not.
        if (u < 0x20 && u != '\t' && u != '\n' && u != '\r' && u != '\f')
            return {{}, QStringLiteral("The file is not text (it holds control characters such as a byte %1).")
                            .arg(u, 2, 16, QLatin1Char('0'))};
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        QStringDecoder latin(QStringDecoder::Latin1);
        text = latin.decode(bytes);
    }
    // Phone apps write a byte-order mark where they begin a part of the file (the header, the
    // end), not only at its start: it is never text.
    return {text.remove(QChar(0xFEFF)), {}};
}

QStringList lines(const QString& text)
{
    QStringList all;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\n' && c != u'\r')
            continue;
        all.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    all.append(text.mid(start));
    while (!all.isEmpty() && all.last().trimmed().isEmpty())
        all.removeLast();
    return all;
}

QStringList fields(const QString& line, QChar separator)
{
    QStringList out;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == u'"' && i + 1 < line.size() && line[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == separator) {
            out.append(field);
            field.clear();
        } else {
            field += c;
        }
    }
    out.append(field);
    return out;
}

std::optional<FileNumber> number(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^([-+]?\\d+)(?:[.,](\\d+))?$"));
    // Grouped thousands with the other mark for decimals ("1,369.8", "1.369,8"): both marks
    // tell which is which. One mark alone ("1,369") is read as decimals.
    static const QRegularExpression grouped(QStringLiteral("^([-+]?\\d{1,3}(?:([,.])\\d{3})+)([.,])(\\d+)$"));
    const QString t = text.trimmed();
    QString whole;
    QString decimals;
    if (const QRegularExpressionMatch m = pattern.match(t); m.hasMatch()) {
        whole = m.captured(1);
        decimals = m.captured(2);
    } else if (const QRegularExpressionMatch g = grouped.match(t); g.hasMatch() && g.captured(2) != g.captured(3)) {
        whole = g.captured(1).remove(g.captured(2));
        decimals = g.captured(4);
    } else {
        return std::nullopt;
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(decimals.isEmpty() ? whole : whole + u'.' + decimals, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return FileNumber{value, int(decimals.size())};
}

namespace {

// Accents a phone may write in a month's name, folded so that one table serves.
QString folded(const QString& word)
{
    QString out;
    for (QChar c : word.toLower().normalized(QString::NormalizationForm_D))
        if (c.category() != QChar::Mark_NonSpacing && c != u'.')
            out += c;
    return out;
}

} // namespace

int monthNumber(const QString& word)
{
    // Prefixes of the names, longest first where two months share the start ("juin", "juil").
    static const std::array<std::pair<const char*, int>, 36> names = {{
        {"juin", 6}, {"juil", 7}, {"jan", 1}, {"gen", 1}, {"ene", 1}, {"fev", 2}, {"feb", 2}, {"maa", 3},
        {"mrt", 3},  {"mar", 3},  {"apr", 4}, {"avr", 4}, {"abr", 4}, {"mai", 5}, {"mag", 5}, {"mei", 5},
        {"may", 5},  {"maj", 5},  {"jun", 6}, {"giu", 6}, {"jul", 7}, {"lug", 7}, {"aug", 8}, {"aou", 8},
        {"ago", 8},  {"sep", 9},  {"set", 9}, {"okt", 10}, {"oct", 10}, {"ott", 10}, {"out", 10}, {"nov", 11},
        {"dez", 12}, {"dec", 12}, {"dic", 12}, {"des", 12},
    }};
    const QString w = folded(word);
    if (w.size() < 3)
        return 0;
    for (const auto& [prefix, month] : names) {
        if (w.startsWith(QLatin1String(prefix)))
            return month;
    }
    return 0;
}

namespace {

// "1:41:26 PM", "1:41:26\u202FPM" (a narrow no-break space), "18.19.39", "10:08".
const QString kClock = QStringLiteral("(?<![\\d.:])(\\d{1,2})([:.])(\\d{2})(?:\\2(\\d{2}))?(?![\\d]|[.:]\\d)"
                                      "(?:[\\s\\x{00A0}\\x{202F}]*([AaPp])\\.?\\s?[Mm]\\.?)?");

} // namespace

QTime clockTime(const QString& text)
{
    static const QRegularExpression pattern(kClock);
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return {};
    int hour = m.captured(1).toInt();
    const QString half = m.captured(5).toLower();
    if (!half.isEmpty()) {
        if (hour < 1 || hour > 12)
            return {};
        hour = hour % 12 + (half == u'p' ? 12 : 0);
    }
    return QTime(hour, m.captured(3).toInt(), m.captured(4).isEmpty() ? 0 : m.captured(4).toInt());
}

QDateTime namedMonthDate(const QString& text)
{
    static const QRegularExpression word(QStringLiteral("[^\\W\\d_]{3,}"),
                                         QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression numberToken(QStringLiteral("(?<![\\d:])(\\d{1,4})(?![\\d:])"));
    // The time first, so that its digits are not taken for the day.
    QString rest = text;
    static const QRegularExpression timePattern(kClock);
    const QRegularExpressionMatch t = timePattern.match(rest);
    QTime time;
    if (t.hasMatch()) {
        time = clockTime(t.captured(0));
        rest.remove(t.capturedStart(0), t.capturedLength(0));
    }
    // The last name of a month: a weekday before the date may look like one ("mardi", "martes").
    int month = 0;
    for (auto it = word.globalMatch(rest); it.hasNext();)
        if (const int m = monthNumber(it.next().captured(0)))
            month = m;
    int day = 0;
    int year = 0;
    for (auto it = numberToken.globalMatch(rest); it.hasNext();) {
        const QString n = it.next().captured(1);
        if (n.size() == 4 && year == 0)
            year = n.toInt();
        else if (n.size() <= 2 && day == 0)
            day = n.toInt();
    }
    const QDate date(year, month, day);
    if (month == 0 || !date.isValid())
        return {};
    return QDateTime(date, time.isValid() ? time : QTime(0, 0));
}

} // namespace import_text
