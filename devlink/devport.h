#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <memory>

class DevlinkSite;
struct DevcoreApi;
class frmAbout;

namespace devlink {
struct ControlState;
}

// DevPort: one USB HID device at a time through Devcore. Members are reached by name (Qt
// properties, invokable methods, and signals for the events). The match criteria are cached;
// in run mode (the container's UserMode) every criteria read refreshes from Devcore and every
// write goes to it. The control's state outlives this object while it is Devcore's current
// control: only Uninit lets it terminate.
class DevPort : public QObject {
    Q_OBJECT
    Q_PROPERTY(int VID READ VID)
    Q_PROPERTY(int PID READ PID)
    Q_PROPERTY(int Version READ Version)
    Q_PROPERTY(QString Manufacturer READ Manufacturer)
    Q_PROPERTY(QString Product READ Product)
    Q_PROPERTY(QString Serial READ Serial)
    Q_PROPERTY(int Usage READ Usage)
    Q_PROPERTY(int UsagePage READ UsagePage)
    Q_PROPERTY(bool Connected READ Connected)
    Q_PROPERTY(int ReportID READ ReportID WRITE setReportID)
    Q_PROPERTY(int MatchVID READ MatchVID WRITE setMatchVID)
    Q_PROPERTY(int MatchPID READ MatchPID WRITE setMatchPID)
    Q_PROPERTY(int MatchVersion READ MatchVersion WRITE setMatchVersion)
    Q_PROPERTY(int MatchMethod READ MatchMethod WRITE setMatchMethod)
    Q_PROPERTY(QString MatchManufacturer READ MatchManufacturer WRITE setMatchManufacturer)
    Q_PROPERTY(QString MatchProduct READ MatchProduct WRITE setMatchProduct)
    Q_PROPERTY(QString MatchSerial READ MatchSerial WRITE setMatchSerial)
    Q_PROPERTY(int TimeOut READ TimeOut WRITE setTimeOut)

public:
    // Initialisation: time-out 1000, a Devcore handle, and this control becomes the current
    // control. Throws std::runtime_error when Devcore cannot be loaded.
    explicit DevPort(QObject* container = nullptr, DevlinkSite* site = nullptr);
    ~DevPort() override;

    // A 255-character text: the device path Devcore chose, NUL-terminated and padded.
    Q_INVOKABLE QString Browse();
    Q_INVOKABLE int Connect();
    Q_INVOKABLE int ConnectToPath(const QString& Path);
    // The same, with whatever Devcore leaves in the path copied back.
    int ConnectToPath(QString* Path);
    Q_INVOKABLE void Disconnect();
    // Size + 1 bytes read; empty at design time. In run mode a negative Size fails with
    // DevlinkError SubscriptOutOfRange, and one whose Size + 1 does not fit 32 bits with
    // Overflow, before Devcore is called. GetFeature alike.
    Q_INVOKABLE QByteArray ReadFrom(int Size);
    QByteArray ReadFrom(int* Size);
    Q_INVOKABLE QByteArray GetFeature(int Size);
    // In run mode an empty Buffer fails with DevlinkError SubscriptOutOfRange; Devcore is given
    // at most the bytes the array holds. SetFeature alike.
    Q_INVOKABLE void WriteTo(const QByteArray& Buffer, int Size);
    void WriteTo(QByteArray* Buffer, int* Size);
    Q_INVOKABLE bool SetFeature(const QByteArray& Buffer, int Size);
    // Clears the current-control reference (of whichever control is current).
    Q_INVOKABLE void Uninit();
    Q_INVOKABLE void ShowAbout();

    // Persistence with a key/value property bag: only values different from their defaults.
    Q_INVOKABLE QVariantMap WriteProperties() const;
    Q_INVOKABLE void ReadProperties(const QVariantMap& bag);

    // The connected device's IDs in 16 signed bits: one above 32767 fails with DevlinkError
    // Overflow (MatchVID and MatchPID hold the whole range).
    int VID() const;
    int PID() const;
    int Version() const;
    QString Manufacturer() const;
    QString Product() const;
    QString Serial() const;
    int Usage() const;
    int UsagePage() const;
    bool Connected() const;
    int ReportID() const;
    void setReportID(int value);
    int MatchVID() const;
    void setMatchVID(int value);
    int MatchPID() const;
    void setMatchPID(int value);
    int MatchVersion() const;
    void setMatchVersion(int value);
    int MatchMethod() const;
    void setMatchMethod(int value);
    QString MatchManufacturer() const;
    void setMatchManufacturer(const QString& value);
    QString MatchProduct() const;
    void setMatchProduct(const QString& value);
    QString MatchSerial() const;
    void setMatchSerial(const QString& value);
    int TimeOut() const;
    void setTimeOut(int value);

    // Whether the container is in run mode (its ambient UserMode).
    bool userMode() const;
    int32_t handle() const;

    // Controls whose state is alive (for DllCanUnloadNow).
    static int liveControls();
    // Whether a control is the current control now.
    static bool hasCurrentControl();

signals:
    void ConnectSuccess(int Status);
    void ConnectFailure(int Status);
    void ReadSuccess(int Status, int BytesRead);
    void ReadFailure(int Status, int BytesRead);
    void WriteSuccess(int Status, int BytesWritten);
    void WriteFailure(int Status, int BytesWritten);
    void Disconnected(int Status);

private:
    bool checkRange(int value, int low, int high, const QString& message);
    void changed(const char* name);
    QString textCriterion(void (*get)(int32_t, char*), QString& cache) const;

    std::shared_ptr<devlink::ControlState> m_state;
    DevlinkSite* m_site;
    frmAbout* m_about = nullptr;
};
