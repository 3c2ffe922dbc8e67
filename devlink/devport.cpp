#include "devport.h"

#include "devcore_api.h"
#include "frm_about.h"
#include "message.h"

#include <devlink_host.h>

#include <QPointer>
#include <atomic>
#include <limits>
#include <stdexcept>

namespace devlink {

// One control's state; its destruction is the control's termination.
struct ControlState {
    const DevcoreApi* api = nullptr;
    int32_t handle = 0;
    int matchVid = 0, matchPid = 0, matchVersion = 0, timeOut = 1000;
    qint16 matchMethod = 0;
    QString matchManufacturer, matchProduct, matchSerial;
    quint8 reportId = 0;
    QPointer<DevPort> control;

    static std::atomic<int> alive;
    ControlState() { ++alive; }
    ~ControlState()
    {
        if (handle != 0 && api) {
            api->Disconnect(handle);
            api->Uninit(handle);
        }
        handle = 0;
        --alive;
    }
};
std::atomic<int> ControlState::alive{0};

// The module Import: the current control (owning) and the notification procedures.
namespace import {
std::shared_ptr<ControlState> current;

template <typename... Args> void raise(void (DevPort::*signal)(Args...), Args... args)
{
    // A notification with no current control (after Uninit) has nobody to tell: dropped.
    if (current && current->control)
        (current->control->*signal)(args...);
}
void connectSuccess(int32_t status) { raise(&DevPort::ConnectSuccess, int(status)); }
void connectFailure(int32_t status) { raise(&DevPort::ConnectFailure, int(status)); }
void readSuccess(int32_t status, int32_t bytes) { raise(&DevPort::ReadSuccess, int(status), int(bytes)); }
void readFailure(int32_t status, int32_t bytes) { raise(&DevPort::ReadFailure, int(status), int(bytes)); }
void writeSuccess(int32_t status, int32_t bytes) { raise(&DevPort::WriteSuccess, int(status), int(bytes)); }
void writeFailure(int32_t status, int32_t bytes) { raise(&DevPort::WriteFailure, int(status), int(bytes)); }
void disconnected(int32_t status) { raise(&DevPort::Disconnected, int(status)); }
} // namespace import

} // namespace devlink

using devlink::ControlState;

namespace {

int toInt16(int32_t value)
{
    if (value < -32768 || value > 32767)
        throw DevlinkError(DevlinkError::Overflow, "Overflow");
    return value;
}

// A buffer of Size + 1 zeroed bytes for a report.
QByteArray reportBuffer(int size)
{
    if (size < 0)
        throw DevlinkError(DevlinkError::SubscriptOutOfRange, "Subscript out of range");
    if (size == std::numeric_limits<int>::max())
        throw DevlinkError(DevlinkError::Overflow, "Overflow");
    return QByteArray(size + 1, '\0');
}

void needElements(const QByteArray& buffer)
{
    if (buffer.isEmpty())
        throw DevlinkError(DevlinkError::SubscriptOutOfRange, "Subscript out of range");
}

// A text of 255 characters filled by Devcore: the string, its NUL and the rest of the padding.
QString filledText(void (*get)(int32_t, char*), int32_t handle)
{
    QByteArray buffer(DevcoreApi::kTextSize, ' ');
    buffer.append('\0'); // room for a NUL written at the last position
    get(handle, buffer.data());
    buffer.chop(1);
    return QString::fromLatin1(buffer);
}

} // namespace

DevPort::DevPort(QObject* container, DevlinkSite* site) : QObject(container), m_site(site)
{
    setObjectName(QStringLiteral("DevPort"));
    m_state = std::make_shared<ControlState>();
    m_state->api = DevcoreApi::get();
    if (!m_state->api)
        throw std::runtime_error("libdevcore.so cannot be loaded");
    m_state->timeOut = 1000;
    m_state->handle = m_state->api->Init();
    m_state->control = this;
    devlink::import::current = m_state;
}

DevPort::~DevPort() = default;

int DevPort::liveControls()
{
    return ControlState::alive;
}

bool DevPort::hasCurrentControl()
{
    return devlink::import::current != nullptr;
}

int32_t DevPort::handle() const
{
    return m_state->handle;
}

bool DevPort::userMode() const
{
    return m_site ? m_site->userMode() : true;
}

void DevPort::changed(const char* name)
{
    if (m_site)
        m_site->propertyChanged(QString::fromLatin1(name));
}

bool DevPort::checkRange(int value, int low, int high, const QString& message)
{
    if (value >= low && value <= high)
        return true;
    if (m_site)
        m_site->message(message, QStringLiteral("Error"));
    else
        devlink::showMessage(message, QStringLiteral("Error"));
    return false;
}

