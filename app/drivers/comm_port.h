#pragma once

#include "serial_transport.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

// The serial-port control: a port number, line settings, thresholds and buffers, and a
// receive event raised on the UI thread while at least RThreshold characters wait. An event
// is never raised while a receive handler is running, so characters that arrive while the
// UI thread is busy or asleep wait in the buffer. Failures raise AppError with the
// control's numbers (8002 no such port, 8005 already open or busy, 8012 cannot be opened).
//
// An open port has a life cycle: when its device goes away (however that shows) the port is
// closed at once, what was read before is still delivered, and the same path is looked at
// every second until the device is back; it is then reopened with the same settings.
class CommPort : public QObject {
    Q_OBJECT
public:
    static constexpr int kEvReceive = 2;

    using PathResolver = std::function<QString(int)>;

    CommPort(std::unique_ptr<SerialTransport> transport, PathResolver resolver, QObject* parent = nullptr);
    ~CommPort() override;

    int commPort() const { return m_portNumber; }
    void setCommPort(int portNumber);
    QString devicePath(int portNumber) const { return m_resolver(portNumber); }

    QString Settings() const { return m_settings; }
    void setSettings(const QString& settings);

    bool PortOpen() const;
    void setPortOpen(bool open);

    int RThreshold() const { return m_rThreshold; }
    void setRThreshold(int threshold) { m_rThreshold = threshold; }
    int InputLen() const { return m_inputLen; }
    void setInputLen(int length) { m_inputLen = length; }
    int InBufferSize() const { return m_inBufferSize; }
    void setInBufferSize(int size);

    int InBufferCount();
    void setInBufferCount(int count);
    int OutBufferCount() const { return 0; }
    void setOutBufferCount(int count);

    // Takes up to InputLen waiting characters (all of them when InputLen is 0).
    QString Input();
    // Sends the text as it stands, with no terminator.
    void setOutput(const QString& text);

    int CommEvent() const { return m_commEvent; }

    // The device of an open port went away and is being waited for.
    bool isLost() const { return m_link == Link::Lost; }
    // Offers the characters a handler left waiting again, as if they had just arrived.
    void deliverWaiting() { deliver(); }
    // The device path of the port that is open or waited for.
    QString linkPath() const { return m_path; }
    static constexpr int kWatchIntervalMs = 1000;

    enum class Link { Closed, Open, Lost };
    // What the port was doing, so that it can be put back as it was: a dialog that looked at every
    // port and was then cancelled must not end capture.
    struct LinkState {
        int portNumber = 1;
        QString settings;
        Link link = Link::Closed;
        QString path;
    };
    LinkState linkState() const { return {m_portNumber, m_settings, m_link, m_path}; }
    // Reopens the port as the state had it; a device that cannot be opened now is waited for as
    // after a loss (connectionLost is raised, so the row says so).
    void restoreLinkState(const LinkState& state);

signals:
    void OnComm();
    // The device went away; the port is closed and its path watched.
    void connectionLost();
    // The device is back and the port open again with the same settings (at linkPath(), which
    // is another path when a USB adapter came back under another name).
    void connectionBack();
    // The device's node is there but does not open; the reason says why, in words for the user.
    // Raised once for each new reason while the device is waited for.
    void waitingBlocked(const QString& path, const QString& reason);

private:
    void pull();
    void deliver();
    void handleLoss();
    void watch();
    void stopWatching();
    void waitFor(const QString& path);

    std::unique_ptr<SerialTransport> m_transport;
    PathResolver m_resolver;
    int m_portNumber = 1;
    QString m_settings = QStringLiteral("9600,n,8,1");
    int m_rThreshold = 0;
    int m_inputLen = 0;
    int m_inBufferSize = 1024;
    int m_commEvent = 0;
    QByteArray m_buffer;
    // Characters handed to receive handlers so far: a handler that took none ends a delivery.
    quint64 m_taken = 0;
    bool m_delivering = false;
    bool m_alive = true;
    Link m_link = Link::Closed;
    QString m_path;
    // The reason last given for a node that is there but does not open.
    QString m_blockedReason;
    QTimer m_watch;
};
