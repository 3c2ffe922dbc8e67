#pragma once

#include <QProcess>
#include <QStringList>

// The chronograph simulator of tools/ run as a child process, driven through its --stdin commands.
class SimProcess {
public:
    explicit SimProcess(const QStringList& arguments);
    ~SimProcess();
    bool isRunning() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    // Sends one command and waits until the simulator has carried it out.
    bool command(const QString& line);

    static QString binary(const QString& name);

private:
    QProcess m_process;
    QString m_path;
};
