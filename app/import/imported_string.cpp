#include "imported_string.h"

#include "import/import_text.h"
#include "shot/ballistics.h"

#include <QCryptographicHash>
#include <QLocale>
#include <algorithm>
#include <cmath>

QString unitWord(VelocityUnit unit)
{
    switch (unit) {
    case VelocityUnit::Fps:
        return QStringLiteral("fps");
    case VelocityUnit::MetresPerSecond:
        return QStringLiteral("m/s");
    case VelocityUnit::Unknown:
        break;
    }
    return QStringLiteral("(unit unknown)");
}

double toFps(double velocity, VelocityUnit unit)
{
    return unit == VelocityUnit::MetresPerSecond ? velocity / ballistics::kMetresPerFoot : velocity;
}

double FileNumber::lastDigit() const
{
    return std::pow(10.0, -decimals);
}

QString ImportedString::description() const
{
    const auto count = velocities.size();
    QString text = count == 1 ? QStringLiteral("1 shot") : QStringLiteral("%1 shots").arg(count);
    if (count > 0) {
        const auto [low, high] = std::minmax_element(velocities.begin(), velocities.end());
        const QLocale c = QLocale::c();
        text += QStringLiteral(", %1 to %2 %3")
                    .arg(c.toString(*low, 'f', 1), c.toString(*high, 'f', 1), unitWord(unit));
    }
    if (!title.trimmed().isEmpty())
        text += QStringLiteral(", from ") + title.trimmed();
    if (when.isValid())
        text += QStringLiteral(", ") + QLocale::c().toString(when.date(), QStringLiteral("d MMMM yyyy"));
    return text;
}

QString ImportedString::fingerprint() const
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const auto add = [&hash](const QString& text) {
        hash.addData(text.toUtf8());
        hash.addData(QByteArrayView("\x1f", 1)); // a separator no field holds
    };
    add(label.trimmed());
    add(QString::number(int(unit)));
    add(when.isValid() ? when.toString(Qt::ISODateWithMs) : QString());
    add(QString::number(velocities.size()));
    for (size_t i = 0; i < velocities.size(); ++i) {
        add(i < numbers.size() ? numbers[i].trimmed() : QString());
        add(QString::number(velocities[i], 'g', 17));
        // "1:41:26 PM" in one export is "13:41:26" in another.
        const QString written = i < times.size() ? times[i].trimmed() : QString();
        const QTime time = import_text::clockTime(written);
        add(time.isValid() ? time.toString(QStringLiteral("HH:mm:ss")) : written);
    }
    return QString::fromLatin1(hash.result().toHex());
}

ImportResult ImportResult::one(ImportedString s)
{
    ImportResult r;
    r.strings.push_back(std::move(s));
    return r;
}

ImportResult ImportResult::refused(QString why)
{
    ImportResult r;
    r.refusal = std::move(why);
    return r;
}
