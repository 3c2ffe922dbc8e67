#include "line_decoders.h"

#include "services/app_error.h"
#include "services/regional.h"

DecodedLine decodeChronyLine(const QString& line, bool eurozone)
{
    // "Vf": only the last marked field is converted; "Vm": every marked field is converted as
    // it is found, so a bad earlier one fails too. The last one counts in both.
    auto markedValue = [&](const QString& marker, bool convertEach) {
        QString t;
        bool found = false;
        double last = 0.0;
        for (const QString& field : line.split(u',')) {
            if (!field.contains(marker))
                continue;
            t = field;
            t.remove(marker);
            if (eurozone)
                t.replace(u'.', u',');
            if (convertEach)
                last = regional::toNumberOrFail(t);
            found = true;
        }
        if (!convertEach && found)
            last = regional::toNumberOrFail(t);
        return last;
    };

    if (line.contains(QLatin1String("Vf")))
        return {true, markedValue(QStringLiteral("Vf"), false)};
    if (line.contains(QLatin1String("Vm")))
        return {true, markedValue(QStringLiteral("Vm"), true) / 30.48};
    return {false, 0.0};
}

DecodedLine decodeCombroLine(const QString& line)
{
    double k = 0.0;
    switch (line.size()) {
    case 7:
        k = 60.0075;
        break;
    case 6:
        k = 59.5884;
        break;
    case 4:
        k = 59.7662;
        break;
    default:
        return {false, 0.0};
    }
    const double count = regional::leadingNumber(line);
    if (count == 0.0)
        AppError::raise(AppError::DivisionByZero);
    return {true, regional::checked(k / 304.8 * 4000000.0 / count)};
}

QStringList SplitEvery(const QString& text, int n, const QString& delimiter)
{
    QString work;
    if (n > 0) {
        for (qsizetype i = 0; i < text.size(); i += n)
            work += text.mid(i, n) + delimiter;
    }
    return work.split(delimiter);
}
