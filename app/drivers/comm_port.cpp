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
    m_portNumber = portNumber;
}

void CommPort::setSettings(const QString& settings)
{
    LineSettings parsed;
    if (!LineSettings::parse(settings, parsed))
        throw AppError(380, QStringLiteral("Invalid property value"));
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
        return;
    }
    if (PortOpen())
        AppError::raise(AppError::PortAlreadyOpen);
    LineSettings parsed;
    LineSettings::parse(m_settings, parsed);
    m_buffer.clear();
    switch (m_transport->open(m_resolver(m_portNumber), parsed)) {
    case SerialTransport::OpenResult::Ok:
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
    m_transport->write(text.toLatin1());
}

void CommPort::pull()
{
    if (!m_transport->isOpen())
        return;
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
