#include "relay_process.h"

#include "sim_process.h"

#include <QFile>

RelayProcess::RelayProcess(const QString& seedFolder, const QStringList& serveOptions)
{
    QStringList arguments{QStringLiteral("--db"), databasePath(), QStringLiteral("serve"), QStringLiteral("--port"),
                          QStringLiteral("0")};
    arguments += serveOptions;
    if (!seedFolder.isEmpty())
        arguments << QStringLiteral("--seed") << seedFolder;
    m_process.start(SimProcess::binary(QStringLiteral("velmora-relay")), arguments);
    if (!m_process.waitForStarted(5000))
        return;
    while (!m_process.canReadLine())
        if (!m_process.waitForReadyRead(5000))
            return;
    const QString line = QString::fromLatin1(m_process.readLine()).trimmed();
    if (line.startsWith(QLatin1String("LISTENING ")))
        m_port = line.mid(10).toInt();
}

RelayProcess::~RelayProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
}

QString RelayProcess::moderate(const QStringList& arguments)
{
    QProcess p;
    p.start(SimProcess::binary(QStringLiteral("velmora-relay")),
            QStringList{QStringLiteral("--db"), databasePath()} + arguments);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

RelayProcess::Run RelayProcess::run(const QStringList& arguments, int timeoutMs)
{
    QProcess p;
    p.start(SimProcess::binary(QStringLiteral("velmora-relay")), arguments);
    Run result;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(1000);
        return result;
    }
    result.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    result.out = QString::fromUtf8(p.readAllStandardOutput());
    result.err = QString::fromUtf8(p.readAllStandardError());
    return result;
}

bool RelayProcess::exitsCleanlyWithin(int timeoutMs)
{
    return m_process.waitForFinished(timeoutMs) && m_process.exitStatus() == QProcess::NormalExit &&
           m_process.exitCode() == 0;
}

QString RelayProcess::errors()
{
    m_process.waitForReadyRead(0);
    m_errors += QString::fromUtf8(m_process.readAllStandardError());
    return m_errors;
}

double RelayProcess::memoryMiB(const char* key) const
{
    QFile status(QStringLiteral("/proc/%1/status").arg(processId()));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}
