#pragma once

#include "drivers/serial_transport.h"
#include "services/clock.h"
#include "services/file_chooser.h"
#include "services/platform_services.h"
#include "services/prompt.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>
#include <deque>
#include <functional>
#include <utility>

// Records every message box and answers from a script (Yes/Ok when the script is empty). As a
// real message box does, it spins an event loop while it is "open": timers, port events and
// deferred deletes run meanwhile, so an object closed during a box is gone when the box returns.
class ScriptedPrompt : public Prompt {
public:
    struct Shown {
        QString text;
        QString title;
        Icon icon;
        Buttons buttons;
    };
    Answer ask(const QString& text, Buttons buttons, Icon icon, const QString& title) override;
    void setNextAnswer(Answer answer) { m_answers.push_back(answer); }
    // Runs while a question or message is open (a window closed meanwhile, say), from the box's
    // event loop.
    std::function<void()> onAsk;
    // The box stays open until this is true (checked as events are handled), or for one round of
    // events when it is not set.
    std::function<bool()> answerWhen;
    QList<Shown> shown;
    QStringList texts() const;

private:
    std::deque<Answer> m_answers;
};

// A clock that stands still until a test moves it.
class FakeClock : public Clock {
public:
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& when) { m_now = when; }
    void advance(int seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now{QDate(2026, 12, 6), QTime(1, 30, 0)};
};

// Timed steps that record their waits and run at once (after `percent` of the wait, when set), from
// the event loop as the real ones do.
class CountingSteps : public StepTimer {
public:
    void after(int milliseconds, QObject* context, std::function<void()> step) override;
    QList<int> waited;
    int percent = 0;
};

// Sleeps that only count, for paths whose timing is not under test.
class CountingSleeper : public Sleeper {
public:
    void sleep(int milliseconds) override
    {
        slept.append(milliseconds);
        if (onSleep)
            onSleep();
    }
    QList<int> slept;
    // Runs inside each sleep, as whatever happens meanwhile would.
    std::function<void()> onSleep;
};

class SilentSound : public SoundPlayer {
public:
    bool play(const QString& fileName, bool) override
    {
        played.append(fileName);
        return true;
    }
    QStringList played;
};

class SilentScreenSaver : public ScreenSaver {
public:
    void setActive(bool active) override { calls.append(active); }
    QList<bool> calls;
};

class RecordingUrlOpener : public UrlOpener {
public:
    void open(const QUrl& url) override { opened.append(url); }
    QList<QUrl> opened;
};

// Answers the save dialog from a script; cancels when nothing is scripted.
class ScriptedFileChooser : public FileChooser {
public:
    std::optional<Choice> chooseSaveFile(QWidget*, const QString& title, const QString& proposedPath,
                                         const QStringList& filters, const QString& defaultSuffix) override
    {
        lastTitle = title;
        lastProposed = proposedPath;
        lastFilters = filters;
        lastSuffix = defaultSuffix;
        std::optional<Choice> answer = next;
        next.reset();
        return answer;
    }
    QStringList chooseOpenFiles(QWidget*, const QString& title, const QString&, const QStringList&) override
    {
        lastTitle = title;
        return std::exchange(nextOpen, {});
    }
    std::optional<Choice> next;
    QStringList nextOpen;
    QString lastTitle, lastProposed, lastSuffix;
    QStringList lastFilters;
};

// A serial line in memory. Paths listed in `existing` open; feed() delivers bytes as a device
// would, and everything written is kept.
class MemoryTransport : public SerialTransport {
    Q_OBJECT
public:
    OpenResult open(const QString& devicePath, const LineSettings& settings) override;
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QByteArray takeAvailable() override;
    bool write(const QByteArray& data) override
    {
        if (failWrites)
            return false;
        written += data;
        return true;
    }
    void discardInput() override { m_incoming.clear(); }
    void discardOutput() override {}
    bool deviceExists(const QString& devicePath) const override { return existing.contains(devicePath); }
    QString sameDeviceElsewhere(const QString& lostPath) const override { return movedTo.value(lostPath); }
    QString openFailureReason() const override { return m_failure; }

    void feed(const QByteArray& bytes);
    // The device goes away as an unplugged adapter does: bytes fed before it stay readable.
    void unplug();
    // The device is at its path again (the port reopens it at its next look).
    void plugBack() { existing.insert(openedPath); }

    QSet<QString> existing;
    QSet<QString> busy;
    // Paths that exist but refuse to open for another reason.
    QSet<QString> failing;
    // A device that came back under another name: its old path and the new one.
    QHash<QString, QString> movedTo;
    QString openedPath;
    LineSettings openedSettings;
    QByteArray written;
    // Every write fails while set (the device stopped taking bytes).
    bool failWrites = false;

private:
    bool m_open = false;
    QByteArray m_incoming;
    QString m_failure;
};
