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
    void write(const QByteArray& data) override;
    void discardInput() override;
    void discardOutput() override;

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    bool m_polling = false;
};
