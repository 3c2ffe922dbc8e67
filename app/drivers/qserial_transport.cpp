#include "qserial_transport.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

#include <poll.h>
#include <unistd.h>

bool LineSettings::parse(const QString& text, LineSettings& result)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 4)
        return false;
    bool okBaud = false, okData = false, okStop = false;
    LineSettings s;
    s.baud = parts[0].trimmed().toInt(&okBaud);
    const QString parity = parts[1].trimmed().toLower();
    s.dataBits = parts[2].trimmed().toInt(&okData);
    s.stopBits = parts[3].trimmed().toInt(&okStop);
    if (!okBaud || !okData || !okStop || s.baud <= 0 || parity.size() != 1 || !QStringLiteral("noems").contains(parity))
        return false;
    if (s.dataBits < 5 || s.dataBits > 8 || (s.stopBits != 1 && s.stopBits != 2))
        return false;
    s.parity = char(parity[0].unicode());
    result = s;
    return true;
}

QSerialTransport::QSerialTransport(QObject* parent) : SerialTransport(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, [this] {
        if (!m_polling)
            emit dataArrived();
    });
    connect(&m_port, &QSerialPort::errorOccurred, this, &QSerialTransport::onError);
}

SerialTransport::OpenResult QSerialTransport::open(const QString& devicePath, const LineSettings& settings)
{
    if (devicePath.isEmpty() || !QFileInfo::exists(devicePath))
        return OpenResult::NoSuchDevice;
    m_port.setPortName(devicePath);
    m_path = devicePath;
    m_port.setBaudRate(settings.baud);
    m_port.setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits));
    m_port.setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    switch (settings.parity) {
    case 'e':
        m_port.setParity(QSerialPort::EvenParity);
        break;
    case 'o':
        m_port.setParity(QSerialPort::OddParity);
        break;
    case 'm':
        m_port.setParity(QSerialPort::MarkParity);
        break;
    case 's':
        m_port.setParity(QSerialPort::SpaceParity);
        break;
    default:
        m_port.setParity(QSerialPort::NoParity);
    }
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_leftover.clear();
    m_failure.clear();
    if (m_port.open(QIODevice::ReadWrite)) {
        m_identities.insert(devicePath, identityOf(devicePath, m_byIdFolder));
        return OpenResult::Ok;
    }
    const auto error = m_port.error();
    const QString detail = m_port.errorString();
    m_port.clearError();
    const QByteArray native = QFile::encodeName(devicePath);
    if (::access(native.constData(), R_OK | W_OK) != 0 && errno == EACCES)
        m_failure = QStringLiteral("permission denied; add your user to the dialout group and log in again");
    else if (error == QSerialPort::PermissionError)
        m_failure = QStringLiteral("another program is using it");
    else
        m_failure = detail;
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return OpenResult::NoSuchDevice;
    case QSerialPort::PermissionError:
        return OpenResult::Busy;
    default:
        return OpenResult::Failed;
    }
}

QSerialTransport::Identity QSerialTransport::identityOf(const QString& devicePath, const QString& byIdFolder)
{
    Identity id;
    const QString target = QFileInfo(devicePath).canonicalFilePath();
    const QDir links(byIdFolder);
    for (const QFileInfo& link : links.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (link.isSymLink() && link.canonicalFilePath() == target) {
            id.byIdLink = link.absoluteFilePath();
            break;
        }
    }
    const QSerialPortInfo info(devicePath);
    if (info.hasVendorIdentifier())
        id.vendor = info.vendorIdentifier();
    if (info.hasProductIdentifier())
        id.product = info.productIdentifier();
    id.serialNumber = info.serialNumber();
    return id;
}

QString QSerialTransport::findIdentity(const Identity& identity)
{
    if (!identity.byIdLink.isEmpty()) {
        const QFileInfo link(identity.byIdLink);
        if (link.exists())
            return link.symLinkTarget(); // the node's own name, such as /dev/ttyUSB1
    }
    if (!identity.isUsb())
        return {};
    QString found;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        if (port.vendorIdentifier() != identity.vendor || port.productIdentifier() != identity.product)
            continue;
        if (!identity.serialNumber.isEmpty() && port.serialNumber() != identity.serialNumber)
            continue;
        if (!found.isEmpty())
            return {}; // two alike: which one is ours cannot be told
        found = port.systemLocation();
    }
    return found;
}

