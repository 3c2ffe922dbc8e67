#include "settings_store.h"

#include "services/regional.h"

#include <QSettings>

namespace settings {

namespace {
QSettings store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Velmora"),
                     QStringLiteral("Velmora"));
}
} // namespace

QString read(const Key& key)
{
    const QString fallback =
        &key == &kTxtCalibration ? regional::format1(100) : QString::fromLatin1(key.defaultValue);
    return read(QString::fromLatin1(key.name), fallback);
}

QString read(const QString& key, const QString& defaultValue)
{
    QSettings s = store();
    s.beginGroup(QStringLiteral("Settings"));
    return s.value(key, defaultValue).toString();
}

QString storedText(const QVariant& value)
{
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
        return regional::numberText(value.toDouble());
    return value.toString();
}

void SaveSettingValue(const QString& key, const QVariant& value)
{
    QSettings s = store();
    s.beginGroup(QStringLiteral("Settings"));
    s.setValue(key, storedText(value));
}

QString portOverride(int portNumber)
{
    QSettings s = store();
    s.beginGroup(QStringLiteral("Ports"));
    return s.value(QString::number(portNumber)).toString();
}

} // namespace settings
