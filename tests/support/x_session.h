#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

// A private X server (Xvfb) for running the real program in a real window, with xdotool to
// answer its message boxes as a user would.
class XSession {
public:
    XSession();
    ~XSession();
    bool isRunning() const { return !m_display.isEmpty(); }
    QString display() const { return m_display; }
    // The environment for a program shown on this server.
    QProcessEnvironment environment() const;
    // Waits for a window with this title and presses Return in it; false when none came.
    bool answer(const QString& title, int timeoutMs = 10000);
    // Gives the focus to the window with this title (of that process, when a pid is given) and
    // types the keys there as a keyboard does, one xdotool key name each; false when none came.
    bool press(const QString& title, const QStringList& keys, qint64 pid = 0, int timeoutMs = 10000);
    // The ids of the shown windows with this title (of that process, when a pid is given).
    QString xdotoolSearch(const QString& title, qint64 pid = 0);
    // Whether a window with this title is shown now.
    bool hasWindow(const QString& title);
    static bool available();

private:
    QString xdotool(const QStringList& arguments);
    QProcess m_server;
    QString m_display;
};
