#include "hid_control.h"

#include <QVariant>

QString HidControl::Browse()
{
    QString path;
    if (m_control)
        QMetaObject::invokeMethod(m_control, "Browse", Qt::DirectConnection, Q_RETURN_ARG(QString, path));
    return path;
}

void HidControl::ConnectToPath(const QString& path)
{
    if (m_control)
        QMetaObject::invokeMethod(m_control, "ConnectToPath", Qt::DirectConnection, Q_ARG(QString, path));
}

bool HidControl::Connected() const
{
    return m_control && m_control->property("Connected").toBool();
}

void HidControl::Disconnect()
{
    if (m_control)
        QMetaObject::invokeMethod(m_control, "Disconnect", Qt::DirectConnection);
}

void HidControl::Uninit()
{
    if (m_control)
        QMetaObject::invokeMethod(m_control, "Uninit", Qt::DirectConnection);
}

QString HidControl::MatchProduct() const
{
    return m_control ? m_control->property("MatchProduct").toString() : QString();
}
