#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// Line settings of a serial port, parsed from "4800,n,8,1".
struct LineSettings {
    int baud = 9600;
    char parity = 'n';
    int dataBits = 8;
    int stopBits = 1;

    // Returns false (and leaves the result unchanged) for a text that is not a settings string.
    static bool parse(const QString& text, LineSettings& result);
};

// One serial connection, whatever carries it: a device, a pseudo-terminal or memory.
class SerialTransport : public QObject {
    Q_OBJECT
public:
    enum class OpenResult { Ok, NoSuchDevice, Busy, Failed };

    using QObject::QObject;
    ~SerialTransport() override = default;

    virtual OpenResult open(const QString& devicePath, const LineSettings& settings) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Takes whatever has arrived so far, without waiting.
    virtual QByteArray takeAvailable() = 0;
    virtual void write(const QByteArray& data) = 0;
    virtual void discardInput() = 0;
    virtual void discardOutput() = 0;

signals:
    void dataArrived();
    // The device went away (unplugged, or the other end of a pseudo-terminal closed).
    void lost();
};
