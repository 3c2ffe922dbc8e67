#include "hid_control.h"

#include <QVariant>

QString HidControl::Browse()
{
    QString path;
    if (m_control)
        QMetaObject::invokeMethod(m_control, "Browse", Qt::DirectConnection, Q_RETURN_ARG(QString, path));
    // The control returns its whole padded buffer: the path ends at the first NUL.
    const qsizetype nul = path.indexOf(QChar(0));
    return nul >= 0 ? path.left(nul) : path;
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

void HidControl::WriteTo(const QByteArray& buffer, int size)
{
    if (m_control)
        QMetaObject::invokeMethod(m_control, "WriteTo", Qt::DirectConnection, Q_ARG(QByteArray, buffer), Q_ARG(int, size));
}

QByteArray HidControl::ReadFrom(int size)
{
    QByteArray bytes;
    if (m_control)
        QMetaObject::invokeMethod(m_control, "ReadFrom", Qt::DirectConnection, Q_RETURN_ARG(QByteArray, bytes),
                                  Q_ARG(int, size));
    return bytes;
}