QString DevPort::Browse()
{
    return filledText(m_state->api->Browse, m_state->handle);
}

int DevPort::Connect()
{
    return m_state->api->Connect(m_state->handle);
}

int DevPort::ConnectToPath(const QString& Path)
{
    QString path = Path;
    return ConnectToPath(&path);
}

int DevPort::ConnectToPath(QString* Path)
{
    QByteArray text = Path->toLatin1();
    text.append('\0');
    const int result = m_state->api->ConnectToPath(m_state->handle, text.data());
    *Path = QString::fromLatin1(text.constData());
    return result;
}

void DevPort::Disconnect()
{
    m_state->api->Disconnect(m_state->handle);
}

int DevPort::VID() const
{
    return toInt16(m_state->api->GetVid(m_state->handle));
}

int DevPort::PID() const
{
    return toInt16(m_state->api->GetPid(m_state->handle));
}

int DevPort::Version() const { return m_state->api->GetVer(m_state->handle); }
int DevPort::Usage() const { return m_state->api->GetUsage(m_state->handle); }
int DevPort::UsagePage() const { return m_state->api->GetUsagePage(m_state->handle); }
QString DevPort::Manufacturer() const { return filledText(m_state->api->GetManufacturer, m_state->handle); }
QString DevPort::Product() const { return filledText(m_state->api->GetProduct, m_state->handle); }
QString DevPort::Serial() const { return filledText(m_state->api->GetSerial, m_state->handle); }

bool DevPort::Connected() const
{
    return userMode() && m_state->api->GetConnected(m_state->handle) != 0;
}

int DevPort::ReportID() const
{
    if (userMode())
        m_state->reportId = m_state->api->GetReportID(m_state->handle);
    return m_state->reportId;
}

void DevPort::setReportID(int value)
{
    if (!checkRange(value, 0, 128, QStringLiteral("Invalid Number! Number must be between 0 and 128")))
        return;
    m_state->reportId = quint8(value);
    if (userMode())
        m_state->api->SetReportID(m_state->handle, quint8(value));
    changed("ReportID");
}

