#pragma once

#include "serial_transport.h"

#include <QHash>
#include <QSerialPort>

// A real serial device (or pseudo-terminal) through QSerialPort.
class QSerialTransport : public SerialTransport {
    Q_OBJECT
public:
    explicit QSerialTransport(QObject* parent = nullptr);

    OpenResult open(const QString& devicePath, const LineSettings& settings) override;
    void close() override;
    bool isOpen() const override;
    QByteArray takeAvailable() override;
    bool write(const QByteArray& data) override;
    void discardInput() override;
    void discardOutput() override;
    bool deviceExists(const QString& devicePath) const override;
    bool healthy() const override;
    QString sameDeviceElsewhere(const QString& lostPath) const override;
    QString openFailureReason() const override { return m_failure; }

    // What tells a USB serial adapter apart when its node is numbered anew: the udev link under
    // /dev/serial/by-id that names it, and its USB identity.
    struct Identity {
        QString byIdLink;
        quint16 vendor = 0;
        quint16 product = 0;
        QString serialNumber;
        bool isUsb() const { return vendor != 0 || product != 0; }
    };
    static Identity identityOf(const QString& devicePath, const QString& byIdFolder);
    // The path of the one device present that has this identity, or empty.
    static QString findIdentity(const Identity& identity);
    // Where udev's links by identity are (another folder in tests).
    void setByIdFolder(const QString& folder) { m_byIdFolder = folder; }

private:
    void onError(QSerialPort::SerialPortError error);
    void loseDevice();

    QSerialPort m_port;
    QString m_path;
    // The identity of each path opened, for finding it again under another name.
    QHash<QString, Identity> m_identities;
    QString m_failure;
    QString m_byIdFolder = QStringLiteral("/dev/serial/by-id");
    // Read before the device went away and not yet taken.
    QByteArray m_leftover;
    bool m_polling = false;
};
