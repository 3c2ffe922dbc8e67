#include "x_session.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QThread>

bool XSession::available()
{
    return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty();
}

XSession::XSession()
{
    if (!available())
        return;
    // -displayfd picks a free display and writes its number on standard output; -noreset keeps
    // the server from resetting (and refusing connections meanwhile) when its last client leaves.
    m_server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                            QStringLiteral("0"), QStringLiteral("1280x900x24"),
                                            QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                            QStringLiteral("-noreset")});
    if (!m_server.waitForStarted(5000))
        return;
    QElapsedTimer timer;
    timer.start();
    while (!m_server.canReadLine() && timer.elapsed() < 10000)
        m_server.waitForReadyRead(200);
    const QString number = QString::fromLatin1(m_server.readLine()).trimmed();
    if (!number.isEmpty())
        m_display = QStringLiteral(":") + number;
}

XSession::~XSession()
{
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(3000))
            m_server.kill();
        m_server.waitForFinished(1000);
    }
}

QProcessEnvironment XSession::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return env;
}

QString XSession::xdotool(const QStringList& arguments)
{
    QProcess p;
    p.setProcessEnvironment(environment());
    p.start(QStringLiteral("xdotool"), arguments);
    p.waitForFinished(5000);
    return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
}

bool XSession::hasWindow(const QString& title)
{
    return !xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                     QStringLiteral("^") + title + QStringLiteral("$")})
                .isEmpty();
}

bool XSession::answer(const QString& title, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    bool pressed = false;
    while (timer.elapsed() < timeoutMs) {
        const QString ids = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                     QStringLiteral("^") + title + QStringLiteral("$")});
        if (ids.isEmpty()) {
            if (pressed)
                return true;
        } else {
            const QString window = ids.section(u'\n', 0, 0);
            xdotool({QStringLiteral("windowfocus"), window});
            xdotool({QStringLiteral("key"), QStringLiteral("--window"), window, QStringLiteral("Return")});
            pressed = true;
        }
        QThread::msleep(150);
    }
    return false;
}

QString XSession::xdotoolSearch(const QString& title, qint64 pid)
{
    QStringList search{QStringLiteral("search"), QStringLiteral("--onlyvisible")};
    if (pid)
        search << QStringLiteral("--all") << QStringLiteral("--pid") << QString::number(pid);
    search << QStringLiteral("--name") << QStringLiteral("^") + title + QStringLiteral("$");
    return xdotool(search);
}

bool XSession::press(const QString& title, const QStringList& keys, qint64 pid, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        const QString window = xdotoolSearch(title, pid).section(u'\n', 0, 0);
        if (!window.isEmpty()) {
            xdotool({QStringLiteral("windowfocus"), window});
            QThread::msleep(200);
            for (const QString& key : keys) {
                xdotool({QStringLiteral("key"), key});
                QThread::msleep(200);
            }
            return true;
        }
        QThread::msleep(150);
    }
    return false;
}
