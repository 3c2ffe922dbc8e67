#pragma once

#include "serial_transport.h"

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

private:
    void onError(QSerialPort::SerialPortError error);
    void loseDevice();

    QSerialPort m_port;
    QString m_path;
    // Read before the device went away and not yet taken.
    QByteArray m_leftover;
    bool m_polling = false;
};
