#pragma once

#include "drivers/control_host.h"

#include <QObject>
#include <QStringList>

// A stand-in for Devlink's control with the members the host calls by name.
class FakeHidControl : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Connected READ connected)
    Q_PROPERTY(QString MatchProduct MEMBER matchProduct)
    Q_PROPERTY(QString MatchManufacturer MEMBER matchManufacturer)
    Q_PROPERTY(int MatchMethod MEMBER matchMethod)
    Q_PROPERTY(int MatchPID MEMBER matchPid)
    Q_PROPERTY(int MatchVID MEMBER matchVid)
    Q_PROPERTY(int TimeOut MEMBER timeOut)
public:
    using QObject::QObject;
    bool connected() const { return m_connected; }

    Q_INVOKABLE QString Browse()
    {
        record(QStringLiteral("Browse"));
        return browsePath;
    }
    Q_INVOKABLE void ConnectToPath(const QString& path)
    {
        record(QStringLiteral("ConnectToPath ") + path);
        m_connected = acceptConnection;
        if (m_connected)
            matchProduct = productOfDevice;
    }
    Q_INVOKABLE void Disconnect()
    {
        record(QStringLiteral("Disconnect"));
        m_connected = false;
    }
    Q_INVOKABLE void Uninit() { record(QStringLiteral("Uninit")); }

    QString browsePath = QStringLiteral("/dev/hidraw7");
    bool acceptConnection = true;
    QString productOfDevice = QStringLiteral("CED Chronograph");
    QString matchProduct, matchManufacturer;
    int matchMethod = 0, matchPid = 0, matchVid = 0, timeOut = 0;
    // Every call by name, kept by whoever outlives the control.
    QStringList* calls = nullptr;

private:
    void record(const QString& call)
    {
        if (calls)
            calls->append(call);
    }
    bool m_connected = false;
};

// Hands out one FakeHidControl for "Devlink.DevPort".
class FakeControlHost : public ControlHost {
public:
    QObject* createControl(const QString& progId, const QString& name, QObject* container) override
    {
        created = new FakeHidControl(container);
        created->setObjectName(name);
        created->calls = &calls;
        createdProgId = progId;
        return created;
    }
    FakeHidControl* created = nullptr;
    QString createdProgId;
    QStringList calls;
};
