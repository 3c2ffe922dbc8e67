#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// velmora-relay as a child process on a free loopback port, with its own database file.
class RelayProcess {
public:
    explicit RelayProcess(const QString& seedFolder = QString(), const QStringList& serveOptions = {});
    ~RelayProcess();
    bool isRunning() const { return m_port > 0; }
    int port() const { return m_port; }
    qint64 processId() const { return m_process.processId(); }
    QString address() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    // Runs a moderation command ("list", "approve 3") on the same database; its standard output.
    QString moderate(const QStringList& arguments);
    struct Run {
        int exitCode = -1; // -1: did not finish within the time
        QString out, err;
    };
    // Any velmora-relay command line, run to its end (within `timeoutMs`).
    static Run run(const QStringList& arguments, int timeoutMs = 15000);
    // Whether the service ends within `timeoutMs`, and with status 0.
    bool exitsCleanlyWithin(int timeoutMs);
    QString databasePath() const { return m_dir.filePath(QStringLiteral("relay.db")); }
    // What the service has written on standard error so far.
    QString errors();
    // A memory line of the service's /proc status ("VmRSS", "VmHWM") in MiB; 0 once it has gone.
    double memoryMiB(const char* key) const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_errors;
    int m_port = 0;
};
