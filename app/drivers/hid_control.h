#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

// Typed calls on the HID device control, which the host reaches by member name only.
// A missing control answers like an unconnected one.
class HidControl {
public:
    explicit HidControl(QObject* control = nullptr) : m_control(control) {}

    bool exists() const { return m_control != nullptr; }
    QObject* object() const { return m_control; }

    QString Browse();
    void ConnectToPath(const QString& path);
    bool Connected() const;
    void Disconnect();
    void Uninit();
    QString MatchProduct() const;

private:
    QPointer<QObject> m_control;
};
