#include "sim_process.h"

#include <QDir>

QString SimProcess::binary(const QString& name)
{
    return QDir(qEnvironmentVariable("VELMORA_BIN")).filePath(name);
}

SimProcess::SimProcess(const QStringList& arguments)
{
    m_process.start(binary(QStringLiteral("velmora-chrono-sim")), arguments + QStringList{QStringLiteral("--stdin")});
    if (!m_process.waitForStarted(5000))
        return;
    if (!m_process.waitForReadyRead(5000))
        return;
    const QString first = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    if (first.startsWith(QLatin1String("PTY ")))
        m_path = first.mid(4);
}

SimProcess::~SimProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.write("quit\n");
        if (!m_process.waitForFinished(2000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }
}

bool SimProcess::command(const QString& line)
{
    m_process.write(line.toLocal8Bit() + '\n');
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(5000))
            return false;
    }
    return m_process.readLine().trimmed() == "OK";
}
