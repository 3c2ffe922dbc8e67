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
    // False when the bytes could not be handed to the device.
    [[nodiscard]] virtual bool write(const QByteArray& data) = 0;
    virtual void discardInput() = 0;
    virtual void discardOutput() = 0;
    // Whether a device node is at the path now; cheap, opens nothing.
    virtual bool deviceExists(const QString& devicePath) const = 0;
    // False once the open device shows it is gone (hung up, node removed) without an error
    // having been reported yet.
    virtual bool healthy() const { return isOpen(); }
    // Where the device last opened at `lostPath` is now, when it came back under another name
    // (a USB adapter numbered anew); empty when it is not found or cannot be told apart.
    virtual QString sameDeviceElsewhere(const QString& lostPath) const
    {
        Q_UNUSED(lostPath);
        return {};
    }
    // Why the last open failed, in words for the user; empty when it did not fail.
    virtual QString openFailureReason() const { return {}; }

signals:
    void dataArrived();
    // The device went away (unplugged, or the other end of a pseudo-terminal closed). The
    // transport is closed by then; what it had read before stays available to takeAvailable().
    void lost();
};
