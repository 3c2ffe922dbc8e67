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

    // The chosen device path, cut at its NUL; empty when none was chosen.
    QString Browse();
    void ConnectToPath(const QString& path);
    bool Connected() const;
    void Disconnect();
    void Uninit();
    QString MatchProduct() const;
    void WriteTo(const QByteArray& buffer, int size);
    // Size + 1 bytes; empty when there is no control.
    QByteArray ReadFrom(int size);

private:
    QPointer<QObject> m_control;
};