#define NUMERIC_CRITERION(Name, field, Get, Set, low, high, text)                                                   \
    int DevPort::Name() const                                                                                        \
    {                                                                                                                \
        if (userMode())                                                                                              \
            m_state->field = m_state->api->Get(m_state->handle);                                                    \
        return m_state->field;                                                                                       \
    }                                                                                                                \
    void DevPort::set##Name(int value)                                                                               \
    {                                                                                                                \
        if (!checkRange(value, low, high, QStringLiteral(text)))                                                     \
            return;                                                                                                  \
        m_state->field = decltype(m_state->field)(value);                                                            \
        if (userMode())                                                                                              \
            m_state->api->Set(m_state->handle, decltype(m_state->field)(value));                                     \
        changed(#Name);                                                                                              \
    }

NUMERIC_CRITERION(MatchVID, matchVid, GetMatchVid, SetMatchVid, 0, 65535,
                  "Invalid Number! Number must be between 0 and 65335.")
NUMERIC_CRITERION(MatchPID, matchPid, GetMatchPid, SetMatchPid, 0, 65535,
                  "Invalid Number! Number must be between 0 and 65335.")
NUMERIC_CRITERION(MatchVersion, matchVersion, GetMatchVersion, SetMatchVersion, 0, 65535,
                  "Invalid Number! Number must be between 0 and 65335.")
NUMERIC_CRITERION(MatchMethod, matchMethod, GetMatchMethod, SetMatchMethod, 0, 63,
                  "Invalid Number! Number must be between 0 and 63.")
NUMERIC_CRITERION(TimeOut, timeOut, GetTimeOut, SetTimeOut, INT_MIN, INT_MAX, "")

#define TEXT_CRITERION(Name, field, Get, Set)                                                                        \
    QString DevPort::Name() const                                                                                    \
    {                                                                                                                \
        if (userMode())                                                                                              \
            m_state->field = filledText(m_state->api->Get, m_state->handle);                                         \
        return m_state->field;                                                                                       \
    }                                                                                                                \
    void DevPort::set##Name(const QString& value)                                                                    \
    {                                                                                                                \
        m_state->field = value;                                                                                      \
        if (userMode())                                                                                              \
            m_state->api->Set(m_state->handle, value.toLatin1().constData());                                        \
        changed(#Name);                                                                                              \
    }

TEXT_CRITERION(MatchManufacturer, matchManufacturer, GetMatchManufacturer, SetMatchManufacturer)
TEXT_CRITERION(MatchProduct, matchProduct, GetMatchProduct, SetMatchProduct)
TEXT_CRITERION(MatchSerial, matchSerial, GetMatchSerial, SetMatchSerial)

QByteArray DevPort::ReadFrom(int Size)
{
    return ReadFrom(&Size);
}

QByteArray DevPort::ReadFrom(int* Size)
{
    if (!userMode())
        return {};
    QByteArray buffer = reportBuffer(*Size);
    int32_t size = *Size;
    m_state->api->Read(m_state->handle, reinterpret_cast<uint8_t*>(buffer.data()), &size);
    *Size = size;
    return buffer;
}

QByteArray DevPort::GetFeature(int Size)
{
    if (!userMode())
        return {};
    QByteArray buffer = reportBuffer(Size);
    if (!m_state->api->GetFeature(m_state->handle, reinterpret_cast<uint8_t*>(buffer.data()), Size))
        return {};
    return buffer;
}

void DevPort::WriteTo(const QByteArray& Buffer, int Size)
{
    QByteArray buffer = Buffer;
    WriteTo(&buffer, &Size);
}

void DevPort::WriteTo(QByteArray* Buffer, int* Size)
{
    if (!userMode())
        return;
    needElements(*Buffer);
    // Devcore reads Size bytes from the array: never more than the array holds.
    int32_t size = std::min<int32_t>(*Size, int32_t(Buffer->size()));
    m_state->api->Write(m_state->handle, reinterpret_cast<uint8_t*>(Buffer->data()), &size);
    *Size = size;
}

bool DevPort::SetFeature(const QByteArray& Buffer, int Size)
{
    if (!userMode())
        return false;
    needElements(Buffer);
    QByteArray buffer = Buffer;
    const int32_t size = std::min<int32_t>(Size, int32_t(buffer.size()));
    return m_state->api->SetFeature(m_state->handle, reinterpret_cast<uint8_t*>(buffer.data()), size) != 0;
}

void DevPort::Uninit()
{
    devlink::import::current.reset();
}

void DevPort::ShowAbout()
{
    if (!m_about)
        m_about = new frmAbout(nullptr);
    m_about->exec();
}

QVariantMap DevPort::WriteProperties() const
{
    QVariantMap bag;
    auto write = [&bag](const char* name, const QVariant& value, const QVariant& defaultValue) {
        if (value != defaultValue)
            bag.insert(QString::fromLatin1(name), value);
    };
    write("MatchVID", m_state->matchVid, 0);
    write("MatchPID", m_state->matchPid, 0);
    write("MatchVersion", m_state->matchVersion, 0);
    write("MatchMethod", int(m_state->matchMethod), 0);
    write("MatchManufacturer", m_state->matchManufacturer, QString());
    write("MatchProduct", m_state->matchProduct, QString());
    write("MatchSerial", m_state->matchSerial, QString());
    return bag;
}

void DevPort::ReadProperties(const QVariantMap& bag)
{
    ControlState& s = *m_state;
    s.matchVid = bag.value(QStringLiteral("MatchVID"), 0).toInt();
    s.matchPid = bag.value(QStringLiteral("MatchPID"), 0).toInt();
    s.matchVersion = bag.value(QStringLiteral("MatchVersion"), 0).toInt();
    s.matchMethod = qint16(bag.value(QStringLiteral("MatchMethod"), 0).toInt());
    s.matchManufacturer = bag.value(QStringLiteral("MatchManufacturer")).toString();
    s.matchProduct = bag.value(QStringLiteral("MatchProduct")).toString();
    s.matchSerial = bag.value(QStringLiteral("MatchSerial")).toString();
    if (!userMode())
        return;
    const DevcoreApi& api = *s.api;
    api.SetMatchVid(s.handle, s.matchVid);
    api.SetMatchPid(s.handle, s.matchPid);
    api.SetMatchVersion(s.handle, s.matchVersion);
    api.SetMatchMethod(s.handle, s.matchMethod);
    api.SetMatchManufacturer(s.handle, s.matchManufacturer.toLatin1().constData());
    api.SetMatchProduct(s.handle, s.matchProduct.toLatin1().constData());
    api.SetMatchSerial(s.handle, s.matchSerial.toLatin1().constData());
    namespace im = devlink::import;
    api.SetOnConnectSuccess(s.handle, im::connectSuccess);
    api.SetOnConnectFailure(s.handle, im::connectFailure);
    api.SetOnReadSuccess(s.handle, im::readSuccess);
    api.SetOnReadFailure(s.handle, im::readFailure);
    api.SetOnWriteSuccess(s.handle, im::writeSuccess);
    api.SetOnWriteFailure(s.handle, im::writeFailure);
    api.SetOnDisconnect(s.handle, im::disconnected);
}
