#include "comm_port.h"

#include "services/app_error.h"

#include <QPointer>

namespace {
// Far beyond any chronograph line; keeps a runaway sender from eating memory.
constexpr qsizetype kMaxBuffered = 1 << 20;
} // namespace

CommPort::CommPort(std::unique_ptr<SerialTransport> transport, PathResolver resolver, QObject* parent)
    : QObject(parent), m_transport(std::move(transport)), m_resolver(std::move(resolver))
{
    connect(m_transport.get(), &SerialTransport::dataArrived, this, &CommPort::deliver);
    connect(m_transport.get(), &SerialTransport::lost, this, &CommPort::handleLoss);
    m_watch.setInterval(kWatchIntervalMs);
    connect(&m_watch, &QTimer::timeout, this, &CommPort::watch);
}

CommPort::~CommPort()
{
    m_alive = false;
    if (m_transport)
        m_transport->close();
}

void CommPort::setCommPort(int portNumber)
{
    if (PortOpen())
        AppError::raise(AppError::PortAlreadyOpen);
    if (portNumber < 1)
        AppError::raise(AppError::PortInvalid);
    stopWatching(); // another port is chosen: the lost one is no longer waited for
    m_portNumber = portNumber;
}

void CommPort::setSettings(const QString& settings)
{
    LineSettings parsed;
    if (!LineSettings::parse(settings, parsed))
        throw AppError(380, QStringLiteral("Invalid property value"));
    stopWatching();
    m_settings = settings;
}

bool CommPort::PortOpen() const
{
    return m_transport->isOpen();
}

void CommPort::setPortOpen(bool open)
{
    if (!open) {
        m_transport->close();
        m_buffer.clear();
        stopWatching();
        return;
    }
    if (PortOpen())
        AppError::raise(AppError::PortAlreadyOpen);
    stopWatching();
    LineSettings parsed;
    LineSettings::parse(m_settings, parsed);
    m_buffer.clear();
    const QString path = m_resolver(m_portNumber);
    switch (m_transport->open(path, parsed)) {
    case SerialTransport::OpenResult::Ok:
        m_link = Link::Open;
        m_path = path;
        m_watch.start();
        return;
    case SerialTransport::OpenResult::NoSuchDevice:
        AppError::raise(AppError::PortInvalid);
    case SerialTransport::OpenResult::Busy:
        AppError::raise(AppError::PortAlreadyOpen);
    case SerialTransport::OpenResult::Failed:
        AppError::raise(AppError::PortNotOpen);
    }
}

void CommPort::setInBufferSize(int size)
{
    if (PortOpen())
        AppError::raise(AppError::PortAlreadyOpen);
    m_inBufferSize = size;
}

int CommPort::InBufferCount()
{
    pull();
    return static_cast<int>(m_buffer.size());
}

void CommPort::setInBufferCount(int count)
{
    if (count == 0) {
        m_transport->discardInput();
        m_buffer.clear();
    }
}

void CommPort::setOutBufferCount(int count)
{
    if (count == 0)
        m_transport->discardOutput();
}

QString CommPort::Input()
{
    pull();
    const qsizetype n = m_inputLen > 0 ? std::min<qsizetype>(m_inputLen, m_buffer.size()) : m_buffer.size();
    const QByteArray taken = m_buffer.left(n);
    m_buffer.remove(0, n);
    m_taken += quint64(n);
    return QString::fromLatin1(taken);
}

void CommPort::setOutput(const QString& text)
{
    if (!PortOpen())
        AppError::raise(AppError::PortNotOpen);
    if (!m_transport->write(text.toLatin1()))
        AppError::raise(AppError::PortNotOpen);
}

void CommPort::pull()
{
    m_buffer.append(m_transport->takeAvailable());
    if (m_buffer.size() > kMaxBuffered)
        m_buffer.remove(0, m_buffer.size() - kMaxBuffered);
}

void CommPort::deliver()
{
    if (m_delivering)
        return;
    m_delivering = true;
    QPointer<CommPort> self(this);
    // One event after another while characters wait: a handler's own read can pull in more
    // than it takes, and those must not wait for the next arrival.
    for (;;) {
        pull();
        if (m_rThreshold <= 0 || m_buffer.size() < m_rThreshold)
            break;
        const quint64 takenBefore = m_taken;
        m_commEvent = kEvReceive;
        emit OnComm();
        if (!self || !m_alive)
            return;
        if (m_taken == takenBefore)
            break; // the handler took nothing; wait for more characters
    }
    m_delivering = false;
}

void CommPort::stopWatching()
{
    m_watch.stop();
    m_link = Link::Closed;
    m_blockedReason.clear();
}

void CommPort::waitFor(const QString& path)
{
    m_buffer.clear();
    m_path = path;
    m_link = Link::Lost;
    m_blockedReason.clear();
    m_watch.start();
}

void CommPort::restoreLinkState(const LinkState& state)
{
    if (PortOpen())
        setPortOpen(false);
    stopWatching();
    m_portNumber = state.portNumber;
    m_settings = state.settings;
    if (state.link == Link::Closed)
        return;
    LineSettings parsed;
    LineSettings::parse(m_settings, parsed);
    m_buffer.clear();
    if (state.link == Link::Open && m_transport->open(state.path, parsed) == SerialTransport::OpenResult::Ok) {
        m_link = Link::Open;
        m_path = state.path;
        m_watch.start();
        return;
    }
    // Gone meanwhile, or it was already being waited for: wait for it again.
    waitFor(state.path);
    emit connectionLost();
}

void CommPort::handleLoss()
{
    if (m_link != Link::Open)
        return;
    m_transport->close();
    // Every complete line read before the loss still reaches the receive handler; the rest of a
    // line cut short is dropped with the buffer, never joined to what the next device sends.
    deliver();
    if (!m_alive)
        return;
    waitFor(m_path);
    emit connectionLost();
}

void CommPort::watch()
{
    if (m_link == Link::Open) {
        // A node that vanished without an error reported on the descriptor.
        if (!m_transport->healthy())
            handleLoss();
        return;
    }
    if (m_link != Link::Lost)
        return;
    QString path = m_path;
    if (!m_transport->deviceExists(path)) {
        path = m_transport->sameDeviceElsewhere(m_path);
        if (path.isEmpty())
            return;
    }
    LineSettings parsed;
    LineSettings::parse(m_settings, parsed);
    if (m_transport->open(path, parsed) != SerialTransport::OpenResult::Ok) {
        // There but not ready yet (permissions are often set a moment later), or refused for
        // good: the user is told why once, and it is looked at again every second.
        const QString reason = m_transport->openFailureReason();
        if (!reason.isEmpty() && reason != m_blockedReason) {
            m_blockedReason = reason;
            emit waitingBlocked(path, reason);
        }
        return;
    }
    m_buffer.clear();
    m_path = path;
    m_link = Link::Open;
    m_blockedReason.clear();
    emit connectionBack();
}