QString QSerialTransport::sameDeviceElsewhere(const QString& lostPath) const
{
    const auto it = m_identities.constFind(lostPath);
    return it == m_identities.cend() ? QString() : findIdentity(*it);
}

void QSerialTransport::close()
{
    if (m_port.isOpen())
        m_port.close();
}

bool QSerialTransport::isOpen() const
{
    return m_port.isOpen();
}

QByteArray QSerialTransport::takeAvailable()
{
    QByteArray taken;
    taken.swap(m_leftover);
    if (!m_port.isOpen())
        return taken;
    // Pull in what the driver holds now, even while the event loop is not running.
    m_polling = true;
    m_port.waitForReadyRead(0);
    m_polling = false;
    // The wait may have found the device gone and kept what it had read.
    taken += m_leftover;
    m_leftover.clear();
    if (m_port.isOpen())
        taken += m_port.readAll();
    return taken;
}

bool QSerialTransport::write(const QByteArray& data)
{
    if (!m_port.isOpen())
        return false;
    if (m_port.write(data) < 0) {
        loseDevice();
        return false;
    }
    // Waiting for the write may read what the device answers; the receive event for it comes
    // after the sending handler has returned, never inside it.
    m_polling = true;
    m_port.waitForBytesWritten(1000);
    m_polling = false;
    if (m_port.isOpen() && m_port.bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &QSerialTransport::dataArrived, Qt::QueuedConnection);
    return m_port.isOpen();
}

void QSerialTransport::discardInput()
{
    if (m_port.isOpen()) {
        m_port.clear(QSerialPort::Input);
        m_port.readAll();
    }
}

void QSerialTransport::discardOutput()
{
    if (m_port.isOpen())
        m_port.clear(QSerialPort::Output);
}

bool QSerialTransport::deviceExists(const QString& devicePath) const
{
    return !devicePath.isEmpty() && QFileInfo::exists(devicePath);
}

bool QSerialTransport::healthy() const
{
    if (!m_port.isOpen() || !QFileInfo::exists(m_path))
        return false;
    pollfd p{int(m_port.handle()), 0, 0};
    return ::poll(&p, 1, 0) == 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

void QSerialTransport::onError(QSerialPort::SerialPortError error)
{
    // A hang-up shows as ReadError (Qt 6.4 reads a stale errno) or as ResourceError; a write
    // to a vanished device as WriteError. The descriptor is dead either way, and its armed
    // notifier would fire without end.
    if (!m_port.isOpen())
        return;
    // A read notification can also find nothing because a read of our own (a wait while the
    // event loop was blocked) took the bytes first; Qt reports that as ReadError, or as
    // ResourceError when the stale errno it reads maps to one ("Operation timed out"). The device
    // is still there then (its node is in place and the descriptor shows no hang-up), and capture
    // must go on.
    if ((error == QSerialPort::ReadError || error == QSerialPort::ResourceError) && healthy()) {
        m_port.clearError();
        // Qt stops the read notifications on a ResourceError; a read starts them again. What it
        // finds is kept and announced from the event loop.
        const QByteArray found = m_port.readAll();
        if (!found.isEmpty()) {
            m_leftover += found;
            QMetaObject::invokeMethod(this, &QSerialTransport::dataArrived, Qt::QueuedConnection);
        }
        return;
    }
    if (error == QSerialPort::ReadError || error == QSerialPort::WriteError || error == QSerialPort::ResourceError)
        loseDevice();
}

void QSerialTransport::loseDevice()
{
    if (!m_port.isOpen())
        return;
    m_leftover += m_port.readAll();
    m_port.close();
    m_port.clearError();
    // Told from the event loop, never from inside the read or write that found the loss.
    QMetaObject::invokeMethod(this, &QSerialTransport::lost, Qt::QueuedConnection);
}
